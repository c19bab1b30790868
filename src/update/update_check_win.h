// The update checks' threads and the hand-over to a downloaded build.
#pragma once

#include <windows.h>

#include <string>

#include "net/http_transfer_win.h"

namespace ravelin {

// The running program's full path, or "Error".
std::wstring GetModulePath();
// The file version of `modulePath` as "a.b.c.d", or "1.0.0.0" without one.
std::wstring GetLocalVersionString(const std::wstring& modulePath);

// Silent check: posts the dialog's stored message to its stored window when
// a different build is offered; shows nothing. The argument is the CUpdateDlg.
DWORD WINAPI SilentCheckThreadProc(LPVOID dialog);
// Interactive worker of the update dialog. The argument is the CUpdateDlg.
DWORD WINAPI CheckThreadProc(LPVOID dialog);

// Copies the running program to its temporary name and starts that copy
// hidden with the Update command line for `downloadedBuild`. False when the
// copy could not be made (then nothing is started).
bool StartHandover(const std::wstring& downloadedBuild);

}  // namespace ravelin
