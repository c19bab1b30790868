// Where an update puts its files, how the hand-over process is told about
// them, and which downloaded files may become the program.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ravelin {

inline constexpr std::wstring_view kDownloadFileName = L"MyClient.exe";

// The folder of the running program (up to and including its last
// backslash) with "MyClient.exe"; just the name for a path without one.
std::wstring UpdateTargetPath(std::wstring_view modulePath);

// The copy of the running program that performs the hand-over: "Tmp.exe"
// takes the place of the file name's ".exe" (any letter case), or is
// appended to a file name without it. Only the last path element counts,
// so a folder named like a program is never cut.
std::wstring TempCopyPath(std::wstring_view modulePath);

// Where one opening of the update dialog downloads before the build is
// checked: beside the target, named for this process and opening, so that a
// worker of an earlier opening (still stuck in a read) never shares a file
// with a later one. Only a checked build is moved to the target.
std::wstring PartialDownloadPath(std::wstring_view targetPath, std::uint32_t processId, std::uint32_t opening);

// "Update|installed|downloaded", of any length; the receiving side reads the
// paths between and after the bars.
std::wstring BuildUpdateCommandLine(std::wstring_view installedPath, std::wstring_view downloadedPath);

// Why a downloaded file may or may not replace the program.
enum class BuildFileCheck {
  Ok,
  NoDosHeader,             // shorter than a DOS header, or no "MZ"
  NtHeadersOutsideFile,    // e_lfanew points past the end
  NoPeSignature,           // no "PE\0\0" there
  WrongMachine,            // not x64, the only machine this program is built for
  NotAnExecutable,         // a DLL, or not marked executable
  OptionalHeaderTooSmall,  // declared smaller than the PE32+ fixed part
  NotPe32Plus,             // optional header magic is not 0x20B
  NoSections,
  SectionsOutsideFile,  // the section table or a section's raw data is cut off
  HeadersTooLarge,      // the headers reach past the part of the file that was read
};

// The file must be a whole Windows x64 executable: a truncated or foreign
// download must never be installed in place of a working program.
// `head` is the start of a file of `fileSize` bytes: the headers must lie in
// it, the sections' data within the file.
BuildFileCheck CheckBuildFile(std::span<const std::uint8_t> head, std::uint64_t fileSize);
inline BuildFileCheck CheckBuildFile(std::span<const std::uint8_t> bytes) {
  return CheckBuildFile(bytes, bytes.size());
}
inline bool IsAcceptableBuild(std::span<const std::uint8_t> bytes) {
  return CheckBuildFile(bytes) == BuildFileCheck::Ok;
}
// How much of a file CheckBuildFile needs at most for a build of ours.
inline constexpr std::size_t kBuildHeadBytes = 64 * 1024;

}  // namespace ravelin
