// Hooks of functions in this process, set and taken off in transactions:
// begin, name threads, attach or detach, commit. The commit holds every other
// thread of the process still while it writes, and moves those stopped in
// bytes that change. Built on the portable inline-hook engine.
#pragma once

#include <windows.h>

namespace ravelin::hook {

// Only one transaction at a time, on one thread.
LONG TransactionBegin();
// `thread` is held still while code is written, as is every other thread of
// the process, named or not. The calling thread needs nothing.
LONG TransactionUpdateThread(HANDLE thread);
// A function too short for the patch is refused (an error of the commit)
// unless this is set; then it is left alone without an error.
LONG TransactionSetIgnoreTooSmall(bool ignore);
// `*pointer` is the function; after the commit it points at the trampoline
// that runs the unpatched function. The commit writes it atomically.
LONG TransactionAttach(void** pointer, void* detour);
// Takes the hook made for `*pointer` and `detour` off; `*pointer` is the
// function again after the commit.
LONG TransactionDetach(void** pointer, void* detour);
// Applies everything or nothing. NO_ERROR, or the first error; the
// operation's pointer that failed is given to CommitEx.
LONG TransactionCommit();
LONG TransactionCommitEx(void*** failedPointer);

}  // namespace ravelin::hook
