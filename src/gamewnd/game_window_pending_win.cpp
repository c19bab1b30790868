// Parts of the game window that come with its behaviour work: browser and
// player events, page bridge, tool buttons, menu, hot key, tray and
// painting. Until then they do nothing and leave the window's default
// processing in place.
#include "gamewnd/standard_dlg_win.h"

namespace ravelin {

void CStandardDlg::OnBeforeNavigate2(DISPPARAMS* /*params*/) {}
void CStandardDlg::OnDocumentComplete(DISPPARAMS* /*params*/) {}
void CStandardDlg::OnNavigateError(DISPPARAMS* /*params*/) {}
void CStandardDlg::ProgressChangeExplorer1(DISPPARAMS* /*params*/) {}
void CStandardDlg::OnFlashReadyStateChange(DISPPARAMS* /*params*/) {}

// No page bridge yet: the movie never answers.
std::optional<std::wstring> CStandardDlg::AskUnfinishedInfo() { return std::nullopt; }

void CStandardDlg::RemoveTrayIcon() {}

bool CStandardDlg::PreTranslateMessage(MSG* /*msg*/) { return false; }

std::intptr_t CStandardDlg::OnTrayNotify(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnHotKey(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnMenuCommand(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnToolButton(const framework::MessageArgs&, bool&) { return 0; }

std::intptr_t CStandardDlg::OnPaint(const framework::MessageArgs&, bool& handled) {
  handled = false;
  return 0;
}

std::intptr_t CStandardDlg::OnEraseBkgnd(const framework::MessageArgs&, bool& handled) {
  handled = false;
  return 0;
}

}  // namespace ravelin
