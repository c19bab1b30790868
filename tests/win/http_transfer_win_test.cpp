// The HTTP operations against the local game service and its fault modes:
// real WinINet, real files, a real progress bar.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/http_transfer_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"
#include "update/update_files.h"

namespace {

using namespace std::chrono_literals;
using ravelin::DownloadToFile;
using ravelin::FetchText;
using ravelin::g_cancelUpdate;
using ravelin::g_downloadedBytes;
using ravelin::PostForm;
using ravelin::testkit::FileExists;
using ravelin::testkit::ReadWholeFile;
using ravelin::testkit::ServiceRequest;
using ravelin::testkit::TempDir;
using ravelin::testkit::WriteWholeFile;

// Bytes that show a dropped, doubled or reordered chunk.
std::string Pattern(std::size_t size, std::uint32_t seed = 1) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

bool PutBuild(const std::wstring& path, const std::wstring& mode, const std::string& bytes,
              const std::wstring& extra = {}) {
  return ServiceRequest(L"PUT", L"/_standin/build?path=" + path + L"&mode=" + mode + extra, bytes).has_value();
}

std::wstring Local(const std::wstring& path) { return L"http://127.0.0.1" + path; }

std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

class HttpTransfer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset"));
    g_cancelUpdate = 0;
    g_downloadedBytes = 0;
  }
  void TearDown() override { g_cancelUpdate = 0; }

  TempDir m_dir{L"http"};
};

