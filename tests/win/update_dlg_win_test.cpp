// The update dialog and its worker in this process, against the local game
// service: what the dialog shows and what Cancel does at each state.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/utf8.h"
#include "i18n/language_win.h"
#include "ravelin_build_config.h"
#include "testkit/message_box_answer_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"
#include "update/update_check_win.h"
#include "update/update_dlg_win.h"
#include "update/update_files.h"

namespace {

using namespace std::chrono_literals;
using ravelin::testkit::MessageBoxAnswerer;
using ravelin::testkit::ServiceRequest;

const wchar_t kManifestPath[] = L"/_standin/manifest/tr";

std::wstring ControlText(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
  return text;
}

// Finds the open update dialog of this process.
HWND FindUpdateDialog(std::chrono::milliseconds timeout) {
  const auto found = ravelin::testkit::WaitFor(
      [&]() -> std::optional<HWND> {
        for (const auto& w : ravelin::testkit::TopLevelWindows({GetCurrentProcessId()})) {
          if (ravelin::testkit::KindOf(w) == ravelin::testkit::WindowKind::Update) return w.hwnd;
        }
        return std::nullopt;
      },
      timeout);
  return found ? *found : nullptr;
}

// Waits until the worker has offered a build: Update enabled and the status
// line asking for the click. Waiting for Update alone is not enough: the
// dialog is found once its controls exist, and until its set-up disables
// Update the button is enabled as the template made it.
void WaitForOffer(HWND dialog) {
  ravelin::testkit::WaitFor(
      [&] {
        return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE &&
               ControlText(GetDlgItem(dialog, IDC_UPDATE_STATUS)) == ravelin::g_Language.GetText(14);
      },
      10s);
}

// What downloads of this process's openings left beside the target.
std::vector<std::wstring> PartialDownloads(const std::wstring& target) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW((target + L".*.part").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return found;
}

const char kOffer[] = "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\ninfo=N\r\n";

// A manifest that offers this build's own version.
std::string UpToDate() { return "[OsUpdate]\r\nversion=" + ravelin::ToUtf8(RAVELIN_CFG_VERSION) + "\r\n"; }

std::string Program() {
  const auto program = ravelin::testkit::ReadWholeFile(ravelin::testkit::ExeDir() + L"\\ravelin.exe");
  return program ? *program : std::string();
}

class UpdateDialog : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset")) << "the game service is not running";
    target = ravelin::UpdateTargetPath(ravelin::GetModulePath());
    DeleteFileW(target.c_str());
  }
  void TearDown() override { DeleteFileW(target.c_str()); }

  // Runs the dialog modally while `drive` acts on it from another thread.
  template <class Drive>
  INT_PTR Run(Drive drive) {
    std::thread driver([&] {
      const HWND dialog = FindUpdateDialog(10s);
      drive(dialog);
    });
    const INT_PTR result = dlg.DoModal(nullptr);
    driver.join();
    return result;
  }

  // Runs the dialog and presses Update once the build is offered.
  INT_PTR AcceptOffer() {
    return Run([](HWND dialog) {
      ASSERT_NE(dialog, nullptr);
      WaitForOffer(dialog);
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
  }

  std::wstring target;
  ravelin::CUpdateDlg dlg;
};

TEST_F(UpdateDialog, AlreadyUpToDateSaysSoThreeTimesAndCloses) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, UpToDate() + "http=x\r\n"));
  std::wstring info, status;
  MessageBoxAnswerer box(IDOK, 15s);
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    // Read what the dialog shows while the box is up.
    ravelin::testkit::WaitFor([&] { return !box.Peek().empty() || ControlText(GetDlgItem(dialog, 1002)) != L""; }, 10s);
    info = ControlText(GetDlgItem(dialog, IDC_UPDATE_INFO));
    status = ControlText(GetDlgItem(dialog, IDC_UPDATE_STATUS));
  });
  EXPECT_EQ(result, IDCANCEL);
  const std::wstring upToDate = ravelin::g_Language.GetText(10);
  ASSERT_TRUE(box.Answered());
  EXPECT_EQ(box.Answered()->text, upToDate);
  EXPECT_EQ(info, upToDate);
  EXPECT_EQ(status, upToDate);
}

