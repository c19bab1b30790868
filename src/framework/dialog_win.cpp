#include "framework/dialog_win.h"

namespace ravelin::framework {
namespace {

// The object whose window is being created on this thread. Messages sent
// before WM_INITDIALOG (WM_SETFONT, WM_NCCREATE...) carry no pointer.
thread_local CDialogBase* t_creating = nullptr;

// Messages whose dialog-procedure result is the answer itself rather than
// the DWLP_MSGRESULT value.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return true;
    default:
      return false;
  }
}

}  // namespace

HWND CDialogBase::CreateFromTemplate(HWND parent, UINT templateId, LPARAM initParam) {
  t_creating = this;
  const HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                       &CDialogBase::DialogProc, initParam);
  t_creating = nullptr;
  if (hwnd == nullptr) m_hWnd = nullptr;
  return hwnd;
}

INT_PTR CDialogBase::DoModalFromTemplate(HWND parent, UINT templateId, LPARAM initParam) {
  t_creating = this;
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                         &CDialogBase::DialogProc, initParam);
  t_creating = nullptr;
  return result;
}

BOOL CDialogBase::DestroyWindow() { return m_hWnd != nullptr ? ::DestroyWindow(m_hWnd) : FALSE; }

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) {
    if (t_creating == nullptr) return FALSE;
    self = t_creating;
    t_creating = nullptr;
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  }

  std::intptr_t result = 0;
  const bool handled = self->ProcessWindowMessage({message, wParam, lParam}, result);

  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(hwnd);
    return handled ? TRUE : FALSE;
  }
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
  return TRUE;
}

}  // namespace ravelin::framework
