// The game window: dialog 129 with the browser (1000) and the player (1001)
// controls and seven tool buttons. Login phase: no caption, no taskbar
// button, placed in the frame's opening. Play phase: a resizable, maximised
// application window with its own title band.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "common/unique_handle_win.h"
#include "common/unique_variant_win.h"
#include "framework/bitmap_button_win.h"
#include "framework/dialog_win.h"
#include "framework/disp_event_sink_win.h"
#include "framework/message_loop_win.h"
#include "gamewnd/frame_host_win.h"
#include "res/resource.h"
#include "update/update_dlg_win.h"

namespace ravelin {

using framework::CBitmapButton;

class CStandardDlg : public framework::CAxDialogImpl<CStandardDlg>,
                     public framework::CMessageFilter,
                     public framework::CIdleHandler {
 public:
  static constexpr UINT IDD = IDD_GAME;
  static constexpr UINT WM_TRAY_NOTIFY = WM_USER + 1;
  static constexpr int kHotKeyId = 1001;
  // Timer 1: the play-phase loading bar.
  static constexpr UINT_PTR kTimerLoadingBar = 1;

  CStandardDlg();
  ~CStandardDlg() override;

  static std::span<const framework::MessageMapEntry<CStandardDlg>> MessageMap();

  // The exit question; on OK `beforeClosing` runs (when given) and the
  // program shuts down through the frame.
  void ConfirmExit(const std::function<void()>& beforeClosing = {});
  // Called by the frame's shutdown only: hide, destroy, post quit.
  void CloseDialog(int exitCode);

  bool PreTranslateMessage(MSG* msg) override;
  bool OnIdle() override;

  // Event sinks, connected before WM_INITDIALOG's handler and disconnected
  // before WM_DESTROY's.
  void AdviseSinks();
  void UnadviseSinks();

  FrameHost* m_pFrame = nullptr;
  unsigned char m_bClosing = 0;
  HWND m_wndIE = nullptr;
  Microsoft::WRL::ComPtr<IWebBrowser2> m_IEPtr;
  HWND m_wndFlash = nullptr;
  Microsoft::WRL::ComPtr<IDispatch> m_FlashPtr;
  Microsoft::WRL::ComPtr<IUnknown> m_pUIHandler;
  framework::CToolTipGroup m_toolTips;  // the tool buttons' tips; before the buttons
  CBitmapButton m_btnClose, m_btnRestore, m_btnMax, m_btnMin, m_btnTools, m_btnSoundOff, m_btnSoundOn;
  unique_hicon m_hIcon;
  int m_bVisible = 1;
  int m_bLoading = 1;
  int m_bPlaying = 0;
  int m_bPageDone = 0;
  int m_bDesktopNotice = 1;
  CUpdateDlg m_dlgUpdate;
  int m_nProgress = 0;
  int m_nProgressMax = 0;
  std::wstring m_strUrl;
  std::wstring m_strLoadGameUrl;
  unique_bstr m_bstrMovie;

 private:
  using Args = framework::MessageArgs;
  std::intptr_t OnInitDialog(const Args& args, bool& handled);
  std::intptr_t OnDestroy(const Args& args, bool& handled);
  std::intptr_t OnMouseActivate(const Args& args, bool& handled);
  std::intptr_t OnShowWindow(const Args& args, bool& handled);
  std::intptr_t OnTimer(const Args& args, bool& handled);
  std::intptr_t OnSize(const Args& args, bool& handled);
  std::intptr_t OnNcHitTest(const Args& args, bool& handled);
  std::intptr_t OnNcLButtonDblClk(const Args& args, bool& handled);
  std::intptr_t OnUpdateAvailable(const Args& args, bool& handled);
  std::intptr_t OnNcActivate(const Args& args, bool& handled);
  std::intptr_t OnActivateApp(const Args& args, bool& handled);
  std::intptr_t OnNcCalcSize(const Args& args, bool& handled);
  std::intptr_t OnGetMinMaxInfo(const Args& args, bool& handled);
  std::intptr_t OnDiagSocket(const Args& args, bool& handled);
  std::intptr_t OnOK(const Args& args, bool& handled);
  std::intptr_t OnCancel(const Args& args, bool& handled);

  void RunStartupTasks();
  // Navigates the browser with empty variants (no flags, frame, data, headers).
  void NavigateBrowser(const std::wstring& address);
  void RestackFrame();
  RECT ClientRect() const;

  // --- Tool buttons, settings menu, hot key, tray (game_buttons*_win.cpp)
 public:
  // The hide/show switch of F9, the menu and the tray icon.
  void ToggleVisible();
  void AddTrayIcon();
  void RemoveTrayIcon();

 private:
  void SetupButtons();
  void SetupButton(CBitmapButton& button, UINT bitmapId, int imageWidth, int controlId, const std::wstring& tooltip);
  // The settings menu of the build's language, its top-left corner at `at`
  // (screen coordinates).
  void ShowSettingsMenu(POINT at);
  void AskAndClearFlashCache();
  // Either sound button: the clicked one gives way to the other.
  void SwitchSound(CBitmapButton& clicked, CBitmapButton& other);
  std::intptr_t OnTrayNotify(const Args& args, bool& handled);
  std::intptr_t OnHotKey(const Args& args, bool& handled);
  std::intptr_t OnMenuCommand(const Args& args, bool& handled);
  std::intptr_t OnToolButton(const Args& args, bool& handled);
  // --- end of tool buttons

  // --- Painting (game_paint*_win.cpp)
  std::intptr_t OnPaint(const Args& args, bool& handled);
  std::intptr_t OnEraseBkgnd(const Args& args, bool& handled);
  // All three draw into the window's own DC, `w` x `h` being its client area.
  void DrawLoadingBackground(HDC dc, int w, int h);
  void DrawTitleBand(HDC dc, int w, int h);
  void DrawLoadingBar(HDC dc, int w, int h);
  // --- end of painting

  // --- Browser and player events, page bridge (game_events_win.cpp)
  void OnBeforeNavigate2(DISPPARAMS* params);
  void OnDocumentComplete(DISPPARAMS* params);
  void OnNavigateError(DISPPARAMS* params);
  void ProgressChangeExplorer1(DISPPARAMS* params);
  void OnFlashReadyStateChange(DISPPARAMS* params);
  // Timer 1: the play-phase loading bar.
  void OnLoadingBarTick();

  // The movie's text for the exit question; nullopt when it does not answer.
  std::optional<std::wstring> AskUnfinishedInfo();
  // --- end of events and bridge

  static const framework::CDispEventSink<CStandardDlg>::Entry kBrowserSinkMap[5];
  static const framework::CDispEventSink<CStandardDlg>::Entry kFlashSinkMap[1];

  framework::CDispEventSink<CStandardDlg> m_browserSink;
  framework::CDispEventSink<CStandardDlg> m_flashSink;
};

}  // namespace ravelin
