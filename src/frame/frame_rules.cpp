#include "frame/frame_rules.h"

namespace ravelin {
namespace {

FrameHighlight Test(FramePoint p) {
  if (kCloseButton.Contains(p.x, p.y)) return FrameHighlight::Close;
  if (kMinimizeButton.Contains(p.x, p.y)) return FrameHighlight::Minimize;
  return FrameHighlight::None;
}

}  // namespace

FrameHighlight FrameHighlightFor(FramePoint& stored, bool minimizedOnce) {
  const FrameHighlight first = Test(stored);
  if (minimizedOnce || first != FrameHighlight::None) return first;
  stored.y += 20;
  return Test(stored);
}

FrameClick FrameClickAt(FramePoint stored) {
  if (kCloseButton.Contains(stored.x, stored.y)) return FrameClick::Close;
  if (kMinimizeButton.Contains(stored.x, stored.y)) return FrameClick::Minimize;
  return FrameClick::None;
}

}  // namespace ravelin
