#include "diag/diagnostics_win.h"

#include <process.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "common/ansi_win.h"
#include "diag/command_runner_win.h"
#include "i18n/endpoints.h"
#include "net/http_transfer_win.h"

namespace ravelin {

CGameException g_gameException;

namespace {

// Diagnostic posts are small; a log host that does not answer soon is not
// waited for, and on the way out even less. The limits bound the whole post,
// name resolution and proxy detection included.
constexpr DWORD kUploadTimeoutMs = 5000;
constexpr DWORD kUploadLimitMs = 15000;
constexpr DWORD kFinalUploadTimeoutMs = 2000;
constexpr DWORD kFinalUploadLimitMs = 2500;

std::wstring TempFolder() {
  wchar_t buffer[1024] = {};
  const DWORD n = GetTempPathW(1024, buffer);
  if (n == 0 || n >= 1024) return {};
  return std::wstring(buffer, n);
}

bool ReadWholeFile(const std::wstring& path, std::string& out) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  std::string content;
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, n);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  if (ok) out = std::move(content);
  return ok;
}

// Gives `path` the whole of `content` in one step: it is written beside the
// file and then put in its place, so a failure (or the end of the process)
// at any point leaves either the old file or the new one, whole.
bool ReplaceFileContent(const std::wstring& path, const std::string& content) {
  const std::wstring temporary = path + L".new";
  FILE* file = _wfopen(temporary.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed &&
      MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

// The payload a posted command carries; whoever takes it frees it.
std::unique_ptr<DiagCommand> TakeCommand(WPARAM wParam) {
  return std::unique_ptr<DiagCommand>(reinterpret_cast<DiagCommand*>(wParam));
}

}  // namespace

CGameException::CGameException()
    : m_udpTarget(UdpEchoAddress()),
      m_logPath(DiagLogPath(TempFolder())),
      m_logHost(DownloadHost()),
      m_publicSites(PublicSites().begin(), PublicSites().end()),
      m_hStopping(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hQueueReady(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CGameException::~CGameException() = default;

// ---------------------------------------------------------------- worker

void CGameException::StartDiagWorker() {
  if (m_hThread) {
    if (WaitForSingleObject(m_hThread.get(), 0) != WAIT_OBJECT_0) return;  // already running
    // A worker that was stopped may be started again (a new game window).
    m_hThread.reset();
    m_threadId = 0;
  }
  ResetEvent(m_hStopping.get());
  ResetEvent(m_hQueueReady.get());
  // Started suspended only so that the identifier is stored before the
  // worker can post to itself.
  unsigned threadId = 0;
  const auto handle = _beginthreadex(nullptr, 0, &CGameException::DiagWorkerProc, this, CREATE_SUSPENDED, &threadId);
  if (handle == 0) return;
  m_hThread.reset(reinterpret_cast<HANDLE>(handle));
  m_threadId = threadId;
  ResumeThread(m_hThread.get());
  // Commands posted from now on must find the worker's queue.
  WaitForSingleObject(m_hQueueReady.get(), 5000);
}

void CGameException::PostDiagCommand(HWND window, UINT message, const std::wstring& text) {
  auto command = std::make_unique<DiagCommand>();
  command->window = window;
  command->text = text;
  if (PostThreadMessageW(m_threadId, message, reinterpret_cast<WPARAM>(command.get()), 0)) {
    command.release();  // the worker frees it
  } else {
    std::printf("post message failed,errno:%d\n", static_cast<int>(GetLastError()));
  }
  Sleep(100);
}

bool CGameException::StopDiagWorker() {
  SetEvent(m_hStopping.get());
  PostThreadMessageW(m_threadId, WM_DIAG_STOP, 0, 0);
  return !m_hThread || WaitForSingleObject(m_hThread.get(), kStopWaitMs) == WAIT_OBJECT_0;
}

bool CGameException::WorkerRunning() const {
  return m_hThread && WaitForSingleObject(m_hThread.get(), 0) == WAIT_TIMEOUT;
}

bool CGameException::Stopping() const { return WaitForSingleObject(m_hStopping.get(), 0) == WAIT_OBJECT_0; }

unsigned __stdcall CGameException::DiagWorkerProc(void* object) {
  auto* self = static_cast<CGameException*>(object);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the thread's queue
  SetEvent(self->m_hQueueReady.get());

  self->ReadNetworkConfig();
  self->PostDiagCommand(nullptr, WM_DIAG_UDP_SEND, L"");
  self->PostDiagCommand(nullptr, WM_DIAG_PROBE, L"");
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) self->HandleCommand(msg);
  // Commands that came after the stop are never run, but their payloads are freed.
  while (PeekMessageW(&msg, nullptr, WM_DIAG_PROBE, WM_DIAG_UDP_REPORT, PM_REMOVE)) {
    if (msg.hwnd == nullptr) TakeCommand(msg.wParam);
  }
  return 1;
}

void CGameException::HandleCommand(const MSG& msg) {
  if (msg.hwnd != nullptr) return;
  switch (msg.message) {
    case WM_DIAG_STOP:
      UdpClose();
      UploadDiagLog(true);
      PostQuitMessage(0);
      break;
    case WM_DIAG_PROBE:
      TakeCommand(msg.wParam);
      ProbeConnectivity();
      UploadDiagLog();
      break;
    case WM_DIAG_GAMEURL: {
      std::wstring address;
      if (const std::unique_ptr<DiagCommand> command = TakeCommand(msg.wParam)) address = command->text;
      CheckGameUrl(address);
      UploadDiagLog();
      break;
    }
    case WM_DIAG_UDP_SEND:
      TakeCommand(msg.wParam);
      // On the way out nobody would take the echoes of a new batch.
      if (!Stopping()) UdpSendProbes(100);
      break;
    case WM_DIAG_UDP_REPORT:
      TakeCommand(msg.wParam);
      UdpSummarise();
      UploadDiagLog();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- probes

std::wstring CGameException::GetDiagTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FormatDiagTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

namespace {

// Runs one console tool on `target` and reads its output into a new record.
bool RunProbe(const wchar_t* tool, const std::wstring& target, const std::wstring& type, const CaptureLimits& limits,
              bool (*read)(std::wstring_view, DiagRecord&), std::vector<DiagRecord>& records) {
  if (!IsProbeTarget(target)) return false;
  std::wstring output;
  RunCommandCapture(std::wstring(tool) + L" " + target, output, limits);
  DiagRecord record;
  record[DiagRecord::kCmd] = tool;
  record[DiagRecord::kTime] = CGameException::GetDiagTime();
  record[DiagRecord::kType] = type;
  record[DiagRecord::kUrl] = target;
  if (!read(output, record)) return false;
  records.push_back(std::move(record));
  return true;
}

}  // namespace

bool CGameException::PingProbe(const std::wstring& target, const std::wstring& type) {
  return RunProbe(L"ping", target, type, CaptureLimits{m_pingCeilingMs, m_hStopping.get()}, &ReadPingOutput, m_records);
}

bool CGameException::TraceRouteProbe(const std::wstring& target, const std::wstring& type) {
  return RunProbe(L"tracert", target, type, CaptureLimits{m_traceCeilingMs, m_hStopping.get()}, &ReadTracertOutput,
                  m_records);
}

// ---------------------------------------------------------------- UDP check

bool CGameException::UdpSendProbes(int count) {
  if (!m_udpReady) {
    unique_wsa_session winsock = StartWinsock(MAKEWORD(1, 1), m_wsaData);
    if (!winsock) return false;
    if (LOBYTE(m_wsaData.wVersion) != 1 || HIBYTE(m_wsaData.wVersion) != 1) return false;
    m_winsock = std::move(winsock);
    unique_socket udp(socket(AF_INET, SOCK_DGRAM, 0));

    char hostName[300] = {};
    m_localAddr = {};
    m_localAddr.sin_family = AF_INET;
    m_localAddr.sin_port = htons(static_cast<u_short>(m_udpPort + 1));
    // Without a name or an address for it, the socket takes any local
    // address; the first send binds it otherwise.
    m_localAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (gethostname(hostName, sizeof(hostName)) == 0) {
      const hostent* host = gethostbyname(hostName);
      if (host != nullptr && host->h_addrtype == AF_INET && host->h_addr_list != nullptr &&
          host->h_addr_list[0] != nullptr) {
        in_addr first;
        std::memcpy(&first, host->h_addr_list[0], sizeof(first));
        m_localAddr.sin_addr.s_addr = inet_addr(inet_ntoa(first));
      }
    }
    bind(udp.get(), reinterpret_cast<const sockaddr*>(&m_localAddr), sizeof(m_localAddr));

    m_remoteAddr = {};
    m_remoteAddr.sin_family = AF_INET;
    m_remoteAddr.sin_port = htons(m_udpPort);
    m_remoteAddr.sin_addr.s_addr = inet_addr(ToThreadAnsi(m_udpTarget).c_str());
    // Non-blocking and notifying before the window's thread can see it.
    WSAAsyncSelect(udp.get(), m_hNotifyWnd, WM_DIAG_SOCKET, FD_READ);
    m_socket = std::move(udp);
  }
  m_udpReady = true;

  for (int number = 1; number <= count; ++number) {
    // Recorded before it goes out: a near echo can answer before sendto
    // returns, and the window's thread must find the probe in the table.
    m_probes.Sent(number, GetTickCount());
    const std::string datagram = FormatProbeDatagram(number);
    sendto(m_socket.get(), datagram.data(), static_cast<int>(datagram.size()), 0,
           reinterpret_cast<const sockaddr*>(&m_remoteAddr), sizeof(m_remoteAddr));
  }
  return true;
}

void CGameException::UdpOnReadable(WORD event) {
  if (event != FD_READ) return;
  // A notification can outlive its socket (one of an earlier batch, still
  // queued): only a datagram that is there is read, so nothing waits here.
  u_long waiting = 0;
  if (ioctlsocket(m_socket.get(), FIONREAD, &waiting) != 0 || waiting == 0) return;
  char buffer[200];
  const int got = recv(m_socket.get(), buffer, sizeof(buffer), 0);
  if (got <= 0) return;
  m_probes.Answered(std::string_view(buffer, static_cast<std::size_t>(got)), GetTickCount());
}

void CGameException::UdpSummarise() {
  std::optional<std::wstring> summary = m_probes.Summarise();
  if (!summary) return;
  DiagRecord record;
  record[DiagRecord::kCmd] = L"udp";
  record[DiagRecord::kTime] = GetDiagTime();
  record[DiagRecord::kType] = L"checkUdp";
  record[DiagRecord::kUrl] = m_udpTarget;
  record[DiagRecord::kUdp] = std::move(*summary);
  m_records.push_back(std::move(record));
}

void CGameException::UdpClose() {
  if (!m_udpReady) return;
  m_socket.reset();
  m_winsock.reset();
  m_udpReady = false;
}

// ---------------------------------------------------------------- report

void CGameException::WriteDiagRecords() {
  if (m_records.empty()) return;
  // The log with the new lines, within its limit, replaces the old one
  // whole: a failure loses no old line and leaves no half line, and the
  // records wait for the next attempt.
  std::string content;
  if (!ReadWholeFile(m_logPath, content) && GetFileAttributesW(m_logPath.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  content += ToThreadAnsi(FormatReportLines(m_records, m_user));
  CapLogText(content);
  if (!ReplaceFileContent(m_logPath, content)) return;
  m_records.clear();
}

void CGameException::ReadDiagLog(std::string& out) const {
  out.clear();
  ReadWholeFile(m_logPath, out);
}

void CGameException::UploadDiagLog() { UploadDiagLog(false); }

void CGameException::UploadDiagLog(bool final) {
  UdpSummarise();
  WriteDiagRecords();
  std::string content;
  ReadDiagLog(content);
  if (content.empty()) return;
  // On the way out only the last post goes; the lines wait for it in the file.
  if (!final && Stopping()) return;
  const std::string form = FormUrlEncode(content);
  // A post still waiting when the program stops is left to itself (its
  // lines stay in the file for the final post or the next start).
  const int posted =
      final ? PostFormWithin(m_logHost, kDiagLogObject, form, kFinalUploadTimeoutMs, kFinalUploadLimitMs, nullptr)
            : PostFormWithin(m_logHost, kDiagLogObject, form, kUploadTimeoutMs, kUploadLimitMs, m_hStopping.get());
  if (posted != 1) return;
  FILE* file = _wfopen(m_logPath.c_str(), L"wb");
  if (file != nullptr) std::fclose(file);
}

}  // namespace ravelin
