#include "testkit/message_box_answer_win.h"

#include <algorithm>

#include "testkit/testkit_win.h"

namespace ravelin::testkit {

MessageBoxAnswerer::MessageBoxAnswerer(int button, std::chrono::milliseconds timeout)
    : MessageBoxAnswerer(std::vector<int>{button}, timeout) {}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<int> buttons, std::chrono::milliseconds timeout)
    : m_thread(&MessageBoxAnswerer::Run, this, std::move(buttons), timeout) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

std::optional<MessageBoxAnswerer::Box> MessageBoxAnswerer::Answered() {
  const std::vector<Box> all = AllAnswered();
  if (all.empty()) return std::nullopt;
  return all.front();
}

std::vector<MessageBoxAnswerer::Box> MessageBoxAnswerer::AllAnswered() {
  if (m_thread.joinable()) m_thread.join();
  return Peek();
}

std::vector<MessageBoxAnswerer::Box> MessageBoxAnswerer::Peek() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_boxes;
}

void MessageBoxAnswerer::Run(std::vector<int> buttons, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<HWND> answered;
  std::size_t next = 0;
  while (!m_stop && next < buttons.size() && std::chrono::steady_clock::now() < deadline) {
    for (const WindowInfo& w : TopLevelWindows({GetCurrentProcessId()})) {
      if (!w.visible || KindOf(w) != WindowKind::MessageBox) continue;
      if (std::find(answered.begin(), answered.end(), w.hwnd) != answered.end()) continue;
      wchar_t text[4096] = {};
      InternalGetWindowText(GetDlgItem(w.hwnd, 0xFFFF), text, 4096);  // no message to the busy thread
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_boxes.push_back(Box{w.title, text});
      }
      const int button = buttons[next++];
      PostMessageW(w.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(w.hwnd, button)));
      answered.push_back(w.hwnd);
      break;
    }
    Sleep(20);
  }
}

}  // namespace ravelin::testkit
