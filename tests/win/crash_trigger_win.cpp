#include "crash_trigger_win.h"

#include <cwchar>

#include "common/unique_handle_win.h"

namespace ravelin::test {
namespace {

DWORD WINAPI RaiseOnThisThread(void*) {
  RaiseException(kTestCrashCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return 0;
}

}  // namespace

void CrashIfAsked(const wchar_t* commandLine) {
  if (std::wcsstr(commandLine, L"--crash-for-test-on-thread") != nullptr) {
    const unique_handle thread(CreateThread(nullptr, 0, &RaiseOnThisThread, nullptr, 0, nullptr));
    if (thread) WaitForSingleObject(thread.get(), INFINITE);
  } else if (std::wcsstr(commandLine, L"--crash-for-test") != nullptr) {
    // Volatile both: the compiler can neither see the null (and put a trap
    // instruction in the store's place) nor drop the store.
    volatile int* volatile target = nullptr;
    *target = 1;
  }
}

}  // namespace ravelin::test
