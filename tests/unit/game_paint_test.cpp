#include "gamewnd/game_paint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace ravelin {
namespace {

constexpr int kBorderW = 60, kBorderH = 57;  // bitmap 224
constexpr int kBandW = 37, kBandH = 33;      // bitmap 226

using SourcePixel = std::optional<std::pair<int, int>>;

// Carries the pieces out on a w x h canvas that records, for each pixel,
// which bitmap pixel ended up there (nullopt: untouched).
class Canvas {
 public:
  Canvas(int w, int h) : m_w(w), m_h(h), m_pixels(static_cast<std::size_t>(w * h)) {}
  void Paint(const std::vector<BitmapPiece>& pieces) {
    for (const BitmapPiece& p : pieces) {
      for (int dy = 0; dy < p.height; ++dy) {
        for (int dx = 0; dx < p.width; ++dx) {
          const int x = p.x + dx, y = p.y + dy;
          if (x >= 0 && x < m_w && y >= 0 && y < m_h) At(x, y) = std::pair{p.srcX + dx, p.srcY + dy};
        }
      }
    }
  }
  const SourcePixel& operator()(int x, int y) const { return m_pixels[static_cast<std::size_t>(y * m_w + x)]; }

 private:
  SourcePixel& At(int x, int y) { return m_pixels[static_cast<std::size_t>(y * m_w + x)]; }
  int m_w, m_h;
  std::vector<SourcePixel> m_pixels;
};

void ExpectInsideBitmap(const std::vector<BitmapPiece>& pieces, int bw, int bh) {
  for (const BitmapPiece& p : pieces) {
    EXPECT_GE(p.srcX, 0);
    EXPECT_GE(p.srcY, 0);
    EXPECT_LE(p.srcX + p.width, bw) << "piece at " << p.x << "," << p.y;
    EXPECT_LE(p.srcY + p.height, bh) << "piece at " << p.x << "," << p.y;
  }
}

struct Size {
  int w, h;
};
// The login window in the frame, play windows, odd sizes, sizes whose last
// slice starts one pixel before the far end (1017 wide for the band, 362
// high for the border), and one just wider than the border bitmap.
const Size kSizes[] = {{678, 361}, {1015, 700}, {1000, 650}, {679, 362}, {1281, 1023}, {1017, 701}, {61, 59}};

TEST(LoadingBorder, CornersEdgesAndSlicesInTheFramesOpening) {
  const auto pieces = LoadingBorderPieces(678, 361, kBorderW, kBorderH);
  ASSERT_FALSE(pieces.empty());
  const BitmapPiece expected[] = {
      {0, 1, 0, 0, 30, 28},        // top-left quarter, one pixel down
      {30, 1, 30, 0, 8, 28},       // first top slice
      {648, 1, 30, 0, 30, 28},     // top-right quarter
      {0, 333, 0, 28, 30, 28},     // bottom-left quarter
      {30, 333, 30, 28, 8, 28},    // first bottom slice
      {648, 333, 30, 28, 30, 28},  // bottom-right quarter
      {0, 29, 0, 28, 30, 8},       // first left slice
      {648, 29, 30, 28, 30, 8},    // first right slice
  };
  for (const BitmapPiece& e : expected) {
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), e), pieces.end()) << "missing " << e.x << "," << e.y;
  }
  auto count = [&](int y, int height) {
    return std::count_if(pieces.begin(), pieces.end(),
                         [&](const BitmapPiece& p) { return p.y == y && p.width == 8 && p.height == height; });
  };
  EXPECT_EQ(count(1, 28), 78) << "top slices at x = 30, 38, ... 646";
  EXPECT_EQ(count(333, 28), 78);
  const auto columns = std::count_if(pieces.begin(), pieces.end(), [](const BitmapPiece& p) { return p.height == 8; });
  EXPECT_EQ(columns, 2 * 38) << "column slices at y = 29, 37, ... 325 on both sides";
  EXPECT_EQ(pieces.back().x, 648) << "the right column comes last";
}

