// The game window's layout and non-client rules, as plain geometry.
#pragma once

#include <array>

namespace ravelin {

struct LayoutRect {
  int x, y, width, height;
  bool operator==(const LayoutRect&) const = default;
};

// The seven tool buttons in their field order.
enum ToolButton { kBtnClose, kBtnRestore, kBtnMax, kBtnMin, kBtnTools, kBtnSoundOff, kBtnSoundOn, kToolButtonCount };

struct ButtonPlacement {
  LayoutRect rect;  // the tools button keeps its own size: width and height are not used
  bool shown;
};

// Placement of the buttons along the top edge of a play-phase window of
// client width `w`.
std::array<ButtonPlacement, kToolButtonCount> PlayButtonLayout(int w, bool zoomed, bool soundOn);

struct ControlPlacement {
  LayoutRect rect;
  bool shown;
};

// The browser in the login phase: the client area moved down one pixel.
ControlPlacement BrowserPlacement(int w, int h, bool loading);
// The player: inside the title band and border when playing, hidden otherwise.
ControlPlacement FlashPlacement(int w, int h, bool playing);

// Hit-test codes.
inline constexpr int kHtClient = 1;
inline constexpr int kHtCaption = 2;
inline constexpr int kHtLeft = 10;
inline constexpr int kHtRight = 11;
inline constexpr int kHtTop = 12;
inline constexpr int kHtTopLeft = 13;
inline constexpr int kHtTopRight = 14;
inline constexpr int kHtBottom = 15;
inline constexpr int kHtBottomLeft = 16;
inline constexpr int kHtBottomRight = 17;

// The window's answer to WM_NCHITTEST for a client point (x, y).
int GameHitTest(bool playing, int x, int y, int w, int h);

inline constexpr int kMinTrackWidth = 1000;
inline constexpr int kMinTrackHeight = 650;

}  // namespace ravelin
