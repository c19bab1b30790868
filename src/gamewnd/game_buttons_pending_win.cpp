// Tool buttons, settings menu, hot key and tray: not built yet. The window
// keeps its default processing for them until then.
#include "gamewnd/standard_dlg_win.h"

namespace ravelin {

void CStandardDlg::SetupButtons() {
  const std::pair<CBitmapButton*, int> buttons[] = {
      {&m_btnClose, IDC_BTN_CLOSE}, {&m_btnRestore, IDC_BTN_RESTORE}, {&m_btnMin, IDC_BTN_MIN},
      {&m_btnMax, IDC_BTN_MAX},     {&m_btnTools, IDC_BTN_TOOLS},     {&m_btnSoundOff, IDC_BTN_SOUNDOFF},
      {&m_btnSoundOn, IDC_BTN_SOUNDON},
  };
  for (const auto& [button, id] : buttons) {
    button->m_hWnd = GetDlgItem(m_hWnd, id);
    ::ShowWindow(button->m_hWnd, SW_HIDE);
  }
}

void CStandardDlg::AddTrayIcon() {}
void CStandardDlg::RemoveTrayIcon() {}

std::intptr_t CStandardDlg::OnTrayNotify(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnHotKey(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnMenuCommand(const framework::MessageArgs&, bool&) { return 0; }
std::intptr_t CStandardDlg::OnToolButton(const framework::MessageArgs&, bool&) { return 0; }

}  // namespace ravelin
