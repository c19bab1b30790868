// The frame's geometry and its button highlight rule.
#pragma once

namespace ravelin {

struct FrameRect {
  int left, top, right, bottom;
  // Left and top edges belong to the rectangle, right and bottom do not.
  constexpr bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct FramePoint {
  int x, y;
};

inline constexpr int kFrameWidth = 729;
inline constexpr int kFrameHeight = 530;
inline constexpr int kFramePictureWidth = 723;
inline constexpr int kFramePictureHeight = 505;
inline constexpr int kGameOffsetX = 23;
inline constexpr int kGameOffsetY = 115;
inline constexpr int kGameWidth = 678;
inline constexpr int kGameHeight = 361;

inline constexpr FrameRect kCloseButton{686, 64, 712, 89};
inline constexpr FrameRect kMinimizeButton{661, 69, 681, 89};

enum class FrameHighlight { None, Close, Minimize };

// Which button the composition highlights for the stored pointer position.
// Until the frame has been minimised once, a position in neither button is
// moved down by 20 pixels — the stored position itself, so later clicks test
// the moved one — and tested again.
FrameHighlight FrameHighlightFor(FramePoint& stored, bool minimizedOnce);

// What a click released at the stored position does.
enum class FrameClick { Close, Minimize, None };
FrameClick FrameClickAt(FramePoint stored);

}  // namespace ravelin
