// One way for every benchmark program to give its figures: a table for
// people, then one "BENCH {json}" line per figure for scripts/bench.
#pragma once

#include <string>
#include <vector>

namespace ravelin::bench {

// Milliseconds on a steady clock shared by the processes of one machine.
double NowMs();

struct Figure {
  std::string name;  // stable, dotted: "startup.frame"
  std::string what;  // what is measured, for people
  std::string unit;
  std::vector<double> samples;
  // A figure measured in the same run that this one is compared with.
  const Figure* reference = nullptr;
};

struct Summary {
  double median = 0;
  double low = 0;   // 25th percentile
  double high = 0;  // 75th percentile
  double min = 0;
  double max = 0;
};

Summary Summarise(std::vector<double> samples);

// The BENCH line of one figure (ratio to its reference when it has one).
std::string JsonLine(const Figure& figure);

void Report(const std::vector<Figure>& figures);

}  // namespace ravelin::bench
