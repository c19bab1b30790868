// The update checks' threads and the hand-over to a downloaded build.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/unique_handle_win.h"
#include "net/http_transfer_win.h"

namespace ravelin {

// The running program's full path, or "Error".
std::wstring GetModulePath();
// The file version of `modulePath` as "a.b.c.d", or "1.0.0.0" without one.
std::wstring GetLocalVersionString(const std::wstring& modulePath);

// Where the silent check reports a different build.
struct SilentCheckTarget {
  HWND window = nullptr;
  UINT message = 0;
};

// Silent check: posts the target's message to its window when a different
// build is offered; shows nothing. Takes a `new SilentCheckTarget`, which
// it deletes, so the thread needs nothing that may go before it ends.
DWORD WINAPI SilentCheckThreadProc(LPVOID target);

// One opening of the update dialog, shared by the dialog and its worker.
// Everything the worker needs lives here, so a worker that outlives its
// opening (stuck in a slow read after a cancel) can neither reach a later
// opening's controls and files nor be woken by its buttons.
class UpdateRun {
 public:
  UpdateRun(HWND dialog, HWND progressBar, std::uint32_t opening);
  ~UpdateRun();
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  HWND Dialog() const { return m_dialog; }
  HWND ProgressBar() const { return m_progressBar; }
  std::uint32_t Opening() const { return m_opening; }
  const CancelFlag& Cancelled() const { return m_cancelled; }

  // The user's choice: Update (go) or the end of this opening (cancel).
  // Both wake the worker if it waits for the choice.
  void Go() const;
  void Cancel();
  void WaitForChoice() const;

  // Runs `step` only while this opening has not been cancelled; a cancel
  // that comes meanwhile waits until the step is done. False when it did
  // not run.
  bool WhileCurrent(const std::function<void()>& step);

 private:
  HWND m_dialog;
  HWND m_progressBar;
  std::uint32_t m_opening;
  unique_handle m_goEvent;  // manual reset, not signalled at first
  CancelFlag m_cancelled{false};
  std::mutex m_stepLock;
};

// Interactive worker of one opening of the update dialog, on a thread that
// holds its own share of the opening (StartThreadSharing).
void RunUpdateCheck(UpdateRun& run);

// What became of an offered build after Update was pressed.
enum class DownloadOutcome {
  Installed,  // checked and moved to the target path
  Failed,     // not fetched whole, not signed by our key, or not a program
  Cancelled,  // the opening ended; nothing of it is left at the target
};

// Downloads `url` beside `target`, fetches its signature, checks both and
// only then moves the build to `target`. Nothing is left on any other way.
DownloadOutcome DownloadVerifiedBuild(UpdateRun& run, const std::wstring& url, const std::wstring& target);

// Copies the running program to its temporary name and starts that copy
// hidden with the Update command line for `downloadedBuild`. False when the
// copy could not be made (then nothing is started).
bool StartHandover(const std::wstring& downloadedBuild);

}  // namespace ravelin
