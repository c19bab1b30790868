// ravelin-tool: the launcher's own logic without its windows, for support
// staff, update-host operators and our tests. Each command lives in a file
// of its own; this one finds the command and prints the usage.

#include <cstdio>
#include <string>
#include <vector>

#include "tool/commands.h"
#include "tool/tool.h"

namespace ravelin::tool {
namespace {

const Command kCommonCommands[] = {
    {L"cmdline", 1, 1, &CommandLine,
     "  cmdline TEXT   show how the launcher treats TEXT as its whole command line\n"
     "                 (normal start, Delete or Update hand-over, and the paths taken)\n"},
    {L"osclass", 1, kAnyWords, &ClassifyGivenFacts,
     "  osclass MAJOR.MINOR[.BUILD] [--platform N] [--product N] [--suite HEX] [--arch N]\n"
     "          [--serverr2 N] [--lang HEX] [--plain] [--product-type TEXT]\n"
     "                 classify given version facts as the launcher would\n"},
    {L"manifest", 1, kAnyWords, &ShowManifest,
     "  manifest FILE [--local-version V] [--json]\n"
     "                 read FILE as a fetched update manifest: its fields and whether the\n"
     "                 launcher at version V (default this build's) would offer the build\n"},
    {L"parse", 2, kAnyWords, &ParseProbeOutput,
     "  parse ping|tracert FILE [--target T] [--type T] [--user U] [--json]\n"
     "                 read FILE as captured output of ping or tracert and print the report\n"
     "                 line the launcher would make of it (target default \"target\", type\n"
     "                 default publicurl for ping and TGameUrl for tracert, user default empty)\n"},
    {L"dump", 1, 2, &ShowCrashDump,
     "  dump FILE [--json]\n"
     "                 read FILE as a crash dump: the exception, where it happened\n"
     "                 (module+offset), the faulting thread and the loaded modules\n"},
};

void PrintUsage(std::FILE* to) {
  std::fputs("usage: ravelin-tool COMMAND [ARGS]\n\ncommands:\n", to);
  for (const std::span<const Command> list : {std::span<const Command>(kCommonCommands), PlatformCommands()}) {
    for (const Command& command : list) std::fputs(command.usage, to);
  }
}

}  // namespace

int Run(const Args& argv) {
  if (argv.size() < 2) return UsageError();
  const std::wstring& name = argv[1];
  const std::size_t words = argv.size() - 2;
  for (const std::span<const Command> list : {PlatformCommands(), std::span<const Command>(kCommonCommands)}) {
    for (const Command& command : list) {
      if (command.name == name && words >= command.minWords && words <= command.maxWords) return command.run(argv);
    }
  }
  if (name == L"help" || name == L"--help" || name == L"-h") {
    PrintUsage(stdout);
    return 0;
  }
  return UsageError();
}

int UsageError() {
  PrintUsage(stderr);
  return 2;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return bytes;
}

}  // namespace ravelin::tool
