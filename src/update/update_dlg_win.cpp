#include "update/update_dlg_win.h"

#include <commctrl.h>

#include "framework/app_module_win.h"
#include "i18n/language_win.h"
#include "update/update_check_win.h"

namespace ravelin {

using framework::MessageArgs;
using framework::MessageMapEntry;
using framework::OnCommand;
using framework::OnMessage;

HANDLE g_updateGoEvent = nullptr;

namespace {

void CloseThreadHandle(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

CUpdateDlg::CUpdateDlg() { g_cancelUpdate = 0; }

CUpdateDlg::~CUpdateDlg() {
  CloseThreadHandle(m_hWorker);
  CloseThreadHandle(m_hSilent);
}

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

void CUpdateDlg::StartSilentCheck(HWND window, UINT message) {
  m_hSilentTarget = window;
  m_uSilentMessage = message;
  CloseThreadHandle(m_hSilent);
  m_hSilent = CreateThread(nullptr, 0, &SilentCheckThreadProc, this, 0, nullptr);
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

  if (m_hWorker != nullptr) {
    WaitForSingleObject(m_hWorker, INFINITE);
    CloseThreadHandle(m_hWorker);
  }
  g_cancelUpdate = 0;
  // The worker waits on whichever event is current; make it before the worker.
  if (g_updateGoEvent != nullptr) CloseHandle(g_updateGoEvent);
  g_updateGoEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_hWorker = CreateThread(nullptr, 0, &CheckThreadProc, this, 0, nullptr);
  return TRUE;
}

std::intptr_t CUpdateDlg::OnOK(const MessageArgs&, bool&) {
  EnableWindow(GetDlgItem(m_hWnd, IDOK), FALSE);
  g_cancelUpdate = 0;
  ::ShowWindow(m_hProgress, SW_SHOW);
  SetEvent(g_updateGoEvent);
  return 0;
}

std::intptr_t CUpdateDlg::OnCancel(const MessageArgs&, bool&) {
  g_cancelUpdate = 1;
  SetEvent(g_updateGoEvent);
  CloseThreadHandle(m_hWorker);
  m_hProgress = nullptr;
  EndDialog(IDCANCEL);
  return 0;
}

std::intptr_t CUpdateDlg::OnCheckDone(const MessageArgs& args, bool&) {
  CloseThreadHandle(m_hWorker);
  if (args.wParam != 0) {
    EnableWindow(GetDlgItem(m_hWnd, IDOK), TRUE);
    g_cancelUpdate = 1;
    SetEvent(g_updateGoEvent);
    m_hProgress = nullptr;
    EndDialog(IDCANCEL);
    return 0;
  }
  RestartWithNewBuild();
  return 0;
}

void CUpdateDlg::RestartWithNewBuild() {
  SetDlgItemTextW(m_hWnd, IDOK, g_Language.GetText(3).c_str());
  if (MessageBoxW(m_hWnd, g_Language.GetText(4).c_str(), g_Language.GetText(3).c_str(), MB_OKCANCEL) != IDOK) return;
  EndDialog(IDOK);
  if (!StartHandover(m_strTarget)) {
    MessageBoxW(m_hWnd, g_Language.GetText(5).c_str(), g_Language.GetText(6).c_str(), MB_OK);
  }
}

std::intptr_t CUpdateDlg::OnDestroy(const MessageArgs&, bool& handled) {
  framework::LeaveThreadLoop(this, this);
  handled = false;
  return 0;
}

}  // namespace ravelin
