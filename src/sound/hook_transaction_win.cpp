#include "sound/hook_transaction_win.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle_win.h"
#include "sound/inline_hook.h"

namespace ravelin::hook {
namespace {

class WindowsMemory final : public MemoryOps {
 public:
  WindowsMemory() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_pageSize = info.dwPageSize;
  }

  std::size_t PageSize() const override { return m_pageSize; }

  void* MapNear(const void* place, std::size_t* size) override {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const auto target = reinterpret_cast<std::uint64_t>(place);
    const auto granularity = static_cast<std::uint64_t>(info.dwAllocationGranularity);
    const auto lowest = std::max<std::uint64_t>(reinterpret_cast<std::uint64_t>(info.lpMinimumApplicationAddress),
                                                target > kBlockReach ? target - kBlockReach : 0);
    const auto highest = std::min<std::uint64_t>(reinterpret_cast<std::uint64_t>(info.lpMaximumApplicationAddress),
                                                 target + kBlockReach);
    *size = static_cast<std::size_t>(granularity);
    // Free regions below the function first (closest first), then above.
    for (std::uint64_t at = (target / granularity) * granularity; at >= lowest && at >= granularity;
         at -= granularity) {
      if (void* region = TryAt(at, granularity)) return region;
    }
    for (std::uint64_t at = (target / granularity + 1) * granularity; at + granularity <= highest; at += granularity) {
      if (void* region = TryAt(at, granularity)) return region;
    }
    return nullptr;
  }

  std::optional<std::uint32_t> MakeWritable(void* page) override {
    DWORD old = 0;
    if (!VirtualProtect(page, 1, PAGE_EXECUTE_READWRITE, &old)) return std::nullopt;
    return old;
  }

  void Restore(void* page, std::uint32_t protection) override {
    DWORD ignored = 0;
    VirtualProtect(page, 1, protection, &ignored);
  }

  bool Seal(void* at, std::size_t size) override {
    DWORD old = 0;
    return VirtualProtect(at, size, PAGE_EXECUTE_READ, &old) != FALSE;
  }

  void FlushCode(const void* at, std::size_t size) override { FlushInstructionCache(GetCurrentProcess(), at, size); }

 private:
  std::size_t m_pageSize = 0;

  static void* TryAt(std::uint64_t at, std::uint64_t size) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof(region)) == 0 || region.State != MEM_FREE ||
        region.RegionSize < size) {
      return nullptr;
    }
    return VirtualAlloc(reinterpret_cast<void*>(at), size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  }
};

// Every thread of the process but the caller, held still while code is
// written. Open allocates, so it comes before any thread is suspended; from
// Suspend to Resume nothing here allocates, since a held thread may own the
// heap's lock.
class HeldThreads {
 public:
  HeldThreads() = default;
  HeldThreads(const HeldThreads&) = delete;
  HeldThreads& operator=(const HeldThreads&) = delete;
  ~HeldThreads() { Resume(); }

  // The threads named to the transaction, then every other one a snapshot
  // lists. A thread that ends before it is opened needs no holding. Threads
  // started after the snapshot are not held.
  LONG Open(std::vector<unique_handle> named) {
    m_held.reserve(named.size());
    for (unique_handle& thread : named) {
      const DWORD id = GetThreadId(thread.get());
      m_held.push_back(Held{std::move(thread), id});
    }
    unique_hfile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return static_cast<LONG>(GetLastError());
    const DWORD process = GetCurrentProcessId();
    const DWORD self = GetCurrentThreadId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
      const DWORD id = entry.th32ThreadID;
      if (entry.th32OwnerProcessID != process || id == self) continue;
      if (std::any_of(m_held.begin(), m_held.end(), [id](const Held& held) { return held.id == id; })) continue;
      unique_handle thread(
          OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_LIMITED_INFORMATION,
                     FALSE, id));
      if (thread) m_held.push_back(Held{std::move(thread), id});
    }
    return NO_ERROR;
  }

  // Suspension is asked for, not waited for: reading a thread's context
  // returns only once it has really stopped, so every thread is asked first.
  // A thread whose place cannot be read cannot be moved out of the bytes
  // being written, so that refuses.
  LONG Suspend() {
    for (Held& held : m_held) {
      held.suspended = SuspendThread(held.thread.get()) != static_cast<DWORD>(-1);  // else it has ended
    }
    for (Held& held : m_held) {
      if (!held.suspended) continue;
      held.context.ContextFlags = CONTEXT_CONTROL;
      if (!GetThreadContext(held.thread.get(), &held.context)) {
        const auto error = static_cast<LONG>(GetLastError());
        DWORD exitCode = 0;
        if (GetExitCodeThread(held.thread.get(), &exitCode) && exitCode != STILL_ACTIVE) {
          held.suspended = false;  // it ended while being held and runs nothing more
          continue;
        }
        return error;
      }
      held.heldAt = held.context.Rip;
    }
    return NO_ERROR;
  }

  // Each thread goes on at where(its instruction pointer). On a failure the
  // threads moved so far go back.
  template <class Where>
  LONG Move(Where where) {
    for (Held& held : m_held) {
      if (!held.suspended) continue;
      const DWORD64 to = where(held.heldAt);
      if (to == held.heldAt) continue;
      held.context.Rip = to;
      if (!SetThreadContext(held.thread.get(), &held.context)) {
        const auto error = static_cast<LONG>(GetLastError());
        held.context.Rip = held.heldAt;
        for (Held& back : m_held) {
          if (back.suspended && back.context.Rip != back.heldAt) {
            back.context.Rip = back.heldAt;
            SetThreadContext(back.thread.get(), &back.context);
          }
        }
        return error;
      }
    }
    return NO_ERROR;
  }

  void Resume() {
    for (Held& held : m_held) {
      if (held.suspended) ResumeThread(held.thread.get());
      held.suspended = false;
    }
  }

 private:
  struct Held {
    unique_handle thread;
    DWORD id = 0;
    bool suspended = false;
    DWORD64 heldAt = 0;
    CONTEXT context{};
  };
  std::vector<Held> m_held;
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

