// The process-wide network diagnostics object and its worker commands.
#pragma once

#include <windows.h>

#include <string>

namespace ravelin {

// Thread messages of the diagnostics worker.
inline constexpr UINT WM_DIAG_STOP = 1123;
inline constexpr UINT WM_DIAG_PROBE = 1129;
inline constexpr UINT WM_DIAG_GAMEURL = 1130;
inline constexpr UINT WM_DIAG_UDP_SEND = 1131;
inline constexpr UINT WM_DIAG_UDP_REPORT = 1132;
// Window message of the UDP socket notifications, sent to m_hNotifyWnd.
inline constexpr UINT WM_DIAG_SOCKET = WM_USER + 108;

class CGameException {
 public:
  std::wstring m_user;          // the report's user field: the host identifier
  HWND m_hNotifyWnd = nullptr;  // receives WM_DIAG_SOCKET

  void StartDiagWorker();
  void PostDiagCommand(UINT command, HWND window, const std::wstring& text);
  // Stops the worker and waits for it.
  void StopDiagWorker();
  void UdpOnReadable(LPARAM event);
};

extern CGameException g_gameException;

}  // namespace ravelin
