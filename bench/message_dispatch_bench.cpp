// Every window message goes through an ordered map search and every queued
// message through the loop's filters. The game window's map has about forty
// entries and pointer movement arrives hundreds of times a second: this
// measures the cost of a miss (the whole map) and of an early hit.
#include <benchmark/benchmark.h>

#include <array>
#include <span>

#include "framework/message_map.h"

namespace {

using ravelin::framework::DispatchMessageMap;
using ravelin::framework::MessageArgs;
using ravelin::framework::MessageMapEntry;

struct Window {
  std::intptr_t counter = 0;
  std::intptr_t Handle(const MessageArgs& args, bool&) { return counter += static_cast<std::intptr_t>(args.message); }
};

std::span<const MessageMapEntry<Window>> FortyEntries() {
  static const auto kMap = [] {
    std::array<MessageMapEntry<Window>, 40> map{};
    for (unsigned i = 0; i < map.size(); ++i) map[i] = {0x0400u + i, &Window::Handle};
    map[39] = {ravelin::framework::kMsgCommand, &Window::Handle, 1, ravelin::framework::kAnyId};
    return map;
  }();
  return kMap;
}

void BM_DispatchMiss(benchmark::State& state) {
  Window w;
  std::intptr_t result = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DispatchMessageMap<Window>(w, FortyEntries(), {0x0200, 0, 0}, result));
  }
}
BENCHMARK(BM_DispatchMiss);

void BM_DispatchFirstEntry(benchmark::State& state) {
  Window w;
  std::intptr_t result = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DispatchMessageMap<Window>(w, FortyEntries(), {0x0400, 0, 0}, result));
  }
}
BENCHMARK(BM_DispatchFirstEntry);

}  // namespace
