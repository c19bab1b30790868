// Inline hooks on x86-64: the entry of a function is overwritten with a jump
// to a replacement, and the overwritten instructions move to a trampoline
// that calls the unpatched function. The decoding and relocation here are
// portable; writing to code and finding memory near it is the platform's,
// through MemoryOps.
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
  std::uint64_t trampolineAddress = 0;  // == the block's address: calling it runs the unpatched function
  std::uint64_t relayAddress = 0;
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

// Where the hooks live: the platform writes memory and finds blocks near a target.
struct MemoryOps {
  virtual ~MemoryOps() = default;
  // A kBlockSize-byte executable block within ±2 GB of `near`, or nullptr.
  virtual void* AllocateNear(const void* near) = 0;
  virtual void Free(void* block) = 0;
  // Writes `size` bytes to code at `target` (making it writable for the
  // write, restoring its protection, flushing the instruction cache). False,
  // having written nothing, when the memory cannot be written.
  virtual bool WriteCode(void* target, const void* bytes, std::size_t size) = 0;
};

// One hook: `*pointer` is the function to patch; after Attach it points at the
// trampoline (calling it runs the unpatched function); Detach writes the
// original bytes back exactly and puts the function address back into
// *pointer. Attach on failure leaves everything untouched and returns false
// with a reason.
//
// The caller keeps other threads out of the entry while it is written, and
// out of the detour and the trampoline when Detach frees the block. A hook
// destroyed while attached stays in place and keeps its block.
class InlineHook {
 public:
  InlineHook() = default;
  InlineHook(const InlineHook&) = delete;
  InlineHook& operator=(const InlineHook&) = delete;

  // *pointer is set to the trampoline before the entry is patched, so a
  // detour that calls through it works from its first call.
  bool Attach(void** pointer, void* detour, MemoryOps& memory, std::string* why = nullptr);
  // False, changing nothing, when not attached, when the entry no longer
  // holds this hook's jump (something else patched over it) or when the
  // original bytes cannot be written back.
  bool Detach(void** pointer, MemoryOps& memory);
  bool Attached() const { return target_ != nullptr; }

  void* Target() const { return target_; }
  void* Trampoline() const { return block_; }

 private:
  std::uint8_t* target_ = nullptr;
  void* block_ = nullptr;
  std::vector<std::uint8_t> original_;
  std::vector<std::uint8_t> patch_;
};

}  // namespace ravelin::hook
