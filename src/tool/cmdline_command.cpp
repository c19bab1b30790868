// cmdline TEXT: which start mode and which paths the launcher takes from
// TEXT as its whole command line.
#include <cstdio>

#include "app/handover.h"
#include "common/utf8.h"
#include "tool/commands.h"

namespace ravelin::tool {
namespace {

const char* ModeName(StartMode mode) {
  switch (mode) {
    case StartMode::Delete:
      return "delete";
    case StartMode::Update:
      return "update";
    case StartMode::Normal:
      break;
  }
  return "normal";
}

}  // namespace

int CommandLine(const Args& argv) {
  const HandoverCommand command = ParseHandoverCommandLine(argv[2]);
  std::printf("mode: %s\n", ModeName(command.mode));
  switch (command.mode) {
    case StartMode::Delete:
      std::printf("delete: %s\n", ToUtf8(command.deletePath).c_str());
      break;
    case StartMode::Update:
      std::printf("target: %s\n", ToUtf8(command.target).c_str());
      std::printf("source: %s\n", ToUtf8(command.source).c_str());
      break;
    case StartMode::Normal:
      break;
  }
  return 0;
}

}  // namespace ravelin::tool
