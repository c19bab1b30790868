// osclass without facts: this machine's OS code word, as the launcher
// computes it.
#include <cstdio>

#include "sysinfo/system_info_win.h"
#include "tool/commands.h"
#include "tool/commands_win.h"

namespace ravelin::tool {

int PrintThisOsClass(const Args&) {
  DWORD code = 0, build = 0;
  if (!GetOsClass(&code, &build)) {
    std::puts("no version record");
    return 1;
  }
  PrintOsClass(code, build);
  return 0;
}

}  // namespace ravelin::tool
