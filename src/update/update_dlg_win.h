// The update dialog (dialog 202) and the two update checks: the silent one
// after start-up and the interactive worker behind the dialog.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "framework/dialog_win.h"
#include "framework/message_loop_win.h"
#include "res/resource.h"

namespace ravelin {

// Posted to the game window when the silent check finds a different build.
inline constexpr UINT WM_UPDATE_AVAILABLE = WM_USER + 100;
// Posted by the interactive worker: wParam 0 when the build is downloaded.
inline constexpr UINT WM_UPDATE_CHECK_DONE = WM_USER + 1;

// A manual-reset event the interactive worker waits on for the user's
// choice; made anew each time the dialog opens.
extern HANDLE g_updateGoEvent;

class CUpdateDlg : public framework::CDialogImpl<CUpdateDlg>,
                   public framework::CMessageFilter,
                   public framework::CIdleHandler {
 public:
  static constexpr UINT IDD = IDD_UPDATE;

  CUpdateDlg();
  ~CUpdateDlg() override;

  static std::span<const framework::MessageMapEntry<CUpdateDlg>> MessageMap();

  // Checks the manifest on a thread of its own; posts `message` to `window`
  // when a different build is offered.
  void StartSilentCheck(HWND window, UINT message);

  bool PreTranslateMessage(MSG* msg) override;
  bool OnIdle() override;

  // Read by the workers.
  HWND SilentTarget() const { return m_hSilentTarget; }
  UINT SilentMessage() const { return m_uSilentMessage; }
  void SetTargetPath(const std::wstring& path) { m_strTarget = path; }
  HWND ProgressBar() const { return m_hProgress; }

 private:
  using Args = framework::MessageArgs;
  std::intptr_t OnCheckDone(const Args& args, bool& handled);
  std::intptr_t OnInitDialog(const Args& args, bool& handled);
  std::intptr_t OnOK(const Args& args, bool& handled);
  std::intptr_t OnCancel(const Args& args, bool& handled);
  std::intptr_t OnDestroy(const Args& args, bool& handled);

  // After a finished download: the restart question and the hand-over.
  void RestartWithNewBuild();
  void CenterOnParent();

  HANDLE m_hWorker = nullptr;
  HANDLE m_hSilent = nullptr;
  HWND m_hSilentTarget = nullptr;
  UINT m_uSilentMessage = 0;
  std::wstring m_strTarget;
  HWND m_hProgress = nullptr;
};

}  // namespace ravelin
