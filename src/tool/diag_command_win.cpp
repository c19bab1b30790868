// diag [--upload]: the diagnostics' start-up round without windows, printed
// or uploaded as the launcher does.
#include "diag/diagnostics_win.h"  // before <windows.h>: it brings the socket headers

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "common/utf8.h"
#include "diag/diag_report.h"
#include "sysinfo/host_uid_win.h"
#include "tool/commands_win.h"

namespace ravelin::tool {
namespace {

CGameException* g_roundDiag = nullptr;

LRESULT CALLBACK RoundNotifyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DIAG_SOCKET && g_roundDiag != nullptr) {
    g_roundDiag->UdpOnReadable(LOWORD(lParam));
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The worker's start-up round: the measuring runs on its own thread while
// this one takes the echoes, as the game window does.
}  // namespace

int RunDiagRound(const Args& argv) {
  bool upload = false;
  for (std::size_t i = 2; i < argv.size(); ++i) {
    if (argv[i] != L"--upload") return UsageError();
    upload = true;
  }
  auto diag = std::make_unique<CGameException>();
  diag->m_user = ComputeHostUid().text;

  WNDCLASSW wc{};
  wc.lpfnWndProc = &RoundNotifyProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"RavelinToolDiagNotify";
  RegisterClassW(&wc);
  HWND notify = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (notify == nullptr) {
    std::fputs("cannot create the window for socket notifications\n", stderr);
    return 1;
  }
  diag->m_hNotifyWnd = notify;
  g_roundDiag = diag.get();

  std::atomic<bool> done{false};
  bool udpStarted = false;
  std::thread round([&] {
    diag->ReadNetworkConfig();
    udpStarted = diag->UdpSendProbes(100);
    diag->ProbeConnectivity();
    done = true;
    PostMessageW(notify, WM_NULL, 0, 0);
  });
  MSG msg;
  while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  round.join();
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);

  std::fprintf(stderr, "gateway: %s\n", ToUtf8(diag->m_gateway).c_str());
  for (const std::wstring& server : diag->m_dnsServers) std::fprintf(stderr, "dns: %s\n", ToUtf8(server).c_str());
  if (!udpStarted) std::fputs("udp: the socket library could not be started\n", stderr);

  int status = 0;
  if (upload) {
    diag->UdpSummarise();
    std::string before;
    diag->ReadDiagLog(before);
    const bool hadLines = !before.empty() || !diag->m_records.empty();
    diag->UploadDiagLog();
    std::string after;
    diag->ReadDiagLog(after);
    const bool posted = hadLines && after.empty();
    std::printf("upload to %s: %s\n", ToUtf8(diag->m_logHost).c_str(),
                posted ? "posted, log emptied" : "not posted, lines kept in the log");
    std::printf("log: %s\n", ToUtf8(diag->m_logPath).c_str());
    status = posted ? 0 : 1;
  } else {
    diag->UdpSummarise();
    for (const DiagRecord& record : diag->m_records) {
      std::wstring line = FormatReportLine(record, diag->m_user);
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      std::printf("%s\n", ToUtf8(line).c_str());
    }
  }
  diag->UdpClose();
  g_roundDiag = nullptr;
  DestroyWindow(notify);
  return status;
}

}  // namespace ravelin::tool
