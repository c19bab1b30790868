// Silencing what this process plays through waveOut: waveOutWrite's entry is
// patched so that every buffer passes HookedWaveOutWrite first.
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstring>

#include "sound/hook_transaction_win.h"
#include "sound/sound_win.h"

// The import table's slot of waveOutWrite.
extern "C" ravelin::WaveOutWriteFn __imp_waveOutWrite;

namespace ravelin {

// The import's address until the hook is attached, then the trampoline to
// the unpatched function. Read from the import table itself: in a static
// initializer the compiler would give the address of the program's own
// jump stub, and the hook would patch that stub instead of the function.
// Read and written atomically: the player's threads call through it while the
// hook is put on and taken off.
WaveOutWriteFn g_pfnWaveOutWrite = __imp_waveOutWrite;

MMRESULT WINAPI HookedWaveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT headerSize) {
  // Whatever the format: silence is zero bytes for the players we host, and
  // the buffer is the caller's to overwrite.
  if (!g_bSoundOn && header != nullptr && headerSize >= sizeof(WAVEHDR) && header->lpData != nullptr) {
    std::memset(header->lpData, 0, header->dwBufferLength);
  }
  const WaveOutWriteFn next = std::atomic_ref<WaveOutWriteFn>(g_pfnWaveOutWrite).load(std::memory_order_acquire);
  return next(device, header, headerSize);
}

namespace {

bool RunHookTransaction(bool attach) {
  hook::TransactionBegin();
  hook::TransactionUpdateThread(GetCurrentThread());
  hook::TransactionSetIgnoreTooSmall(false);
  void** pointer = reinterpret_cast<void**>(&g_pfnWaveOutWrite);
  void* detour = reinterpret_cast<void*>(&HookedWaveOutWrite);
  if (attach) {
    hook::TransactionAttach(pointer, detour);
  } else {
    hook::TransactionDetach(pointer, detour);
  }
  if (hook::TransactionCommit() == NO_ERROR) return true;
  // Which pointer failed; nothing more is done about it: the program plays
  // on, with the session mute alone.
  void** failed = nullptr;
  hook::TransactionCommitEx(&failed);
  return false;
}

}  // namespace

bool InstallWaveOutHook() { return RunHookTransaction(true); }

void RemoveWaveOutHook() { RunHookTransaction(false); }

}  // namespace ravelin
