#pragma once

namespace ravelin {

// Creates the frame, shows it with `showCommand` and runs the UI thread's
// message loop. Returns the exit code: the quit message's, or 0 when the
// frame cannot be created.
int RunMainWindow(int showCommand);

}  // namespace ravelin
