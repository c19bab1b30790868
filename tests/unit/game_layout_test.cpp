#include "gamewnd/game_layout.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

TEST(PlayLayout, ButtonsSitAlongTheTopEdgeFromTheRight) {
  const auto b = PlayButtonLayout(1000, false, true);
  EXPECT_EQ(b[kBtnClose].rect, (LayoutRect{975, 0, 25, 30}));
  EXPECT_EQ(b[kBtnMax].rect.x, 948);
  EXPECT_EQ(b[kBtnRestore].rect.x, 948);
  EXPECT_EQ(b[kBtnMin].rect.x, 921);
  EXPECT_EQ(b[kBtnSoundOff].rect.x, 894);
  EXPECT_EQ(b[kBtnSoundOn].rect.x, 894);
  EXPECT_EQ(b[kBtnTools].rect.x, 867);
  for (int i : {kBtnRestore, kBtnMax, kBtnMin, kBtnSoundOff, kBtnSoundOn}) {
    EXPECT_EQ(b[static_cast<std::size_t>(i)].rect.width, 27);
    EXPECT_EQ(b[static_cast<std::size_t>(i)].rect.height, 30);
  }
  const auto narrow = PlayButtonLayout(1280, true, false);
  EXPECT_EQ(narrow[kBtnClose].rect.x, 1255);
  EXPECT_EQ(narrow[kBtnTools].rect.x, 1147);
}

TEST(PlayLayout, OneOfEachPairIsShown) {
  for (bool zoomed : {false, true}) {
    for (bool sound : {false, true}) {
      const auto b = PlayButtonLayout(1000, zoomed, sound);
      EXPECT_EQ(b[kBtnRestore].shown, zoomed);
      EXPECT_EQ(b[kBtnMax].shown, !zoomed);
      EXPECT_EQ(b[kBtnSoundOff].shown, sound);
      EXPECT_EQ(b[kBtnSoundOn].shown, !sound);
      EXPECT_TRUE(b[kBtnClose].shown && b[kBtnMin].shown && b[kBtnTools].shown);
    }
  }
}

TEST(PlayLayout, ControlsByPhase) {
  EXPECT_EQ(BrowserPlacement(678, 361, true).rect, (LayoutRect{0, 1, 678, 361}));
  EXPECT_FALSE(BrowserPlacement(678, 361, true).shown);
  EXPECT_TRUE(BrowserPlacement(678, 361, false).shown);
  EXPECT_EQ(FlashPlacement(1000, 700, true).rect, (LayoutRect{2, 31, 996, 667}));
  EXPECT_TRUE(FlashPlacement(1000, 700, true).shown);
  EXPECT_EQ(FlashPlacement(678, 361, false).rect, (LayoutRect{0, 1, 678, 329}));
  EXPECT_FALSE(FlashPlacement(678, 361, false).shown);
}

TEST(HitTest, BandsAndCornersInThePlayPhase) {
  const int w = 1000, h = 700;
  struct Case {
    int x, y, code;
  };
  const Case cases[] = {
      {5, 5, kHtTopLeft},         {2, 5, kHtLeft},        {100, 15, kHtCaption},  {3, 300, kHtLeft},
      {4, 300, kHtCaption},       {997, 300, kHtRight},   {996, 300, kHtCaption}, {500, 3, kHtTop},
      {500, 697, kHtBottom},      {990, 10, kHtTopRight}, {989, 10, kHtCaption},  {10, 690, kHtBottomLeft},
      {990, 690, kHtBottomRight}, {0, 0, kHtLeft},        {999, 0, kHtRight},     {500, 4, kHtCaption},
      {-5, 300, kHtLeft},
  };
  for (const Case& c : cases) EXPECT_EQ(GameHitTest(true, c.x, c.y, w, h), c.code) << c.x << "," << c.y;
  EXPECT_EQ(GameHitTest(false, 1, 1, w, h), kHtClient);
  EXPECT_EQ(GameHitTest(false, 100, 15, w, h), kHtClient);
}

}  // namespace
}  // namespace ravelin
