#include "app/handover.h"

namespace ravelin {
namespace {

constexpr std::wstring_view kDeleteMarker = L"Delete";
constexpr std::wstring_view kUpdateMarker = L"Update";
constexpr wchar_t kSeparator = L'|';

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

bool DeleteWhenReleased(HandoverOps& ops, const std::wstring& path) {
  const std::uint64_t start = ops.TickMilliseconds();
  for (;;) {
    if (ops.Delete(path)) return true;
    if (ops.TickMilliseconds() - start >= kDeleteRetryLimitMs) return false;
    ops.Sleep(kDeleteRetryPauseMs);
  }
}

void RunDeleteHandover(HandoverOps& ops, const HandoverCommand& command) {
  if (!ops.PathExists(command.deletePath)) return;
  // Give the ending process a moment to let go of its other resources.
  if (DeleteWhenReleased(ops, command.deletePath)) ops.Sleep(10);
}

int RunUpdateHandover(HandoverOps& ops, const HandoverCommand& command) {
  const std::optional<std::wstring> ownPath = ops.ModulePath();

  bool removedOld = false;
  bool targetFree = true;
  if (ops.PathExists(command.target)) {
    removedOld = DeleteWhenReleased(ops, command.target);
    targetFree = removedOld;
  }

  // Only touch the target once the old program is gone; otherwise whatever
  // stands there is started as it is.
  if (targetFree && !ops.Move(command.source, command.target) &&
      !ops.Copy(command.source, command.target) && removedOld && ownPath) {
    // This process is a copy of the old build: never leave the install
    // without a program file.
    ops.Copy(*ownPath, command.target);
  }

  if (!ownPath) return 0;
  ops.StartHidden(command.target, BuildRelaunchCommandLine(*ownPath));
  return 0;
}

}  // namespace ravelin
