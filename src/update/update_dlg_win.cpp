#include "update/update_dlg_win.h"

#include <commctrl.h>

#include "common/shared_thread_win.h"
#include "framework/app_module_win.h"
#include "i18n/language_win.h"
#include "update/update_check_win.h"
#include "update/update_files.h"

namespace ravelin {

using framework::MessageArgs;
using framework::MessageMapEntry;
using framework::OnCommand;
using framework::OnMessage;

CUpdateDlg::CUpdateDlg() { g_cancelUpdate = 0; }

CUpdateDlg::~CUpdateDlg() { EndRun(); }

std::span<const MessageMapEntry<CUpdateDlg>> CUpdateDlg::MessageMap() {
  using D = CUpdateDlg;
  static const MessageMapEntry<D> kMap[] = {
      OnMessage<D>(WM_UPDATE_CHECK_DONE, &D::OnCheckDone),
      OnMessage<D>(WM_INITDIALOG, &D::OnInitDialog),
      {WM_COMMAND, &D::OnOK, IDOK, BN_CLICKED},
      {WM_COMMAND, &D::OnCancel, IDCANCEL, BN_CLICKED},
      OnMessage<D>(WM_DESTROY, &D::OnDestroy),
  };
  return kMap;
}

INT_PTR CUpdateDlg::DoModal(HWND parent) {
  // A second dialog over the first would share its worker and its file.
  if (m_bOpen) return IDCANCEL;
  m_bOpen = true;
  const INT_PTR result = CDialogImpl::DoModal(parent);
  m_bOpen = false;
  return result;
}

void CUpdateDlg::StartSilentCheck(HWND window, UINT message) {
  auto* target = new SilentCheckTarget{window, message};
  m_hSilent.reset(CreateThread(nullptr, 0, &SilentCheckThreadProc, target, 0, nullptr));
  if (!m_hSilent) delete target;
}

void CUpdateDlg::StartHandover(HWND owner) const {
  if (!ravelin::StartHandover(m_strTarget)) {
    MessageBoxW(owner, g_Language.GetText(5).c_str(), g_Language.GetText(6).c_str(), MB_OK);
  }
}

// Ends the current opening: its worker stops at its next step and touches
// nothing more. It is not waited for; it may be stuck in a slow read.
void CUpdateDlg::EndRun() {
  if (m_run) m_run->Cancel();
  m_run.reset();
  m_hWorker.reset();
}

bool CUpdateDlg::PreTranslateMessage(MSG* msg) { return IsDialogMessageW(m_hWnd, msg) != FALSE; }

bool CUpdateDlg::OnIdle() { return false; }

void CUpdateDlg::CenterOnParent() {
  RECT dialog;
  GetWindowRect(m_hWnd, &dialog);
  const int width = dialog.right - dialog.left;
  const int height = dialog.bottom - dialog.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  const HWND parent = GetParent(m_hWnd);
  const bool onParent = parent != nullptr && IsWindowVisible(parent) && !IsIconic(parent);
  GetMonitorInfoW(MonitorFromWindow(onParent ? parent : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT area = monitor.rcWork;
  if (onParent) GetWindowRect(parent, &area);
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  x = std::max(static_cast<int>(monitor.rcWork.left), std::min(x, static_cast<int>(monitor.rcWork.right) - width));
  y = std::max(static_cast<int>(monitor.rcWork.top), std::min(y, static_cast<int>(monitor.rcWork.bottom) - height));
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::intptr_t CUpdateDlg::OnInitDialog(const MessageArgs&, bool&) {
  framework::JoinThreadLoop(this, this);
  m_hProgress = GetDlgItem(m_hWnd, IDC_UPDATE_PROGRESS);
  ::ShowWindow(m_hProgress, SW_HIDE);
  CenterOnParent();
  SetWindowTextW(m_hWnd, g_Language.GetText(3).c_str());
  EnableWindow(GetDlgItem(m_hWnd, IDOK), FALSE);

  // An earlier opening's worker may still be in a read: it is told to stop
  // and left to end by itself, since it shares nothing with this one.
  EndRun();
  g_cancelUpdate = 0;
  m_strTarget = UpdateTargetPath(GetModulePath());
  m_run = std::make_shared<UpdateRun>(m_hWnd, m_hProgress, ++m_openings);
  m_hWorker = StartThreadSharing(m_run, &RunUpdateCheck);
  return TRUE;
}

std::intptr_t CUpdateDlg::OnOK(const MessageArgs&, bool&) {
  EnableWindow(GetDlgItem(m_hWnd, IDOK), FALSE);
  g_cancelUpdate = 0;
  ::ShowWindow(m_hProgress, SW_SHOW);
  if (m_run) m_run->Go();
  return 0;
}

std::intptr_t CUpdateDlg::OnCancel(const MessageArgs&, bool&) {
  g_cancelUpdate = 1;
  EndRun();
  m_hProgress = nullptr;
  EndDialog(IDCANCEL);
  return 0;
}

std::intptr_t CUpdateDlg::OnCheckDone(const MessageArgs& args, bool&) {
  m_hWorker.reset();
  if (args.wParam != 0) {
    EnableWindow(GetDlgItem(m_hWnd, IDOK), TRUE);
    g_cancelUpdate = 1;
    EndRun();
    m_hProgress = nullptr;
    EndDialog(IDCANCEL);
    return 0;
  }
  AskToRestart();
  return 0;
}

void CUpdateDlg::AskToRestart() {
  SetDlgItemTextW(m_hWnd, IDOK, g_Language.GetText(3).c_str());
  if (MessageBoxW(m_hWnd, g_Language.GetText(4).c_str(), g_Language.GetText(3).c_str(), MB_OKCANCEL) != IDOK) return;
  // The hand-over is the caller's, after it knows the program will close.
  EndDialog(IDOK);
}

std::intptr_t CUpdateDlg::OnDestroy(const MessageArgs&, bool& handled) {
  // However the window goes, its opening ends with it.
  EndRun();
  framework::LeaveThreadLoop(this, this);
  handled = false;
  return 0;
}

}  // namespace ravelin
