// Starting and locating this program's own processes.
#pragma once

#include <optional>
#include <string>

namespace ravelin {

// Full path of the running program file, however long; nullopt on failure.
std::optional<std::wstring> GetRunningModulePath();

// Starts `application` with exactly `commandLine` (no program name in front
// unless the caller puts one there) and does not wait. `hidden` asks the
// new process to start without showing its window; otherwise it gets the
// ordinary show state, as from a shortcut.
bool StartProgram(const std::wstring& application, const std::wstring& commandLine, bool hidden);

}  // namespace ravelin
