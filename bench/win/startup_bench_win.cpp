// Start-up as a player sees it: from CreateProcessW to the launcher's frame
// on the screen, and to its login page shown in the opening, beside a bare
// window's start measured in the same run (runs alternate, the first of
// each is a warm-up). Also what the launcher holds once its page is shown:
// private bytes and GDI/USER objects, beside the bare window's.
//
//   scripts/harness --build-dir build/win-local --xvfb --services --standins --wine --
//       build/win-local/bin/bench_startup.exe [runs=10] [launcher=ravelin.exe]
//
// Both programs are taken from this program's folder and started from the root
// of drive C as a shortcut would, each in a job that is ended with all it
// started, and the system is given a moment to settle before the next start.
// Prints where the time goes in the bare window and in the traced launcher
// (the steps both mark), a table, then one "BENCH {json}" line per figure.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench_report.h"
#include "common/unique_handle_win.h"
#include "holdings_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::unique_handle;
using ravelin::bench::Figure;
using ravelin::bench::NowMs;
using ravelin::testkit::KindOf;
using ravelin::testkit::WindowInfo;
using ravelin::testkit::WindowKind;

constexpr int kExplorerId = 1000;
constexpr double kGiveUpMs = 30000;
constexpr DWORD kSettleMs = 500;

struct Started {
  unique_handle job;
  unique_handle process;
  DWORD pid = 0;
  DWORD thread = 0;  // the main thread, which makes the windows of both programs
  double at = 0;
};

// Ends the program and everything it started, and waits for them.
void End(Started& started) {
  TerminateJobObject(started.job.get(), 0);
  WaitForSingleObject(started.process.get(), 10000);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  for (int i = 0; i < 1000; ++i) {
    if (!QueryInformationJobObject(started.job.get(), JobObjectBasicAccountingInformation, &accounting,
                                   sizeof(accounting), nullptr) ||
        accounting.ActiveProcesses == 0) {
      break;
    }
    Sleep(10);
  }
}

std::optional<Started> Start(const std::wstring& program) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring line = L"\"" + program + L"\"";
  // In a job of its own, so that ending it also ends what it started (a
  // shortcut's menu builder, a ping): left running they would slow the
  // next start down.
  Started started;
  started.job.reset(CreateJobObjectW(nullptr, nullptr));
  if (!started.job) return std::nullopt;
  started.at = NowMs();
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, L"C:\\",
                      &startup, &info)) {
    return std::nullopt;
  }
  unique_handle thread(info.hThread);
  started.process.reset(info.hProcess);
  started.pid = info.dwProcessId;
  started.thread = info.dwThreadId;
  const bool inJob = AssignProcessToJobObject(started.job.get(), info.hProcess) != FALSE;
  ResumeThread(info.hThread);
  if (!inJob) {
    End(started);
    return std::nullopt;
  }
  return started;
}

// Polls every millisecond until `done` holds; the time it first held, or
// nothing when the process ended or the wait gave up.
template <typename Done>
std::optional<double> WaitUntil(const Started& started, Done done) {
  while (NowMs() - started.at < kGiveUpMs) {
    if (done()) return NowMs();
    if (WaitForSingleObject(started.process.get(), 1) == WAIT_OBJECT_0) return std::nullopt;
  }
  return std::nullopt;
}

