// The sink of the bench-only launcher build: every start-up step is written
// to RAVELIN_STARTUP_TRACE_FILE as "step MS NAME" (MS on the clock of
// bench_report's NowMs), and once the login page is shown, what the process
// holds.
#pragma once

namespace ravelin::bench {

void InstallStartupTrace();

}  // namespace ravelin::bench
