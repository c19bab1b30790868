// What a process holds, counted from inside it (Wine answers GetGuiResources
// and another process's memory counters with 0).
#pragma once

#include <string>

namespace ravelin::bench {

struct Holdings {
  double privateMiB = 0;
  long gdiObjects = 0;
  long windows = 0;  // this process's windows, top-level and child
};

Holdings OwnHoldings();

// "holdings PRIVATE_MIB GDI WINDOWS", the line the start-up benchmark reads.
std::string HoldingsLine(const Holdings& holdings);

// "step MS NAME" for a start-up step reached now (MS on the clock of
// bench_report's NowMs), the line the start-up benchmark reads.
std::string StepLine(const char* step);

// Appends `line` and a newline to the file RAVELIN_STARTUP_TRACE_FILE names;
// nothing without it.
void AppendTraceLine(const std::string& line);

}  // namespace ravelin::bench
