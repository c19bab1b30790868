#include "sound/hook_transaction_win.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle_win.h"
#include "sound/inline_hook.h"

namespace ravelin::hook {
namespace {

// Blocks go within this distance of the function, so that the patch's rel32
// and the trampoline's relocated operands reach.
constexpr std::uint64_t kNearRange = 0x70000000;

class WindowsMemory final : public MemoryOps {
 public:
  void* AllocateNear(const void* place) override {
    // A block given back earlier serves again when it is near enough.
    const auto target = reinterpret_cast<std::uint64_t>(place);
    for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
      const auto at = reinterpret_cast<std::uint64_t>(*it);
      if ((at > target ? at - target : target - at) < kNearRange) {
        void* block = *it;
        m_retired.erase(it);
        return block;
      }
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const auto granularity = static_cast<std::uint64_t>(info.dwAllocationGranularity);
    const auto lowest = std::max<std::uint64_t>(reinterpret_cast<std::uint64_t>(info.lpMinimumApplicationAddress),
                                                target > kNearRange ? target - kNearRange : 0);
    const auto highest =
        std::min<std::uint64_t>(reinterpret_cast<std::uint64_t>(info.lpMaximumApplicationAddress), target + kNearRange);
    // Free regions below the function first (closest first), then above.
    for (std::uint64_t at = (target / granularity) * granularity; at >= lowest && at >= granularity;
         at -= granularity) {
      if (void* block = TryAt(at)) return block;
    }
    for (std::uint64_t at = (target / granularity + 1) * granularity; at + kBlockSize <= highest; at += granularity) {
      if (void* block = TryAt(at)) return block;
    }
    return nullptr;
  }

  // Blocks are never unmapped: a thread of the process may still be running
  // the trampoline of a hook that was just taken off (the player's threads go
  // on calling while the game window ends). They are kept for the next hook.
  void Free(void* block) override { m_retired.push_back(block); }

  bool WriteCode(void* target, const void* bytes, std::size_t size) override {
    DWORD old = 0;
    if (!VirtualProtect(target, size, PAGE_EXECUTE_READWRITE, &old)) return false;
    std::memcpy(target, bytes, size);
    DWORD ignored = 0;
    VirtualProtect(target, size, old, &ignored);
    FlushInstructionCache(GetCurrentProcess(), target, size);
    return true;
  }

 private:
  std::vector<void*> m_retired;

  static void* TryAt(std::uint64_t at) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof(region)) == 0 || region.State != MEM_FREE) {
      return nullptr;
    }
    return VirtualAlloc(reinterpret_cast<void*>(at), kBlockSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
  }
};

struct Operation {
  bool attach = true;
  void** pointer = nullptr;
  void* detour = nullptr;
};

struct Installed {
  void** pointer = nullptr;
  void* detour = nullptr;
  std::unique_ptr<InlineHook> hook;
};

struct Transaction {
  bool open = false;
  DWORD owner = 0;
  bool ignoreTooSmall = false;
  std::vector<Operation> operations;
  std::vector<unique_handle> threads;
  void** failed = nullptr;
};

Transaction g_transaction;
// The pointer whose operation failed in the last commit.
void** g_lastFailed = nullptr;
std::vector<Installed> g_installed;
WindowsMemory g_memory;

bool InTransaction() { return g_transaction.open && g_transaction.owner == GetCurrentThreadId(); }

void EndTransaction() { g_transaction = Transaction{}; }

std::vector<Installed>::iterator FindInstalled(void** pointer, void* detour) {
  for (auto it = g_installed.begin(); it != g_installed.end(); ++it) {
    if (it->pointer == pointer && it->detour == detour) return it;
  }
  return g_installed.end();
}

// Undoes what this commit already did, newest first.
void RollBack(std::vector<Installed>& attached, std::vector<Installed>& detached) {
  for (auto it = attached.rbegin(); it != attached.rend(); ++it) it->hook->Detach(it->pointer, g_memory);
  for (auto it = detached.rbegin(); it != detached.rend(); ++it) {
    if (it->hook->Attach(it->pointer, it->detour, g_memory)) g_installed.push_back(std::move(*it));
  }
}

}  // namespace

LONG TransactionBegin() {
  if (g_transaction.open) return ERROR_INVALID_OPERATION;
  g_transaction = Transaction{};
  g_transaction.open = true;
  g_transaction.owner = GetCurrentThreadId();
  return NO_ERROR;
}

LONG TransactionUpdateThread(HANDLE thread) {
  if (!InTransaction()) return ERROR_INVALID_OPERATION;
  if (thread == GetCurrentThread() || GetThreadId(thread) == GetCurrentThreadId()) return NO_ERROR;
  unique_handle copy;
  if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), copy.put(), 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return static_cast<LONG>(GetLastError());
  }
  g_transaction.threads.push_back(std::move(copy));
  return NO_ERROR;
}

LONG TransactionSetIgnoreTooSmall(bool ignore) {
  if (!InTransaction()) return ERROR_INVALID_OPERATION;
  g_transaction.ignoreTooSmall = ignore;
  return NO_ERROR;
}

LONG TransactionAttach(void** pointer, void* detour) {
  if (!InTransaction()) return ERROR_INVALID_OPERATION;
  if (pointer == nullptr || *pointer == nullptr || detour == nullptr) return ERROR_INVALID_PARAMETER;
  g_transaction.operations.push_back(Operation{true, pointer, detour});
  return NO_ERROR;
}

LONG TransactionDetach(void** pointer, void* detour) {
  if (!InTransaction()) return ERROR_INVALID_OPERATION;
  if (pointer == nullptr || detour == nullptr) return ERROR_INVALID_PARAMETER;
  g_transaction.operations.push_back(Operation{false, pointer, detour});
  return NO_ERROR;
}

LONG TransactionCommit() { return TransactionCommitEx(nullptr); }

LONG TransactionCommitEx(void*** failedPointer) {
  if (!InTransaction()) {
    // Asked after a commit: which pointer failed in it.
    if (failedPointer != nullptr) *failedPointer = g_lastFailed;
    return ERROR_INVALID_OPERATION;
  }

  for (const unique_handle& thread : g_transaction.threads) SuspendThread(thread.get());
  LONG error = NO_ERROR;
  std::vector<Installed> attached;
  std::vector<Installed> detached;
  for (const Operation& op : g_transaction.operations) {
    if (op.attach) {
      Installed entry{op.pointer, op.detour, std::make_unique<InlineHook>()};
      std::string why;
      if (entry.hook->Attach(op.pointer, op.detour, g_memory, &why)) {
        attached.push_back(std::move(entry));
        continue;
      }
      if (g_transaction.ignoreTooSmall && why.starts_with(kTooSmallReason)) continue;
      error = ERROR_INVALID_BLOCK;
    } else {
      const auto found = FindInstalled(op.pointer, op.detour);
      if (found != g_installed.end() && found->hook->Detach(op.pointer, g_memory)) {
        detached.push_back(std::move(*found));
        g_installed.erase(found);
        continue;
      }
      error = found == g_installed.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_BLOCK;
    }
    g_transaction.failed = op.pointer;
    break;
  }
  if (error != NO_ERROR) {
    RollBack(attached, detached);
  } else {
    for (Installed& entry : attached) g_installed.push_back(std::move(entry));
  }
  for (const unique_handle& thread : g_transaction.threads) ResumeThread(thread.get());

  g_lastFailed = g_transaction.failed;
  if (failedPointer != nullptr) *failedPointer = g_lastFailed;
  EndTransaction();
  return error;
}

}  // namespace ravelin::hook