TEST_F(UpdateDialog, AManifestWithoutItsSectionIsReportedAsUnreadable) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, "version=9.9.9.9\r\nhttp=x\r\ninfo=y\r\n"));
  MessageBoxAnswerer box(IDOK, 15s);
  EXPECT_EQ(Run([](HWND) {}), IDCANCEL);
  ASSERT_TRUE(box.Answered());
  EXPECT_EQ(box.Answered()->text, ravelin::g_Language.GetText(11));
}

TEST_F(UpdateDialog, AnOfferShowsItsNotesAndCancelWhileOfferingDownloadsNothing) {
  ASSERT_TRUE(
      ServiceRequest(L"PUT", kManifestPath,
                     "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\ninfo=Notes.\r\n"));
  std::wstring info, status, caption;
  bool updateEnabled = false;
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    // The worker enables Update, then fills the info box and the status line.
    ravelin::testkit::WaitFor(
        [&] { return ControlText(GetDlgItem(dialog, IDC_UPDATE_STATUS)) == ravelin::g_Language.GetText(14); }, 10s);
    updateEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    info = ControlText(GetDlgItem(dialog, IDC_UPDATE_INFO));
    status = ControlText(GetDlgItem(dialog, IDC_UPDATE_STATUS));
    caption = ControlText(dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(updateEnabled);
  EXPECT_EQ(info, L"Notes.");
  EXPECT_EQ(status, ravelin::g_Language.GetText(14));
  EXPECT_EQ(caption, ravelin::g_Language.GetText(3));
  Sleep(300);
  const auto requests = ServiceRequest(L"GET", L"/_standin/requests?path=/b/MyClient.exe");
  ASSERT_TRUE(requests);
  EXPECT_EQ(requests->find("MyClient"), std::string::npos) << "Cancel still downloaded";
}

TEST_F(UpdateDialog, CancelWhileFetchingClosesAtOnce) {
  // A manifest that would take about a minute to arrive.
  ASSERT_TRUE(ServiceRequest(L"PUT",
                             L"/_standin/build?path=/loginer/tr/login_mini_tr_vx.ini&mode=trickle&trickle_bytes=16&"
                             L"trickle_ms=200",
                             std::string("[OsUpdate]\r\nversion=1.0.0.2\r\n") + std::string(4800, 'x')));
  const auto start = std::chrono::steady_clock::now();
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    Sleep(300);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  // A new opening starts a new worker (waiting for the old one) and works.
  ASSERT_TRUE(ServiceRequest(L"DELETE", L"/_standin/build?path=/loginer/tr/login_mini_tr_vx.ini"));
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, UpToDate()));
  MessageBoxAnswerer box(IDOK, 15s);
  EXPECT_EQ(Run([](HWND) {}), IDCANCEL);
  EXPECT_TRUE(box.Answered());
}

TEST_F(UpdateDialog, CancelWhileDownloadingDeletesThePartialFile) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath,
                             "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\ninfo=N\r\n"));
  ASSERT_TRUE(ServiceRequest(L"PUT",
                             L"/_standin/build?path=/b/MyClient.exe&mode=trickle&trickle_bytes=4096&trickle_ms=100",
                             std::string(200000, 'b')));
  bool sawProgress = false;
  bool fileWhileDownloading = false;
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    WaitForOffer(dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    sawProgress = ravelin::testkit::WaitFor(
        [&] { return ControlText(GetDlgItem(dialog, IDC_UPDATE_STATUS)).find(L'%') != std::wstring::npos; }, 10s);
    fileWhileDownloading = !PartialDownloads(target).empty();
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(sawProgress);
  EXPECT_TRUE(fileWhileDownloading);
  EXPECT_TRUE(ravelin::testkit::WaitFor([&] { return PartialDownloads(target).empty(); }, 5s))
      << "the partial download stayed";
  EXPECT_FALSE(ravelin::testkit::FileExists(target));
}

TEST_F(UpdateDialog, ABrokenDownloadIsReportedAndNeverKept) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath,
                             "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\ninfo=N\r\n"));
  // Complete, but not a program.
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/build?path=/b/MyClient.exe&mode=correct", std::string(5000, 'z')));
  MessageBoxAnswerer box(IDOK, 20s);
  const INT_PTR result = AcceptOffer();
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_TRUE(box.Answered());
  EXPECT_EQ(box.Answered()->text, ravelin::g_Language.GetText(9));
  EXPECT_FALSE(ravelin::testkit::FileExists(target));
}

