#include "framework/bitmap_button_win.h"

#include <utility>

namespace ravelin::framework {
namespace {

constexpr UINT_PTR kSubclassId = 0x52424254;  // 'RBBT'

bool IsMouseMessage(UINT message) {
  return message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
         message == WM_RBUTTONUP || message == WM_MBUTTONDOWN || message == WM_MBUTTONUP;
}

TTTOOLINFOW ToolInfo(HWND button) {
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.uFlags = TTF_IDISHWND;
  info.hwnd = GetParent(button);
  info.uId = reinterpret_cast<UINT_PTR>(button);
  return info;
}

}  // namespace

CToolTipGroup::~CToolTipGroup() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

HWND CToolTipGroup::Ensure(HWND button) {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) return m_hWnd;
  m_hWnd = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetAncestor(button, GA_ROOT), nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  return m_hWnd;
}

CBitmapButton::~CBitmapButton() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) UnsubclassWindow();
  RemoveToolTip();
}

bool CBitmapButton::SubclassWindow(HWND button) {
  if (m_hWnd != nullptr || !::IsWindow(button)) return false;
  if (!SetWindowSubclass(button, &CBitmapButton::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  m_hWnd = button;
  // Owner-drawn, so the control's own procedure never paints a face of its
  // own; our WM_PAINT draws the image instead.
  const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
  SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  if ((m_extendedStyle & kAutoSize) && m_images) SizeToImage();
  InvalidateRect(button, nullptr, TRUE);
  return true;
}

void CBitmapButton::UnsubclassWindow() {
  if (m_hWnd == nullptr) return;
  RemoveToolTip();
  RemoveWindowSubclass(m_hWnd, &CBitmapButton::SubclassProc, kSubclassId);
  m_hWnd = nullptr;
  m_hover = m_tracking = false;
}

void CBitmapButton::SetImageList(unique_himagelist images) {
  m_images = std::move(images);
  if ((m_extendedStyle & kAutoSize) && m_hWnd != nullptr) SizeToImage();
  if (m_hWnd != nullptr) InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CBitmapButton::SetImages(int normal, int hover) {
  m_normalImage = normal;
  m_hoverImage = hover;
  if (m_hWnd != nullptr) InvalidateRect(m_hWnd, nullptr, FALSE);
}

DWORD CBitmapButton::SetBitmapButtonExtendedStyle(DWORD style, DWORD mask) {
  const DWORD old = m_extendedStyle;
  m_extendedStyle = mask == 0 ? style : (m_extendedStyle & ~mask) | (style & mask);
  if (!(m_extendedStyle & kHover)) SetHover(false);
  return old;
}

bool CBitmapButton::SetToolTipText(CToolTipGroup& group, const std::wstring& text) {
  if (m_hWnd == nullptr) return false;
  TTTOOLINFOW info = ToolInfo(m_hWnd);
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  if (m_toolTip != nullptr && m_toolTip == group.Get()) {
    SendMessageW(m_toolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    return true;
  }
  RemoveToolTip();  // a tool of another group's control
  const HWND control = group.Ensure(m_hWnd);
  if (control == nullptr || !SendMessageW(control, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info))) return false;
  m_toolTip = control;
  return true;
}

void CBitmapButton::SizeToImage() {
  int cx = 0, cy = 0;
  if (m_hWnd == nullptr || !m_images || !ImageList_GetIconSize(m_images.get(), &cx, &cy)) return;
  SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::Draw(HDC dc) const {
  if (!m_images) {
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  const int image = m_hover && m_hoverImage >= 0 ? m_hoverImage : m_normalImage;
  ImageList_Draw(m_images.get(), image, dc, 0, 0, ILD_NORMAL);
}

void CBitmapButton::OnMouseMove() {
  if (!(m_extendedStyle & kHover)) return;
  if (!m_tracking) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = m_hWnd;
    m_tracking = TrackMouseEvent(&track) != FALSE;
  }
  SetHover(true);
}

void CBitmapButton::SetHover(bool hover) {
  if (m_hover == hover) return;
  m_hover = hover;
  if (m_hWnd != nullptr) InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CBitmapButton::RemoveToolTip() {
  if (m_toolTip != nullptr && m_hWnd != nullptr && ::IsWindow(m_toolTip)) {
    TTTOOLINFOW info = ToolInfo(m_hWnd);
    SendMessageW(m_toolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
  m_toolTip = nullptr;
}

LRESULT CALLBACK CBitmapButton::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR refData) {
  auto* self = reinterpret_cast<CBitmapButton*>(refData);
  if (self->m_toolTip != nullptr && IsMouseMessage(message)) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendMessageW(self->m_toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  switch (message) {
    case WM_MOUSEMOVE:
      self->OnMouseMove();
      break;
    case WM_MOUSELEAVE:
      self->m_tracking = false;
      self->SetHover(false);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the image covers the whole button
    case WM_PAINT: {
      const unique_hdc_paint dc(hwnd);
      self->Draw(dc.get());
      return 0;
    }
    case WM_PRINTCLIENT:
      self->Draw(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_DESTROY:
      self->RemoveToolTip();
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &CBitmapButton::SubclassProc, kSubclassId);
      self->m_hWnd = nullptr;
      self->m_hover = self->m_tracking = false;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace ravelin::framework
