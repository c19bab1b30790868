// Runs a console tool without a window and hands back what it printed.
#pragma once

#include <windows.h>

#include <string>

namespace ravelin {

// Bounds on one run: the child is ended when the ceiling passes or the stop
// event is set, and what it printed until then is returned.
struct CaptureLimits {
  DWORD ceilingMs = INFINITE;
  HANDLE stopEvent = nullptr;  // manual-reset; a set event also keeps the tool from starting
};

// Starts `commandLine` (its first word looked up on the search path) as a
// detached child with its output on pipes, waits for it and returns its
// standard output converted from the thread's ANSI code page. `out` is left
// as it was when the child cannot be started.
void RunCommandCapture(const std::wstring& commandLine, std::wstring& out, const CaptureLimits& limits = {});

}  // namespace ravelin