TEST_F(UpdateDialog, DecliningTheRestartKeepsTheDialogAndTheDownload) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath,
                             "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\ninfo=N\r\n"));
  const auto program = ravelin::testkit::ReadWholeFile(ravelin::testkit::ExeDir() + L"\\ravelin.exe");
  ASSERT_TRUE(program);
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/build?path=/b/MyClient.exe&mode=correct", *program));
  MessageBoxAnswerer restart(IDCANCEL, 20s);
  bool stillOpen = false;
  bool updateDisabled = false;
  std::wstring updateCaption;
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    WaitForOffer(dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ravelin::testkit::WaitFor([&] { return !restart.Peek().empty(); }, 15s);
    Sleep(300);
    stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
    updateDisabled = !IsWindowEnabled(GetDlgItem(dialog, IDOK));
    updateCaption = ControlText(GetDlgItem(dialog, IDOK));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_TRUE(restart.Answered());
  EXPECT_EQ(restart.Answered()->text, ravelin::g_Language.GetText(4));
  EXPECT_EQ(restart.Answered()->caption, ravelin::g_Language.GetText(3));
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(updateDisabled);
  EXPECT_EQ(updateCaption, ravelin::g_Language.GetText(3));
  EXPECT_TRUE(ravelin::testkit::FileExists(target)) << "the download is kept for the next attempt";
}

TEST_F(UpdateDialog, OnlyABuildSignedByOurKeyIsKeptAndAnythingElseIsADownloadFailure) {
  const std::string program = Program();
  ASSERT_FALSE(program.empty());
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, kOffer));
  for (const wchar_t* sig : {L"other_key", L"other_bytes", L"missing", L"truncated"}) {
    SCOPED_TRACE(testing::Message() << "signature: " << std::string(sig, sig + wcslen(sig)));
    ASSERT_TRUE(ServiceRequest(L"PUT", std::wstring(L"/_standin/build?path=/b/MyClient.exe&sig=") + sig, program));
    MessageBoxAnswerer box(IDOK, 20s);
    EXPECT_EQ(AcceptOffer(), IDCANCEL);
    ASSERT_TRUE(box.Answered());
    EXPECT_EQ(box.Answered()->text, ravelin::g_Language.GetText(9));
    EXPECT_FALSE(ravelin::testkit::FileExists(target));
    EXPECT_TRUE(PartialDownloads(target).empty());
  }

  // Signed by the key this program was built with: kept whole, and the
  // restart question ends the dialog with OK for the caller's hand-over.
  ASSERT_TRUE(ServiceRequest(L"PUT", L"/_standin/build?path=/b/MyClient.exe&sig=good", program));
  MessageBoxAnswerer restart(IDOK, 20s);
  const INT_PTR result = AcceptOffer();
  EXPECT_EQ(result, IDOK);
  ASSERT_TRUE(restart.Answered());
  EXPECT_EQ(restart.Answered()->text, ravelin::g_Language.GetText(4));
  EXPECT_TRUE(ravelin::testkit::ReadWholeFile(target) == program);
  EXPECT_TRUE(PartialDownloads(target).empty());
}

TEST_F(UpdateDialog, AWorkerLeftInASlowReadByACancelNeverActsForTheNextOpening) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, kOffer));
  // About six seconds of download, one piece a second: the cancel and the
  // next opening fall into one read of the first worker.
  std::string build = Program();
  build.resize(6 * 4096);
  ASSERT_TRUE(ServiceRequest(
      L"PUT", L"/_standin/build?path=/b/MyClient.exe&mode=trickle&trickle_bytes=4096&trickle_ms=1000", build));
  const INT_PTR first = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    WaitForOffer(dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ravelin::testkit::WaitFor([&] { return !PartialDownloads(target).empty(); }, 10s);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(first, IDCANCEL);

  // At once a new opening, which finds the build current: its own answer is
  // the only box; the first worker's download, were it to go on, would end
  // in a text 9 a few seconds later.
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, UpToDate()));
  MessageBoxAnswerer boxes(std::vector<int>{IDOK, IDOK}, 12s);
  EXPECT_EQ(Run([](HWND) {}), IDCANCEL);
  const auto answered = boxes.AllAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].text, ravelin::g_Language.GetText(10));
  EXPECT_TRUE(PartialDownloads(target).empty());
  EXPECT_FALSE(ravelin::testkit::FileExists(target));
}

