// The process's main window: a borderless layered window with per-pixel
// alpha showing the picture frame, with the game window kept in its
// opening and stacked directly above it. It performs the orderly shutdown.
#pragma once

#include <windows.h>

#include <span>

#include "frame/frame_rules.h"
#include "framework/dialog_win.h"
#include "framework/message_loop_win.h"
#include "gamewnd/standard_dlg_win.h"
#include "res/resource.h"

namespace ravelin {

// Decodes one tiny picture the way the frame decodes its own, so that the
// picture decoder's first use in the process (loading it, setting it up:
// ~15 ms under Wine) is out of the way before the first composition. For
// a thread of its own with COM set up; true when the picture decoded.
bool WarmUpPictureDecoder();

class CTranslucentDlg : public framework::CDialogImpl<CTranslucentDlg>,
                        public framework::CMessageFilter,
                        public framework::CIdleHandler,
                        public FrameHost {
 public:
  static constexpr UINT IDD = IDD_FRAME;

  CTranslucentDlg();
  ~CTranslucentDlg() override;

  static std::span<const framework::MessageMapEntry<CTranslucentDlg>> MessageMap();

  bool PreTranslateMessage(MSG* msg) override;
  bool OnIdle() override;

  HWND FrameWindow() const override { return m_hWnd; }
  // Hides both windows, stops the diagnostics worker, closes the game window
  // and the frame and ends the message loop with exit code 1.
  void CloseAll() override;
  // Raises the anchor and stacks the anchor, the game window and the frame.
  void SyncZOrder() override;
  // Composes the picture, the button highlight and a snapshot of the game
  // window, and puts the result on screen with per-pixel alpha.
  void DrawFrame();

  ULONG_PTR m_gdiplusToken = 0;
  bool m_bShuttingDown = false;
  CStandardDlg m_dlgGame;
  FrameRect m_rcCloseBtn = kCloseButton;
  FrameRect m_rcMinBtn = kMinimizeButton;
  // Outside both buttons until the pointer first moves.
  FramePoint m_ptMouse{-1, -1};
  bool m_bGamePlaced = false;
  bool m_bMinimizedOnce = false;
  HWND m_hTopWnd = nullptr;

 private:
  using Args = framework::MessageArgs;
  std::intptr_t OnInitDialog(const Args& args, bool& handled);
  std::intptr_t OnPaint(const Args& args, bool& handled);
  std::intptr_t OnMouseMove(const Args& args, bool& handled);
  std::intptr_t OnLButtonDown(const Args& args, bool& handled);
  std::intptr_t OnLButtonUp(const Args& args, bool& handled);
  std::intptr_t OnSysCommand(const Args& args, bool& handled);
  std::intptr_t OnShowWindow(const Args& args, bool& handled);
  std::intptr_t OnMove(const Args& args, bool& handled);
  std::intptr_t OnWindowPosChanging(const Args& args, bool& handled);
  std::intptr_t OnNcActivate(const Args& args, bool& handled);
  std::intptr_t OnOK(const Args& args, bool& handled);
  std::intptr_t OnCancel(const Args& args, bool& handled);
  std::intptr_t OnDestroy(const Args& args, bool& handled);

  void PlaceGameWindow(bool restack);
  void ConfirmClose();
  void CreateTopWnd();
  void CenterOnWorkArea();

  // Set while WM_SHOWWINDOW places the game window.
  bool m_bPlacingOnShow = false;
};

}  // namespace ravelin
