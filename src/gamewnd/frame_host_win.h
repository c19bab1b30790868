// What the game window needs of the window it sits in: the frame is the
// process's main window, keeps the game window in its opening and performs
// the orderly shutdown. The frame implements it; the game window knows
// nothing else of it.
#pragma once

#include <windows.h>

namespace ravelin {

class FrameHost {
 public:
  virtual HWND FrameWindow() const = 0;
  // Stacks the anchor, the game window and the frame again.
  virtual void SyncZOrder() = 0;
  // Hides both windows, stops the diagnostics and ends the program with 1.
  virtual void CloseAll() = 0;

 protected:
  ~FrameHost() = default;
};

}  // namespace ravelin
