// The UI thread's message loop: message filters, idle handlers and the rule
// for when idle work is due again. The loop is written over a message pump
// so the same code runs on the Win32 queue and on a scripted queue in tests.
//
// A Pump provides:
//   using Message = ...;
//   bool Peek();                       // true when a message is waiting (not removed)
//   int Get(Message& msg);             // GetMessage: >0 message, 0 quit, -1 error
//   void TranslateAndDispatch(const Message& msg);
//   static unsigned Id(const Message& msg);
//   static std::intptr_t QuitCode(const Message& msg);
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ravelin::framework {

template <class Message>
class BasicMessageFilter {
 public:
  virtual ~BasicMessageFilter() = default;
  // True when the filter consumed the message.
  virtual bool PreTranslateMessage(Message* msg) = 0;
};

class CIdleHandler {
 public:
  virtual ~CIdleHandler() = default;
  virtual bool OnIdle() = 0;
};

// Messages after which the idle pass is not run again: they arrive in
// streams and do not change anything idle handlers look at.
inline constexpr unsigned kMsgMouseMove = 0x0200;
inline constexpr unsigned kMsgNcMouseMove = 0x00A0;
inline constexpr unsigned kMsgPaint = 0x000F;
inline constexpr unsigned kMsgSysTimer = 0x0118;

constexpr bool IsIdleMessage(unsigned id) {
  return id == kMsgMouseMove || id == kMsgNcMouseMove || id == kMsgPaint || id == kMsgSysTimer;
}

template <class Pump>
class BasicMessageLoop {
 public:
  using Message = typename Pump::Message;
  using Filter = BasicMessageFilter<Message>;

  explicit BasicMessageLoop(Pump pump = Pump{}) : m_pump(std::move(pump)) {}

  bool AddMessageFilter(Filter* filter) {
    if (filter == nullptr) return false;
    m_filters.push_back(filter);
    return true;
  }
  bool RemoveMessageFilter(Filter* filter) { return Remove(m_filters, filter); }
  bool AddIdleHandler(CIdleHandler* handler) {
    if (handler == nullptr) return false;
    m_idleHandlers.push_back(handler);
    return true;
  }
  bool RemoveIdleHandler(CIdleHandler* handler) { return Remove(m_idleHandlers, handler); }

  // Runs until the quit message arrives and returns its code.
  std::intptr_t Run() {
    bool idleDue = true;
    int idleCount = 0;
    for (;;) {
      while (idleDue && !m_pump.Peek()) {
        OnIdle(idleCount++);
        idleDue = false;
      }

      const int got = m_pump.Get(m_msg);
      if (got == -1) continue;
      if (got == 0) return Pump::QuitCode(m_msg);

      if (!PreTranslateMessage(&m_msg)) m_pump.TranslateAndDispatch(m_msg);

      if (!IsIdleMessage(Pump::Id(m_msg))) {
        idleDue = true;
        idleCount = 0;
      }
    }
  }

  // Offers the message to the filters, the one added last first. A filter
  // may remove itself or others while it runs.
  bool PreTranslateMessage(Message* msg) {
    for (std::size_t i = m_filters.size(); i-- > 0;) {
      if (i >= m_filters.size()) continue;
      if (m_filters[i]->PreTranslateMessage(msg)) return true;
    }
    return false;
  }

  // One idle pass: every handler once, in the order they were added.
  void OnIdle(int /*idleCount*/) {
    for (std::size_t i = 0; i < m_idleHandlers.size(); ++i) m_idleHandlers[i]->OnIdle();
  }

  Pump& pump() { return m_pump; }

 private:
  template <class T>
  static bool Remove(std::vector<T*>& list, T* item) {
    const auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
  }

  Pump m_pump;
  Message m_msg{};
  std::vector<Filter*> m_filters;
  std::vector<CIdleHandler*> m_idleHandlers;
};

}  // namespace ravelin::framework