TEST(LoadingBorder, FramesTheAreaAndLeavesTheMiddleAndTheBarRowToTheFill) {
  const int hw = kBorderW / 2, hh = kBorderH / 2;
  for (const Size s : kSizes) {
    SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
    const auto pieces = LoadingBorderPieces(s.w, s.h, kBorderW, kBorderH);
    ExpectInsideBitmap(pieces, kBorderW, kBorderH);
    Canvas c(s.w, s.h);
    c.Paint(pieces);
    int gaps = 0, overpainted = 0, topEdgeWrong = 0, sideEdgeWrong = 0;
    for (int y = 0; y < s.h; ++y) {
      for (int x = 0; x < s.w; ++x) {
        const bool border = y >= 1 && (x < hw || x >= s.w - hw || y <= hh || y >= s.h - hh);
        if (border && !c(x, y)) ++gaps;
        if (!border && c(x, y)) ++overpainted;
        // Edges come from the bitmap's middle column and row.
        if (y >= 1 && y <= hh && x >= hw && x < s.w - hw && c(x, y) &&
            (c(x, y)->first < hw || c(x, y)->first >= hw + 8)) {
          ++topEdgeWrong;
        }
        if (x < hw && y > hh && y < s.h - hh && c(x, y) && (c(x, y)->second < hh || c(x, y)->second >= hh + 8)) {
          ++sideEdgeWrong;
        }
      }
    }
    EXPECT_EQ(gaps, 0);
    EXPECT_EQ(overpainted, 0) << "row 0 and the middle keep the fill colour";
    EXPECT_EQ(topEdgeWrong, 0);
    EXPECT_EQ(sideEdgeWrong, 0);
    // The four outer corners are the bitmap's corners.
    EXPECT_EQ(c(0, 1), (std::pair{0, 0}));
    EXPECT_EQ(c(s.w - 1, 1), (std::pair{2 * hw - 1, 0}));
    EXPECT_EQ(c(0, s.h - 1), (std::pair{0, 2 * hh - 1}));
    EXPECT_EQ(c(s.w - 1, s.h - 1), (std::pair{2 * hw - 1, 2 * hh - 1}));
  }
}

TEST(TitleBand, BandSlicesAndBottomLineOfAThousandPixelWindow) {
  const auto pieces = TitleBandPieces(1000, 700, kBandW, kBandH);
  const BitmapPiece expected[] = {
      {0, 0, 0, 0, 18, 30},   {18, 0, 9, 0, 20, 30},   {978, 0, 9, 0, 20, 30},   {982, 0, 18, 0, 18, 30},
      {0, 698, 0, 31, 18, 2}, {18, 698, 18, 31, 8, 2}, {978, 698, 18, 31, 8, 2}, {982, 698, 18, 31, 18, 2},
  };
  for (const BitmapPiece& e : expected) {
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), e), pieces.end()) << "missing " << e.x << "," << e.y;
  }
  EXPECT_EQ(std::count_if(pieces.begin(), pieces.end(), [](const BitmapPiece& p) { return p.width == 20; }), 49);
  EXPECT_EQ(std::count_if(pieces.begin(), pieces.end(), [](const BitmapPiece& p) { return p.width == 8; }), 121);
  // The right half covers the last slice's overhang, so it comes after it.
  const auto right = std::find(pieces.begin(), pieces.end(), BitmapPiece{982, 0, 18, 0, 18, 30});
  const auto lastSlice = std::find(pieces.begin(), pieces.end(), BitmapPiece{978, 0, 9, 0, 20, 30});
  EXPECT_LT(lastSlice, right);
}

