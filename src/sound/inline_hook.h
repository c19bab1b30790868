// Inline hooks on x86-64: the entry of a function is overwritten with a jump
// to a replacement, and the overwritten instructions move to a trampoline
// that calls the unpatched function. The decoding, the relocation and where
// a held thread goes when the entry changes are portable; holding threads,
// writing to code and finding memory near it are the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ravelin::hook {

inline constexpr std::size_t kMaxInstructionLength = 15;

// One decoded instruction of 64-bit code.
struct Instruction {
  std::size_t length = 0;  // 1..15
  enum class Kind {
    Plain,          // moves as it is
    RipRelative,    // a ModRM memory operand [rip+disp32]
    Jump8,          // EB rel8
    Jump32,         // E9 rel32
    Jcc8,           // 70-7F rel8
    Jcc32,          // 0F 80-8F rel32
    Call32,         // E8 rel32
    Return,         // C3, C2 iw, far returns, iretq
    Unrelocatable,  // loop/jrcxz, xbegin, [eip+disp32] with the 67 prefix, branches with the 66 prefix
  } kind = Kind::Plain;
  // Where the rel8/rel32/disp32 field starts (RipRelative, branches).
  std::size_t fieldOffset = 0;
  // RipRelative: bytes of immediate after the disp32. The CPU adds the disp
  // to the address of the end of the instruction, after the immediate.
  std::size_t immediateAfterDisp = 0;
  // Prefix bytes (legacy and REX) before the opcode.
  std::size_t prefixLength = 0;
  // Execution never falls through to the next instruction: returns, jmp
  // (relative or indirect, near or far), ud2.
  bool endsFlow = false;
};

// Decodes the instruction at `code`, reading at most `available` bytes and
// never a byte past the end of the instruction. nullopt when the bytes are
// not a valid or known instruction of 64-bit mode, or do not fit in
// `available`. VEX, EVEX, XOP and 3DNow! encodings are not decoded.
std::optional<Instruction> DecodeInstruction(const std::uint8_t* code, std::size_t available);

inline constexpr std::size_t kPatchSize = 5;   // jmp rel32
inline constexpr std::size_t kBlockSize = 64;  // trampoline + relay, one block per hook, within ±2 GB of the target
// FF 25 00000000 followed by the 8-byte destination: jmp qword [rip+0].
inline constexpr std::size_t kAbsoluteJumpSize = 14;
// The relay sits at a fixed place in the block; the trampoline fills what
// comes before it.
inline constexpr std::size_t kRelayOffset = 48;
// How a refusal for a function too short to patch begins (callers that may
// skip such functions recognise it by this).
inline constexpr std::string_view kTooSmallReason = "the function ends";

// One instruction the hook takes over: where it starts at the entry, and
// where its copy starts and how long the copy is in the trampoline (a widened
// branch is longer than the original).
struct MovedInstruction {
  std::size_t from = 0;
  std::size_t length = 0;
  std::size_t to = 0;
  std::size_t copyLength = 0;
};

struct HookPlan {
  // The whole instructions overwritten at the entry (>= 5 bytes).
  std::vector<std::uint8_t> original;
  // Same size as original: E9 rel32 to the relay, the rest 0xCC.
  std::vector<std::uint8_t> patch;
  // kBlockSize bytes to write at the block: the trampoline (the relocated
  // copy of `original`, then an absolute jump back to entry+original.size()),
  // then at kRelayOffset the relay (an absolute jump to the detour). Unused
  // bytes are 0xCC.
  std::vector<std::uint8_t> block;
  std::uint64_t entryAddress = 0;
  std::uint64_t trampolineAddress = 0;  // == the block's address: calling it runs the unpatched function
  std::uint64_t relayAddress = 0;
  // The instructions of `original` in order; the jump back follows the last copy.
  std::vector<MovedInstruction> moved;
};

// Plans a hook of the function whose entry code is `entry` (`available`
// readable bytes, e.g. 32), loaded at `entryAddress`, with the block at
// `blockAddress` and the replacement at `detourAddress`. It reads the bytes of
// the instructions it takes over, and on refusal up to 4 bytes from where it
// stopped, to quote them in the reason. Returns the plan, or why it refuses:
// - an instruction among the first 5 bytes' worth it cannot decode or relocate
//   (loop, jrcxz, xbegin, [eip+disp32], a rel8 branch with so many prefixes
//   that its rel32 form would pass 15 bytes);
// - a return or jump that ends the function before 5 bytes are covered;
// - a RIP-relative operand or branch target out of ±2 GB reach of the block;
// - a block out of ±2 GB reach of the entry;
// - a branch among the copied instructions that lands in the copied bytes.
std::variant<HookPlan, std::string> PlanHook(const std::uint8_t* entry, std::size_t available,
                                             std::uint64_t entryAddress, std::uint64_t blockAddress,
                                             std::uint64_t detourAddress);

