// Answers message boxes of this process from another thread, as a person
// would, and keeps what they said. For tests that run a window in-process
// whose handler shows a MessageBoxW and waits.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ravelin::testkit {

class MessageBoxAnswerer {
 public:
  // Answers the first box that appears with `button` (IDOK, IDCANCEL...).
  explicit MessageBoxAnswerer(int button, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Answers the boxes that appear one after the other with these buttons.
  explicit MessageBoxAnswerer(std::vector<int> buttons, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  struct Box {
    std::wstring caption;
    std::wstring text;
  };
  // The first answered box, once all are answered or the time is up (waits).
  std::optional<Box> Answered();
  // Every answered box, in order (waits like Answered).
  std::vector<Box> AllAnswered();
  // The boxes answered so far; does not wait.
  std::vector<Box> Peek();

 private:
  void Run(std::vector<int> buttons, std::chrono::milliseconds timeout);

  std::atomic<bool> m_stop{false};
  std::mutex m_lock;
  std::vector<Box> m_boxes;
  std::thread m_thread;
};

}  // namespace ravelin::testkit
