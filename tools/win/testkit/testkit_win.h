// Helpers for programs that drive the launcher from the outside: finding
// processes and their windows, starting programs, throwaway folders.
// Used by the Windows tests and by ravelin-driver; not part of ravelin.exe.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The tools reach the program's holders by path: they build without its include folders.
#include "common/unique_handle_win.h"

namespace ravelin::testkit {

// Full image path of a process, or empty when it cannot be read.
std::wstring ProcessImagePath(DWORD pid);

// Process ids whose image file name (the part after the last backslash)
// equals `imageName` (case-insensitive), or whose full path equals it.
std::vector<DWORD> FindProcesses(const std::wstring& imageName);

struct WindowInfo {
  HWND hwnd = nullptr;
  DWORD pid = 0;
  std::wstring className;
  std::wstring title;
  bool visible = false;
  bool layered = false;
  bool owned = false;
};

// Top-level windows of the given processes, in z-order (topmost first).
std::vector<WindowInfo> TopLevelWindows(const std::vector<DWORD>& pids);

// What a top-level window of the launcher is: the frame (main: an unowned
// layered dialog without controls of its own; it turns layered at the end of
// its set-up, after the game dialog exists, which before its controls are
// made looks the same but ignores the frame's commands), the game window
// (the dialog holding the browser control 1000), the update dialog (progress
// bar 1011), a message box, or something else.
enum class WindowKind { Main, Game, Update, MessageBox, Other };
WindowKind KindOf(const WindowInfo& window);
const wchar_t* KindName(WindowKind kind);

// The launcher's main window among those. Hidden windows count (a launcher
// may be started hidden, or be hiding itself with F9).
std::optional<WindowInfo> FindMainWindow(const std::vector<DWORD>& pids);

// Polls `probe` until it returns a value or the time is up.
template <class Probe>
auto WaitFor(Probe probe, std::chrono::milliseconds timeout) -> decltype(probe()) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto value = probe();
    if (value || std::chrono::steady_clock::now() >= deadline) return value;
    Sleep(20);
  }
}

class Process {
 public:
  Process() = default;

  // Starts `application` with exactly `commandLine` (no program name is
  // added), as the updater does.
  static std::optional<Process> Start(const std::wstring& application, const std::wstring& commandLine,
                                      const std::wstring& currentDir = {});
  // Opens an existing process for waiting.
  static std::optional<Process> Open(DWORD pid);

  DWORD Id() const { return m_pid; }
  // Exit code, or nullopt when the process did not end in time.
  std::optional<DWORD> Wait(std::chrono::milliseconds timeout) const;
  void Kill() const;

 private:
  unique_handle m_process;
  DWORD m_pid = 0;
};

// What a console program wrote to stdout (stderr goes to the same pipe)
// and how it ended.
struct CapturedRun {
  bool started = false;
  std::optional<DWORD> exitCode;  // nullopt: still running at the deadline, then killed
  bool killed = false;            // it had to be terminated, and did end
  std::string output;
};

// Starts `application` with exactly `commandLine` and stdout on a pipe, reads
// until it ends or `timeout` passes; a program still running then is
// terminated. Only the pipe is inherited.
CapturedRun RunCaptured(const std::wstring& application, const std::wstring& commandLine,
                        std::chrono::milliseconds timeout);

// A folder under %TEMP% removed with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::wstring& prefix = L"ravelin");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& Path() const { return m_path; }
  std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

bool FileExists(const std::wstring& path);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// Removes a folder tree; true when it is gone.
bool RemoveTree(const std::wstring& path);
// The folder of the running program (where ravelin.exe and the tools are).
std::wstring ExeDir();

// The process's live GDI objects, however they were made: what a leak test
// compares before and after repeated painting.
long LiveGdiObjects();

}  // namespace ravelin::testkit
