// Machine code of any content at a function's entry: the decoder stays inside
// the bytes it is given and inside the instruction it decodes, and a planned
// hook moves instructions so that every branch and RIP-relative operand still
// reaches what it reached at the entry.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "sound/inline_hook.h"

namespace {

using ravelin::hook::DecodeInstruction;
using ravelin::hook::HookPlan;
using ravelin::hook::Instruction;
using Kind = Instruction::Kind;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Exact-size heap copies, so that AddressSanitizer reports any read past `size`.
std::optional<Instruction> DecodeCopy(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> copy(data, data + size);
  return DecodeInstruction(copy.data(), copy.size());
}

std::int64_t Field(const std::uint8_t* code, const Instruction& insn) {
  if (insn.kind == Kind::Jump8 || insn.kind == Kind::Jcc8) return static_cast<std::int8_t>(code[insn.fieldOffset]);
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | code[insn.fieldOffset + static_cast<std::size_t>(i)];
  return static_cast<std::int32_t>(v);
}

// The address a branch or RIP-relative operand refers to.
std::uint64_t Referenced(const std::uint8_t* code, const Instruction& insn, std::uint64_t address) {
  return address + insn.length + static_cast<std::uint64_t>(Field(code, insn));
}

void CheckInstruction(const std::uint8_t* data, std::size_t size, const Instruction& insn) {
  Check(insn.length >= 1 && insn.length <= ravelin::hook::kMaxInstructionLength && insn.length <= size);
  Check(insn.prefixLength < insn.length);
  switch (insn.kind) {
    case Kind::RipRelative:
      Check(insn.fieldOffset > insn.prefixLength && insn.fieldOffset + 4 + insn.immediateAfterDisp == insn.length);
      break;
    case Kind::Jump8:
    case Kind::Jcc8:
      Check(insn.fieldOffset + 1 == insn.length);
      break;
    case Kind::Jump32:
    case Kind::Jcc32:
    case Kind::Call32:
      Check(insn.fieldOffset + 4 == insn.length);
      break;
    default:
      break;
  }
  if (insn.kind == Kind::Return || insn.kind == Kind::Jump8 || insn.kind == Kind::Jump32) Check(insn.endsFlow);

  // The instruction is read from its own bytes: the exact bytes decode the
  // same, one byte less does not decode.
  const auto exact = DecodeCopy(data, insn.length);
  Check(exact && exact->length == insn.length && exact->kind == insn.kind && exact->fieldOffset == insn.fieldOffset);
  Check(!DecodeCopy(data, insn.length - 1));
}

void CheckPlan(const std::uint8_t* entry, std::size_t size, std::uint64_t entryAddress, std::uint64_t block,
               std::uint64_t detour) {
  const std::vector<std::uint8_t> copy(entry, entry + size);
  const auto result = ravelin::hook::PlanHook(copy.data(), copy.size(), entryAddress, block, detour);
  const HookPlan* plan = std::get_if<HookPlan>(&result);
  if (!plan) {
    Check(!std::get<std::string>(result).empty());
    return;
  }
  const std::size_t n = plan->original.size();
  Check(n >= ravelin::hook::kPatchSize && n <= size);
  Check(std::equal(plan->original.begin(), plan->original.end(), entry));
  Check(plan->patch.size() == n && plan->patch[0] == 0xE9);
  for (std::size_t i = ravelin::hook::kPatchSize; i < n; ++i) Check(plan->patch[i] == 0xCC);
  Check(plan->block.size() == ravelin::hook::kBlockSize && plan->trampolineAddress == block);
  const Instruction jump{5, Kind::Jump32, 1};
  Check(Referenced(plan->patch.data(), jump, entryAddress) == plan->relayAddress);

  // Walk the entry and the trampoline side by side.
  const std::uint8_t* tramp = plan->block.data();
  std::size_t from = 0, to = 0;
  while (from < n) {
    Check(to < ravelin::hook::kRelayOffset);
    const auto a = DecodeInstruction(entry + from, n - from);
    const auto b = DecodeInstruction(tramp + to, ravelin::hook::kRelayOffset - to);
    Check(a && b);
    const std::uint64_t at = entryAddress + from, moved = block + to;
    switch (a->kind) {
      case Kind::Jump8:
        Check(b->kind == Kind::Jump32);
        break;
      case Kind::Jcc8:
        Check(b->kind == Kind::Jcc32 &&
              (tramp[to + b->prefixLength + 1] & 0x0F) == (entry[from + a->prefixLength] & 0x0F));
        break;
      default:
        Check(b->kind == a->kind && b->length == a->length);
        break;
    }
    if (a->kind != Kind::Plain && a->kind != Kind::Return) {
      const std::uint64_t target = Referenced(entry + from, *a, at);
      Check(Referenced(tramp + to, *b, moved) == target);
      if (a->kind != Kind::RipRelative) Check(target - entryAddress >= n);  // never into the overwritten bytes
    } else {
      Check(std::equal(entry + from, entry + from + a->length, tramp + to));
    }
    Check(!a->endsFlow || from + a->length >= ravelin::hook::kPatchSize);
    from += a->length;
    to += b->length;
  }
  Check(from == n && to < ravelin::hook::kRelayOffset);
  // Then the jump back, and the relay to the detour.
  const auto back = DecodeInstruction(tramp + to, ravelin::hook::kRelayOffset - to);
  Check(back && back->kind == Kind::RipRelative && back->length == 6 && tramp[to] == 0xFF && tramp[to + 1] == 0x25);
  const auto read64 = [](const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
  };
  Check(Field(tramp + to, *back) == 0 && read64(tramp + to + 6) == entryAddress + n);
  const std::uint8_t* relay = tramp + ravelin::hook::kRelayOffset;
  Check(relay[0] == 0xFF && relay[1] == 0x25 && relay[2] == 0 && relay[3] == 0 && relay[4] == 0 && relay[5] == 0);
  Check(read64(relay + 6) == detour);
  Check(plan->relayAddress == block + ravelin::hook::kRelayOffset);

  // A thread held anywhere in the overwritten bytes goes to the start of a
  // copy, and from there back to the start of the instruction it copies.
  for (std::size_t offset = 0; offset < n; ++offset) {
    const std::uint64_t moved = ravelin::hook::MovedOnAttach(*plan, entryAddress + offset);
    Check(moved >= block && moved < block + to);
    const std::uint64_t back = ravelin::hook::MovedOnDetach(*plan, moved);
    Check(back <= entryAddress + offset && back > entryAddress + offset - ravelin::hook::kMaxInstructionLength);
    Check(ravelin::hook::MovedOnAttach(*plan, back) == moved);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each instruction in turn, as a disassembler walks the bytes.
  for (std::size_t offset = 0; offset < size;) {
    const auto insn = DecodeCopy(data + offset, size - offset);
    if (!insn) {
      ++offset;
      continue;
    }
    CheckInstruction(data + offset, size - offset, *insn);
    offset += insn->length;
  }

  // A hook of the bytes as an entry, with the block near, far below and at
  // the edge of reach.
  constexpr std::uint64_t kEntry = 0x7FF812345000;
  constexpr std::uint64_t kDetour = 0x140001000;
  for (std::uint64_t block : {kEntry - 0x1000, kEntry + 0x400, kEntry - 0x7FFFFF00, kEntry + 0x7FFFFF00}) {
    CheckPlan(data, size, kEntry, block, kDetour);
  }
  return 0;
}
