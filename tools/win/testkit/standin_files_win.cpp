#include "testkit/standin_files_win.h"

#include <windows.h>

#include "testkit/testkit_win.h"

namespace ravelin::testkit {

bool RegisterStandin(const std::wstring& dll) {
  const HMODULE module = LoadLibraryW((ExeDir() + L"\\" + dll).c_str());
  if (module == nullptr) return false;
  using RegisterFn = HRESULT(WINAPI*)();
  const auto reg = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  return reg != nullptr && SUCCEEDED(reg());  // stays loaded: COM will use it
}

std::wstring StandinFile(const std::wstring& name) {
  wchar_t dir[2048] = {};
  const DWORD n = GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", dir, 2048);
  if (n == 0 || n >= 2048) return {};
  return std::wstring(dir) + L"\\" + name;
}

std::vector<std::string> ReadStandinLines(const std::wstring& name) {
  std::vector<std::string> lines;
  const std::wstring path = StandinFile(name);
  if (path.empty()) return lines;
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return lines;
  std::size_t pos = 0;
  while (pos < text->size()) {
    std::size_t end = text->find('\n', pos);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

bool WriteStandinSettings(const std::wstring& name, const std::wstring& text) {
  const std::wstring path = StandinFile(name);
  if (path.empty()) return false;
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return WriteWholeFile(path, bytes);
}

void ClearStandinFile(const std::wstring& name) {
  const std::wstring path = StandinFile(name);
  if (!path.empty()) DeleteFileW(path.c_str());
}

}  // namespace ravelin::testkit
