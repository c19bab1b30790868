// The reference for the launcher's start-up: the least a Win32 program does
// to show a window of the frame's size (register a class, create, show).
#include <windows.h>

#include "holdings_win.h"

namespace {

// Posted once the window is shown: what the process holds then is written
// for the benchmark (after the time it measures).
constexpr UINT kReportHoldings = WM_APP + 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kReportHoldings) {
    ravelin::bench::AppendTraceLine(ravelin::bench::HoldingsLine(ravelin::bench::OwnHoldings()));
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A step in the trace file, like the traced launcher's steps, so the
// benchmark can set the two programs' entry and show side by side.
void Mark(const char* step) { ravelin::bench::AppendTraceLine(ravelin::bench::StepLine(step)); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*arguments*/, int showCommand) {
  Mark("process entry");
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"RavelinBareWindow";
  if (RegisterClassW(&windowClass) == 0) return 1;
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Bare window", WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 729, 530, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  Mark("window shown");
  PostMessageW(window, kReportHoldings, 0, 0);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
