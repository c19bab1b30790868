#include "startup_trace_win.h"

#include <cstring>
#include <string>

#include "bench_report.h"
#include "common/startup_steps.h"
#include "holdings_win.h"

namespace ravelin::bench {
namespace {

void Record(const char* step) {
  char at[32];
  std::snprintf(at, sizeof(at), "%.3f", NowMs());
  AppendTraceLine(std::string("step ") + at + " " + step);
  if (std::strcmp(step, "login page shown") == 0) AppendTraceLine(HoldingsLine(OwnHoldings()));
}

}  // namespace

void InstallStartupTrace() { g_startupStepSink.store(&Record); }

}  // namespace ravelin::bench
