// A push button drawn from an image list: one image normally, another while
// the pointer is over it, and a tool-tip. It takes over an existing button
// control (a dialog's) by subclassing it and making it owner-drawn; it paints
// itself, so the parent needs no WM_DRAWITEM handling.
//
// The buttons of one window share one tool-tip control (CToolTipGroup), each
// as a tool of its own: a tool-tip control is a top-level window, and
// creating one costs as much as any other.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "common/unique_gdi_win.h"

namespace ravelin::framework {

// One tool-tip control for any number of buttons. It is made when the first
// button asks for it, owned by that button's top-level window, and goes with
// that window or with this object, whichever goes first. Declare it before
// the buttons that use it.
class CToolTipGroup {
 public:
  CToolTipGroup() = default;
  ~CToolTipGroup();
  CToolTipGroup(const CToolTipGroup&) = delete;
  CToolTipGroup& operator=(const CToolTipGroup&) = delete;

  // The control, or nullptr before the first button asked for it.
  HWND Get() const { return m_hWnd; }

 private:
  friend class CBitmapButton;
  // The control, made for the top-level window of `button` if it is not
  // there yet; nullptr when it cannot be made.
  HWND Ensure(HWND button);

  HWND m_hWnd = nullptr;
};

class CBitmapButton {
 public:
  // Extended styles.
  static constexpr DWORD kAutoSize = 0x0001;  // take the size of one image
  static constexpr DWORD kHover = 0x0020;     // track the pointer and show the hover image

  explicit CBitmapButton(DWORD extendedStyle = kAutoSize) : m_extendedStyle(extendedStyle) {}
  ~CBitmapButton();
  CBitmapButton(const CBitmapButton&) = delete;
  CBitmapButton& operator=(const CBitmapButton&) = delete;

  // Takes over the button `button`; false when it is no window or this
  // object already has one.
  bool SubclassWindow(HWND button);
  // Gives the control back to its own procedure, keeping the window.
  void UnsubclassWindow();

  // The button owns the list from now on (any list it had before goes).
  void SetImageList(unique_himagelist images);
  HIMAGELIST GetImageList() const { return m_images.get(); }
  // Image indices; -1 for hover means the normal image.
  void SetImages(int normal, int hover = -1);
  // Changes the bits in `mask` (all bits when 0); returns the old style.
  DWORD SetBitmapButtonExtendedStyle(DWORD style, DWORD mask = 0);
  DWORD GetBitmapButtonExtendedStyle() const { return m_extendedStyle; }
  // Shows `text` as this button's tip, from `group`'s control (the button's
  // tool is added there the first time, its text changed after that).
  bool SetToolTipText(CToolTipGroup& group, const std::wstring& text);
  // Resizes the button to one image of its list.
  void SizeToImage();

  bool IsHovering() const { return m_hover; }
  HWND GetToolTip() const { return m_toolTip; }

  HWND m_hWnd = nullptr;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR refData);
  void Draw(HDC dc) const;
  void OnMouseMove();
  void SetHover(bool hover);
  // Takes this button's tool out of the shared control.
  void RemoveToolTip();

  DWORD m_extendedStyle;
  unique_himagelist m_images;
  int m_normalImage = 0;
  int m_hoverImage = -1;
  bool m_hover = false;
  bool m_tracking = false;
  HWND m_toolTip = nullptr;  // the group's control, once this button is a tool of it
};

}  // namespace ravelin::framework
