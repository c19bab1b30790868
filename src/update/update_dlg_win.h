// The update dialog (dialog 202) and the two update checks: the silent one
// after start-up and the interactive worker behind the dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/unique_handle_win.h"
#include "framework/dialog_win.h"
#include "framework/message_loop_win.h"
#include "res/resource.h"
#include "update/update_check_win.h"

namespace ravelin {

// Posted to the game window when the silent check finds a different build.
inline constexpr UINT WM_UPDATE_AVAILABLE = WM_USER + 100;
// Posted by the interactive worker: wParam 0 when the build is downloaded.
inline constexpr UINT WM_UPDATE_CHECK_DONE = WM_USER + 1;

class CUpdateDlg : public framework::CDialogImpl<CUpdateDlg>,
                   public framework::CMessageFilter,
                   public framework::CIdleHandler {
 public:
  static constexpr UINT IDD = IDD_UPDATE;

  CUpdateDlg();
  ~CUpdateDlg() override;

  static std::span<const framework::MessageMapEntry<CUpdateDlg>> MessageMap();

  // Runs the dialog modally. While it is open (or being opened) a second
  // call opens nothing and returns IDCANCEL. IDOK means a checked build lies
  // at the target path and the player agreed to restart: the caller closes
  // the program, with StartHandover before it goes.
  INT_PTR DoModal(HWND parent);
  bool IsOpen() const { return m_bOpen; }

  // Starts the hand-over to the downloaded build. When the program cannot
  // copy itself, says so in a box owned by `owner` and starts nothing.
  void StartHandover(HWND owner) const;

  // Checks the manifest on a thread of its own; posts `message` to `window`
  // when a different build is offered.
  void StartSilentCheck(HWND window, UINT message);

  bool PreTranslateMessage(MSG* msg) override;
  bool OnIdle() override;

 private:
  using Args = framework::MessageArgs;
  std::intptr_t OnCheckDone(const Args& args, bool& handled);
  std::intptr_t OnInitDialog(const Args& args, bool& handled);
  std::intptr_t OnOK(const Args& args, bool& handled);
  std::intptr_t OnCancel(const Args& args, bool& handled);
  std::intptr_t OnDestroy(const Args& args, bool& handled);

  // After a finished download: the restart question.
  void AskToRestart();
  void CenterOnParent();
  void EndRun();

  unique_handle m_hWorker;
  unique_handle m_hSilent;
  std::wstring m_strTarget;
  HWND m_hProgress = nullptr;
  std::shared_ptr<UpdateRun> m_run;  // the current opening's, shared with its worker
  std::uint32_t m_openings = 0;
  bool m_bOpen = false;
};

}  // namespace ravelin
