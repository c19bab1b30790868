#include "gamewnd/game_layout.h"

namespace ravelin {

std::array<ButtonPlacement, kToolButtonCount> PlayButtonLayout(int w, bool zoomed, bool soundOn) {
  std::array<ButtonPlacement, kToolButtonCount> b{};
  b[kBtnClose] = {{w - 25, 0, 25, 30}, true};
  b[kBtnRestore] = {{w - 52, 0, 27, 30}, zoomed};
  b[kBtnMax] = {{w - 52, 0, 27, 30}, !zoomed};
  b[kBtnMin] = {{w - 79, 0, 27, 30}, true};
  b[kBtnSoundOff] = {{w - 106, 0, 27, 30}, soundOn};
  b[kBtnSoundOn] = {{w - 106, 0, 27, 30}, !soundOn};
  b[kBtnTools] = {{w - 133, 0, 0, 0}, true};
  return b;
}

ControlPlacement BrowserPlacement(int w, int h, bool loading) { return {{0, 1, w, h}, !loading}; }

ControlPlacement FlashPlacement(int w, int h, bool playing) {
  if (playing) return {{2, 31, w - 4, h - 33}, true};
  return {{0, 1, w, h - 32}, false};
}

int GameHitTest(bool playing, int x, int y, int w, int h) {
  if (!playing) return kHtClient;
  if (x <= 3) return kHtLeft;
  if (x >= w - 3) return kHtRight;
  if (y <= 3) return kHtTop;
  if (y >= h - 3) return kHtBottom;
  if (x <= 10 && y <= 10) return kHtTopLeft;
  if (x >= w - 10 && y <= 10) return kHtTopRight;
  if (x <= 10 && y >= h - 10) return kHtBottomLeft;
  if (x >= w - 10 && y >= h - 10) return kHtBottomRight;
  return kHtCaption;
}

}  // namespace ravelin