// The visible top-level windows of the program's main thread, described.
// Polled every millisecond while the program starts, so it asks the system
// as little as it can: the thread's windows only, and only the visible ones
// are looked at further (a poll over every window of the desktop took the
// system's time from the program being measured).
std::vector<WindowInfo> VisibleWindows(const Started& started) {
  std::vector<HWND> windows;
  EnumThreadWindows(
      started.thread,
      [](HWND hwnd, LPARAM param) -> BOOL {
        if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  std::vector<WindowInfo> found;
  for (const HWND hwnd : windows) {
    WindowInfo info;
    info.hwnd = hwnd;
    info.pid = started.pid;
    info.visible = true;
    wchar_t text[64] = {};
    GetClassNameW(hwnd, text, 64);
    info.className = text;
    info.layered = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
    info.owned = GetWindow(hwnd, GW_OWNER) != nullptr;
    found.push_back(info);
  }
  return found;
}

bool WindowShown(const Started& started, bool launcherFrame) {
  for (const WindowInfo& w : VisibleWindows(started)) {
    if (!launcherFrame || KindOf(w) == WindowKind::Main) return true;
  }
  return false;
}

bool LoginPageShown(const Started& started) {
  for (const WindowInfo& w : VisibleWindows(started)) {
    if (KindOf(w) != WindowKind::Game) continue;
    const HWND explorer = GetDlgItem(w.hwnd, kExplorerId);
    return explorer != nullptr && IsWindowVisible(explorer);
  }
  return false;
}

std::wstring Beside(const wchar_t* name) { return ravelin::testkit::ExeDir() + L"\\" + name; }

// What one run wrote to the trace file: its steps (ms on NowMs's clock)
// and its holdings.
struct Trace {
  std::vector<std::pair<std::string, double>> steps;
  std::optional<ravelin::bench::Holdings> holdings;
};

Trace ReadTrace(const std::wstring& path) {
  Trace trace;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return trace;
  char line[512];
  while (std::fgets(line, sizeof(line), file) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    double at = 0;
    int consumed = 0;
    ravelin::bench::Holdings h;
    if (std::sscanf(text.c_str(), "step %lf %n", &at, &consumed) == 1 && consumed > 0) {
      trace.steps.emplace_back(text.substr(static_cast<std::size_t>(consumed)), at);
    } else if (std::sscanf(text.c_str(), "holdings %lf %ld %ld", &h.privateMiB, &h.gdiObjects, &h.windows) == 3) {
      trace.holdings = h;
    }
  }
  std::fclose(file);
  return trace;
}

// One start of `program` until its window (and, for a launcher, its login
// page) is shown; the times from the start, or nothing when it failed.
struct Run {
  double shown = 0;
  double page = 0;
  Trace trace;
};

std::optional<Run> StartOnce(const std::wstring& program, bool isLauncher, const std::wstring& traceFile) {
  DeleteFileW(traceFile.c_str());
  auto started = Start(program);
  if (!started) return std::nullopt;
  const auto shown = WaitUntil(*started, [&] { return WindowShown(*started, isLauncher); });
  std::optional<double> page;
  if (shown && isLauncher) page = WaitUntil(*started, [&] { return LoginPageShown(*started); });
  if (!shown || (isLauncher && !page)) {
    End(*started);
    return std::nullopt;
  }
  // The holdings line follows the page (or the bare window's first
  // messages) closely; give it a moment to be written.
  Run run;
  for (int i = 0; i < 200 && !(run.trace = ReadTrace(traceFile)).holdings; ++i) Sleep(5);
  End(*started);
  // An ended launcher leaves the system work to do for a while after it
  // is gone (its windows, its tray icon); the next start must not pay it.
  Sleep(kSettleMs);
  run.shown = *shown - started->at;
  run.page = page ? *page - started->at : 0;
  for (auto& step : run.trace.steps) step.second -= started->at;
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(2, _wtoi(argv[1])) : 10;
  const std::wstring launcher = Beside(argc > 2 ? argv[2] : L"ravelin.exe");
  const std::wstring traced = Beside(L"ravelin-traced.exe");
  const std::wstring bare = Beside(L"bench_bare_window.exe");
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring traceFile = std::wstring(temp) + L"ravelin-startup-trace.txt";
  SetEnvironmentVariableW(L"RAVELIN_STARTUP_TRACE_FILE", traceFile.c_str());

  // Shipped launcher and bare window alternate; then the traced launcher
  // and the bare window alternate for the breakdown and the holdings. The
  // first round of each is a warm-up.
  std::vector<double> bareShown, frameShown, pageShown;
  std::vector<double> barePrivate, bareGdi, bareWindows, launcherPrivate, launcherGdi, launcherWindows;
  using Steps = std::vector<std::pair<std::string, std::vector<double>>>;
  Steps steps, bareSteps;
  for (const bool tracing : {false, true}) {
    for (int i = 0; i < 2 * (runs + 1); ++i) {
      const bool isLauncher = i % 2 == 1;
      const std::wstring& program = isLauncher ? (tracing ? traced : launcher) : bare;
      const auto run = StartOnce(program, isLauncher, traceFile);
      if (!run) {
        std::fwprintf(stderr, L"%ls did not show in time\n", program.c_str());
        return 1;
      }
      if (i < 2) continue;
      if (!tracing) {
        (isLauncher ? frameShown : bareShown).push_back(run->shown);
        if (isLauncher) pageShown.push_back(run->page);
        continue;
      }
      if (const auto& h = run->trace.holdings) {
        (isLauncher ? launcherPrivate : barePrivate).push_back(h->privateMiB);
        (isLauncher ? launcherGdi : bareGdi).push_back(static_cast<double>(h->gdiObjects));
        (isLauncher ? launcherWindows : bareWindows).push_back(static_cast<double>(h->windows));
      }
      Steps& into = isLauncher ? steps : bareSteps;
      for (const auto& [name, at] : run->trace.steps) {
        auto found = std::find_if(into.begin(), into.end(), [&](const auto& s) { return s.first == name; });
        if (found == into.end()) found = into.insert(into.end(), {name, {}});
        found->second.push_back(at);
      }
    }
  }

  const auto printSteps = [runs](const char* who, const Steps& list) {
    std::printf("start-up steps of %s (ms from CreateProcessW, median of %d)\n", who, runs);
    double previous = 0;
    for (const auto& [name, times] : list) {
      const double at = ravelin::bench::Summarise(times).median;
      std::printf("  %8.1f  %+8.1f  %s\n", at, at - previous, name.c_str());
      previous = at;
    }
    std::printf("\n");
  };
  printSteps("the bare window", bareSteps);
  printSteps("the traced launcher", steps);

  const Figure bareFigure{"startup.bare_window", "process start to a bare 729x530 window visible", "ms", bareShown};
  const Figure barePrivateFigure{"memory.bare_private", "bare window: private bytes", "MiB", barePrivate};
  const Figure bareGdiFigure{"memory.bare_gdi", "bare window: GDI objects", "objects", bareGdi};
  const Figure bareWindowsFigure{"memory.bare_windows", "bare window: windows (USER objects)", "windows", bareWindows};
  const std::vector<Figure> figures = {
      bareFigure,
      {"startup.frame", "process start to the frame visible", "ms", frameShown, &bareFigure},
      {"startup.login_page", "process start to the login page shown", "ms", pageShown, &bareFigure},
      barePrivateFigure,
      {"memory.launcher_private", "launcher with its login page: private bytes", "MiB", launcherPrivate,
       &barePrivateFigure},
      bareGdiFigure,
      {"memory.launcher_gdi", "launcher with its login page: GDI objects", "objects", launcherGdi, &bareGdiFigure},
      bareWindowsFigure,
      {"memory.launcher_windows", "launcher with its login page: windows (USER objects)", "windows", launcherWindows,
       &bareWindowsFigure},
  };
  ravelin::bench::Report(figures);
  return 0;
}
