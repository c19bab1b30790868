// The two hand-over command lines of the updater and what each mode does
// with the files. The decisions live here; the file system and the process
// start are reached through HandoverOps so that both sides can be tested.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravelin {

enum class StartMode {
  Normal,  // no hand-over: an ordinary start
  Delete,  // delete the hand-over process's file, then start normally
  Update,  // replace the installed program and start it, then end
};

struct HandoverCommand {
  StartMode mode = StartMode::Normal;
  std::wstring deletePath;  // Delete: the file to remove
  std::wstring target;      // Update: the installed program file
  std::wstring source;      // Update: the downloaded new build
};

// Reads the whole process command line as the system reports it. "Delete"
// anywhere wins over "Update", which only counts at the very first character.
HandoverCommand ParseHandoverCommandLine(std::wstring_view commandLine);

// "Delete|" and the path, however long the path is.
std::wstring BuildRelaunchCommandLine(std::wstring_view modulePath);

// The platform side of a hand-over. Every call mirrors one system call.
class HandoverOps {
 public:
  virtual ~HandoverOps() = default;
  virtual bool PathExists(const std::wstring& path) = 0;
  virtual bool Delete(const std::wstring& path) = 0;
  virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool Copy(const std::wstring& from, const std::wstring& to) = 0;
  // Full path of the running program file; nullopt when it cannot be read.
  virtual std::optional<std::wstring> ModulePath() = 0;
  // Starts `application` hidden with exactly `commandLine`; does not wait.
  virtual bool StartHidden(const std::wstring& application, const std::wstring& commandLine) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::uint64_t TickMilliseconds() = 0;
};

// The other process of a hand-over still holds the file while it ends, so
// deletion is retried with a short pause, but not forever: a file that can
// never be deleted (no rights, read-only) must not hang the program.
inline constexpr std::uint32_t kDeleteRetryPauseMs = 20;
inline constexpr std::uint64_t kDeleteRetryLimitMs = 60'000;

// Deletes `path`, retrying while it is held. True once the file is gone by
// our hand; false when the limit passed with the file still there.
bool DeleteWhenReleased(HandoverOps& ops, const std::wstring& path);

// Delete mode: removes the hand-over file if it is there, then returns so
// the normal start can go on (also when the file could not be removed).
void RunDeleteHandover(HandoverOps& ops, const HandoverCommand& command);

// Update mode: installs the new build at the target and starts it with the
// relaunch command line. Returns the process exit code, always 0.
int RunUpdateHandover(HandoverOps& ops, const HandoverCommand& command);

}  // namespace ravelin
