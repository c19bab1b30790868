// The frame and the game window in this process, with the stand-in
// controls: placement, the pointer rules, the close question and shutdown,
// restacking, the play-phase layout and hit test, and the start-up tasks.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "i18n/language_win.h"
#include "sysinfo/product_records_win.h"
#include "testkit/message_box_answer_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;

using namespace std::chrono_literals;
using ravelin::CTranslucentDlg;
using ravelin::testkit::MessageBoxAnswerer;

RECT WindowRect(HWND w) {
  RECT rc{};
  GetWindowRect(w, &rc);
  return rc;
}

// The window directly below `w` among this process's visible top-level windows.
HWND NextOfOurs(HWND w) {
  for (HWND next = GetWindow(w, GW_HWNDNEXT); next != nullptr; next = GetWindow(next, GW_HWNDNEXT)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(next, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(next)) return next;
  }
  return nullptr;
}

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

class Frame : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    GameWindowTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(OpenFrame());
    PumpMessages(100ms);
  }

  HWND Game() const { return frame->m_dlgGame.m_hWnd; }

  void ComposeWithPointerAt(int x, int y) {
    SendMessageW(frame->m_hWnd, WM_MOUSEMOVE, 0, Point(x, y));
    UpdateWindow(frame->m_hWnd);  // the composition runs in WM_PAINT
  }
};

