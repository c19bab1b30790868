// ravelin-driver: drives a running launcher from outside, for the run
// command and the end-to-end tests.
//
//   ravelin-driver wait-window [--image NAME] [--timeout MS]
//       waits until the launcher's main window exists; prints its state
//   ravelin-driver close [--image NAME] [--timeout MS]
//       sends the main window WM_COMMAND IDOK, the frame's own way out
//   ravelin-driver windows [--image NAME]
//       lists the launcher's top-level windows
//
// NAME is the launcher's image file name (default ravelin.exe) or full path.
// Exit status: 0 done, 1 timed out or not found, 2 bad usage.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::FindMainWindow;
using ravelin::testkit::FindProcesses;
using ravelin::testkit::WindowInfo;

struct Options {
  std::wstring command;
  std::wstring image = L"ravelin.exe";
  std::chrono::milliseconds timeout{30000};
};

void Print(const WindowInfo& w) {
  RECT rc{};
  GetWindowRect(w.hwnd, &rc);
  std::wprintf(L"hwnd=%p pid=%lu class=%ls visible=%d layered=%d rect=%ld,%ld,%ld,%ld title=\"%ls\"\n",
               static_cast<void*>(w.hwnd), static_cast<unsigned long>(w.pid), w.className.c_str(), w.visible ? 1 : 0,
               w.layered ? 1 : 0, rc.left, rc.top, rc.right, rc.bottom, w.title.c_str());
}

std::optional<WindowInfo> WaitMainWindow(const Options& o) {
  return ravelin::testkit::WaitFor([&] { return FindMainWindow(FindProcesses(o.image)); }, o.timeout);
}

int Usage() {
  std::fputs("usage: ravelin-driver wait-window|close|windows [--image NAME] [--timeout MS]\n", stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  Options o;
  o.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--image" && i + 1 < argc) {
      o.image = argv[++i];
    } else if (arg == L"--timeout" && i + 1 < argc) {
      o.timeout = std::chrono::milliseconds(_wtoi(argv[++i]));
    } else {
      return Usage();
    }
  }

  if (o.command == L"windows") {
    for (const WindowInfo& w : ravelin::testkit::TopLevelWindows(FindProcesses(o.image))) Print(w);
    return 0;
  }
  if (o.command == L"wait-window") {
    const auto w = WaitMainWindow(o);
    if (!w) {
      std::fwprintf(stderr, L"no main window of %ls\n", o.image.c_str());
      return 1;
    }
    Print(*w);
    return 0;
  }
  if (o.command == L"close") {
    const auto w = WaitMainWindow(o);
    if (!w) {
      std::fwprintf(stderr, L"no main window of %ls\n", o.image.c_str());
      return 1;
    }
    PostMessageW(w->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    std::wprintf(L"sent IDOK to %p\n", static_cast<void*>(w->hwnd));
    return 0;
  }
  return Usage();
}
