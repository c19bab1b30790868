#include "framework/ax_host_win.h"

namespace ravelin::framework {
namespace {

UINT g_msgGetHost = 0;
UINT g_msgGetControl = 0;

// Hosting a control by its class identifier is not available in this build
// yet: refuse the creation, so a dialog that names a control fails to open
// rather than showing an empty hole where the control should be.
LRESULT CALLBACK AxHostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return -1;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool RegisterHostClass(HINSTANCE instance, const wchar_t* name) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, name, &existing)) return true;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &AxHostWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

bool AtlAxWinInit(HINSTANCE instance) {
  g_msgGetHost = RegisterWindowMessageW(L"WM_ATLGETHOST");
  g_msgGetControl = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
  if (g_msgGetHost == 0 || g_msgGetControl == 0) return false;
  return RegisterHostClass(instance, kAxHostClass) && RegisterHostClass(instance, kAxHostLicClass);
}

UINT AxGetHostMessage() { return g_msgGetHost; }
UINT AxGetControlMessage() { return g_msgGetControl; }

}  // namespace ravelin::framework
