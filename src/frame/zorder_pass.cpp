#include "frame/zorder_pass.h"

#include <optional>

namespace ravelin {

void RunZOrderPass(std::span<const ZWindow> windows, ZOrderOps& ops) {
  std::optional<ZWindow> reference;
  for (const ZWindow window : windows) {
    if (ops.KeepsPlace(window)) continue;
    // The first window that takes part (normally the first of the list)
    // is where the stack starts.
    if (!reference) {
      reference = window;
      continue;
    }
    if (!ops.Answers(window)) continue;
    const bool referenceAnswers = ops.Answers(*reference);
    ops.PlaceBelow(window, *reference, !referenceAnswers);
    reference = window;
  }
}

}  // namespace ravelin
