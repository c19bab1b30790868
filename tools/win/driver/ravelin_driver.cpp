// ravelin-driver: drives a running launcher from outside, for the run
// command and the end-to-end tests. It sees the launcher as a player's
// tools would: its windows, their states, their controls.
//
//   ravelin-driver windows                      list the launcher's top-level windows
//   ravelin-driver processes                    list the processes of the image, one pid a line
//   ravelin-driver wait --kind K [--visible|--hidden|--gone] [--zoomed]
//                                               wait until a window of kind K is so
//   ravelin-driver close                        send the main window WM_COMMAND IDOK
//   ravelin-driver command --kind K --id N      send WM_COMMAND N (BN_CLICKED) to a window of kind K
//   ravelin-driver click --kind K --id N        click control N of a window of kind K (BM_CLICK)
//   ravelin-driver message --kind K --msg N [--wparam W] [--lparam L]
//                                               post a message to a window of kind K
//   ravelin-driver answer --button ok|cancel|yes|no [--until-exit]
//                                               answer the launcher's message box; prints its text;
//                                               with --until-exit also waits (--timeout) for its
//                                               process to end and prints exited_after_ms=N
//   ravelin-driver text --kind K [--id N]       print the text of a window of kind K (or of its control N)
//   ravelin-driver key F9                       press and release a key (system-wide input)
//   ravelin-driver wait-window                  the same as: wait --kind main
//
// Kinds: main (the frame: an unowned dialog, layered once it is built),
// game (the dialog holding the browser control 1000), update (the dialog
// with the progress bar 1011), msgbox (a message box), any.
// Common options: --image NAME (default ravelin.exe), --timeout MS (default 30000).
// Exit status: 0 done, 1 timed out or not found, 2 bad usage.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_handle_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::FindProcesses;
using ravelin::testkit::TopLevelWindows;
using ravelin::testkit::WindowInfo;

struct Options {
  std::wstring command;
  std::wstring argument;
  std::wstring image = L"ravelin.exe";
  std::wstring kind = L"main";
  std::chrono::milliseconds timeout{30000};
  int id = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::wstring button = L"ok";
  enum class Want { Exists, Visible, Hidden, Gone } want = Want::Exists;
  bool zoomed = false;
  bool untilExit = false;
};

std::wstring KindText(const WindowInfo& w) { return ravelin::testkit::KindName(ravelin::testkit::KindOf(w)); }

std::optional<WindowInfo> Find(const Options& o) {
  for (const WindowInfo& w : TopLevelWindows(FindProcesses(o.image))) {
    if (o.kind == L"any" || KindText(w) == o.kind) return w;
  }
  return std::nullopt;
}

bool Satisfies(const Options& o, const std::optional<WindowInfo>& w) {
  switch (o.want) {
    case Options::Want::Gone:
      return !w.has_value();
    case Options::Want::Exists:
      return w.has_value() && (!o.zoomed || IsZoomed(w->hwnd));
    case Options::Want::Visible:
      return w.has_value() && w->visible && (!o.zoomed || IsZoomed(w->hwnd));
    case Options::Want::Hidden:
      return w.has_value() && !w->visible;
  }
  return false;
}

void Print(const WindowInfo& w) {
  RECT rc{};
  GetWindowRect(w.hwnd, &rc);
  const auto style = static_cast<unsigned long>(GetWindowLongPtrW(w.hwnd, GWL_STYLE));
  const auto exStyle = static_cast<unsigned long>(GetWindowLongPtrW(w.hwnd, GWL_EXSTYLE));
  std::wprintf(
      L"kind=%ls hwnd=%p pid=%lu class=%ls visible=%d iconic=%d zoomed=%d layered=%d style=0x%08lX "
      L"exstyle=0x%08lX rect=%ld,%ld,%ld,%ld title=\"%ls\"\n",
      KindText(w).c_str(), static_cast<void*>(w.hwnd), static_cast<unsigned long>(w.pid), w.className.c_str(),
      w.visible ? 1 : 0, IsIconic(w.hwnd) ? 1 : 0, IsZoomed(w.hwnd) ? 1 : 0, w.layered ? 1 : 0, style, exStyle, rc.left,
      rc.top, rc.right, rc.bottom, w.title.c_str());
  std::fflush(stdout);
}

std::optional<WindowInfo> WaitFor(const Options& o) {
  std::optional<WindowInfo> last;
  const bool ok = ravelin::testkit::WaitFor(
      [&] {
        last = Find(o);
        return Satisfies(o, last);
      },
      o.timeout);
  if (!ok) return std::nullopt;
  return last ? last : std::optional<WindowInfo>(WindowInfo{});
}

int NotFound(const Options& o) {
  std::fwprintf(stderr, L"no %ls window of %ls in the wanted state\n", o.kind.c_str(), o.image.c_str());
  return 1;
}

// A control's text in another process: GetWindowText would only give the
// caption the system keeps, so ask the control itself.
std::wstring TextOf(HWND hwnd) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
  return text;
}

