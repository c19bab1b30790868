#include "holdings_win.h"

#include <windows.h>

#include <cstdio>

#include "bench_report.h"
#include "common/unique_handle_win.h"
#include "testkit/testkit_win.h"

namespace ravelin::bench {
namespace {

BOOL CALLBACK CountChild(HWND /*window*/, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  return TRUE;
}

BOOL CALLBACK CountOwnTopLevel(HWND window, LPARAM count) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<long*>(count);
  EnumChildWindows(window, &CountChild, count);
  return TRUE;
}

// Committed private memory, region by region: what Windows reports as
// private bytes (Wine's counters answer 0).
double PrivateMiB() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  auto* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
  const auto* end = static_cast<const char*>(system.lpMaximumApplicationAddress);
  unsigned long long bytes = 0;
  MEMORY_BASIC_INFORMATION region{};
  while (at < end && VirtualQuery(at, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
    at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

Holdings OwnHoldings() {
  Holdings h;
  h.privateMiB = PrivateMiB();
  h.gdiObjects = testkit::LiveGdiObjects();
  EnumWindows(&CountOwnTopLevel, reinterpret_cast<LPARAM>(&h.windows));
  return h;
}

std::string HoldingsLine(const Holdings& holdings) {
  char line[128];
  std::snprintf(line, sizeof(line), "holdings %.3f %ld %ld", holdings.privateMiB, holdings.gdiObjects,
                holdings.windows);
  return line;
}

std::string StepLine(const char* step) {
  char at[32];
  std::snprintf(at, sizeof(at), "%.3f", NowMs());
  return std::string("step ") + at + " " + step;
}

void AppendTraceLine(const std::string& line) {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"RAVELIN_STARTUP_TRACE_FILE", path, MAX_PATH) == 0) return;
  const unique_handle file(
      CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr));
  if (!file) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace ravelin::bench
