// What the game window paints itself, as plain geometry: the loading
// background's border, the play phase's title band, the loading bar and the
// "Game Loading " text. The Win32 side only carries these pieces out.
#pragma once

#include <string>
#include <vector>

namespace ravelin {

struct PaintColour {
  unsigned char r, g, b;
  bool operator==(const PaintColour&) const = default;
};

inline constexpr PaintColour kLoadingFillColour{0x1A, 0x10, 0x09};
inline constexpr PaintColour kSideLineColour{0x43, 0x29, 0x01};
inline constexpr PaintColour kBarBaseColour{0x1A, 0x16, 0x00};
inline constexpr PaintColour kBarFinishedColour{0x32, 0x2C, 0x0A};
inline constexpr PaintColour kBarRunningColour{0xFF, 0x99, 0x00};
inline constexpr PaintColour kPaintTextColour{0xFF, 0xFF, 0xFF};

// One 1:1 block copy from a bitmap to (x, y) in the window.
struct BitmapPiece {
  int x, y;
  int srcX, srcY;
  int width, height;
  bool operator==(const BitmapPiece&) const = default;
};

// The loading background's border from a bitmapWidth x bitmapHeight bitmap
// (its quarters are the corners, its middle column and row the edges) in a
// w x h client area, in drawing order: later pieces cover earlier ones.
std::vector<BitmapPiece> LoadingBorderPieces(int w, int h, int bitmapWidth, int bitmapHeight);

// The title band along the top (the bitmap's top rows but three) and the
// window's bottom line (its last two rows), in drawing order.
std::vector<BitmapPiece> TitleBandPieces(int w, int h, int bitmapWidth, int bitmapHeight);

struct PaintLine {
  int x0, y0, x1, y1;  // the end point is not drawn
  bool operator==(const PaintLine&) const = default;
};

inline constexpr int kSideLineWidth = 2;

// The two side lines of the play-phase window, below the band.
std::vector<PaintLine> TitleSideLines(int w, int h, int bandBitmapHeight);

struct PaintRect {
  int left, top, right, bottom;
  bool operator==(const PaintRect&) const = default;
};

inline constexpr int kTitleIconX = 4;
inline constexpr int kTitleIconY = 4;
inline constexpr int kTitleIconSize = 20;
inline constexpr PaintRect kTitleTextRect{30, 8, 330, 24};

struct LoadingBar {
  int y;   // just below the title band when playing, else the window's top edge
  int x0;  // where the coloured part starts
  int e;   // the finished line's end, and the running part's full length
  bool finished;
  std::vector<int> runningPixels;  // x of each running pixel; empty when finished
};

// Before the first progress report the range is 0 and nothing of the bar is
// drawn, not even its base line.
bool HasLoadingBar(int progressMax);
// The bar of a window `w` wide. A progress of -1 means finished. Running
// pixels past the window's right edge are left out: they would not show.
LoadingBar LoadingBarFor(int w, bool playing, int progress, int progressMax);

// The "Game Loading " dot counter: one more dot on each repaint, 1 to 7.
struct LoadingDotsStep {
  int drawn;  // dots to draw now
  int next;   // the counter's value afterwards
};
LoadingDotsStep StepLoadingDots(int counter);
std::wstring LoadingText(int dots);

struct PaintPoint {
  int x, y;
  bool operator==(const PaintPoint&) const = default;
};
PaintPoint LoadingTextOrigin(int w, int h);

// The dot counter itself, process-wide; defined with the window's painting.
extern int g_nLoadingDots;

}  // namespace ravelin
