// The stand-ins for the system's `ping` and `tracert`: console programs that
// print what the real tools print on an English Windows, without sending
// anything, or whatever a test chose for the target.
//
// Started as `ping TARGET` / `tracert TARGET` (the last word of the command
// line is the target; options before it are ignored).
//
// Settings: %RAVELIN_STANDIN_DIR%\console.ini (UTF-8, or UTF-16LE with a BOM):
//   [ping]                 behaviour per target for ping (key = target, exact)
//   example.host=normal    Windows-shaped replies and statistics, exit 0
//   192.0.2.7=timeout      every request times out (ping exit 1; tracert
//                          prints 30 hops of `*` and exit 0)
//   quiet.example=nothing  prints nothing, exit 0
//   slow.example=hang      prints nothing and never ends (sleeps until killed)
//   held.example=orphan    normal output, but leaves a child of its own that
//                          keeps the output pipe open for ever
//   tr.example=file:ping_tr.txt
//                          writes the bytes of %RAVELIN_STANDIN_DIR%\ping_tr.txt
//                          to stdout verbatim, exit 0 (exit 1 and nothing on
//                          stdout when that file is missing)
//   default=normal         behaviour for targets without an entry (default normal)
//   [tracert]              the same keys and values for tracert
//   [addresses]            address a host name is shown with, e.g.
//   example.host=192.0.2.55  (names are never resolved; default 192.0.2.1)
//
// Recording: one line per invocation appended to
// %RAVELIN_STANDIN_DIR%\console.log (UTF-8, LF):
//   TOOL behaviour=BEHAVIOUR target=TARGET cmdline=WHOLE COMMAND LINE
// e.g. `ping behaviour=file:ping_tr.txt target=tr.example cmdline=ping tr.example`.
//
// Generated text is CRLF-terminated and written in the ANSI code page.
#pragma once

namespace ravelin::standin {

enum class ConsoleTool { kPing, kTracert };

// The whole program; returns the process exit code.
int RunConsoleStandin(ConsoleTool tool);

}  // namespace ravelin::standin
