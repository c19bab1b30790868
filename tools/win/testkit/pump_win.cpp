#include "testkit/pump_win.h"

#include <algorithm>
#include <atomic>
#include <thread>

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
    // Sleep until the next message (or the end), not a fixed slice: socket
    // notifications come one at a time and would otherwise queue up.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() > 0) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left.count(), 50)),
                                QS_ALLINPUT);
    }
  } while (std::chrono::steady_clock::now() < end);
  return quit;
}

void RunWhilePumping(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) PumpMessages(std::chrono::milliseconds(5));
  worker.join();
}

}  // namespace ravelin::testkit
