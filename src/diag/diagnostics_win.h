// The process-wide network diagnostics object: its worker thread and its
// commands, the ping and route probes, the UDP check, the report and its
// upload, and the network checks that decide what is measured.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle_win.h"
#include "common/unique_net_win.h"
#include "diag/diag_record.h"
#include "diag/diag_report.h"

namespace ravelin {

// Thread messages of the diagnostics worker.
inline constexpr UINT WM_DIAG_STOP = WM_USER + 99;
inline constexpr UINT WM_DIAG_PROBE = WM_USER + 105;
inline constexpr UINT WM_DIAG_GAMEURL = WM_USER + 106;
inline constexpr UINT WM_DIAG_UDP_SEND = WM_USER + 107;
inline constexpr UINT WM_DIAG_UDP_REPORT = WM_USER + 108;
// Window message of the UDP socket notifications, sent to m_hNotifyWnd. It
// shares its number with WM_DIAG_UDP_REPORT, which lives in another queue.
inline constexpr UINT WM_DIAG_SOCKET = WM_USER + 108;

// Where the log is posted.
inline constexpr wchar_t kDiagLogObject[] = L"/loginer/logData.php";

// The payload of one command, made by the poster and freed by the worker.
struct DiagCommand {
  HWND window = nullptr;
  std::wstring text;
};

class CGameException {
 public:
  CGameException();
  virtual ~CGameException();
  CGameException(const CGameException&) = delete;
  CGameException& operator=(const CGameException&) = delete;

  unique_handle m_hThread;
  DWORD m_threadId = 0;
  std::wstring m_user;          // the report's user field: the host identifier
  HWND m_hNotifyWnd = nullptr;  // receives WM_DIAG_SOCKET
  std::vector<DiagRecord> m_records;
  std::wstring m_gateway;
  std::vector<std::wstring> m_dnsServers;
  unsigned short m_udpPort = 2000;
  std::wstring m_udpTarget;
  bool m_udpReady = false;
  WSADATA m_wsaData{};
  unique_wsa_session m_winsock;
  unique_socket m_socket;
  sockaddr_in m_localAddr{};
  sockaddr_in m_remoteAddr{};
  UdpProbeTable m_probes;  // shared with the window's thread; locks itself
  bool m_publicReachable = false;
  std::wstring m_logPath;

  // The build's values, kept here so the support tool and tests can aim the
  // diagnostics elsewhere before the worker starts.
  std::wstring m_logHost;
  std::wstring m_serverList;  // empty: the UI language's list
  std::vector<std::wstring> m_publicSites;
  // How long one run of a console tool may take before it is ended.
  DWORD m_pingCeilingMs = 2 * 60 * 1000;
  DWORD m_traceCeilingMs = 15 * 60 * 1000;

  // Worker.
  void StartDiagWorker();
  void PostDiagCommand(HWND window, UINT message, const std::wstring& text);
  // Ends a running console tool at once, then lets the worker write and post
  // what it has and waits for it, kStopWaitMs at most. False when the worker
  // is still at work then (in a name lookup, say): the caller leaves it, and
  // the process must end without tearing down what the worker uses.
  bool StopDiagWorker();
  bool WorkerRunning() const;
  // Together with the rest of the exit this keeps it within five seconds.
  static constexpr DWORD kStopWaitMs = 3500;

  // Probes: one record each in m_records; false when the tool printed
  // fewer than two characters.
  bool PingProbe(const std::wstring& target, const std::wstring& type);
  bool TraceRouteProbe(const std::wstring& target, const std::wstring& type);
  static std::wstring GetDiagTime();

  // UDP check.
  bool UdpSendProbes(int count);
  void UdpOnReadable(WORD event);
  void UdpSummarise();
  void UdpClose();

  // Report, log file and upload.
  void WriteDiagRecords();
  void ReadDiagLog(std::string& out) const;
  void UploadDiagLog();

  // What is measured.
  bool ReadNetworkConfig();
  bool PingGateway();
  void PingDnsServers();
  void ProbeConnectivity();
  void CheckGameUrl(const std::wstring& gameAddress);

 private:
  static unsigned __stdcall DiagWorkerProc(void* object);
  // Runs one command message and frees its payload.
  void HandleCommand(const MSG& msg);
  bool Stopping() const;
  void UploadDiagLog(bool final);

  unique_handle m_hStopping;  // manual-reset; set by StopDiagWorker
  unique_handle m_hQueueReady;
};

extern CGameException g_gameException;

}  // namespace ravelin
