#include "app/run_main_window_win.h"

#include <memory>

#include "common/startup_steps.h"
#include "frame/translucent_dlg_win.h"
#include "framework/app_module_win.h"

namespace ravelin {

int RunMainWindow(int showCommand) {
  framework::CMessageLoop loop;
  framework::g_appModule.AddMessageLoop(&loop);

  // The frame holds the game window object, so the two live and go together.
  auto frame = std::make_unique<CTranslucentDlg>();
  if (frame->Create(nullptr) == nullptr) {
    frame.reset();
    framework::g_appModule.RemoveMessageLoop();
    return 0;
  }
  frame->ShowWindow(showCommand);
  MarkStartupStep("frame shown");

  const int exitCode = static_cast<int>(loop.Run());

  framework::g_appModule.RemoveMessageLoop();
  frame.reset();
  return exitCode;
}

}  // namespace ravelin
