// The game window's own painting (loading background, title band, loading
// bar): not built yet; the dialog paints its default background.
#include "gamewnd/standard_dlg_win.h"

namespace ravelin {

std::intptr_t CStandardDlg::OnPaint(const framework::MessageArgs&, bool& handled) {
  handled = false;
  return 0;
}

std::intptr_t CStandardDlg::OnEraseBkgnd(const framework::MessageArgs&, bool& handled) {
  handled = false;
  return 0;
}

}  // namespace ravelin