// Where a thread held at `ip` goes on when the hook is written over the
// entry: from inside an overwritten instruction to the start of that
// instruction's copy in the trampoline. Any other address stays.
std::uint64_t MovedOnAttach(const HookPlan& plan, std::uint64_t ip);
// Where a thread held at `ip` goes on when the entry gets its bytes back: from
// inside an instruction's copy to that instruction at the entry, from the
// jump back to the first byte after the overwritten ones. Any other address
// (the relay among them: it still leads to the detour) stays.
std::uint64_t MovedOnDetach(const HookPlan& plan, std::uint64_t ip);

// How far from a function its blocks may be, leaving the relocated operands
// room within the ±2 GB of a rel32.
inline constexpr std::uint64_t kBlockReach = 0x70000000;

// What the platform does for the hooks: map memory near a function, change
// the protection of pages, flush the instruction cache.
struct MemoryOps {
  virtual ~MemoryOps() = default;
  virtual std::size_t PageSize() const = 0;
  // Read-write memory, whole pages, within kBlockReach of `near`, never
  // unmapped; its size in *size. nullptr when there is none free there.
  virtual void* MapNear(const void* near, std::size_t* size) = 0;
  // Makes the page at `page` writable (and executable); returns the
  // protection it had, or nullopt, having changed nothing, when it cannot.
  virtual std::optional<std::uint32_t> MakeWritable(void* page) = 0;
  // Gives `page` back a protection MakeWritable returned.
  virtual void Restore(void* page, std::uint32_t protection) = 0;
  // The pages of [at, at+size) hold finished code: read and execute only.
  virtual bool Seal(void* at, std::size_t size) = 0;
  virtual void FlushCode(const void* at, std::size_t size) = 0;
};

// Writes `size` bytes of code at `target`. Every page it touches is made
// writable for the write and then gets back exactly the protection it had
// (a patch can span two pages that differ). False, having written nothing and
// changed no protection, when a page cannot be made writable. Allocates
// nothing, so it can run while other threads are held.
bool WriteCode(MemoryOps& memory, void* target, const void* bytes, std::size_t size);

// Trampoline blocks. Each has a page of its own, so sealing it touches no
// page where another hook's trampoline may be running. A block is handed out
// once: after its hook is taken off a thread may still be inside it, so it
// stays as it is for the rest of the process.
class BlockPool {
 public:
  explicit BlockPool(MemoryOps& memory) : memory_(memory) {}
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // A writable block never handed out before, within kBlockReach of `near`;
  // nullptr when there is no memory there.
  std::uint8_t* Take(const void* near);
  MemoryOps& Memory() const { return memory_; }

 private:
  struct Region {
    std::uint8_t* next;
    std::uint8_t* end;
  };
  MemoryOps& memory_;
  std::vector<Region> regions_;
};

// One hook: `*pointer` is the function to patch; once patched it points at
// the trampoline (calling it runs the unpatched function); unpatching writes
// the original bytes back exactly and puts the function address back into
// *pointer. *pointer is read and written atomically: other threads call
// through it while it changes.
//
// Attaching comes in two steps for callers that hold the other threads still
// while the entry is written: Prepare allocates and writes the trampoline,
// which nothing runs yet; Patch and Unpatch allocate nothing. A hook
// destroyed while patched stays in place.
class InlineHook {
 public:
  InlineHook() = default;
  InlineHook(const InlineHook&) = delete;
  InlineHook& operator=(const InlineHook&) = delete;

  // Prepare and Patch. On failure nothing is patched, *pointer is unchanged,
  // and `why` says why.
  bool Attach(void** pointer, void* detour, BlockPool& blocks, std::string* why = nullptr);
  // Unpatch, and the hook is done with (its block is never used again).
  bool Detach(void** pointer, MemoryOps& memory);

  // Plans the hook of `function` and writes and seals its trampoline. False,
  // with why, when the function cannot be hooked or this hook is prepared
  // already.
  bool Prepare(void* function, void* detour, BlockPool& blocks, std::string* why = nullptr);
  // *pointer is set to the trampoline, then the entry is patched, so a detour
  // that calls through *pointer works from its first call. False, changing
  // nothing, when not prepared or already patched, when the entry no longer
  // holds the bytes planned over, or cannot be written.
  bool Patch(void** pointer, MemoryOps& memory);
  // False, changing nothing, when not patched, when the entry no longer holds
  // this hook's jump (something else patched over it) or when the original
  // bytes cannot be written back. Stays prepared: Patch puts it back on.
  bool Unpatch(void** pointer, MemoryOps& memory);

  bool Attached() const { return patched_; }
  void* Target() const { return target_; }
  void* Trampoline() const { return block_; }
  // Valid once prepared; where held threads go when the hook is patched or
  // unpatched.
  const HookPlan& Plan() const { return plan_; }

 private:
  void Forget();

  std::uint8_t* target_ = nullptr;
  std::uint8_t* block_ = nullptr;
  HookPlan plan_;
  bool patched_ = false;
};

}  // namespace ravelin::hook
