#include "app/handover_win.h"

#include <windows.h>

#include <shlwapi.h>

#include "common/process_win.h"
#include "common/unique_handle_win.h"

namespace ravelin {

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
  const unique_hfile file(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::optional<std::wstring> Win32HandoverOps::ModulePath() { return GetRunningModulePath(); }

bool Win32HandoverOps::Start(const std::wstring& application, const std::wstring& commandLine, StartWindow window) {
  return StartProgram(application, commandLine, window == StartWindow::Hidden);
}

void Win32HandoverOps::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint64_t Win32HandoverOps::TickMilliseconds() { return GetTickCount64(); }

}  // namespace ravelin
