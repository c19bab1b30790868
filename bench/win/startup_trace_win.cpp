#include "startup_trace_win.h"

#include <cstring>

#include "common/startup_steps.h"
#include "holdings_win.h"

namespace ravelin::bench {
namespace {

void Record(const char* step) {
  AppendTraceLine(StepLine(step));
  if (std::strcmp(step, "login page shown") == 0) AppendTraceLine(HoldingsLine(OwnHoldings()));
}

}  // namespace

void InstallStartupTrace() { g_startupStepSink.store(&Record); }

}  // namespace ravelin::bench
