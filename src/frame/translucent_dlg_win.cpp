#include "frame/translucent_dlg_win.h"

#include "framework/app_module_win.h"

namespace ravelin {

using framework::MessageArgs;
using framework::MessageMapEntry;
using framework::OnCommand;
using framework::OnMessage;

std::span<const MessageMapEntry<CTranslucentDlg>> CTranslucentDlg::MessageMap() {
  static constexpr MessageMapEntry<CTranslucentDlg> kMap[] = {
      OnMessage<CTranslucentDlg>(WM_INITDIALOG, &CTranslucentDlg::OnInitDialog),
      OnCommand<CTranslucentDlg>(IDOK, &CTranslucentDlg::OnOK),
      OnCommand<CTranslucentDlg>(IDCANCEL, &CTranslucentDlg::OnCancel),
      OnMessage<CTranslucentDlg>(WM_DESTROY, &CTranslucentDlg::OnDestroy),
  };
  return kMap;
}

// The frame has no controls and no keyboard interface of its own.
bool CTranslucentDlg::PreTranslateMessage(MSG* /*msg*/) { return false; }

bool CTranslucentDlg::OnIdle() { return false; }

std::intptr_t CTranslucentDlg::OnInitDialog(const MessageArgs& /*args*/, bool& /*handled*/) {
  if (framework::CMessageLoop* loop = framework::g_appModule.GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }
  return TRUE;
}

std::intptr_t CTranslucentDlg::OnOK(const MessageArgs& /*args*/, bool& /*handled*/) {
  DestroyWindow();
  PostQuitMessage(1);
  return 0;
}

// The close question belongs to the frame proper; until it is there a
// system close leaves the window open rather than quitting without asking.
std::intptr_t CTranslucentDlg::OnCancel(const MessageArgs& /*args*/, bool& /*handled*/) { return 0; }

std::intptr_t CTranslucentDlg::OnDestroy(const MessageArgs& /*args*/, bool& handled) {
  if (framework::CMessageLoop* loop = framework::g_appModule.GetMessageLoop()) {
    loop->RemoveMessageFilter(this);
    loop->RemoveIdleHandler(this);
  }
  handled = false;
  return 0;
}

}  // namespace ravelin
