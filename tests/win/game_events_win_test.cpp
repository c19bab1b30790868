// The game window driven by the stand-in browser and player against the
// local game service: the login page, the move to the game, the bridge to
// the movie and the exit question.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "i18n/language_win.h"
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
using ravelin::testkit::ReadStandinLines;

int CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<int>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class GameEvents : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/reset"));
    for (const wchar_t* f : {L"browser.log", L"player.log", L"player.ini", L"browser.ini"}) {
      ravelin::testkit::ClearStandinFile(f);
    }
    ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(L"player.ini", L"[audio]\r\nenabled=0\r\n"));
    GameWindowTest::SetUp();
  }
  ravelin::CStandardDlg& Game() { return frame->m_dlgGame; }
};

TEST_F(GameEvents, TheLoginPageLoadsMovesTheBarAndIsRevealedWithTheFocus) {
  Start(R"({"mode":"normal","loadgame_delay_ms":null})");
  EXPECT_FALSE(IsWindowVisible(Game().m_wndIE)) << "hidden while loading";
  ASSERT_TRUE(PumpUntil([&] { return Game().m_bPageDone != 0; }, 10s));
  EXPECT_TRUE(IsWindowVisible(Game().m_wndIE));
  EXPECT_EQ(Game().m_bLoading, 0);
  EXPECT_GT(Game().m_nProgressMax, 0) << "progress reports moved the bar";
  EXPECT_EQ(Game().m_nProgress, Game().m_nProgressMax);
  HWND focus = GetFocus();
  EXPECT_TRUE(focus == Game().m_wndIE || IsChild(Game().m_wndIE, focus));
  EXPECT_FALSE(Game().m_bPlaying);

  // Tab and Enter are offered to the document, addressed to the browser.
  MSG tab{Game().m_hWnd, WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {0, 0}};
  EXPECT_FALSE(Game().PreTranslateMessage(&tab)) << "the document declined";
  ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(L"browser.ini", L"[document]\r\naccelerator=S_OK\r\n"));
  MSG enter{GetDlgItem(Game().m_hWnd, IDC_BTN_CLOSE), WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
  EXPECT_TRUE(Game().PreTranslateMessage(&enter)) << "the document took it";
  const auto log = ReadStandinLines(L"browser.log");
  char hwnd[32];
  std::snprintf(hwnd, sizeof(hwnd), "%p", static_cast<void*>(Game().m_wndIE));
  EXPECT_EQ(CountLines(log, "accelerator message=0x00000100 key=9 hwnd=" + std::string(hwnd)), 1);
  EXPECT_EQ(CountLines(log, "accelerator message=0x00000100 key=13 hwnd=" + std::string(hwnd)), 1);
  // Other keys are not offered.
  MSG letter{Game().m_hWnd, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_FALSE(Game().PreTranslateMessage(&letter));
  EXPECT_EQ(CountLines(ReadStandinLines(L"browser.log"), "accelerator"), 2);
}

TEST_F(GameEvents, TheMoveToTheGameLoadsTheMovieAndTurnsIntoTheMaximisedPlayWindow) {
  Start(R"({"mode":"normal","loadgame_delay_ms":300})");
  ASSERT_TRUE(PumpUntil([&] { return Game().m_bPlaying != 0; }, 10s));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Game().m_strLoadGameUrl, L"app://loadgame?movie=http://127.0.0.1/game/movie.swf");
  EXPECT_EQ(Game().m_nProgressMax, 1000);

  // The next completion (the error page of the app:// address) switches.
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(Game().m_hWnd) != FALSE; }, 5s));
  EXPECT_FALSE(IsWindowVisible(frame->m_hWnd));
  EXPECT_FALSE(IsWindowVisible(Game().m_wndIE));
  EXPECT_TRUE(IsWindowVisible(Game().m_wndFlash));
  EXPECT_NE(GetWindowLongPtrW(Game().m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(GetWindowLongPtrW(Game().m_hWnd, GWL_STYLE) & 0x060F0000, 0x060F0000);
  wchar_t title[64] = {};
  GetWindowTextW(Game().m_hWnd, title, 64);
  EXPECT_EQ(std::wstring(title), ravelin::g_Language.GetText(25));

  // The bar runs to full in about 3.2 s and is then drawn finished.
  ASSERT_TRUE(PumpUntil([&] { return Game().m_nProgress == -1; }, 10s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(took, 2500ms);
  EXPECT_LT(took, 15000ms);  // timers run late on a busy machine; the tick arithmetic is tested natively
  EXPECT_EQ(Game().m_nProgressMax, 100);

  const auto player = ReadStandinLines(L"player.log");
  EXPECT_EQ(CountLines(player, "LoadMovie 0 http://127.0.0.1/game/movie.swf"), 1);
  EXPECT_EQ(CountLines(player, "Play"), 1);
  // Ready state 4 tells the movie it runs in the desktop program.
  EXPECT_GE(CountLines(player, "CallFunction SetIsDesktop"), 1);
  // The document host handler was installed once, by the marker navigation.
  const auto browser = ReadStandinLines(L"browser.log");
  EXPECT_EQ(CountLines(browser, "uihandler hostinfo flags=0x00000004 hr=0x00000000"), 1);
  EXPECT_EQ(CountLines(browser, "uihandler contextmenu hr=0x00000000"), 1);
}

TEST_F(GameEvents, TheExitQuestionShowsTheMoviesOwnText) {
  Start(R"({"mode":"normal","loadgame_delay_ms":0})");
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(Game().m_hWnd) != FALSE; }, 10s));
  struct Case {
    const wchar_t* answer;
    std::wstring text;
  };
  const Case cases[] = {
      {L"string:First sentence.\\n\\nSecond sentence.", L"First sentence.\n\nSecond sentence."},
      {L"null", L""},
      {L"error", ravelin::g_Language.GetText(13)},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(
        L"player.ini", std::wstring(L"[audio]\r\nenabled=0\r\n[answers]\r\ngetUnfinishedInfo=") + c.answer + L"\r\n"));
    MessageBoxAnswerer answer(IDCANCEL);
    PostMessageW(Game().m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PumpMessages(400ms);
    const auto box = answer.Answered();
    ASSERT_TRUE(box) << "no exit question";
    // Message boxes show line feeds as they are given.
    EXPECT_EQ(box->text, c.text);
    EXPECT_EQ(box->caption, ravelin::g_Language.GetText(25));
  }
  EXPECT_TRUE(IsWindow(Game().m_hWnd)) << "Cancel keeps the game going";

  MessageBoxAnswerer ok(IDOK);
  PostMessageW(Game().m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  std::optional<WPARAM> quit;
  for (int i = 0; i < 40 && !quit; ++i) quit = PumpMessages(50ms);
  ASSERT_TRUE(ok.Answered());
  ASSERT_TRUE(quit);
  EXPECT_EQ(*quit, 1u);
  EXPECT_FALSE(IsWindow(frame->m_hWnd));
}

TEST_F(GameEvents, AMarkerWithoutAnAddressStartsThePlayPhaseWithNothingToLoad) {
  Start(R"({"mode":"normal","loadgame_delay_ms":0,"loadgame_url":"app://loadgame?nothing-here"})");
  ASSERT_TRUE(PumpUntil([&] { return Game().m_bPlaying != 0; }, 10s));
  PumpMessages(300ms);
  EXPECT_EQ(CountLines(ReadStandinLines(L"player.log"), "LoadMovie"), 0);
  EXPECT_EQ(std::wstring(Game().m_bstrMovie ? Game().m_bstrMovie.get() : L"?"), L"");
}

}  // namespace
