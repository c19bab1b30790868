// The update dialog and the silent update check.
#pragma once

#include <windows.h>

namespace ravelin {

// Posted to the game window when the silent check finds a different build.
inline constexpr UINT WM_UPDATE_AVAILABLE = WM_USER + 100;

class CUpdateDlg {
 public:
  HWND m_hWnd = nullptr;

  // Checks the manifest on a thread of its own; posts `message` to `window`
  // when a different build is offered.
  void StartSilentCheck(HWND window, UINT message);
  // Runs the dialog modally; IDOK when the hand-over to a new build started.
  INT_PTR DoModal(HWND parent);
};

}  // namespace ravelin
