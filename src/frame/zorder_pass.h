// One restacking pass over a list of windows, top first: each window that
// takes part is put directly below the one placed before it. Windows marked
// to keep their place are skipped, and a window that does not answer a
// probe is neither moved nor used as a reference.
#pragma once

#include <cstdint>
#include <span>

namespace ravelin {

using ZWindow = std::uintptr_t;

class ZOrderOps {
 public:
  virtual ~ZOrderOps() = default;
  // The window asks to be left where it is ("SYN_ZORDER" = 1).
  virtual bool KeepsPlace(ZWindow window) = 0;
  // Does the window answer within the probe time?
  virtual bool Answers(ZWindow window) = 0;
  // Put `window` directly below `after`; `async` when `after` did not answer.
  virtual void PlaceBelow(ZWindow window, ZWindow after, bool async) = 0;
};

void RunZOrderPass(std::span<const ZWindow> windows, ZOrderOps& ops);

}  // namespace ravelin
