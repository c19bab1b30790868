// What every Windows stand-in shares: the settings and recordings folder
// named by RAVELIN_STANDIN_DIR, a small INI reader and a line recorder.
// Nothing here may fail loudly: without the folder a stand-in simply has no
// settings and records nothing.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ravelin::standin {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// The folder (Windows path, no trailing backslash), or empty when the
// variable is missing. Read at each call so a test may change it.
std::wstring StandinDir();
// A file in that folder, or empty when there is no folder.
std::wstring StandinFile(std::wstring_view name);

std::optional<std::string> ReadFileBytes(const std::wstring& path);

// Appends `line` and a LF to the file in one write and closes it again, so
// a reader sees every line as soon as it is recorded, also while several
// threads or processes record into the same file. No-op without a folder.
void RecordLine(std::wstring_view fileName, std::string_view line);

// INI text in UTF-8 (an optional BOM is skipped) or UTF-16LE with a BOM: `[section]` lines and
// `key=value` lines; `;` and `#` start comment lines; blanks around section
// names, keys and values are trimmed. Section names compare
// case-insensitively, keys exactly (they are targets and function names).
class Ini {
 public:
  static Ini Parse(std::string_view text);
  // Reads the file in the stand-in folder; empty when it is missing.
  static Ini Load(std::wstring_view fileName);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::string Get(std::string_view section, std::string_view key, std::string_view fallback) const;

 private:
  std::map<std::string, std::map<std::string, std::string>> m_sections;  // section name lower-cased
};

}  // namespace ravelin::standin
