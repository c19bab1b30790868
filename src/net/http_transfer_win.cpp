#include "net/http_transfer_win.h"

#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "common/ansi_win.h"
#include "common/error_text.h"
#include "common/shared_thread_win.h"
#include "common/unique_handle_win.h"
#include "common/unique_net_win.h"
#include "common/utf8.h"

namespace ravelin {

std::atomic<int> g_cancelUpdate{0};
std::atomic<std::uint32_t> g_downloadedBytes{0};

namespace {

constexpr wchar_t kGetHeaders[] = L"Accept: */*\r\n\r\n";
constexpr DWORD kGetHeadersLength = 15;
static_assert(std::size(kGetHeaders) - 1 == kGetHeadersLength);
// Always from the origin, never into the cache.
constexpr DWORD kGetFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kGetFlags == 0x84000100);
constexpr wchar_t kPostHeaders[] = L"Content-Type: application/x-www-form-urlencoded";

constexpr DWORD kTextChunk = 1024;
constexpr std::size_t kTextBuffer = 4096;
constexpr DWORD kFileChunk = 16384;
constexpr std::size_t kFileBuffer = 65536;

// The destination of a download. Unless told to keep it, the file goes
// when its owner does, so no failure path can leave a partial build behind.
class DownloadFile {
 public:
  explicit DownloadFile(const std::wstring& path)
      : m_path(path),
        m_handle(CreateFileW(path.c_str(), GENERIC_ALL, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr)),
        m_created(static_cast<bool>(m_handle)) {}
  ~DownloadFile() {
    if (!m_created) return;  // never ours: leave whatever is there
    Close();
    if (!m_keep) DeleteFileW(m_path.c_str());
  }
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  bool IsOpen() const { return static_cast<bool>(m_handle); }
  bool Write(const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(m_handle.get(), data, size, &written, nullptr) && written == size;
  }
  void Close() { m_handle.reset(); }
  void Keep() { m_keep = true; }

 private:
  std::wstring m_path;
  unique_hfile m_handle;
  bool m_created;
  bool m_keep = false;
};

unique_hinternet OpenGetSession() {
  // Only the proxy flag matters; the connected state never stops a request.
  DWORD state = 0;
  InternetGetConnectedState(&state, 0);
  const DWORD access = (state & INTERNET_CONNECTION_PROXY) != 0 ? INTERNET_OPEN_TYPE_PRECONFIG
                                                                : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
  unique_hinternet session(InternetOpenW(L"", access, nullptr, nullptr, 0));
  if (!session) return session;
  // The requests opened on the session take its time-outs.
  const std::pair<DWORD, DWORD> timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
                                              {INTERNET_OPTION_SEND_TIMEOUT, kReceiveTimeoutMs},
                                              {INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs}};
  for (auto [option, value] : timeouts) InternetSetOptionW(session.get(), option, &value, sizeof(value));
  return session;
}

bool Cancelled(const CancelFlag* cancel) { return g_cancelUpdate != 0 || (cancel != nullptr && *cancel); }

