// The command line is outside text: whatever it holds, parsing must not
// fail, and the paths taken must be pieces of the line itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/handover.h"
#include "common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring line = ravelin::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  const ravelin::HandoverCommand command = ravelin::ParseHandoverCommandLine(line);

  const bool hasDelete = line.find(L"Delete") != std::wstring::npos;
  const bool startsUpdate = line.rfind(L"Update", 0) == 0;
  switch (command.mode) {
    case ravelin::StartMode::Delete:
      if (!hasDelete || line.find(command.deletePath) == std::wstring::npos) std::abort();
      if (ravelin::ParseHandoverCommandLine(ravelin::BuildRelaunchCommandLine(command.deletePath)).deletePath !=
          command.deletePath) {
        std::abort();
      }
      break;
    case ravelin::StartMode::Update:
      if (hasDelete || !startsUpdate) std::abort();
      if (line.find(command.target) == std::wstring::npos || line.find(command.source) == std::wstring::npos) {
        std::abort();
      }
      if (command.target.find(L'|') != std::wstring::npos) std::abort();
      break;
    case ravelin::StartMode::Normal:
      if (hasDelete || startsUpdate) std::abort();
      break;
  }
  return 0;
}
