// ravelin-tool: the launcher's own logic without its windows, for support
// staff, update-host operators and our tests.

#include <cstdio>
#include <string>
#include <vector>

#include "app/handover.h"
#include "common/utf8.h"

namespace {

constexpr char kUsage[] =
    "usage: ravelin-tool COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  cmdline TEXT   show how the launcher treats TEXT as its whole command line\n"
    "                 (normal start, Delete or Update hand-over, and the paths taken)\n";

const char* ModeName(ravelin::StartMode mode) {
  switch (mode) {
    case ravelin::StartMode::Delete:
      return "delete";
    case ravelin::StartMode::Update:
      return "update";
    case ravelin::StartMode::Normal:
      break;
  }
  return "normal";
}

int CommandLine(const std::wstring& text) {
  const ravelin::HandoverCommand command = ravelin::ParseHandoverCommandLine(text);
  std::printf("mode: %s\n", ModeName(command.mode));
  switch (command.mode) {
    case ravelin::StartMode::Delete:
      std::printf("delete: %s\n", ravelin::ToUtf8(command.deletePath).c_str());
      break;
    case ravelin::StartMode::Update:
      std::printf("target: %s\n", ravelin::ToUtf8(command.target).c_str());
      std::printf("source: %s\n", ravelin::ToUtf8(command.source).c_str());
      break;
    case ravelin::StartMode::Normal:
      break;
  }
  return 0;
}

int Run(const std::vector<std::wstring>& argv) {
  const std::size_t argc = argv.size();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::wstring& command = argv[1];
  if (command == L"cmdline" && argc == 3) return CommandLine(argv[2]);
  if (command == L"help" || command == L"--help" || command == L"-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(std::vector<std::wstring>(argv, argv + argc)); }
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(ravelin::FromUtf8(argv[i]));
  return Run(args);
}
#endif
