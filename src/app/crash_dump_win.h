#pragma once

namespace ravelin {

// From now on an exception that no code handles, in any thread, leaves a
// minidump in %LOCALAPPDATA%\Dusk Vale\CrashDumps (the newest five are
// kept), and the process then ends as it would have without it: with the
// exception's code, after whatever the system does with an unhandled
// exception. Call first thing in the process. False when the writer could
// not be started; it finds dbghelp (system folder only) and the folder in
// the background, and without them no dump is written.
bool InstallCrashDumps();

}  // namespace ravelin
