// Failed loads of the game address: the reload budget is process-wide, so
// this program exercises it once.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "i18n/language_win.h"
#include "testkit/message_box_answer_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;

using namespace std::chrono_literals;

int StartPageLoads() {
  const auto requests =
      ravelin::testkit::ServiceRequest(L"GET", L"/_standin/requests?path=/dusk_vale/client/index.php");
  if (!requests) return -1;
  int n = 0;
  for (std::size_t pos = 0; (pos = requests->find("\"method\"", pos)) != std::string::npos; ++pos) ++n;
  return n;
}

TEST(NavigateErrors, SixReloadsThenTextFifteenThenTheFramesQuestion) {
  ASSERT_TRUE(ravelin::testkit::RegisterStandin(L"browser_standin.dll"));
  ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/reset"));
  ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/start_page", R"({"mode":"normal"})"));
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  SetCurrentDirectoryW(L"C:\\");
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  auto frame = std::make_unique<ravelin::CTranslucentDlg>();
  ASSERT_NE(frame->Create(nullptr), nullptr);
  ShowWindow(frame->m_hWnd, SW_SHOW);
  ravelin::CStandardDlg& game = frame->m_dlgGame;
  for (int i = 0; i < 200 && !game.m_bPageDone; ++i) PumpMessages(20ms);
  ASSERT_TRUE(game.m_bPageDone);
  const std::wstring address = game.m_strUrl;
  ASSERT_EQ(StartPageLoads(), 1);

  // An error of another address only lower-cases the held one.
  VARIANT empty;
  VariantInit(&empty);
  BSTR other = SysAllocString(L"http://127.0.0.1/No/Such/Page");
  game.m_IEPtr->Navigate(other, &empty, &empty, &empty, &empty);
  SysFreeString(other);
  PumpMessages(800ms);
  EXPECT_EQ(StartPageLoads(), 1) << "another address's error reloaded the game";
  std::wstring lower = address;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  EXPECT_EQ(game.m_strUrl, lower);

  // Now every load of the game address fails: six reloads, then the message,
  // then the frame's own close question (answered Cancel).
  ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/start_page", R"({"mode":"500"})"));
  ravelin::testkit::MessageBoxAnswerer boxes({IDOK, IDCANCEL}, 30s);
  BSTR url = SysAllocString(game.m_strUrl.c_str());
  game.m_IEPtr->Navigate(url, &empty, &empty, &empty, &empty);
  SysFreeString(url);
  for (int i = 0; i < 300 && boxes.Peek().size() < 2; ++i) PumpMessages(50ms);
  const auto answered = boxes.AllAnswered();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].text, ravelin::g_Language.GetText(15));
  EXPECT_EQ(answered[0].caption, L"Error");
  EXPECT_EQ(answered[1].text, ravelin::g_Language.GetText(13));
  EXPECT_EQ(StartPageLoads(), 1 + 7) << "the failing address is loaded seven times in all";
  PumpMessages(200ms);
  EXPECT_TRUE(IsWindow(frame->m_hWnd)) << "Cancel keeps the program with the failed page";

  frame->CloseAll();
  PumpMessages(50ms);
  frame.reset();
  CoUninitialize();
}

}  // namespace
