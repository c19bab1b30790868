#include "frame/frame_rules.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

TEST(FrameButtons, RectanglesIncludeTheirLeftAndTopEdgesOnly) {
  EXPECT_EQ(FrameClickAt({686, 64}), FrameClick::Close);
  EXPECT_EQ(FrameClickAt({711, 88}), FrameClick::Close);
  EXPECT_EQ(FrameClickAt({712, 70}), FrameClick::None);
  EXPECT_EQ(FrameClickAt({700, 89}), FrameClick::None);
  EXPECT_EQ(FrameClickAt({661, 69}), FrameClick::Minimize);
  EXPECT_EQ(FrameClickAt({681, 80}), FrameClick::None);  // between the two buttons
  EXPECT_EQ(FrameClickAt({660, 80}), FrameClick::None);
}

TEST(FrameHighlight, BeforeTheFirstMinimiseAMissMovesTheStoredPointDown) {
  FramePoint p{690, 50};
  EXPECT_EQ(FrameHighlightFor(p, false), FrameHighlight::Close);
  EXPECT_EQ(p.y, 70);
  // The moved point is what a click then tests.
  EXPECT_EQ(FrameClickAt(p), FrameClick::Close);
  // Every composition moves a miss again.
  FramePoint far{100, 100};
  EXPECT_EQ(FrameHighlightFor(far, false), FrameHighlight::None);
  EXPECT_EQ(far.y, 120);
  EXPECT_EQ(FrameHighlightFor(far, false), FrameHighlight::None);
  EXPECT_EQ(far.y, 140);
  // A hit is not moved.
  FramePoint hit{665, 75};
  EXPECT_EQ(FrameHighlightFor(hit, false), FrameHighlight::Minimize);
  EXPECT_EQ(hit.y, 75);
}

TEST(FrameHighlight, AfterTheFirstMinimiseThePlainTestHolds) {
  FramePoint p{690, 50};
  EXPECT_EQ(FrameHighlightFor(p, true), FrameHighlight::None);
  EXPECT_EQ(p.y, 50);
  EXPECT_EQ(FrameClickAt(p), FrameClick::None);  // a click there starts a drag
  FramePoint close{686, 64};
  EXPECT_EQ(FrameHighlightFor(close, true), FrameHighlight::Close);
}

}  // namespace
}  // namespace ravelin
