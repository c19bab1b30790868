// Running a test thread's messages, for tests that host windows in-process.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>

namespace ravelin::testkit {

// Dispatches this thread's messages for `duration`. A WM_QUIT is not acted
// on: its exit code is returned so the test can check it.
std::optional<WPARAM> PumpMessages(std::chrono::milliseconds duration);

// Dispatches messages until `done()` holds or the time is up.
template <class Pred>
bool PumpUntil(Pred done, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    PumpMessages(std::chrono::milliseconds(10));
  }
  return true;
}

// Runs `work` on a thread of its own while this thread dispatches its
// messages (the worker may send to this thread's windows, as the updater's
// worker does to its dialog), and returns once the work is done.
void RunWhilePumping(const std::function<void()>& work);

}  // namespace ravelin::testkit
