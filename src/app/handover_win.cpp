#include "app/handover_win.h"

#include <windows.h>

#include <shlwapi.h>

#include <memory>
#include <vector>

namespace ravelin {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

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

bool Win32HandoverOps::PathExists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

bool Win32HandoverOps::Delete(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

FileResult Win32HandoverOps::Replace(const std::wstring& from, const std::wstring& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return FileResult::Done;
  }
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_ACCESS_DENIED:  // what a running program's file answers
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FileResult::Busy;
    default:
      return FileResult::Failed;
  }
}

bool Win32HandoverOps::Copy(const std::wstring& from, const std::wstring& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool Win32HandoverOps::InUse(const std::wstring& path) {
  // Opened as a move opens it: only a handle that denies delete sharing stops that.
  const HANDLE raw = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  const UniqueHandle file(raw);
  return false;
}

std::optional<std::wstring> Win32HandoverOps::ModulePath() { return GetRunningModulePath(); }

bool Win32HandoverOps::Start(const std::wstring& application, const std::wstring& commandLine, StartWindow window) {
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (window == StartWindow::Hidden) {
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
  const UniqueHandle thread(process.hThread);
  const UniqueHandle started(process.hProcess);
  return true;
}

void Win32HandoverOps::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint64_t Win32HandoverOps::TickMilliseconds() { return GetTickCount64(); }

}  // namespace ravelin
