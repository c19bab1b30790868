// Running a test thread's messages, for tests that host windows in-process.
#pragma once

#include <windows.h>

#include <chrono>
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

}  // namespace ravelin::testkit