int Answer(Options o) {
  o.kind = L"msgbox";
  o.want = Options::Want::Visible;
  const auto box = WaitFor(o);
  if (!box) return NotFound(o);
  int id = IDOK;
  if (o.button == L"cancel") {
    id = IDCANCEL;
  } else if (o.button == L"yes") {
    id = IDYES;
  } else if (o.button == L"no") {
    id = IDNO;
  } else if (o.button != L"ok") {
    return 2;
  }
  std::wprintf(L"caption=\"%ls\" text=\"%ls\"\n", TextOf(box->hwnd).c_str(),
               TextOf(GetDlgItem(box->hwnd, 0xFFFF)).c_str());
  std::fflush(stdout);
  // Opened before the click: the time runs from the answer to the end.
  const ravelin::unique_handle process(o.untilExit ? OpenProcess(SYNCHRONIZE, FALSE, box->pid) : nullptr);
  if (o.untilExit && !process) return 1;
  PostMessageW(box->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box->hwnd, id)));
  if (!o.untilExit) return 0;
  const auto answered = std::chrono::steady_clock::now();
  if (WaitForSingleObject(process.get(), static_cast<DWORD>(o.timeout.count())) != WAIT_OBJECT_0) {
    std::fputs("the process did not end in time\n", stderr);
    return 1;
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - answered);
  std::printf("exited_after_ms=%lld\n", static_cast<long long>(elapsed.count()));
  return 0;
}

int PressKey(const std::wstring& name) {
  WORD vk = 0;
  if (name.size() >= 2 && (name[0] == L'F' || name[0] == L'f')) {
    const int n = _wtoi(name.c_str() + 1);
    if (n >= 1 && n <= 24) vk = static_cast<WORD>(VK_F1 + n - 1);
  }
  if (vk == 0) return 2;
  INPUT inputs[2] = {};
  inputs[0].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = vk;
  inputs[1] = inputs[0];
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, inputs, sizeof(INPUT)) == 2 ? 0 : 1;
}

int Usage() {
  std::fputs("usage: ravelin-driver windows|processes|wait|wait-window|close|command|click|message|answer|key ...\n",
             stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  Options o;
  o.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    auto next = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
    if (arg == L"--image") {
      o.image = next();
    } else if (arg == L"--timeout") {
      o.timeout = std::chrono::milliseconds(_wtoi(next().c_str()));
    } else if (arg == L"--kind") {
      o.kind = next();
    } else if (arg == L"--id") {
      o.id = _wtoi(next().c_str());
    } else if (arg == L"--msg") {
      o.msg = static_cast<UINT>(wcstoul(next().c_str(), nullptr, 0));
    } else if (arg == L"--wparam") {
      o.wParam = static_cast<WPARAM>(wcstoull(next().c_str(), nullptr, 0));
    } else if (arg == L"--lparam") {
      o.lParam = static_cast<LPARAM>(wcstoll(next().c_str(), nullptr, 0));
    } else if (arg == L"--button") {
      o.button = next();
    } else if (arg == L"--visible") {
      o.want = Options::Want::Visible;
    } else if (arg == L"--hidden") {
      o.want = Options::Want::Hidden;
    } else if (arg == L"--gone") {
      o.want = Options::Want::Gone;
    } else if (arg == L"--zoomed") {
      o.zoomed = true;
    } else if (arg == L"--until-exit") {
      o.untilExit = true;
    } else if (arg.rfind(L"--", 0) != 0 && o.argument.empty()) {
      o.argument = arg;
    } else {
      return Usage();
    }
  }

  if (o.command == L"processes") {
    for (const DWORD pid : FindProcesses(o.image)) std::printf("%lu\n", static_cast<unsigned long>(pid));
    return 0;
  }
  if (o.command == L"windows") {
    for (const WindowInfo& w : TopLevelWindows(FindProcesses(o.image))) Print(w);
    return 0;
  }
  if (o.command == L"wait" || o.command == L"wait-window") {
    const auto w = WaitFor(o);
    if (!w) return NotFound(o);
    if (w->hwnd != nullptr) Print(*w);
    return 0;
  }
  if (o.command == L"close") {
    o.kind = L"main";
    const auto w = WaitFor(o);
    if (!w) return NotFound(o);
    PostMessageW(w->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    std::wprintf(L"sent IDOK to %p\n", static_cast<void*>(w->hwnd));
    return 0;
  }
  if (o.command == L"command" || o.command == L"click") {
    const auto w = WaitFor(o);
    if (!w || w->hwnd == nullptr) return NotFound(o);
    const HWND control = GetDlgItem(w->hwnd, o.id);
    if (o.command == L"click") {
      if (control == nullptr) return NotFound(o);
      PostMessageW(control, BM_CLICK, 0, 0);
    } else {
      PostMessageW(w->hwnd, WM_COMMAND, MAKEWPARAM(o.id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    }
    return 0;
  }
  if (o.command == L"message") {
    const auto w = WaitFor(o);
    if (!w || w->hwnd == nullptr) return NotFound(o);
    return PostMessageW(w->hwnd, o.msg, o.wParam, o.lParam) ? 0 : 1;
  }
  if (o.command == L"text") {
    const auto w = WaitFor(o);
    if (!w || w->hwnd == nullptr) return NotFound(o);
    const HWND target = o.id != 0 ? GetDlgItem(w->hwnd, o.id) : w->hwnd;
    if (target == nullptr) return NotFound(o);
    std::wprintf(L"%ls\n", TextOf(target).c_str());
    std::fflush(stdout);
    return 0;
  }
  if (o.command == L"answer") return Answer(o);
  if (o.command == L"key") return PressKey(o.argument);
  return Usage();
}
