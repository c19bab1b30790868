#include "testkit/pump_win.h"

namespace ravelin::testkit {

std::optional<WPARAM> PumpMessages(std::chrono::milliseconds duration) {
  std::optional<WPARAM> quit;
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (std::chrono::steady_clock::now() < end);
  return quit;
}

}  // namespace ravelin::testkit
