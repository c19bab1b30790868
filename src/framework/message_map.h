// Ordered message maps: a window class lists (message, handler) pairs and a
// message goes to the first entry that matches. A handler can decline by
// clearing `handled`; the search then goes on with the next matching entry,
// and if nobody handles it the window's default processing runs.
#pragma once

#include <cstdint>
#include <span>

namespace ravelin::framework {

inline constexpr unsigned kMsgCommand = 0x0111;
inline constexpr int kAnyId = -1;

struct MessageArgs {
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

template <class T>
struct MessageMapEntry {
  using Handler = std::intptr_t (T::*)(const MessageArgs& args, bool& handled);

  unsigned message;
  Handler handler;
  // For WM_COMMAND: the command id (low word of wParam) and notification
  // code (high word) this entry answers; kAnyId answers every one.
  int commandId = kAnyId;
  int notifyCode = kAnyId;

  constexpr bool Matches(const MessageArgs& args) const {
    if (args.message != message) return false;
    if (message != kMsgCommand) return true;
    const int id = static_cast<int>(args.wParam & 0xFFFF);
    const int code = static_cast<int>((args.wParam >> 16) & 0xFFFF);
    return (commandId == kAnyId || commandId == id) && (notifyCode == kAnyId || notifyCode == code);
  }
};

template <class T>
constexpr MessageMapEntry<T> OnMessage(unsigned message, typename MessageMapEntry<T>::Handler handler) {
  return {message, handler};
}

template <class T>
constexpr MessageMapEntry<T> OnCommand(int commandId, typename MessageMapEntry<T>::Handler handler) {
  return {kMsgCommand, handler, commandId, kAnyId};
}

// Returns true when an entry handled the message; `result` is then its answer.
template <class T>
bool DispatchMessageMap(T& window, std::span<const MessageMapEntry<T>> map, const MessageArgs& args,
                        std::intptr_t& result) {
  for (const MessageMapEntry<T>& entry : map) {
    if (!entry.Matches(args)) continue;
    bool handled = true;
    const std::intptr_t answer = (window.*entry.handler)(args, handled);
    if (handled) {
      result = answer;
      return true;
    }
  }
  return false;
}

}  // namespace ravelin::framework
