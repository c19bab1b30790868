#include "common/standin_files_win.h"

#include <algorithm>
#include <vector>

// The stand-ins reach the program's holders by path: they build without its include folders.
#include "common/unique_handle_win.h"

namespace ravelin::standin {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring StandinDir() {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", buffer, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return {};
  std::wstring dir(buffer, n);
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return dir;
}

std::wstring StandinFile(std::wstring_view name) {
  std::wstring dir = StandinDir();
  if (dir.empty()) return {};
  dir += L'\\';
  dir += name;
  return dir;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  if (path.empty()) return std::nullopt;
  const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  std::vector<char> buffer(65536);
  DWORD got = 0;
  while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    bytes.append(buffer.data(), got);
  }
  return bytes;
}

void RecordLine(std::wstring_view fileName, std::string_view line) {
  const std::wstring path = StandinFile(fileName);
  if (path.empty()) return;
  // FILE_APPEND_DATA alone makes every write land at the end of the file.
  const unique_hfile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  std::string bytes(line);
  bytes += '\n';
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

Ini Ini::Parse(std::string_view text) {
  Ini ini;
  // Tests may write settings as UTF-16 with a BOM, as the profile API does.
  std::string converted;
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
    std::wstring wide((text.size() - 2) / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[2 + 2 * i]) |
                                     static_cast<unsigned char>(text[3 + 2 * i]) << 8);
    }
    converted = ToUtf8(wide);
    text = converted;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string section;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      section = Lower(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    ini.m_sections[section][std::string(Trim(line.substr(0, eq)))] = std::string(Trim(line.substr(eq + 1)));
  }
  return ini;
}

Ini Ini::Load(std::wstring_view fileName) {
  const auto bytes = ReadFileBytes(StandinFile(fileName));
  return bytes ? Parse(*bytes) : Ini{};
}

std::optional<std::string> Ini::Get(std::string_view section, std::string_view key) const {
  const auto s = m_sections.find(Lower(section));
  if (s == m_sections.end()) return std::nullopt;
  const auto k = s->second.find(std::string(key));
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

std::string Ini::Get(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto value = Get(section, key);
  return value ? *value : std::string(fallback);
}

}  // namespace ravelin::standin
