// The diagnostics as the game window drives them: started after start-up,
// a check for each game page, the hourly timers, and the stop on exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "diag/diagnostics_win.h"
#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::CTranslucentDlg;
using ravelin::testkit::ConsoleToolRuns;
using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;
using ravelin::testkit::ReadStandinLines;
using ravelin::testkit::ServiceRequest;

// The info lines of each post the log endpoint accepted, oldest post first.
std::vector<std::vector<std::string>> Uploads() {
  std::vector<std::vector<std::string>> uploads;
  const auto json = ServiceRequest(L"GET", L"/_standin/uploads");
  if (!json) return uploads;
  // The endpoint lists each post's info lines as JSON strings; report lines
  // hold no quotes or backslashes here.
  const std::regex post(R"re("info_lines": \[([^\]]*)\])re");
  const std::regex item(R"re("([^"]*)")re");
  for (auto p = std::sregex_iterator(json->begin(), json->end(), post); p != std::sregex_iterator(); ++p) {
    const std::string list = (*p)[1];
    std::vector<std::string> lines;
    for (auto i = std::sregex_iterator(list.begin(), list.end(), item); i != std::sregex_iterator(); ++i) {
      if (!(*i)[1].str().empty()) lines.push_back((*i)[1]);
    }
    uploads.push_back(lines);
  }
  return uploads;
}

int CountType(const std::vector<std::string>& lines, const std::string& type) {
  int n = 0;
  for (const std::string& l : lines) n += l.find("|type|" + type + "|") != std::string::npos ? 1 : 0;
  return n;
}

class DiagGame : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset"));
    for (const wchar_t* f : {L"browser.log", L"player.log", L"console.log", L"console.ini"}) {
      ravelin::testkit::ClearStandinFile(f);
    }
    ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(L"player.ini", L"[audio]\r\nenabled=0\r\n"));
    GameWindowTest::SetUp();
  }
  void WriteConsoleIni(const std::string& text) {
    ASSERT_TRUE(ravelin::testkit::WriteWholeFile(ravelin::testkit::StandinFile(L"console.ini"), text));
  }
  HWND Game() { return frame->m_dlgGame.m_hWnd; }
};

TEST_F(DiagGame, StartUpRoundThenEachGamePageLoadChecksTheGameHostWithItsOwnUpload) {
  Start(R"({"mode":"normal","loadgame_delay_ms":1500})");
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() >= 2; }, 60s)) << Uploads().size();
  PumpMessages(1s);
  const auto uploads = Uploads();
  ASSERT_EQ(uploads.size(), 2u) << "the check's second upload finds nothing new";
  EXPECT_EQ(CountType(uploads[0], "publicurl"), 4);
  EXPECT_EQ(CountType(uploads[0], "checkUdp"), 1);
  ASSERT_EQ(uploads[1].size(), 1u);
  EXPECT_NE(uploads[1][0].find("|type|PGameUlr|url|127.0.0.1|ip|127.0.0.1|send|4|"), std::string::npos)
      << uploads[1][0];
  const auto runs = ConsoleToolRuns();
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.back(), "ping 127.0.0.1") << "the host answered: no fall-back";
}

TEST_F(DiagGame, TheHourlyTimersPostAProbeWithANewBatchAndAUdpReport) {
  Start(R"({"mode":"normal","loadgame_delay_ms":null})");
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() == 1; }, 60s)) << "start-up round";
  ravelin::testkit::ClearStandinFile(L"console.log");

  PostMessageW(Game(), WM_TIMER, 3, 0);
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() == 2; }, 30s));
  auto uploads = Uploads();
  EXPECT_EQ(CountType(uploads[1], "publicurl"), 4);
  EXPECT_EQ(CountType(uploads[1], "checkUdp"), 0) << "the batch is sent after the probe's upload";
  PumpMessages(1s);  // the window takes the echoes

  PostMessageW(Game(), WM_TIMER, 4, 0);
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() == 3; }, 30s));
  uploads = Uploads();
  ASSERT_EQ(uploads[2].size(), 1u);
  EXPECT_TRUE(std::regex_search(uploads[2][0],
                                std::regex(R"(\|type\|checkUdp\|url\|127\.0\.0\.1\|udp\|100times:Lost0 Out\d+ )")))
      << uploads[2][0];
}

TEST_F(DiagGame, LeavingDuringARouteTraceThatNeverEndsTakesSecondsAndPostsWhatWasCollected) {
  WriteConsoleIni("[ping]\n127.0.0.1=nothing\n127.0.0.11=nothing\ndefault=normal\n[tracert]\ndefault=hang\n");
  Start(R"({"mode":"normal","loadgame_delay_ms":null})");
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() == 1; }, 60s)) << "start-up round";
  PostMessageW(Game(), WM_TIMER, 3, 0);
  ASSERT_TRUE(PumpUntil([] { return Uploads().size() == 2; }, 30s));
  PumpMessages(1s);  // the new batch is answered

  ravelin::g_gameException.PostDiagCommand(Game(), ravelin::WM_DIAG_GAMEURL, L"http://127.0.0.1/game/movie.swf");
  ASSERT_TRUE(PumpUntil(
      [] {
        const auto runs = ConsoleToolRuns();
        return !runs.empty() && runs.back() == "tracert 127.0.0.11";
      },
      30s));

  const auto started = std::chrono::steady_clock::now();
  frame->CloseAll();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  const auto uploads = Uploads();
  ASSERT_EQ(uploads.size(), 3u) << "the last upload went out before the window closed";
  ASSERT_EQ(uploads[2].size(), 1u);
  EXPECT_NE(uploads[2][0].find("|udp|100times:Lost0 "), std::string::npos) << uploads[2][0];
  EXPECT_EQ(ravelin::testkit::ReadWholeFile(ravelin::g_gameException.m_logPath).value_or("?"), "");
}

}  // namespace
