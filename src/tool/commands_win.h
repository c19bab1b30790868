// The commands only the Windows tool has, one file each.
#pragma once

#include "tool/tool.h"

namespace ravelin::tool {

int PrintHostUid(const Args& argv);      // hostuid_command_win.cpp
int PrintThisOsClass(const Args& argv);  // osclass_command_win.cpp
int RunDiagRound(const Args& argv);      // diag_command_win.cpp

}  // namespace ravelin::tool
