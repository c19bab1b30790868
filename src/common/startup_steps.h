// Marks along the start-up path. A bench-only build installs a sink that
// records when each step is reached; without one a mark costs a load.
#pragma once

#include <atomic>

namespace ravelin {

using StartupStepSink = void (*)(const char* step);

inline std::atomic<StartupStepSink> g_startupStepSink{nullptr};

inline void MarkStartupStep(const char* step) {
  if (const StartupStepSink sink = g_startupStepSink.load(std::memory_order_relaxed)) sink(step);
}

}  // namespace ravelin
