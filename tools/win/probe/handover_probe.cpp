// Started in place of a new build: writes how it was started (its whole
// command line and the start-up record's show state) to "<own path>.record"
// as UTF-8 lines, then ends with 0.
#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle_win.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::vector<wchar_t> own(32768);
  const DWORD n = GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()));
  const std::wstring recordPath = std::wstring(own.data(), n) + L".record";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);

  std::string record = "cmdline=" + Utf8(GetCommandLineW()) + "\n";
  record += "flags=" + std::to_string(startup.dwFlags) + "\n";
  record += "show=" + std::to_string(startup.wShowWindow) + "\n";

  const ravelin::unique_hfile file(
      CreateFileW(recordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  DWORD written = 0;
  WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  return 0;
}
