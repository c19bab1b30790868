// The updater is not built yet: no check runs and the dialog never opens.
#include "update/update_dlg_win.h"

namespace ravelin {

void CUpdateDlg::StartSilentCheck(HWND /*window*/, UINT /*message*/) {}

INT_PTR CUpdateDlg::DoModal(HWND /*parent*/) { return IDCANCEL; }

}  // namespace ravelin