TEST_F(Frame, IsCentredLayeredAndCarriesTheGameWindowInItsOpening) {
  const RECT rc = WindowRect(frame->m_hWnd);
  EXPECT_EQ(rc.right - rc.left, 729);
  EXPECT_EQ(rc.bottom - rc.top, 530);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(frame->m_hWnd, MONITOR_DEFAULTTONEAREST), &info);
  EXPECT_NEAR(rc.left - info.rcWork.left, info.rcWork.right - rc.right, 1);
  EXPECT_NEAR(rc.top - info.rcWork.top, info.rcWork.bottom - rc.bottom, 1);

  const LONG_PTR style = GetWindowLongPtrW(frame->m_hWnd, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_NE(GetWindowLongPtrW(frame->m_hWnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  wchar_t title[64] = {};
  GetWindowTextW(frame->m_hWnd, title, 64);
  EXPECT_EQ(std::wstring(title), ravelin::g_Language.GetText(25));

  const RECT game = WindowRect(Game());
  EXPECT_EQ(game.left, rc.left + 23);
  EXPECT_EQ(game.top, rc.top + 115);
  EXPECT_EQ(game.right - game.left, 678);
  EXPECT_EQ(game.bottom - game.top, 361);
  EXPECT_TRUE(IsWindowVisible(Game()));
  EXPECT_TRUE(frame->m_bGamePlaced);
  // The game window has no taskbar button in the login phase.
  const LONG_PTR gameEx = GetWindowLongPtrW(Game(), GWL_EXSTYLE);
  EXPECT_NE(gameEx & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(gameEx & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(GetWindowLongPtrW(Game(), GWL_STYLE) & WS_CAPTION, 0);

  // The anchor: off screen, 1 x 1, marked as complete.
  const HWND anchor = frame->m_hTopWnd;
  ASSERT_NE(anchor, nullptr);
  wchar_t cls[32] = {};
  GetClassNameW(anchor, cls, 32);
  EXPECT_EQ(std::wstring(cls), L"MN_TopWnd");
  EXPECT_EQ(GetPropW(anchor, L"MN_TopWnd"), frame.get());
  const RECT a = WindowRect(anchor);
  EXPECT_EQ(a.left, -10000);
  EXPECT_EQ(a.right - a.left, 1);
}

TEST_F(Frame, MovingTheFrameCarriesTheGameWindowUntilThePlayPhase) {
  const RECT before = WindowRect(frame->m_hWnd);
  SetWindowPos(frame->m_hWnd, nullptr, before.left - 100, before.top - 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PumpMessages(50ms);
  RECT game = WindowRect(Game());
  EXPECT_EQ(game.left, before.left - 100 + 23);
  EXPECT_EQ(game.top, before.top - 50 + 115);

  frame->m_dlgGame.m_bPlaying = 1;
  SetWindowPos(frame->m_hWnd, nullptr, before.left, before.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PumpMessages(50ms);
  const RECT stayed = WindowRect(Game());
  EXPECT_EQ(stayed.left, game.left);
  EXPECT_EQ(stayed.top, game.top);
}

// Placing the game window activates it, and its activation shows the frame
// again while the frame is still being shown: the frame's show handler must
// not start over inside itself for every such show.
int g_frameShowDepth = 0;
int g_deepestFrameShow = 0;

LRESULT CALLBACK CountShowNesting(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam) {
    wchar_t title[64] = {};
    GetWindowTextW(call->hwnd, title, 64);
    if (ravelin::g_Language.GetText(25) == title) g_deepestFrameShow = std::max(g_deepestFrameShow, ++g_frameShowDepth);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CountShowReturn(int code, WPARAM wParam, LPARAM lParam) {
  const auto* ret = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && ret->message == WM_SHOWWINDOW && ret->wParam) {
    wchar_t title[64] = {};
    GetWindowTextW(ret->hwnd, title, 64);
    if (ravelin::g_Language.GetText(25) == title) --g_frameShowDepth;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class FrameOpening : public ravelin::testkit::GameWindowTest {};

TEST_F(FrameOpening, ShowingTheFramePlacesTheGameWindowWithoutStartingOverInsideItself) {
  const DWORD thread = GetCurrentThreadId();
  const HHOOK call = SetWindowsHookExW(WH_CALLWNDPROC, &CountShowNesting, nullptr, thread);
  const HHOOK ret = SetWindowsHookExW(WH_CALLWNDPROCRET, &CountShowReturn, nullptr, thread);
  OpenFrame();
  if (!HasFatalFailure()) PumpMessages(100ms);
  UnhookWindowsHookEx(ret);
  UnhookWindowsHookEx(call);
  if (HasFatalFailure()) return;

  // The one nested show that reaches the handler is let through unanswered.
  EXPECT_LE(g_deepestFrameShow, 2);
  EXPECT_TRUE(IsWindowVisible(frame->m_hWnd));
  EXPECT_TRUE(frame->m_bGamePlaced);
  const RECT rc = WindowRect(frame->m_hWnd);
  const HWND gameWindow = frame->m_dlgGame.m_hWnd;
  const RECT game = WindowRect(gameWindow);
  EXPECT_EQ(game.left, rc.left + 23);
  EXPECT_EQ(game.top, rc.top + 115);
  EXPECT_EQ(NextOfOurs(gameWindow), frame->m_hWnd);
}

TEST_F(Frame, BeforeTheFirstMinimiseAPointAboveTheCloseButtonAsksToClose) {
  ComposeWithPointerAt(690, 50);
  EXPECT_EQ(frame->m_ptMouse.y, 70) << "the composition moves the stored point";
  {
    MessageBoxAnswerer answer(IDCANCEL);
    SendMessageW(frame->m_hWnd, WM_LBUTTONUP, 0, Point(690, 50));
    const auto box = answer.Answered();
    ASSERT_TRUE(box) << "no close question";
    EXPECT_EQ(box->text, ravelin::g_Language.GetText(13));
    EXPECT_EQ(box->caption, ravelin::g_Language.GetText(25));
  }
  // Cancel leaves both windows as they were.
  EXPECT_TRUE(IsWindowVisible(frame->m_hWnd));
  EXPECT_TRUE(IsWindowVisible(Game()));
  EXPECT_FALSE(frame->m_bShuttingDown);
}

TEST_F(Frame, AfterTheFirstMinimiseOnlyTheButtonsThemselvesAct) {
  SendMessageW(frame->m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PumpMessages(100ms);
  EXPECT_TRUE(frame->m_bMinimizedOnce);
  ShowWindow(frame->m_hWnd, SW_RESTORE);
  PumpMessages(100ms);

  for (const POINT p : {POINT{690, 50}, POINT{712, 89}}) {
    ComposeWithPointerAt(p.x, p.y);
    EXPECT_EQ(frame->m_ptMouse.y, p.y);
    MessageBoxAnswerer answer(IDCANCEL, 600ms);
    SendMessageW(frame->m_hWnd, WM_LBUTTONUP, 0, Point(p.x, p.y));
    EXPECT_FALSE(answer.Answered()) << "a click at " << p.x << "," << p.y << " asked to close";
  }
  ComposeWithPointerAt(686, 64);
  MessageBoxAnswerer answer(IDCANCEL);
  SendMessageW(frame->m_hWnd, WM_LBUTTONUP, 0, Point(686, 64));
  EXPECT_TRUE(answer.Answered()) << "686/64 lies in the close button";
}

TEST_F(Frame, WmCloseAsksTheSameQuestionAndOkShutsEverythingDownWithOne) {
  const HWND frameWnd = frame->m_hWnd;
  const HWND game = Game();
  const HWND anchor = frame->m_hTopWnd;
  MessageBoxAnswerer answer(IDOK);
  PostMessageW(frameWnd, WM_CLOSE, 0, 0);
  std::optional<WPARAM> quit;
  for (int i = 0; i < 40 && !quit; ++i) quit = PumpMessages(50ms);
  const auto box = answer.Answered();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, ravelin::g_Language.GetText(13));
  ASSERT_TRUE(quit) << "no quit message";
  EXPECT_EQ(*quit, 1u);
  EXPECT_FALSE(IsWindow(frameWnd));
  EXPECT_FALSE(IsWindow(game));
  EXPECT_FALSE(IsWindow(anchor));
  EXPECT_TRUE(frame->m_dlgGame.m_bClosing);
}

TEST_F(Frame, RestackingPutsTheAnchorOverTheGameWindowOverTheFrame) {
  // Something else comes between them first.
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
  SetWindowPos(other, Game(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // Activating the frame restacks.
  SendMessageW(frame->m_hWnd, WM_NCACTIVATE, TRUE, 0);
  PumpMessages(50ms);
  EXPECT_EQ(NextOfOurs(frame->m_hTopWnd), Game());
  EXPECT_EQ(NextOfOurs(Game()), frame->m_hWnd);

  // A window that asks to keep its place is left out of the pass.
  SetPropW(Game(), L"SYN_ZORDER", reinterpret_cast<HANDLE>(1));
  SetWindowPos(Game(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  frame->SyncZOrder();
  PumpMessages(50ms);
  EXPECT_NE(NextOfOurs(frame->m_hTopWnd), Game()) << "the marked game window was moved";
  RemovePropW(Game(), L"SYN_ZORDER");
  DestroyWindow(other);
}

TEST_F(Frame, PlayPhaseLayoutAndHitTest) {
  ravelin::CStandardDlg& game = frame->m_dlgGame;
  game.m_bPlaying = 1;
  SetWindowPos(Game(), nullptr, 0, 0, 1000, 700, SWP_NOZORDER | SWP_NOACTIVATE);
  PumpMessages(50ms);
  RECT client;
  GetClientRect(Game(), &client);
  ASSERT_EQ(client.right, 1000) << "the whole window is client area";

  auto left = [&](int id) {
    RECT rc = WindowRect(GetDlgItem(Game(), id));
    POINT p{rc.left, rc.top};
    ScreenToClient(Game(), &p);
    return p.x;
  };
  EXPECT_EQ(left(IDC_BTN_CLOSE), 975);
  EXPECT_EQ(left(IDC_BTN_MAX), 948);
  EXPECT_EQ(left(IDC_BTN_RESTORE), 948);
  EXPECT_EQ(left(IDC_BTN_MIN), 921);
  EXPECT_EQ(left(IDC_BTN_SOUNDOFF), 894);
  EXPECT_EQ(left(IDC_BTN_TOOLS), 867);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(Game(), IDC_BTN_MAX)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(Game(), IDC_BTN_RESTORE)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(Game(), IDC_BTN_SOUNDOFF)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(Game(), IDC_BTN_SOUNDON)));
  const RECT flash = WindowRect(GetDlgItem(Game(), IDC_FLASH));
  EXPECT_EQ(flash.right - flash.left, 996);
  EXPECT_EQ(flash.bottom - flash.top, 667);

  struct Case {
    int x, y;
    LRESULT code;
  };
  for (const Case c : {Case{5, 5, HTTOPLEFT}, Case{2, 5, HTLEFT}, Case{100, 15, HTCAPTION}, Case{998, 300, HTRIGHT},
                       Case{500, 698, HTBOTTOM}, Case{995, 695, HTBOTTOMRIGHT}}) {
    POINT p{c.x, c.y};
    ClientToScreen(Game(), &p);
    SetCursorPos(p.x, p.y);
    EXPECT_EQ(SendMessageW(Game(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)), c.code) << c.x << "," << c.y;
  }
  game.m_bPlaying = 0;
  POINT p{100, 15};
  ClientToScreen(Game(), &p);
  SetCursorPos(p.x, p.y);
  EXPECT_EQ(SendMessageW(Game(), WM_NCHITTEST, 0, 0), HTCLIENT);

  MINMAXINFO mmi{};
  SendMessageW(Game(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(mmi.ptMinTrackSize.x, 1000);
  EXPECT_EQ(mmi.ptMinTrackSize.y, 650);
}

TEST_F(Frame, TheGameWindowsExitQuestionFallsBackToTextThirteen) {
  // The movie does not answer (as when none is loaded).
  ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(L"player.ini", L"[answers]\r\ngetUnfinishedInfo=error\r\n"));
  MessageBoxAnswerer answer(IDCANCEL);
  PostMessageW(Game(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PumpMessages(500ms);
  const auto box = answer.Answered();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, ravelin::g_Language.GetText(13));
  EXPECT_EQ(box->caption, ravelin::g_Language.GetText(25));
  EXPECT_TRUE(IsWindow(Game()));
  ravelin::testkit::ClearStandinFile(L"player.ini");
}

TEST(GameWindowStartup, TasksRunOnceFiftyMillisecondsAfterInitialisation) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_TRUE(ravelin::testkit::RegisterStandin(L"browser_standin.dll"));
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  const std::wstring link = ravelin::BuildShortcutPath(CSIDL_DESKTOPDIRECTORY, ravelin::g_Language.GetText(25));
  DeleteFileW(link.c_str());

  auto frame = std::make_unique<CTranslucentDlg>();
  ASSERT_NE(frame->Create(nullptr), nullptr);
  // Not yet: the tasks wait for timer 2.
  EXPECT_FALSE(ravelin::testkit::FileExists(link));
  EXPECT_TRUE(RegisterHotKey(nullptr, 77, 0, VK_F9)) << "F9 taken before the start-up tasks";
  UnregisterHotKey(nullptr, 77);

  PumpMessages(300ms);
  EXPECT_TRUE(ravelin::testkit::FileExists(link));
  EXPECT_FALSE(RegisterHotKey(nullptr, 77, 0, VK_F9)) << "the game window holds F9";

  // Once only: a removed shortcut is not made again.
  DeleteFileW(link.c_str());
  PumpMessages(300ms);
  EXPECT_FALSE(ravelin::testkit::FileExists(link));

  frame->CloseAll();
  PumpMessages(50ms);
  // Destruction gives F9 back.
  EXPECT_TRUE(RegisterHotKey(nullptr, 77, 0, VK_F9));
  UnregisterHotKey(nullptr, 77);
  frame.reset();
  CoUninitialize();
}

// The warm-up decodes on a thread of its own in a multithreaded apartment,
// starting and ending its own use of GDI+ there.
TEST(FrameComposition, ThePictureDecoderWarmsUpOnAThreadOfItsOwn) {
  bool decoded = false;
  std::thread([&decoded] {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    decoded = ravelin::WarmUpPictureDecoder();
    if (SUCCEEDED(com)) CoUninitialize();
  }).join();
  EXPECT_TRUE(decoded);
}

TEST(FrameComposition, RepeatedCompositionsLeaveNoGdiObjectBehind) {
  // The count is exact, so a few rounds of each kind of composition catch
  // one object left by any of them (a composition takes ~30 ms under Wine).
  constexpr int kCompositions = 30;
  // Plain, with the close highlight, with the minimise highlight.
  constexpr ravelin::FramePoint kPointer[] = {{400, 300}, {690, 75}, {670, 80}};
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  auto frame = std::make_unique<CTranslucentDlg>();
  ASSERT_NE(frame->Create(nullptr), nullptr);
  ShowWindow(frame->m_hWnd, SW_SHOW);
  PumpMessages(100ms);
  for (const auto p : kPointer) {  // what the first compositions set up for good
    frame->m_ptMouse = p;
    frame->DrawFrame();
  }
  const long before = ravelin::testkit::LiveGdiObjects();
  ASSERT_GT(before, 0) << "the count sees no GDI object at all";
  for (int i = 0; i < kCompositions; ++i) {
    frame->m_ptMouse = kPointer[i % 3];
    frame->DrawFrame();
  }
  EXPECT_EQ(ravelin::testkit::LiveGdiObjects(), before) << "GDI objects left by " << kCompositions << " compositions";
  frame->CloseAll();
  PumpMessages(50ms);
  frame.reset();
  CoUninitialize();
}

}  // namespace