unique_hinternet OpenUrl(HINTERNET session, const std::wstring& url) {
  return unique_hinternet(InternetOpenUrlW(session, url.c_str(), kGetHeaders, kGetHeadersLength, kGetFlags, 0));
}

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value) {
  DWORD size = sizeof(value);
  return HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

// Wine's WinINet takes a connection closed before any status line for an
// empty answer where Windows fails the request; without a status nobody
// answered.
bool Answered(HINTERNET request) {
  DWORD status = 0;
  return QueryNumber(request, HTTP_QUERY_STATUS_CODE, status) && status != 0;
}

// The update dialog's bar and status line live on the UI thread, so each
// change is a message sent across threads that waits for that thread and a
// repaint (about a millisecond under Wine). Changes are shown at most every
// kProgressIntervalMs, and the finished state always.
constexpr ULONGLONG kProgressIntervalMs = 100;

class ProgressDisplay {
 public:
  ProgressDisplay(HWND progressBar, HWND statusWindow) : m_bar(progressBar), m_status(statusWindow) {}

  void Show(std::uint32_t received, DWORD declared) {
    const ULONGLONG now = GetTickCount64();
    const bool finished = declared != 0 && received >= declared;
    if (m_shownOnce && !finished && now - m_shownAt < kProgressIntervalMs) return;
    std::array<wchar_t, 32> text{};
    if (declared == 0) {
      // Nothing to divide by: show that data still arrives.
      std::swprintf(text.data(), text.size(), L"%u B", static_cast<unsigned>(received));
    } else {
      const int percent = static_cast<int>(std::uint64_t{received} * 100 / declared);
      if (m_shownOnce && percent == m_percent) return;
      m_percent = percent;
      SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
      std::swprintf(text.data(), text.size(), L"%d%%", percent);
    }
    SetWindowTextW(m_status, text.data());
    m_shownOnce = true;
    m_shownAt = now;
  }

 private:
  HWND m_bar;
  HWND m_status;
  bool m_shownOnce = false;
  ULONGLONG m_shownAt = 0;
  int m_percent = 0;
};

struct HostPort {
  std::wstring host;
  INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER;
};

// "name:port" and "[v6]:port" connect to that port; anything else is a host
// name on the service's default port.
HostPort SplitHostPort(const std::wstring& text) {
  const std::size_t colon = text.rfind(L':');
  if (colon == std::wstring::npos) return {text};
  const bool bracketed = text.starts_with(L'[');
  if (bracketed ? colon < 2 || text[colon - 1] != L']' : text.find(L':') != colon) return {text};
  const std::wstring digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    return {text};
  }
  const unsigned long port = std::wcstoul(digits.c_str(), nullptr, 10);
  if (port == 0 || port > 65535) return {text};
  return {bracketed ? text.substr(1, colon - 2) : text.substr(0, colon), static_cast<INTERNET_PORT>(port)};
}

}  // namespace

std::wstring BodyToText(std::string_view body) { return FromThreadAnsi(BodyUpToNul(body)); }

namespace {

enum class BodyEnd { Whole, Cancelled, Failed };

// Reads a short body in the text fetch's chunks, up to `maxBytes` and
// within `limitMs`; a cancellation keeps what has arrived.
BodyEnd ReadShortBody(HINTERNET request, std::size_t maxBytes, ULONGLONG limitMs, const CancelFlag* cancel,
                      std::string& body) {
  const ULONGLONG start = GetTickCount64();
  std::array<char, kTextBuffer> buffer{};
  for (;;) {
    // The buffer is all zeros before each read; only a read's reach can differ.
    std::fill_n(buffer.data(), kTextChunk, 0);
    DWORD got = 0;
    if (!InternetReadFile(request, buffer.data(), kTextChunk, &got)) return BodyEnd::Failed;
    if (got == 0) return BodyEnd::Whole;
    if (got > maxBytes - body.size()) return BodyEnd::Failed;
    body.append(buffer.data(), got);
    if (Cancelled(cancel)) return BodyEnd::Cancelled;
    if (GetTickCount64() - start > limitMs) return BodyEnd::Failed;
  }
}

}  // namespace

std::wstring FetchText(const std::wstring& url, const CancelFlag* cancel) {
  const unique_hinternet session = OpenGetSession();
  if (!session) return std::wstring(kFetchError);
  const unique_hinternet request = OpenUrl(session.get(), url);
  if (!request || !Answered(request.get())) return std::wstring(kFetchError);
  std::string body;
  if (ReadShortBody(request.get(), kMaxManifestBytes, kManifestTimeLimitMs, cancel, body) == BodyEnd::Failed) {
    return std::wstring(kFetchError);
  }
  return BodyToText(body);
}

std::optional<std::string> FetchSmallFile(const std::wstring& url, std::size_t maxBytes, const CancelFlag* cancel) {
  const unique_hinternet session = OpenGetSession();
  if (!session) return std::nullopt;
  const unique_hinternet request = OpenUrl(session.get(), url);
  DWORD status = 0;
  if (!request || !QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status != HTTP_STATUS_OK) {
    return std::nullopt;
  }
  std::string body;
  if (ReadShortBody(request.get(), maxBytes, kManifestTimeLimitMs, cancel, body) != BodyEnd::Whole) {
    return std::nullopt;
  }
  return body;
}

