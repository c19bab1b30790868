// Process-wide state of the player stand-in DLL: its module handle and the
// count that makes DllCanUnloadNow honest (live objects, class objects among
// them, and server locks).
#pragma once

#include <windows.h>

namespace ravelin::standin {

extern HINSTANCE g_module;

void LockModule();
void UnlockModule();

}  // namespace ravelin::standin
