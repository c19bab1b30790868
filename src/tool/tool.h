// What the commands of ravelin-tool share: how a command is listed, the
// usage text, and the few things that differ between the Windows tool and
// the host tool (file names, the code page of captured text, the clock).
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::tool {

// The whole argument list: [0] the program, [1] the command, then its words.
using Args = std::vector<std::wstring>;

struct Command {
  std::wstring_view name;
  // How many words after the name the command takes; the first command
  // whose name and count fit runs.
  std::size_t minWords;
  std::size_t maxWords;
  int (*run)(const Args& argv);
  const char* usage;  // its lines in the usage text
};
inline constexpr std::size_t kAnyWords = static_cast<std::size_t>(-1);

// Finds the command argv[1] names and runs it; the process exit status.
int Run(const Args& argv);

// The commands only this build has (the Windows tool's own facts, the
// host's signing), listed before the common ones.
std::span<const Command> PlatformCommands();

// Prints the usage text to standard error; the status of a usage error.
int UsageError();

// Opens a file for reading in binary mode; null when it cannot.
std::FILE* OpenForReading(const std::wstring& path);
// A file as bytes; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// A fetched body as the launcher reads it (up to the first NUL, from the
// ANSI code page on Windows, UTF-8 on the host).
std::wstring FetchedText(const std::string& bytes);
// A console tool's captured output as the launcher reads it from the pipe.
std::wstring ConsoleText(const std::string& bytes);
// The time of a report line, now.
std::wstring LocalDiagTime();

}  // namespace ravelin::tool
