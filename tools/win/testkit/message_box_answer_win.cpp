#include "testkit/message_box_answer_win.h"

#include "testkit/testkit_win.h"

namespace ravelin::testkit {

MessageBoxAnswerer::MessageBoxAnswerer(int button, std::chrono::milliseconds timeout)
    : m_thread(&MessageBoxAnswerer::Run, this, button, timeout) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

std::optional<MessageBoxAnswerer::Box> MessageBoxAnswerer::Answered() {
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard<std::mutex> lock(m_lock);
  return m_box;
}

void MessageBoxAnswerer::Run(int button, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!m_stop && std::chrono::steady_clock::now() < deadline) {
    for (const WindowInfo& w : TopLevelWindows({GetCurrentProcessId()})) {
      if (!w.visible || KindOf(w) != WindowKind::MessageBox) continue;
      wchar_t text[4096] = {};
      InternalGetWindowText(GetDlgItem(w.hwnd, 0xFFFF), text, 4096);  // no message to the busy thread
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_box = Box{w.title, text};
      }
      PostMessageW(w.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(w.hwnd, button)));
      return;
    }
    Sleep(20);
  }
}

}  // namespace ravelin::testkit
