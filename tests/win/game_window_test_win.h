// What every test of the frame and its game window starts from: the stand-in
// browser and player registered, COM on the test thread, the ActiveX host
// class, and the frame opened in this process and closed the way the
// program closes it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"

namespace ravelin::testkit {

class GameWindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(RegisterStandin(L"browser_standin.dll"));
    ASSERT_TRUE(RegisterStandin(L"player_standin.dll"));
  }
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // The run's own folder is on a drive whose volume serial cannot be read.
    SetCurrentDirectoryW(L"C:\\");
    framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  }
  void TearDown() override {
    if (frame && frame->m_hWnd != nullptr) frame->CloseAll();
    PumpMessages(std::chrono::milliseconds(50));
    frame.reset();
    CoUninitialize();
  }
  // Opens the frame, and with it the game window, and shows it.
  void OpenFrame() {
    frame = std::make_unique<CTranslucentDlg>();
    ASSERT_NE(frame->Create(nullptr), nullptr);
    ShowWindow(frame->m_hWnd, SW_SHOW);
  }
  // Tells the game service how its start page behaves, then opens the frame.
  void Start(const char* startPage) {
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/start_page", startPage));
    OpenFrame();
  }

  std::unique_ptr<CTranslucentDlg> frame;
};

}  // namespace ravelin::testkit
