#include "bench_report.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace ravelin::bench {

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// Linear interpolation between the closest ranks.
double Quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return 0;
  const double at = q * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(at));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.6g", value);
  return buffer;
}

}  // namespace

Summary Summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  Summary s;
  if (samples.empty()) return s;
  s.median = Quantile(samples, 0.5);
  s.low = Quantile(samples, 0.25);
  s.high = Quantile(samples, 0.75);
  s.min = samples.front();
  s.max = samples.back();
  return s;
}

std::string JsonLine(const Figure& figure) {
  const Summary s = Summarise(figure.samples);
  std::string line = "{\"name\": \"" + Escaped(figure.name) + "\", \"what\": \"" + Escaped(figure.what) +
                     "\", \"unit\": \"" + Escaped(figure.unit) +
                     "\", \"samples\": " + std::to_string(figure.samples.size()) + ", \"median\": " + Number(s.median) +
                     ", \"p25\": " + Number(s.low) + ", \"p75\": " + Number(s.high) + ", \"min\": " + Number(s.min) +
                     ", \"max\": " + Number(s.max);
  if (figure.reference != nullptr) {
    const double reference = Summarise(figure.reference->samples).median;
    line += ", \"reference\": \"" + Escaped(figure.reference->name) + "\"";
    if (reference != 0) line += ", \"ratio\": " + Number(s.median / reference);
  }
  return line + "}";
}

void Report(const std::vector<Figure>& figures) {
  std::printf("%-28s %12s %12s %8s  %s\n", "figure", "median", "p25-p75", "ratio", "what");
  for (const Figure& f : figures) {
    const Summary s = Summarise(f.samples);
    char ratio[32] = "";
    if (f.reference != nullptr) {
      const double reference = Summarise(f.reference->samples).median;
      if (reference != 0) std::snprintf(ratio, sizeof(ratio), "%.2f", s.median / reference);
    }
    char spread[48];
    std::snprintf(spread, sizeof(spread), "%.4g-%.4g", s.low, s.high);
    std::printf("%-28s %8.4g %-3s %12s %8s  %s\n", f.name.c_str(), s.median, f.unit.c_str(), spread, ratio,
                f.what.c_str());
  }
  for (const Figure& f : figures) std::printf("BENCH %s\n", JsonLine(f).c_str());
  std::fflush(stdout);
}

}  // namespace ravelin::bench
