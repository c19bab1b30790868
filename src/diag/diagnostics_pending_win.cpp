// The diagnostics worker is not built yet: its operations exist so the
// windows call them at the right moments, and do nothing until then.
#include "diag/diagnostics_win.h"

namespace ravelin {

CGameException g_gameException;

void CGameException::StartDiagWorker() {}
void CGameException::PostDiagCommand(UINT /*command*/, HWND /*window*/, const std::wstring& /*text*/) {}
void CGameException::StopDiagWorker() {}
void CGameException::UdpOnReadable(LPARAM /*event*/) {}

}  // namespace ravelin
