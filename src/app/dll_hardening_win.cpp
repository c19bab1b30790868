#include "app/dll_hardening_win.h"

#include <windows.h>

namespace ravelin {

void HardenDllSearch() {
  // Looked up by name: Windows 7 without its loader update lacks it, and
  // there SetDllDirectoryW alone still drops the current directory.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    const FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (proc != nullptr) {
      reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc))(kSearchSystem32);
    }
  }
  SetDllDirectoryW(L"");
}

}  // namespace ravelin
