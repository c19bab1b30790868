#include "common/process_win.h"

#include <windows.h>

#include <vector>

#include "common/unique_handle_win.h"

namespace ravelin {

std::optional<std::wstring> GetRunningModulePath() {
  // Start at the classic limit and grow: an install folder may be deeper.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return std::nullopt;
    if (length < size) return std::wstring(buffer.data(), length);
    if (size >= 32768) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(size) * 2);
  }
}

bool StartProgram(const std::wstring& application, const std::wstring& commandLine, bool hidden) {
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  const unique_handle thread(process.hThread), started(process.hProcess);
  return true;
}

}  // namespace ravelin
