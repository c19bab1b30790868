// The manifest parser walks the text once: a manifest of short lines eight
// times as long must take about eight times as long, not sixty-four.
//   build/host/bin/bench_manifest
#include <benchmark/benchmark.h>

#include <string>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "update/manifest.h"

namespace {

#ifdef __GLIBC__
// Past glibc's largest mmap threshold (32 MiB) every allocation is a fresh
// mapping, so each run of the large case would also pay the kernel for
// zeroing pages that the small case gets back from the heap. Keep both on
// the heap: the ratio is meant to compare the parser.
[[maybe_unused]] const int kHeapForLargeBlocks = mallopt(M_MMAP_THRESHOLD, 256 << 20);
#endif

std::wstring ShortLineManifest(std::size_t bytes) {
  std::wstring text = L"[OsUpdate]\r\nversion=1.0.0.5\r\nhttp=http://127.0.0.1/loginer/tr/MyClient.exe\r\n";
  for (std::size_t n = 0; text.size() < bytes; ++n) {
    // Notes, repeated keys and blank lines, as a long changelog would have.
    text += (n % 4 == 0) ? L"info=fix " : (n % 4 == 1) ? L"version=9.9\r\n" : L"- line ";
    text += std::to_wstring(n);
    text += L"\r\n";
  }
  return text;
}

void BM_ParseUpdateManifest(benchmark::State& state) {
  const std::wstring text = ShortLineManifest(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ravelin::ParseUpdateManifest(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ParseUpdateManifest)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
