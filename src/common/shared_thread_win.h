// A thread that holds its own share of the state it works on: whoever
// started it may stop waiting and leave it behind, and the state lives
// until both have let go.
#pragma once

#include <windows.h>

#include <memory>
#include <utility>

#include "common/unique_handle_win.h"

namespace ravelin {

namespace detail {

template <class State>
struct SharedThreadStart {
  std::shared_ptr<State> state;
  void (*run)(State&);

  static DWORD WINAPI Entry(LPVOID parameter) {
    const std::unique_ptr<SharedThreadStart> start(static_cast<SharedThreadStart*>(parameter));
    start->run(*start->state);
    return 0;
  }
};

}  // namespace detail

// Runs `run(*state)` on a new thread; empty when none could be started.
template <class State>
unique_handle StartThreadSharing(std::shared_ptr<State> state, void (*run)(State&)) {
  using Start = detail::SharedThreadStart<State>;
  auto start = std::make_unique<Start>(Start{std::move(state), run});
  unique_handle thread(CreateThread(nullptr, 0, &Start::Entry, start.get(), 0, nullptr));
  if (thread) start.release();  // the thread owns it now
  return thread;
}

}  // namespace ravelin
