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

bool CStandardDlg::PreTranslateMessage(MSG* /*msg*/) { return false; }

}  // namespace ravelin
