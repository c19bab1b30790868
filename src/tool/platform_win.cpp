// The Windows tool: this machine's facts, the diagnostics round and the
// launcher's own signature check; files by wide names, captured text in the
// thread's ANSI code page, as the launcher reads them.
#include "diag/diagnostics_win.h"  // before <windows.h>: it brings the socket headers

#include <cstdio>

#include "common/ansi_win.h"
#include "net/http_transfer_win.h"
#include "tool/commands_win.h"
#include "tool/signing_commands.h"
#include "tool/tool.h"

namespace ravelin::tool {
namespace {

const Command kWindowsCommands[] = {
    {L"hostuid", 0, 0, &PrintHostUid,
     "  hostuid        print this machine's host identifier and the form that produced it\n"},
    {L"osclass", 0, 0, &PrintThisOsClass,
     "  osclass        print this machine's OS code word (hex) and build number\n"},
    {L"diag", 0, kAnyWords, &RunDiagRound,
     "  diag [--upload]\n"
     "                 run the diagnostics' start-up round (network configuration, UDP\n"
     "                 batch, connectivity pings) and print its report lines; --upload\n"
     "                 posts them with the log file instead, as the launcher does\n"},
    {L"verify", 0, kAnyWords, &Verify,
     "  verify FILE --key PUBLIC.pem [--sig SIGFILE]\n"
     "                 check FILE against SIGFILE (default FILE.sig) as the launcher checks a\n"
     "                 downloaded build: exit 0 good signature, 1 bad or missing, 2 key error\n"},
};

}  // namespace

std::span<const Command> PlatformCommands() { return kWindowsCommands; }

std::FILE* OpenForReading(const std::wstring& path) { return _wfopen(path.c_str(), L"rb"); }

std::wstring FetchedText(const std::string& bytes) { return BodyToText(bytes); }

std::wstring ConsoleText(const std::string& bytes) { return FromThreadAnsi(bytes); }

std::wstring LocalDiagTime() { return CGameException::GetDiagTime(); }

}  // namespace ravelin::tool

int wmain(int argc, wchar_t** argv) { return ravelin::tool::Run(ravelin::tool::Args(argv, argv + argc)); }