int DownloadToFile(HWND progressBar, HWND statusWindow, const std::wstring& url, const std::wstring& path,
                   const CancelFlag* cancel) {
  unique_hinternet session = OpenGetSession();
  if (!session) return -1;
  DownloadFile file(path);
  if (!file.IsOpen()) return -1;
  unique_hinternet request = OpenUrl(session.get(), url);
  if (!request) return -1;

  // An error page or a body of unknown length is never taken for the build.
  DWORD status = 0, declared = 0;
  if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status != HTTP_STATUS_OK) return -1;
  if (!QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, declared)) return -1;
  if (declared > kMaxBuildBytes) return -1;

  const ULONGLONG start = GetTickCount64();
  if (!Cancelled(cancel)) SendMessageW(progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  g_downloadedBytes = 0;
  std::uint32_t received = 0;
  ProgressDisplay progress(progressBar, statusWindow);
  std::vector<char> buffer(kFileBuffer);
  for (;;) {
    // As in FetchText; clearing all 64 KiB each time would be 4 bytes of
    // memset for every byte received.
    std::fill_n(buffer.data(), kFileChunk, 0);
    DWORD got = 0;
    if (!InternetReadFile(request.get(), buffer.data(), kFileChunk, &got)) return -1;
    if (got == 0) break;
    received += got;
    g_downloadedBytes = received;
    if (!file.Write(buffer.data(), got)) return -1;
    if (Cancelled(cancel)) break;
    progress.Show(received, declared);
    if (Cancelled(cancel)) break;
    if (received > declared || GetTickCount64() - start > kBuildTimeLimitMs) return -1;
  }

  const bool cancelled = Cancelled(cancel);
  file.Close();
  request.reset();
  session.reset();
  if (cancelled) return 0;
  // A connection that ends early reads like a finished body.
  if (received < declared) return -1;
  file.Keep();
  return 0;
}

int PostForm(const std::wstring& host, const std::wstring& object, const char* value, DWORD timeoutMs) {
  const unique_hinternet session(InternetOpenW(L"Post_2", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return 0;
  if (timeoutMs != 0) {
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      InternetSetOptionW(session.get(), option, &timeoutMs, sizeof(timeoutMs));
    }
  }
  const HostPort target = SplitHostPort(host);
  const unique_hinternet connection(
      InternetConnectW(session.get(), target.host.c_str(), target.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return 0;
  const unique_hinternet request(
      HttpOpenRequestW(connection.get(), L"POST", object.c_str(), L"HTTP/1.0", nullptr, nullptr, 0, 0));
  if (!request) return 0;

  // The value goes in as it is: encoding it is the caller's business.
  std::string body = "info=";
  if (value != nullptr) body += value;
  body += "&check=md5pelrose";
  const bool sent = HttpSendRequestW(request.get(), kPostHeaders, static_cast<DWORD>(-1), body.data(),
                                     static_cast<DWORD>(body.size())) &&
                    Answered(request.get());
  return sent ? 1 : 0;
}

namespace {

// What a bounded post and its thread share; whichever of the two lets go
// last frees it.
struct BoundedPost {
  std::wstring host;
  std::wstring object;
  std::string value;
  DWORD timeoutMs = 0;
  std::atomic<int> result{0};
  unique_handle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

void RunBoundedPost(BoundedPost& post) {
  post.result = PostForm(post.host, post.object, post.value.c_str(), post.timeoutMs);
  SetEvent(post.done.get());
}

}  // namespace

int PostFormWithin(const std::wstring& host, const std::wstring& object, const std::string& value, DWORD timeoutMs,
                   DWORD limitMs, HANDLE abandon) {
  auto post = std::make_shared<BoundedPost>();
  post->host = host;
  post->object = object;
  post->value = value;
  post->timeoutMs = timeoutMs;
  if (!post->done) return 0;
  const unique_handle thread = StartThreadSharing(post, &RunBoundedPost);
  if (!thread) return 0;
  const HANDLE waits[2] = {post->done.get(), abandon};
  const DWORD count = abandon != nullptr ? 2 : 1;
  if (WaitForMultipleObjects(count, waits, FALSE, limitMs) != WAIT_OBJECT_0) return 0;
  return post->result.load();
}

}  // namespace ravelin