TEST(TitleBand, CoversTheTopThirtyRowsAndTheBottomTwoOnly) {
  const int half = kBandW / 2;
  for (const Size s : kSizes) {
    SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
    const auto pieces = TitleBandPieces(s.w, s.h, kBandW, kBandH);
    ExpectInsideBitmap(pieces, kBandW, kBandH);
    Canvas c(s.w, s.h);
    c.Paint(pieces);
    int wrong = 0;
    for (int y = 0; y < s.h; ++y) {
      for (int x = 0; x < s.w; ++x) {
        const bool band = y < 30, line = y >= s.h - 2;
        if ((band || line) != c(x, y).has_value()) {
          ++wrong;
          continue;
        }
        if (!c(x, y)) continue;
        const auto [sx, sy] = *c(x, y);
        // Band rows come from the bitmap's top 30, the line from its last two.
        if (band && sy != y) ++wrong;
        if (line && sy != kBandH - (s.h - y)) ++wrong;
        // Ends are the bitmap's halves, 1:1.
        if (x < half && sx != x) ++wrong;
        if (x >= s.w - half && sx != half + x - (s.w - half)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(TitleBand, SideLinesRunFromBelowTheBandToTheBottom) {
  EXPECT_EQ(TitleSideLines(1000, 700, kBandH), (std::vector<PaintLine>{{1, 30, 1, 700}, {999, 30, 999, 700}}));
  EXPECT_EQ(TitleSideLines(1281, 1023, kBandH), (std::vector<PaintLine>{{1, 30, 1, 1023}, {1280, 30, 1280, 1023}}));
}

TEST(LoadingBar, NothingBeforeTheFirstProgressReport) {
  EXPECT_FALSE(HasLoadingBar(0));
  EXPECT_FALSE(HasLoadingBar(-1));
  EXPECT_TRUE(HasLoadingBar(1));
}

TEST(LoadingBar, RunningPixelsEveryOtherXUpToTheProgress) {
  struct Case {
    int w;
    bool playing;
    int progress, max;
    int y, x0, e;
    int first, last, count;  // count 0: no running pixel
  };
  const Case cases[] = {
      {1015, false, 500, 1000, 0, 15, 987, 15, 507, 247},  // i < 493
      {1000, true, 1, 2, 30, 2, 998, 2, 500, 250},         // i < 499
      {678, false, 0, 100, 0, 15, 650, 0, 0, 0},
      {1015, false, 1, 1000, 0, 15, 987, 0, 0, 0},    // 987 / 1000 = 0
      {1015, false, 2, 1000, 0, 15, 987, 15, 15, 1},  // 1974 / 1000 = 1
      {1015, false, 3, 1000, 0, 15, 987, 15, 15, 1},  // 2961 / 1000 = 2: i = 0 only
      {1015, false, -5, 10, 0, 15, 987, 0, 0, 0},
      // The product would wrap in 32 bits: 2e9 * 987 / 2147483647 = 919.
      {1015, false, 2'000'000'000, 2'147'483'647, 0, 15, 987, 15, 933, 460},
      // Past the range: the pixels stop at the window's edge.
      {1015, false, 5000, 1000, 0, 15, 987, 15, 1013, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.progress << " of " << c.max << " at " << c.w);
    const LoadingBar bar = LoadingBarFor(c.w, c.playing, c.progress, c.max);
    EXPECT_EQ(bar.y, c.y);
    EXPECT_EQ(bar.x0, c.x0);
    EXPECT_EQ(bar.e, c.e);
    EXPECT_FALSE(bar.finished);
    ASSERT_EQ(bar.runningPixels.size(), static_cast<std::size_t>(c.count));
    if (c.count == 0) continue;
    EXPECT_EQ(bar.runningPixels.front(), c.first);
    EXPECT_EQ(bar.runningPixels.back(), c.last);
    for (std::size_t i = 1; i < bar.runningPixels.size(); ++i) {
      ASSERT_EQ(bar.runningPixels[i] - bar.runningPixels[i - 1], 2) << "at " << i;
    }
  }
}

TEST(LoadingBar, FinishedAtTheRangeOrAtMinusOneWhateverTheRange) {
  struct Case {
    int w;
    bool playing;
    int progress, max;
  };
  for (const Case c : {Case{1015, false, 1000, 1000}, Case{1015, false, -1, 1000}, Case{1000, true, -1, 5},
                       Case{1000, true, 7, 7}, Case{678, false, -1, 2'147'483'647}}) {
    const LoadingBar bar = LoadingBarFor(c.w, c.playing, c.progress, c.max);
    EXPECT_TRUE(bar.finished) << c.progress << " of " << c.max;
    EXPECT_TRUE(bar.runningPixels.empty());
    EXPECT_EQ(bar.e, c.w - 2 * bar.x0 + 2);
  }
  const LoadingBar play = LoadingBarFor(1000, true, -1, 5);
  EXPECT_EQ(play.y, 30);
  EXPECT_EQ(play.x0, 2);
  EXPECT_EQ(play.e, 998);
}

TEST(LoadingDots, OneToSevenThenOneAgain) {
  int counter = 0;
  std::vector<int> drawn;
  for (int i = 0; i < 16; ++i) {
    const LoadingDotsStep step = StepLoadingDots(counter);
    drawn.push_back(step.drawn);
    counter = step.next;
  }
  EXPECT_EQ(drawn, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7, 1, 2}));
  EXPECT_EQ(StepLoadingDots(6).next, 0);
  EXPECT_EQ(StepLoadingDots(5).next, 6);
}

TEST(LoadingDots, TextAndPlace) {
  EXPECT_EQ(LoadingText(1), L"Game Loading .");
  EXPECT_EQ(LoadingText(7), L"Game Loading .......");
  EXPECT_EQ(LoadingText(0), L"Game Loading ");
  EXPECT_EQ(LoadingTextOrigin(1015, 700), (PaintPoint{406, 350}));
  EXPECT_EQ(LoadingTextOrigin(678, 361), (PaintPoint{271, 180}));
}

}  // namespace
}  // namespace ravelin