// One operation of a commit, ready to write.
struct Step {
  bool attach = true;
  void** pointer = nullptr;
  void* detour = nullptr;
  InlineHook* hook = nullptr;
  std::unique_ptr<InlineHook> prepared;  // an attach's new hook
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
BlockPool g_blocks(g_memory);

bool InTransaction() { return g_transaction.open && g_transaction.owner == GetCurrentThreadId(); }

void EndTransaction() { g_transaction = Transaction{}; }

std::vector<Installed>::iterator FindInstalled(void** pointer, void* detour) {
  for (auto it = g_installed.begin(); it != g_installed.end(); ++it) {
    if (it->pointer == pointer && it->detour == detour) return it;
  }
  return g_installed.end();
}

// Plans the hooks and writes their trampolines, which nothing runs yet; all
// the allocating is done here, while the other threads run.
LONG PrepareSteps(std::vector<Step>& steps) {
  steps.reserve(g_transaction.operations.size());
  for (const Operation& op : g_transaction.operations) {
    if (op.attach) {
      auto hook = std::make_unique<InlineHook>();
      void* const function = std::atomic_ref<void*>(*op.pointer).load(std::memory_order_acquire);
      std::string why;
      if (!hook->Prepare(function, op.detour, g_blocks, &why)) {
        if (g_transaction.ignoreTooSmall && why.starts_with(kTooSmallReason)) continue;
        g_transaction.failed = op.pointer;
        return ERROR_INVALID_BLOCK;
      }
      InlineHook* const raw = hook.get();
      steps.push_back(Step{true, op.pointer, op.detour, raw, std::move(hook)});
    } else {
      const auto found = FindInstalled(op.pointer, op.detour);
      if (found == g_installed.end()) {
        g_transaction.failed = op.pointer;
        return ERROR_INVALID_HANDLE;
      }
      steps.push_back(Step{false, op.pointer, op.detour, found->hook.get(), nullptr});
    }
  }
  return NO_ERROR;
}

// With every other thread held: writes every step, then moves the threads
// that stopped inside bytes that changed. All or nothing.
LONG WriteSteps(std::vector<Step>& steps, HeldThreads& threads) {
  std::size_t written = 0;
  for (; written < steps.size(); ++written) {
    Step& step = steps[written];
    if (!(step.attach ? step.hook->Patch(step.pointer, g_memory) : step.hook->Unpatch(step.pointer, g_memory))) {
      g_transaction.failed = step.pointer;
      break;
    }
  }
  LONG error = ERROR_INVALID_BLOCK;
  if (written == steps.size()) {
    error = threads.Move([&steps](DWORD64 ip) {
      for (const Step& step : steps) {
        ip = step.attach ? MovedOnAttach(step.hook->Plan(), ip) : MovedOnDetach(step.hook->Plan(), ip);
      }
      return ip;
    });
  }
  if (error != NO_ERROR) {
    while (written-- > 0) {
      Step& step = steps[written];
      if (step.attach) {
        step.hook->Unpatch(step.pointer, g_memory);
      } else {
        step.hook->Patch(step.pointer, g_memory);
      }
    }
  }
  return error;
}

LONG Commit() {
  std::vector<Step> steps;
  if (const LONG error = PrepareSteps(steps); error != NO_ERROR || steps.empty()) return error;
  LONG error = NO_ERROR;
  {
    HeldThreads threads;
    error = threads.Open(std::move(g_transaction.threads));
    if (error == NO_ERROR) error = threads.Suspend();
    if (error == NO_ERROR) error = WriteSteps(steps, threads);
  }
  if (error != NO_ERROR) return error;
  for (Step& step : steps) {
    if (step.attach) {
      g_installed.push_back(Installed{step.pointer, step.detour, std::move(step.prepared)});
    } else {
      // The hook goes; its block stays, as a thread may still be inside it.
      g_installed.erase(FindInstalled(step.pointer, step.detour));
    }
  }
  return NO_ERROR;
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
  if (pointer == nullptr || detour == nullptr) return ERROR_INVALID_PARAMETER;
  if (std::atomic_ref<void*>(*pointer).load(std::memory_order_acquire) == nullptr) return ERROR_INVALID_PARAMETER;
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
  const LONG error = Commit();
  g_lastFailed = g_transaction.failed;
  if (failedPointer != nullptr) *failedPointer = g_lastFailed;
  EndTransaction();
  return error;
}

}  // namespace ravelin::hook
