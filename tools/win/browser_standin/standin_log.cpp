#include "standin_log.h"

#include <cstdio>
#include <vector>

namespace ravelin::standin {
namespace {

std::wstring StandinDir() {
  wchar_t buffer[2048] = {};
  const DWORD n = GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", buffer, 2048);
  if (n == 0 || n >= 2048) return {};
  return buffer;
}

}  // namespace

void AppendLine(const wchar_t* file, const std::wstring& line) {
  const std::wstring dir = StandinDir();
  if (dir.empty()) return;
  const std::wstring path = dir + L"\\" + file;
  const HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\n";
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::vector<char> bytes(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::wstring Setting(const wchar_t* file, const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
  const std::wstring dir = StandinDir();
  if (dir.empty()) return fallback;
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(section, key, fallback, value, 1024, (dir + L"\\" + file).c_str());
  return value;
}

std::wstring Hex(unsigned long value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", value);
  return text;
}

}  // namespace ravelin::standin