TEST_F(HttpTransfer, BrokenDownloadsFailAndLeaveNoFile) {
  const std::string bytes = Pattern(100'000);
  const struct {
    const char* name;
    const wchar_t* mode;  // nullptr: nothing registered at the path
    const wchar_t* extra;
    const wchar_t* url;
  } cases[] = {
      {"no Content-Length", L"chunked", L"", nullptr},
      {"body cut short, then FIN", L"short", L"", nullptr},
      {"body cut one byte short", L"short", L"&cut_bytes=99999", nullptr},
      {"connection reset", L"drop", L"", nullptr},
      {"404 with a body", L"404", L"", nullptr},
      {"declared larger than any build may be", L"huge", L"&declared_bytes=600000000", nullptr},
      {"nothing at the path", nullptr, L"", nullptr},
      {"nobody listening", nullptr, L"", L"http://127.0.0.1:81/MyClient.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring path = L"/builds/broken.exe";
    ASSERT_TRUE(ServiceRequest(L"DELETE", L"/_standin/build?path=" + path));
    if (c.mode != nullptr) {
      ASSERT_TRUE(PutBuild(path, c.mode, bytes, c.extra));
    }
    // A file left by an earlier download goes too: the target never holds a partial build.
    const std::wstring target = m_dir.File(L"MyClient.exe");
    ASSERT_TRUE(WriteWholeFile(target, "an earlier download"));
    EXPECT_EQ(DownloadToFile(nullptr, nullptr, c.url != nullptr ? c.url : Local(path), target), -1);
    EXPECT_FALSE(FileExists(target));
  }
}

TEST_F(HttpTransfer, DestinationHeldByAnotherProgramIsLeftAlone) {
  ASSERT_TRUE(PutBuild(L"/builds/ok.exe", L"correct", Pattern(1000)));
  const std::wstring target = m_dir.File(L"MyClient.exe");
  ASSERT_TRUE(WriteWholeFile(target, "a build someone is running"));
  // Shared for deletion only: the download cannot open it, but a stray
  // delete would succeed and take the file once this handle closes.
  const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(DownloadToFile(nullptr, nullptr, Local(L"/builds/ok.exe"), target), -1);
  CloseHandle(held);
  EXPECT_EQ(ReadWholeFile(target), "a build someone is running");

  EXPECT_EQ(DownloadToFile(nullptr, nullptr, Local(L"/builds/ok.exe"), m_dir.File(L"no\\such\\folder.exe")), -1);
}

TEST_F(HttpTransfer, CompleteDownloadsStoreExactlyTheBody) {
  const struct {
    const char* name;
    std::size_t size;
    const wchar_t* mode;
    const wchar_t* extra;
  } cases[] = {
      {"many chunks", 300'000, L"correct", L""},
      {"slow pieces", 20'000, L"trickle", L"&trickle_bytes=1000&trickle_ms=20"},
      {"pieces larger than a chunk", 70'000, L"trickle", L"&trickle_bytes=40000&trickle_ms=20"},
      {"empty body", 0, L"correct", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Pattern(c.size, static_cast<std::uint32_t>(c.size));
    ASSERT_TRUE(PutBuild(L"/builds/good.exe", c.mode, bytes, c.extra));
    const std::wstring target = m_dir.File(L"MyClient.exe");
    // An older, longer download must not shine through.
    ASSERT_TRUE(WriteWholeFile(target, Pattern(400'000, 7)));
    EXPECT_EQ(DownloadToFile(nullptr, nullptr, Local(L"/builds/good.exe"), target), 0);
    EXPECT_EQ(ReadWholeFile(target), bytes);
    EXPECT_EQ(g_downloadedBytes.load(), c.size);
  }
}

TEST_F(HttpTransfer, DownloadedBuildOfThisToolchainIsAccepted) {
  const std::optional<std::string> self = ReadWholeFile(ravelin::testkit::ExeDir() + L"\\ravelin.exe");
  ASSERT_TRUE(self);
  ASSERT_TRUE(PutBuild(L"/loginer/tr/MyClient.exe", L"correct", *self));
  const std::wstring target = m_dir.File(L"MyClient.exe");
  ASSERT_EQ(DownloadToFile(nullptr, nullptr, Local(L"/loginer/tr/MyClient.exe"), target), 0);
  const std::optional<std::string> got = ReadWholeFile(target);
  ASSERT_TRUE(got);
  EXPECT_EQ(ravelin::CheckBuildFile(std::span(reinterpret_cast<const std::uint8_t*>(got->data()), got->size())),
            ravelin::BuildFileCheck::Ok);
}

TEST_F(HttpTransfer, CancelStopsAfterTheChunkInHandAndDeletesTheFile) {
  const std::size_t total = 100 * 1000;
  ASSERT_TRUE(PutBuild(L"/builds/slow.exe", L"trickle", Pattern(total), L"&trickle_bytes=1000&trickle_ms=30"));
  const std::wstring target = m_dir.File(L"MyClient.exe");
  std::atomic<std::uint32_t> atCancel{0};
  // The count must be cleared before the canceller looks at it: what the
  // previous download left there would set the cancel off at once.
  g_downloadedBytes = 0;
  std::thread canceller([&] {
    while (g_downloadedBytes < 3000) Sleep(1);
    atCancel = g_downloadedBytes.load();
    g_cancelUpdate = 1;
  });
  const int result = DownloadToFile(nullptr, nullptr, Local(L"/builds/slow.exe"), target);
  canceller.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(FileExists(target));
  EXPECT_GE(g_downloadedBytes.load(), atCancel.load());
  EXPECT_LE(g_downloadedBytes.load(), atCancel.load() + 16384) << "read on after the cancel";
  EXPECT_LT(g_downloadedBytes.load(), total);
}

// A dialog's progress bar and status line on this thread; the download runs
// on a worker, as in the update dialog, while this thread pumps.
class ProgressWindows {
 public:
  ProgressWindows() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    m_parent = CreateWindowExW(0, L"STATIC", L"update", WS_OVERLAPPEDWINDOW, 0, 0, 300, 120, nullptr, nullptr, nullptr,
                               nullptr);
    m_bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, m_parent, nullptr,
                            nullptr, nullptr);
    m_status =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 40, 200, 20, m_parent, nullptr, nullptr, nullptr);
    SetPropW(m_status, L"texts", this);
    m_staticProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc)));
  }
  ~ProgressWindows() { DestroyWindow(m_parent); }

  int Run(const std::wstring& url, const std::wstring& path) {
    int result = 99;
    ravelin::testkit::RunWhilePumping([&] { result = DownloadToFile(m_bar, m_status, url, path); });
    return result;
  }

  int Position() const { return static_cast<int>(SendMessageW(m_bar, PBM_GETPOS, 0, 0)); }
  PBRANGE Range() const {
    PBRANGE range{};
    SendMessageW(m_bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range;
  }
  std::wstring Status() const {
    wchar_t text[64] = {};
    GetWindowTextW(m_status, text, 64);
    return text;
  }
  const std::vector<std::wstring>& Texts() const { return m_texts; }

 private:
  static LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<ProgressWindows*>(GetPropW(hwnd, L"texts"));
    if (message == WM_SETTEXT && lParam != 0) self->m_texts.emplace_back(reinterpret_cast<const wchar_t*>(lParam));
    return CallWindowProcW(self->m_staticProc, hwnd, message, wParam, lParam);
  }

  HWND m_parent = nullptr;
  HWND m_bar = nullptr;
  HWND m_status = nullptr;
  WNDPROC m_staticProc = nullptr;
  std::vector<std::wstring> m_texts;
};

TEST_F(HttpTransfer, TwoHundredBytesFillTheBar) {
  ASSERT_TRUE(PutBuild(L"/builds/small.exe", L"correct", Pattern(200)));
  ProgressWindows windows;
  EXPECT_EQ(windows.Run(Local(L"/builds/small.exe"), m_dir.File(L"MyClient.exe")), 0);
  EXPECT_EQ(windows.Range().iLow, 0);
  EXPECT_EQ(windows.Range().iHigh, 100);
  EXPECT_EQ(windows.Position(), 100);
  EXPECT_EQ(windows.Status(), L"100%");
}

TEST_F(HttpTransfer, PercentagesClimbToHundredPastThirtyTwoBitProducts) {
  // 48 MiB: bytes x 100 passes 2^32 after about 41 MiB.
  const std::size_t total = std::size_t{48} << 20;
  ASSERT_TRUE(PutBuild(L"/builds/big.exe", L"correct", Pattern(total)));
  ProgressWindows windows;
  ASSERT_EQ(windows.Run(Local(L"/builds/big.exe"), m_dir.File(L"MyClient.exe")), 0);
  // Percentages only climb, never past 100, and the last one is 100.
  const std::vector<std::wstring>& texts = windows.Texts();
  ASSERT_FALSE(texts.empty());
  int last = -1;
  for (const std::wstring& text : texts) {
    ASSERT_EQ(text.back(), L'%') << testing::PrintToString(text);
    const int percent = std::stoi(text);
    ASSERT_GT(percent, last) << "status line went from " << last << "% to " << percent << "%";
    ASSERT_LE(percent, 100);
    last = percent;
  }
  EXPECT_EQ(texts.back(), L"100%");
  EXPECT_EQ(windows.Position(), 100);
}

TEST_F(HttpTransfer, FetchTextReadsWholeBodiesWhateverTheStatus) {
  // Three chunks, each different, so a lost or repeated chunk shows.
  std::string manifest = "[OsUpdate]\r\nversion=1.0.0.5\r\ninfo=";
  for (int i = 0; manifest.size() < 3000; ++i) manifest += static_cast<char>('a' + i % 26);
  manifest.resize(2998);
  manifest += "\r\n";
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/tr", manifest));
  EXPECT_EQ(FetchText(Local(L"/loginer/tr/login_mini_tr_vx.ini")), Widen(manifest));

  // A NUL ends the text.
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/pl", std::string("[OsUpdate]\0version=2", 20)));
  EXPECT_EQ(FetchText(Local(L"/loginer/pl/login_mini_pl_vx.ini")), L"[OsUpdate]");

  // The status is not looked at: a 404 answers its page.
  const std::wstring missing = FetchText(Local(L"/no/such/manifest.ini"));
  EXPECT_NE(missing.find(L"404 Not Found"), std::wstring::npos) << testing::PrintToString(missing);

  EXPECT_EQ(FetchText(L"http://127.0.0.1:81/loginer/tr/login_mini_tr_vx.ini"), L"Error");
  // A host that resets the connection without an answer.
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/start_page", R"({"mode": "refuse"})"));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(FetchText(Local(L"/dusk_vale/client/index.php")), L"Error");
}

TEST_F(HttpTransfer, AManifestPastItsSizeLimitIsRefusedAsUnreadable) {
  std::string manifest = "[OsUpdate]\r\nversion=1.0.0.5\r\n";
  manifest.resize(ravelin::kMaxManifestBytes, 'x');
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/tr", manifest));
  EXPECT_EQ(FetchText(Local(L"/loginer/tr/login_mini_tr_vx.ini")).size(), manifest.size());
  manifest += 'x';
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/tr", manifest));
  EXPECT_EQ(FetchText(Local(L"/loginer/tr/login_mini_tr_vx.ini")), L"Error");
}

TEST_F(HttpTransfer, ASmallFileComesWholeWithStatus200OrNotAtAll) {
  ASSERT_TRUE(PutBuild(L"/b/x.exe", L"correct", "build"));
  ASSERT_TRUE(PutBuild(L"/b/short.exe", L"short", Pattern(100)));
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/pl", std::string(200, 's')));
  const std::wstring small = Local(L"/loginer/pl/login_mini_pl_vx.ini");
  EXPECT_EQ(ravelin::FetchSmallFile(small, 200), std::string(200, 's'));
  EXPECT_FALSE(ravelin::FetchSmallFile(small, 199)) << "longer than allowed";
  EXPECT_FALSE(ravelin::FetchSmallFile(Local(L"/b/missing.sig"), 4096)) << "404 page";
  EXPECT_FALSE(ravelin::FetchSmallFile(L"http://127.0.0.1:81/b/x.exe.sig", 4096)) << "nobody listening";
  ravelin::CancelFlag cancelled{true};
  EXPECT_FALSE(ravelin::FetchSmallFile(small, 4096, &cancelled));
}

TEST_F(HttpTransfer, CancelledFetchKeepsWhatArrived) {
  const std::string manifest = "[OsUpdate]\r\n" + std::string(2988, 'x');
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/es", manifest));
  g_cancelUpdate = 1;
  const std::wstring text = FetchText(Local(L"/loginer/es/login_mini_ar_vx.ini"));
  EXPECT_FALSE(text.empty());
  EXPECT_LE(text.size(), 1024u);
  EXPECT_EQ(text, Widen(manifest.substr(0, text.size())));
}

TEST_F(HttpTransfer, GetRequestsBypassEveryCache) {
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/manifest/tr", "[OsUpdate]\r\n"));
  FetchText(Local(L"/loginer/tr/login_mini_tr_vx.ini"));
  FetchText(Local(L"/loginer/tr/login_mini_tr_vx.ini"));
  const auto requests = ServiceRequest(L"GET", L"/_standin/requests?path=/loginer/tr/login_mini_tr_vx.ini");
  ASSERT_TRUE(requests);
  // Both fetches reach the host; neither came from a cache.
  std::size_t gets = 0;
  for (std::size_t at = 0; (at = requests->find("\"method\": \"GET\"", at)) != std::string::npos; ++at) ++gets;
  EXPECT_EQ(gets, 2u) << *requests;
  EXPECT_NE(requests->find("[\"Pragma\", \"no-cache\"]"), std::string::npos) << *requests;
  EXPECT_NE(requests->find("[\"Accept\", \"*/*\"]"), std::string::npos) << *requests;
}

TEST_F(HttpTransfer, PostFormSendsTheValueAsItIs) {
  const struct {
    const wchar_t* host;
    const char* value;
    const char* raw;
    const char* fields;
  } cases[] = {
      {L"127.0.0.1", "hello", "info=hello&check=md5pelrose", R"([["info", "hello"], ["check", "md5pelrose"]])"},
      {L"127.0.0.1:80", "hello", "info=hello&check=md5pelrose", R"([["info", "hello"], ["check", "md5pelrose"]])"},
      // An ampersand is not encoded: the host sees the form split there.
      {L"127.0.0.1", "a&b=c", "info=a&b=c&check=md5pelrose", R"([["info", "a"], ["b", "c"], ["check", "md5pelrose"]])"},
      {L"127.0.0.1", "", "info=&check=md5pelrose", R"([["info", ""], ["check", "md5pelrose"]])"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset"));
    EXPECT_EQ(PostForm(c.host, L"/loginer/logData.php", c.value), 1);
    const auto uploads = ServiceRequest(L"GET", L"/_standin/uploads");
    ASSERT_TRUE(uploads);
    EXPECT_NE(uploads->find(std::string("\"raw\": \"") + c.raw + "\""), std::string::npos) << *uploads;
    EXPECT_NE(uploads->find(std::string("\"fields\": ") + c.fields), std::string::npos) << *uploads;
  }

  const auto requests = ServiceRequest(L"GET", L"/_standin/requests?path=/loginer/logData.php");
  ASSERT_TRUE(requests);
  EXPECT_NE(requests->find(R"(["User-Agent", "Post_2"])"), std::string::npos) << *requests;
  EXPECT_NE(requests->find(R"(["Content-Type", "application/x-www-form-urlencoded"])"), std::string::npos) << *requests;
}

TEST_F(HttpTransfer, PostFormReportsUnsentRequests) {
  // Each case several times: whether the reset or the end of the connection
  // is seen first varies from run to run.
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode": "refuse"})"));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(PostForm(L"127.0.0.1", L"/loginer/logData.php", "refused"), 0);
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode": "close"})"));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(PostForm(L"127.0.0.1", L"/loginer/logData.php", "unanswered"), 0);
  EXPECT_EQ(PostForm(L"127.0.0.1:81", L"/loginer/logData.php", "nobody there"), 0);
  const auto uploads = ServiceRequest(L"GET", L"/_standin/uploads");
  ASSERT_TRUE(uploads);
  EXPECT_EQ(uploads->find("refused"), std::string::npos);
}

}  // namespace
