// A page fetched over HTTP (WinINet) on a thread of its own, so the control's
// thread keeps pumping while the body arrives.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "common/unique_net_win.h"

namespace ravelin::standin {

// Posted to the window a fetch reports to: wParam the navigation, lParam the progress
// in ten-thousandths (only when the length is known).
inline constexpr UINT kMsgFetchProgress = WM_APP + 1;
// Posted to that window when the fetch ends: lParam a `new FetchResult`,
// which the window frees.
inline constexpr UINT kMsgFetchDone = WM_APP + 2;

struct FetchResult {
  unsigned navigation = 0;
  std::wstring url;
  DWORD status = 0;  // HTTP status, 0 when no answer
  DWORD error = 0;   // WinINet error when there was no answer
  std::string body;
};

class PageFetch {
 public:
  PageFetch() = default;
  ~PageFetch() { Cancel(); }
  PageFetch(const PageFetch&) = delete;
  PageFetch& operator=(const PageFetch&) = delete;

  // Cancels a fetch still running, then starts this one, reporting to `notify`.
  void Start(HWND notify, unsigned navigation, const std::wstring& url);
  // Aborts a blocking read and waits for the thread; a cancelled fetch posts
  // no result. Results already posted are the window's to drop.
  void Cancel();
  // Waits for the thread whose result has arrived.
  void Finish();

 private:
  void Run(HWND notify, unsigned navigation, std::wstring url);

  std::thread m_thread;
  std::mutex m_lock;
  unique_hinternet m_session;  // the running fetch's; closing it aborts a blocking read
  std::atomic<bool> m_cancelled{false};
};

}  // namespace ravelin::standin
