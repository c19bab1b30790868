#include "app/handover.h"

namespace ravelin {
namespace {

constexpr std::wstring_view kDeleteMarker = L"Delete";
constexpr std::wstring_view kUpdateMarker = L"Update";
constexpr wchar_t kSeparator = L'|';
constexpr std::wstring_view kStagingSuffix = L".new";

}  // namespace

HandoverCommand ParseHandoverCommandLine(std::wstring_view commandLine) {
  HandoverCommand command;
  const std::size_t firstBar = commandLine.find(kSeparator);

  if (commandLine.find(kDeleteMarker) != std::wstring_view::npos) {
    command.mode = StartMode::Delete;
    command.deletePath =
        std::wstring(firstBar == std::wstring_view::npos ? commandLine : commandLine.substr(firstBar + 1));
    return command;
  }

  if (commandLine.starts_with(kUpdateMarker)) {
    command.mode = StartMode::Update;
    const std::wstring_view afterFirst =
        firstBar == std::wstring_view::npos ? std::wstring_view{} : commandLine.substr(firstBar + 1);
    const std::size_t secondBar = afterFirst.find(kSeparator);
    if (secondBar == std::wstring_view::npos) {
      command.source = std::wstring(afterFirst);
    } else {
      command.target = std::wstring(afterFirst.substr(0, secondBar));
      command.source = std::wstring(afterFirst.substr(secondBar + 1));
    }
  }
  return command;
}

std::wstring BuildRelaunchCommandLine(std::wstring_view modulePath) {
  std::wstring line;
  line.reserve(kDeleteMarker.size() + 1 + modulePath.size());
  line.append(kDeleteMarker);
  line.push_back(kSeparator);
  line.append(modulePath);
  return line;
}

std::wstring StagingPath(std::wstring_view target) {
  std::wstring path(target);
  path.append(kStagingSuffix);
  return path;
}

bool DeleteWhenReleased(HandoverOps& ops, const std::wstring& path) {
  const std::uint64_t start = ops.TickMilliseconds();
  for (;;) {
    if (ops.Delete(path)) return true;
    if (ops.TickMilliseconds() - start >= kHandoverRetryLimitMs) return false;
    ops.Sleep(kHandoverRetryPauseMs);
  }
}

void RunDeleteHandover(HandoverOps& ops, const HandoverCommand& command) {
  if (!ops.PathExists(command.deletePath)) return;
  // Give the ending process a moment to let go of its other resources.
  if (DeleteWhenReleased(ops, command.deletePath)) ops.Sleep(10);
}

namespace {

// Replaces `to` by `from`, waiting while `to` is held until the limit counted
// from `start`; Busy means it was still held then. A held `from` is not worth
// waiting for: that is a scanner or the like, not the ending old program.
FileResult ReplaceWhenReleased(HandoverOps& ops, const std::wstring& from, const std::wstring& to,
                               std::uint64_t start) {
  for (;;) {
    const FileResult result = ops.Replace(from, to);
    if (result != FileResult::Busy) return result;
    if (ops.InUse(from)) return FileResult::Failed;
    if (ops.TickMilliseconds() - start >= kHandoverRetryLimitMs) return FileResult::Busy;
    ops.Sleep(kHandoverRetryPauseMs);
  }
}

// A copy can die halfway, so it is made beside the target and only a whole
// one takes the target's place.
FileResult InstallCopy(HandoverOps& ops, const std::wstring& from, const std::wstring& target,
                       const std::wstring& staging, std::uint64_t start) {
  if (!ops.Copy(from, staging)) return FileResult::Failed;
  return ReplaceWhenReleased(ops, staging, target, start);
}

}  // namespace

int RunUpdateHandover(HandoverOps& ops, const HandoverCommand& command) {
  if (command.target.empty()) return 0;
  const std::optional<std::wstring> ownPath = ops.ModulePath();
  const std::wstring staging = StagingPath(command.target);
  const std::uint64_t start = ops.TickMilliseconds();

  FileResult installed = ReplaceWhenReleased(ops, command.source, command.target, start);
  if (installed == FileResult::Failed) {
    // The download cannot be moved in (another volume, held open): a copy of it can.
    installed = InstallCopy(ops, command.source, command.target, staging, start);
    if (installed == FileResult::Done) ops.Delete(command.source);
  }
  if (installed == FileResult::Failed && ownPath) {
    // This process is a copy of the old build. Putting it in place keeps the
    // install whole even when the old file is missing, and tells whether the
    // old program has let go of the file.
    installed = InstallCopy(ops, *ownPath, command.target, staging, start);
  }
  // Also what an earlier hand-over that died left behind.
  if (ops.PathExists(staging)) ops.Delete(staging);

  // Only a file this process put in place is known to be free of the old
  // program: anything else could start a second copy beside the ending one.
  if (installed != FileResult::Done || !ownPath) return 0;
  ops.Start(command.target, BuildRelaunchCommandLine(*ownPath), StartWindow::Normal);
  return 0;
}

}  // namespace ravelin
