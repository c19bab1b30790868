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

// Where a copy is written before it replaces the program file: beside it,
// under a name an uninstaller can know.
std::wstring StagingPath(std::wstring_view target);

enum class StartWindow {
  Hidden,  // the hand-over copy, which never shows a window
  Normal,  // the installed build, shown as after a start from a shortcut
};

enum class FileResult {
  Done,
  Busy,  // a handle or a running program keeps the file; that ends with its process
  Failed,
};

// The platform side of a hand-over. Every call mirrors one system call.
class HandoverOps {
 public:
  virtual ~HandoverOps() = default;
  virtual bool PathExists(const std::wstring& path) = 0;
  virtual bool Delete(const std::wstring& path) = 0;
  // Puts `from` in the place of `to` in one step: whatever happens, `to`
  // is either file, whole. Busy does not say which of the two is held.
  virtual FileResult Replace(const std::wstring& from, const std::wstring& to) = 0;
  // Overwrites `to`; a copy that fails or dies may leave part of it.
  virtual bool Copy(const std::wstring& from, const std::wstring& to) = 0;
  // Whether another handle keeps `path` from being moved. A running
  // program's own file is not reported: it can be moved, not replaced.
  virtual bool InUse(const std::wstring& path) = 0;
  // Full path of the running program file; nullopt when it cannot be read.
  virtual std::optional<std::wstring> ModulePath() = 0;
  // Starts `application` with exactly `commandLine`; does not wait.
  virtual bool Start(const std::wstring& application, const std::wstring& commandLine, StartWindow window) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::uint64_t TickMilliseconds() = 0;
};

// The other process of a hand-over still holds its file while it ends, so
// deletes and replaces are retried with a short pause, but not forever: a
// file that never lets go (no rights, a program that keeps running) must not
// hang the program.
inline constexpr std::uint32_t kHandoverRetryPauseMs = 20;
inline constexpr std::uint64_t kHandoverRetryLimitMs = 60'000;

// Deletes `path`, retrying while it is held. True once the file is gone by
// our hand; false when the limit passed with the file still there.
bool DeleteWhenReleased(HandoverOps& ops, const std::wstring& path);

// Delete mode: removes the hand-over file if it is there, then returns so
// the normal start can go on (also when the file could not be removed).
void RunDeleteHandover(HandoverOps& ops, const HandoverCommand& command);

// Update mode: puts the new build in the place of the old one in one step,
// once the old program has let go of its file, and starts it visible with
// the relaunch command line. When the new build cannot go in, the old one
// does, from this process's own file; a file still held at the limit means
// nothing is started. Returns the process exit code, always 0.
int RunUpdateHandover(HandoverOps& ops, const HandoverCommand& command);

}  // namespace ravelin
