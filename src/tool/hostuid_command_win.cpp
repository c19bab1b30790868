// hostuid: this machine's host identifier and the form that produced it.
#include <cstdio>

#include "common/utf8.h"
#include "sysinfo/host_uid_win.h"
#include "tool/commands_win.h"

namespace ravelin::tool {

int PrintHostUid(const Args&) {
  const HostUid uid = ComputeHostUid();
  const char* form = "no base (volume serial only)";
  switch (uid.form) {
    case HostUidForm::Disk:
      form = "disk serial and model";
      break;
    case HostUidForm::CpuSignature:
      form = "processor signature and volume serial";
      break;
    case HostUidForm::MachineGuid:
      form = "machine GUID and volume serial";
      break;
    case HostUidForm::NoBase:
      break;
  }
  std::printf("%s\nform: %s\n", ToUtf8(uid.text).c_str(), form);
  return 0;
}

}  // namespace ravelin::tool
