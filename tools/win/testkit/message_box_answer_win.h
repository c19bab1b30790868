// Answers a message box of this process from another thread, as a person
// would, and keeps what it said. For tests that run a window in-process
// whose handler shows a MessageBoxW and waits.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ravelin::testkit {

class MessageBoxAnswerer {
 public:
  // Starts watching; the first box that appears is answered with `button`
  // (IDOK, IDCANCEL...).
  explicit MessageBoxAnswerer(int button, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  struct Box {
    std::wstring caption;
    std::wstring text;
  };
  // The answered box, once it has been answered (waits for the thread).
  std::optional<Box> Answered();

 private:
  void Run(int button, std::chrono::milliseconds timeout);

  std::atomic<bool> m_stop{false};
  std::mutex m_lock;
  std::optional<Box> m_box;
  std::thread m_thread;
};

}  // namespace ravelin::testkit
