// The update manifest: an INI-like text from the download host that names
// the offered build, and the decision whether to offer it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin {

struct UpdateManifest {
  std::wstring version;
  std::wstring autoupdate;    // recognised, no behaviour depends on it
  std::wstring silentupdate;  // recognised, no behaviour depends on it
  std::wstring http;          // where the new program file is
  std::wstring notes;         // "info" and every line no key took
};

inline constexpr std::wstring_view kManifestSection = L"[OsUpdate]";
// The local version without a readable version resource.
inline constexpr std::wstring_view kDefaultLocalVersion = L"1.0.0.0";

// Lines end at a carriage return; whatever white space follows it (the line
// feed among it) is skipped. Never fails: any text gives some manifest.
UpdateManifest ParseUpdateManifest(std::wstring_view text);

// A fetched text counts as a manifest only when it holds the section line
// somewhere (the fetch's failure answer "Error" never does).
bool IsUsableManifest(std::wstring_view text);

// Text comparison only: any non-empty offered version other than ours is
// offered, a lower one too.
bool IsDifferentVersion(std::wstring_view local, std::wstring_view offered);

// "%d.%d.%d.%d" of the 16-bit halves of the fixed file information's most
// and least significant version words.
std::wstring FormatFileVersion(std::uint32_t versionMS, std::uint32_t versionLS);

// The white space skipped after a line end: the ASCII controls TAB to CR,
// the blank, and the other Unicode white-space characters.
bool IsManifestSpace(wchar_t c);

}  // namespace ravelin
