#include "sysinfo/product_records.h"

#include <algorithm>

namespace ravelin {

std::wstring CorvaneReadKey(bool is64) { return is64 ? L"Software\\Wow6432Node\\Corvane\\" : L"Software\\Corvane\\"; }

std::wstring CorvaneWriteKey(bool is64) { return is64 ? L"SOFTWARE\\Wow6432Node\\Corvane\\" : L"SOFTWARE\\Corvane\\"; }

std::wstring DownloadMarkKey(bool is64) {
  return std::wstring(is64 ? L"SOFTWARE\\Wow6432Node\\Tessar software\\" : L"SOFTWARE\\Tessar software\\") + L"QXM";
}

std::wstring RecordValueText(std::wstring_view text) {
  return std::wstring(text.substr(0, std::min(text.size(), kRecordValueMaxChars)));
}

std::wstring TextFromRegistryData(const wchar_t* data, std::size_t bytes) {
  const std::size_t chars = bytes / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < chars && data[length] != L'\0') ++length;
  return std::wstring(data, length);
}

std::wstring ShortcutPath(std::wstring_view folder, std::wstring_view linkName) {
  if (folder.empty()) return {};
  std::wstring path(folder);
  path += L"\\";
  path += linkName;
  path += L".lnk";
  return path;
}

std::wstring FolderOf(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring_view::npos) return {};
  // Keep the backslash of a drive root: "C:\".
  if (slash == 2 && path.size() > 2 && path[1] == L':') return std::wstring(path.substr(0, 3));
  return std::wstring(path.substr(0, slash));
}

}  // namespace ravelin
