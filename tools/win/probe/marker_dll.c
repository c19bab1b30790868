/* A DLL that does nothing: tests drop it where a hijacking DLL would sit and
   check that the launcher's search rules never pick it up by name. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

__declspec(dllexport) int RavelinMarker(void) { return 42; }
