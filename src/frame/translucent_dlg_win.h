// The process's main window, created from dialog 210.
//
// This is the frame's shell: it opens from its template and is the way out
// of the program (IDOK destroys it and quits with 1). The picture, the game
// window in its opening and the close question come with the frame itself.
#pragma once

#include <windows.h>

#include <span>

#include "framework/dialog_win.h"
#include "framework/message_loop_win.h"
#include "res/resource.h"

namespace ravelin {

class CTranslucentDlg : public framework::CDialogImpl<CTranslucentDlg>,
                        public framework::CMessageFilter,
                        public framework::CIdleHandler {
 public:
  static constexpr UINT IDD = IDD_FRAME;

  static std::span<const framework::MessageMapEntry<CTranslucentDlg>> MessageMap();

  bool PreTranslateMessage(MSG* msg) override;
  bool OnIdle() override;

 private:
  std::intptr_t OnInitDialog(const framework::MessageArgs& args, bool& handled);
  std::intptr_t OnOK(const framework::MessageArgs& args, bool& handled);
  std::intptr_t OnCancel(const framework::MessageArgs& args, bool& handled);
  std::intptr_t OnDestroy(const framework::MessageArgs& args, bool& handled);
};

}  // namespace ravelin
