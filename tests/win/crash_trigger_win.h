// The crash build's only addition to the launcher: a start that crashes on
// purpose, so a test can see what a crash leaves behind.
#pragma once

#include <windows.h>

namespace ravelin::test {

// Raised by the crash on a second thread, so its dump is told apart.
inline constexpr DWORD kTestCrashCode = 0xE0DEAD01;

// "--crash-for-test": a write through a null pointer on this thread.
// "--crash-for-test-on-thread": kTestCrashCode raised on a second thread
// while this one waits for it. Otherwise nothing happens.
void CrashIfAsked(const wchar_t* commandLine);

}  // namespace ravelin::test
