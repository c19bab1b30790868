// The message loop on the Win32 queue of the calling thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/message_loop.h"

namespace ravelin::framework {

struct Win32Pump {
  using Message = MSG;

  bool Peek() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
  }
  int Get(MSG& msg) { return static_cast<int>(GetMessageW(&msg, nullptr, 0, 0)); }
  void TranslateAndDispatch(const MSG& msg) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  static unsigned Id(const MSG& msg) { return msg.message; }
  static std::intptr_t QuitCode(const MSG& msg) { return static_cast<std::intptr_t>(msg.wParam); }
};

using CMessageFilter = BasicMessageFilter<MSG>;
using CMessageLoop = BasicMessageLoop<Win32Pump>;

}  // namespace ravelin::framework