// A hidden window of the test thread that runs `action` when it is sent
// WM_APP: a way to act on the UI thread while its modal loop runs.
class UiThreadCaller {
 public:
  explicit UiThreadCaller(std::function<void()> action) : m_action(std::move(action)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RavelinTestUiThreadCaller";
    RegisterClassW(&wc);
    m_hwnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~UiThreadCaller() { DestroyWindow(m_hwnd); }
  HWND Window() const { return m_hwnd; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      reinterpret_cast<UiThreadCaller*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))->m_action();
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  std::function<void()> m_action;
  HWND m_hwnd = nullptr;
};

TEST_F(UpdateDialog, ASecondOpeningWhileOneIsOpenOpensNothingAndReturnsAtOnce) {
  ASSERT_TRUE(ServiceRequest(L"PUT", kManifestPath, kOffer));
  std::atomic<INT_PTR> nested{0};
  UiThreadCaller caller([&] { nested = dlg.DoModal(nullptr); });
  std::size_t dialogs = 0;
  const INT_PTR result = Run([&](HWND dialog) {
    ASSERT_NE(dialog, nullptr);
    WaitForOffer(dialog);
    // As a second WM_UPDATE_AVAILABLE or update command would, on the UI
    // thread while the first dialog's modal loop runs.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(caller.Window(), WM_APP, 0, 0, SMTO_NORMAL, 5000, &answer))
        << "the UI thread hangs in the second opening";
    for (const auto& w : ravelin::testkit::TopLevelWindows({GetCurrentProcessId()})) {
      dialogs += ravelin::testkit::KindOf(w) == ravelin::testkit::WindowKind::Update ? 1 : 0;
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(nested.load(), IDCANCEL);
  EXPECT_EQ(dialogs, 1u);
  EXPECT_FALSE(dlg.IsOpen());
}

TEST_F(UpdateDialog, AManifestTooLargeOrNeverEndingEndsBothChecksWithinTheirBounds) {
  const std::string offer = "[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/b/MyClient.exe\r\n";
  const std::wstring manifestBuild = L"/_standin/build?path=/loginer/tr/login_mini_tr_vx.ini";
  const auto silentCheck = [](HWND window) {
    return CreateThread(nullptr, 0, &ravelin::SilentCheckThreadProc, new ravelin::SilentCheckTarget{window, WM_APP}, 0,
                        nullptr);
  };
  const HWND offers = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  const struct {
    const char* name;
    std::wstring mode;
    std::string body;
  } cases[] = {
      {"one byte past the limit", L"&mode=correct", offer + std::string(ravelin::kMaxManifestBytes, 'x')},
      // 16 bytes every 200 ms: a megabyte would take hours.
      {"never ending", L"&mode=trickle&trickle_bytes=16&trickle_ms=200", offer + std::string(1 << 20, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ServiceRequest(L"PUT", manifestBuild + c.mode, c.body));
    const auto start = std::chrono::steady_clock::now();
    const HANDLE silent = silentCheck(offers);
    MessageBoxAnswerer box(IDOK, 90s);
    EXPECT_EQ(Run([](HWND) {}), IDCANCEL);
    ASSERT_TRUE(box.Answered());
    EXPECT_EQ(box.Answered()->text, ravelin::g_Language.GetText(11));
    EXPECT_EQ(WaitForSingleObject(silent, 60'000), WAIT_OBJECT_0) << "the silent check still runs";
    CloseHandle(silent);
    // The time limit, and at most one receive time-out for the read in hand.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(ravelin::kManifestTimeLimitMs + ravelin::kReceiveTimeoutMs));
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, offers, WM_APP, WM_APP, PM_REMOVE)) << "the silent check offered a build";
  }
  DestroyWindow(offers);
}

}  // namespace
