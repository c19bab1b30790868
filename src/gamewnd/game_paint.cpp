#include "gamewnd/game_paint.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ravelin {

namespace {

constexpr int kBorderSliceLength = 8;
constexpr int kBandSliceWidth = 20;
constexpr int kBottomLineSliceWidth = 8;
constexpr int kBottomLineHeight = 2;
constexpr int kBandBitmapSpareRows = 3;  // the bitmap's rows below the band
constexpr int kPlayBarY = 30;
constexpr int kPlayBarX0 = 2;
constexpr int kLoginBarX0 = 15;
constexpr int kLoadingDotsMax = 7;

}  // namespace

std::vector<BitmapPiece> LoadingBorderPieces(int w, int h, int bitmapWidth, int bitmapHeight) {
  const int hw = bitmapWidth / 2, hh = bitmapHeight / 2;
  std::vector<BitmapPiece> pieces;
  // Top row, one pixel down: the loading bar has the top edge.
  pieces.push_back({0, 1, 0, 0, hw, hh});
  for (int x = hw; x < w - hw; x += kBorderSliceLength) pieces.push_back({x, 1, hw, 0, kBorderSliceLength, hh});
  pieces.push_back({w - hw, 1, hw, 0, hw, hh});

  pieces.push_back({0, h - hh, 0, hh, hw, hh});
  for (int x = hw; x < w - hw; x += kBorderSliceLength) pieces.push_back({x, h - hh, hw, hh, kBorderSliceLength, hh});
  pieces.push_back({w - hw, h - hh, hw, hh, hw, hh});

  for (int y = hh + 1; y < h - hh; y += kBorderSliceLength) pieces.push_back({0, y, 0, hh, hw, kBorderSliceLength});
  for (int y = hh + 1; y < h - hh; y += kBorderSliceLength) {
    pieces.push_back({w - hw, y, hw, hh, hw, kBorderSliceLength});
  }
  return pieces;
}

std::vector<BitmapPiece> TitleBandPieces(int w, int h, int bitmapWidth, int bitmapHeight) {
  const int half = bitmapWidth / 2;
  const int band = bitmapHeight - kBandBitmapSpareRows;
  const int lineRow = bitmapHeight - kBottomLineHeight;
  std::vector<BitmapPiece> pieces;
  pieces.push_back({0, 0, 0, 0, half, band});
  for (int x = half; x < w - half; x += kBandSliceWidth) {
    pieces.push_back({x, 0, bitmapWidth / 4, 0, kBandSliceWidth, band});
  }
  pieces.push_back({w - half, 0, half, 0, half, band});

  const int y = h - kBottomLineHeight;
  pieces.push_back({0, y, 0, lineRow, half, kBottomLineHeight});
  for (int x = half; x < w - half; x += kBottomLineSliceWidth) {
    pieces.push_back({x, y, half, lineRow, kBottomLineSliceWidth, kBottomLineHeight});
  }
  pieces.push_back({w - half, y, half, lineRow, half, kBottomLineHeight});
  return pieces;
}

std::vector<PaintLine> TitleSideLines(int w, int h, int bandBitmapHeight) {
  const int top = bandBitmapHeight - kBandBitmapSpareRows;
  return {{1, top, 1, h}, {w - 1, top, w - 1, h}};
}

bool HasLoadingBar(int progressMax) { return progressMax > 0; }

LoadingBar LoadingBarFor(int w, bool playing, int progress, int progressMax) {
  LoadingBar bar{};
  bar.y = playing ? kPlayBarY : 0;
  bar.x0 = playing ? kPlayBarX0 : kLoginBarX0;
  bar.e = w - 2 * bar.x0 + 2;
  bar.finished = progress == progressMax || progress == -1;
  if (bar.finished || progressMax <= 0) return bar;
  // 64-bit product: a large range must not wrap.
  const std::int64_t length = static_cast<std::int64_t>(progress) * bar.e / progressMax;
  const std::int64_t limit = std::min<std::int64_t>(length, w - bar.x0);
  for (std::int64_t i = 0; i < limit; i += 2) bar.runningPixels.push_back(bar.x0 + static_cast<int>(i));
  return bar;
}

LoadingDotsStep StepLoadingDots(int counter) {
  const int drawn = counter + 1;
  return {drawn, drawn == kLoadingDotsMax ? 0 : drawn};
}

std::wstring LoadingText(int dots) {
  return L"Game Loading " + std::wstring(static_cast<std::size_t>(std::max(dots, 0)), L'.');
}

PaintPoint LoadingTextOrigin(int w, int h) { return {2 * w / 5, h / 2}; }

}  // namespace ravelin
