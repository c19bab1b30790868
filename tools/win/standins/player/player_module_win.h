// Process-wide state of the player stand-in DLL: its module handle and the
// count that makes DllCanUnloadNow honest (live objects, server locks and
// references to the class factory).
#pragma once

#include <windows.h>

namespace ravelin::standin {

extern HINSTANCE g_module;

void LockModule();
void UnlockModule();

}  // namespace ravelin::standin
