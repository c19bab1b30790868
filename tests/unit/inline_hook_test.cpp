#include "sound/inline_hook.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace ravelin::hook {
namespace {

using Kind = Instruction::Kind;
using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const char* text) {
  Bytes out;
  std::istringstream in(text);
  unsigned value = 0;
  while (in >> std::hex >> value) out.push_back(static_cast<std::uint8_t>(value));
  return out;
}

std::string HexText(const std::uint8_t* data, std::size_t size) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", data[i]);
    text += byte;
  }
  return text;
}
std::string HexText(const Bytes& b) { return HexText(b.data(), b.size()); }

// ---------------------------------------------------------------------------
// Decoder

TEST(InlineHookDecode, InstructionTable) {
  struct Row {
    const char* name;
    const char* bytes;
    std::size_t length;  // 0: not decoded
    Kind kind = Kind::Plain;
    std::size_t fieldOffset = 0;
    std::size_t immediateAfterDisp = 0;
    bool endsFlow = false;
  };
  const Row rows[] = {
      // Prologues and everyday code.
      {"push rbx", "53", 1},
      {"push r12", "41 54", 2},
      {"mov [rsp+8],rbx (SIB, disp8)", "48 89 5c 24 08", 5},
      {"sub rsp,0x20", "48 83 ec 20", 4},
      {"sub rsp,0x128 (imm32)", "48 81 ec 28 01 00 00", 7},
      {"mov r11,rsp", "4c 8b dc", 3},
      {"mov eax,[rbp+disp32]", "8b 85 78 56 34 12", 6},
      {"SIB without base: mov eax,[rax*4+disp32]", "8b 04 85 44 33 22 11", 7},
      {"SIB base rbp with mod 01", "8b 44 05 08", 4},
      {"r12 base still takes a SIB", "41 8b 04 24", 4},
      {"r13 index, no base: disp32", "43 8b 04 2d 11 22 33 44", 8},
      {"r13 base with mod 01", "41 8b 45 00", 4},
      {"endbr64", "f3 0f 1e fa", 4},
      {"nop dword [rax+rax+0]", "0f 1f 44 00 00", 5},
      {"14 prefixes and a nop: 15 bytes", "2e 2e 2e 2e 2e 2e 2e 2e 2e 2e 2e 2e 2e 2e 90", 15},
      {"16 bytes is too long", "66 66 66 66 66 66 66 66 66 66 66 66 66 66 66 90", 0},
      {"mov rax,cr0 ignores mod", "0f 20 05", 3},
      {"xchg ax,ax with REX ahead of 66: the REX is dropped", "48 66 90", 3},
      // Immediates.
      {"66: add cx,imm16", "66 81 c1 34 12", 5},
      {"66: mov ax,imm16", "66 b8 34 12", 4},
      {"66: push imm16", "66 68 34 12", 4},
      {"66: test ax,imm16", "66 a9 34 12", 4},
      {"REX.W outweighs 66: add rcx,imm32", "66 48 81 c1 78 56 34 12", 8},
      {"REX before 66 is ignored: mov ax,imm16", "48 66 b8 34 12", 5},
      {"mov eax,imm32", "b8 01 00 00 00", 5},
      {"mov rax,imm64", "48 b8 88 77 66 55 44 33 22 11", 10},
      {"mov r11,imm64", "49 bb 88 77 66 55 44 33 22 11", 10},
      {"66 and REX.W: mov rax,imm64", "66 48 b8 88 77 66 55 44 33 22 11", 11},
      {"imul eax,ecx,imm8", "6b c1 10", 3},
      {"imul eax,ecx,imm32", "69 c1 00 01 00 00", 6},
      {"test cl,1 (F6 /0)", "f6 c1 01", 3},
      {"neg cl (F6 /3, no immediate)", "f6 d9", 2},
      {"test ecx,imm32 (F7 /0)", "f7 c1 00 00 01 00", 6},
      {"66 test cx,imm16 (F7 /0)", "66 f7 c1 34 12", 5},
      {"neg eax (F7 /3)", "f7 d8", 2},
      {"div dword [rsp+8] (F7 /6)", "f7 74 24 08", 4},
      {"enter 0x20,1", "c8 20 00 01", 4},
      {"mov eax,[moffs64]", "a1 88 77 66 55 44 33 22 11", 9},
      {"mov [moffs64],rax", "48 a3 88 77 66 55 44 33 22 11", 10},
      {"67: mov al,[moffs32]", "67 a0 44 33 22 11", 6},
      {"pshufd xmm0,xmm1,imm8", "66 0f 70 c1 1b", 5},
      {"shld eax,ecx,imm8", "0f a4 c8 04", 4},
      {"bt dword [rax],imm8", "0f ba 20 05", 4},
      {"extrq xmm0,4,8 (two immediate bytes)", "66 0f 78 c0 04 08", 6},
      {"pshufb xmm0,xmm1 (0F 38)", "66 0f 38 00 c1", 5},
      {"crc32 eax,ecx (0F 38)", "f2 0f 38 f1 c1", 5},
      {"palignr xmm0,xmm1,8 (0F 3A)", "66 0f 3a 0f c1 08", 6},
      {"xabort 1", "c6 f8 01", 3},
      {"int 0x29", "cd 29", 2},
      // RIP-relative operands.
      {"lea rcx,[rip+x]", "48 8d 0d 10 20 30 00", 7, Kind::RipRelative, 3},
      {"mov rax,[rip+x]", "48 8b 05 10 20 30 00", 7, Kind::RipRelative, 3},
      {"mov eax,[rip+x], REX.B does not make it r13", "41 8b 05 10 20 30 00", 7, Kind::RipRelative, 3},
      {"mov dword [rip+x],imm32", "c7 05 10 20 30 00 01 00 00 00", 10, Kind::RipRelative, 2, 4},
      {"66 mov word [rip+x],imm16", "66 c7 05 10 20 30 00 34 12", 9, Kind::RipRelative, 3, 2},
      {"mov qword [rip+x],imm32", "48 c7 05 10 20 30 00 01 00 00 00", 11, Kind::RipRelative, 3, 4},
      {"cmp byte [rip+x],imm8", "80 3d 10 20 30 00 00", 7, Kind::RipRelative, 2, 1},
      {"test dword [rip+x],imm32 (F7 /0)", "f7 05 10 20 30 00 08 00 00 00", 10, Kind::RipRelative, 2, 4},
      {"not dword [rip+x] (F7 /2)", "f7 15 10 20 30 00", 6, Kind::RipRelative, 2},
      {"movups xmm0,[rip+x]", "0f 10 05 10 20 30 00", 7, Kind::RipRelative, 3},
      {"pshufb xmm0,[rip+x]", "66 0f 38 00 05 10 20 30 00", 9, Kind::RipRelative, 5},
      {"palignr xmm0,[rip+x],8", "66 0f 3a 0f 05 10 20 30 00 08", 10, Kind::RipRelative, 5, 1},
      {"call [rip+x]", "ff 15 10 20 30 00", 6, Kind::RipRelative, 2},
      {"jmp [rip+x] ends the flow", "ff 25 10 20 30 00", 6, Kind::RipRelative, 2, 0, true},
      {"rex.W jmp [rip+x]", "48 ff 25 10 20 30 00", 7, Kind::RipRelative, 3, 0, true},
      {"[eip+x] with 67 cannot move", "67 8b 05 10 20 30 00", 7, Kind::Unrelocatable, 3},
      // Branches and returns.
      {"jmp rel8", "eb 10", 2, Kind::Jump8, 1, 0, true},
      {"jmp rel32", "e9 00 01 00 00", 5, Kind::Jump32, 1, 0, true},
      {"je rel8", "74 05", 2, Kind::Jcc8, 1},
      {"jg rel8", "7f fe", 2, Kind::Jcc8, 1},
      {"hinted je rel8", "2e 74 05", 3, Kind::Jcc8, 2},
      {"jne rel32", "0f 85 00 02 00 00", 6, Kind::Jcc32, 2},
      {"call rel32", "e8 f0 ff ff ff", 5, Kind::Call32, 1},
      {"66 REX.W call rel32", "66 48 e8 f0 ff ff ff", 7, Kind::Call32, 3},
      {"66 jmp rel8 truncates rip on some processors", "66 eb 00", 3, Kind::Unrelocatable, 2, 0, true},
      {"66 jmp: rel16 or rel32 by vendor", "66 e9 00 00 00 00", 0},
      {"66 jcc: rel16 or rel32 by vendor", "66 0f 84 00 00 00 00", 0},
      {"loop", "e2 fe", 2, Kind::Unrelocatable, 1},
      {"loopne", "e0 fe", 2, Kind::Unrelocatable, 1},
      {"jrcxz", "e3 10", 2, Kind::Unrelocatable, 1},
      {"xbegin", "c7 f8 00 01 00 00", 6, Kind::Unrelocatable, 2},
      {"ret", "c3", 1, Kind::Return, 0, 0, true},
      {"rep ret", "f3 c3", 2, Kind::Return, 0, 0, true},
      {"ret 8", "c2 08 00", 3, Kind::Return, 0, 0, true},
      {"far ret", "cb", 1, Kind::Return, 0, 0, true},
      {"jmp rax", "ff e0", 2, Kind::Plain, 0, 0, true},
      {"jmp r11", "41 ff e3", 3, Kind::Plain, 0, 0, true},
      {"jmp [rax]", "ff 20", 2, Kind::Plain, 0, 0, true},
      {"call rax", "ff d0", 2},
      {"ud2", "0f 0b", 2, Kind::Plain, 0, 0, true},
      // Not instructions of 64-bit mode, or not decoded here.
      {"push es", "06", 0},
      {"pop es", "07", 0},
      {"push cs", "0e", 0},
      {"push ss", "16", 0},
      {"pop ss", "17", 0},
      {"push ds", "1e", 0},
      {"pop ds", "1f", 0},
      {"daa", "27", 0},
      {"das", "2f", 0},
      {"aaa", "37", 0},
      {"aas", "3f", 0},
      {"pusha", "60", 0},
      {"popa", "61", 0},
      {"EVEX", "62 f1 7c 48 10 c1", 0},
      {"82 alias of 80", "82 c0 01", 0},
      {"far call ptr16:32", "9a 00 00 00 00 00 00", 0},
      {"VEX3 vpbroadcastd", "c4 e2 79 58 c1", 0},
      {"VEX2 vzeroupper", "c5 f8 77", 0},
      {"into", "ce", 0},
      {"aam", "d4 0a", 0},
      {"aad", "d5 0a", 0},
      {"salc", "d6", 0},
      {"far jmp ptr16:32", "ea 00 00 00 00 00 00", 0},
      {"3DNow!", "0f 0f c1 9e", 0},
      {"0F 04", "0f 04", 0},
      {"jmpe without F3", "0f b8 c0", 0},
      {"XOP", "8f e8 78 c2 c1 01", 0},
      {"lea with a register operand", "8d c0", 0},
      {"FE /2", "fe 10", 0},
      {"FF /7", "ff 38", 0},
      {"far call through a register", "ff d8", 0},
      {"C6 /1", "c6 c8 00", 0},
      {"unknown 0F 38 opcode", "0f 38 50 c1", 0},
      {"only prefixes", "66 f3 48", 0},
      {"nothing", "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes bytes = Hex(row.bytes);
    const auto insn = DecodeInstruction(bytes.data(), bytes.size());
    if (row.length == 0) {
      EXPECT_FALSE(insn.has_value());
      continue;
    }
    ASSERT_TRUE(insn.has_value());
    ASSERT_EQ(bytes.size(), row.length) << "table row is inconsistent";
    EXPECT_EQ(insn->length, row.length);
    EXPECT_EQ(insn->kind, row.kind);
    if (row.kind != Kind::Plain && row.kind != Kind::Return) {
      EXPECT_EQ(insn->fieldOffset, row.fieldOffset);
    }
    if (row.kind == Kind::RipRelative) {
      EXPECT_EQ(insn->immediateAfterDisp, row.immediateAfterDisp);
    }
    EXPECT_EQ(insn->endsFlow, row.endsFlow);

    // Whatever follows does not change the instruction; a byte less never decodes.
    Bytes longer = bytes;
    longer.resize(bytes.size() + 16, 0x0F);
    const auto again = DecodeInstruction(longer.data(), longer.size());
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->length, row.length);
    EXPECT_EQ(again->kind, row.kind);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      EXPECT_FALSE(DecodeInstruction(bytes.data(), cut).has_value()) << "truncated to " << cut;
    }
  }
}

// ---------------------------------------------------------------------------
// Planning

constexpr std::uint64_t kEntry = 0x7FF800001000;
constexpr std::uint64_t kNearBlock = kEntry - 0x1000;
constexpr std::uint64_t kDetour = 0x555500001234;

Bytes AbsoluteJump(std::uint64_t destination) {
  Bytes out = {0xFF, 0x25, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(destination >> (8 * i)));
  return out;
}

std::int32_t Rel32At(const Bytes& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes[at + static_cast<std::size_t>(i)];
  return static_cast<std::int32_t>(v);
}

TEST(InlineHookPlan, AcceptedEntries) {
  // Block 0x1000 below the entry: a relocated rel32 grows by 0x1000, less
  // the instruction's offset gained or lost in the trampoline.
  struct Row {
    const char* name;
    const char* entry;
    std::size_t originalSize;
    const char* trampoline;  // without the jump back
    std::uint64_t block = kNearBlock;
  };
  const Row rows[] = {
      {"Wine waveOutWrite: pushes, sub rsp", "55 57 56 53 48 83 ec 48 48 8d 3d e1 a1 00 00", 8,
       "55 57 56 53 48 83 ec 48"},
      {"mov [rsp+8],rbx", "48 89 5c 24 08 57 48 83 ec 20", 5, "48 89 5c 24 08"},
      {"mov r11,rsp; sub rsp,imm32", "4c 8b dc 48 81 ec 88 00 00 00 cc", 10, "4c 8b dc 48 81 ec 88 00 00 00"},
      {"import thunk jmp [rip+x]", "ff 25 10 20 00 00 cc cc", 6, "ff 25 10 30 00 00"},
      {"mov rax,[rip-0x10]", "48 8b 05 f0 ff ff ff c3", 7, "48 8b 05 f0 0f 00 00"},
      {"push rbx; lea rcx,[rip+0x100]", "53 48 8d 0d 00 01 00 00 c3", 8, "53 48 8d 0d 00 11 00 00"},
      {"cmp byte [rip+x],imm8: disp counts from after the immediate", "80 3d 00 01 00 00 00 75 02", 7,
       "80 3d 00 11 00 00 00"},
      {"mov dword [rip-8],imm32", "c7 05 f8 ff ff ff 01 00 00 00 c3", 10, "c7 05 f8 0f 00 00 01 00 00 00"},
      {"entry already a jmp rel32", "e9 00 01 00 00 cc", 5, "e9 00 11 00 00"},
      {"push rbx; call rel32 to before the entry", "53 e8 f0 ff ff ff 5b c3", 6, "53 e8 f0 0f 00 00"},
      {"je rel8 widened to rel32", "85 c9 74 10 48 8b c1 c3", 7, "85 c9 0f 84 0c 10 00 00 48 8b c1"},
      {"jmp rel8 as the fifth byte widened", "90 90 90 eb 10", 5, "90 90 90 e9 0d 10 00 00"},
      {"hinted je rel8 keeps its prefix", "2e 74 05 48 89 c8 c3", 6, "2e 0f 84 01 10 00 00 48 89 c8"},
      {"jne rel32", "0f 85 00 02 00 00", 6, "0f 85 00 12 00 00"},
      {"je rel8 with nine prefixes widens to 15 bytes", "3e 3e 3e 3e 3e 3e 3e 3e 3e 74 10", 11,
       "3e 3e 3e 3e 3e 3e 3e 3e 3e 0f 84 0c 10 00 00"},
      {"ret as the fifth byte", "90 90 90 90 c3", 5, "90 90 90 90 c3"},
      {"block above the entry", "48 8b 05 00 01 00 00", 7, "48 8b 05 00 f1 ff ff", kEntry + 0x1000},
      // The relay is at the block's +48: the jmp at the entry reaches exactly INT32_MAX / INT32_MIN.
      {"block at the far edge above", "48 89 5c 24 08", 5, "48 89 5c 24 08", kEntry + 5 - 48 + INT32_MAX},
      {"block at the far edge below", "48 89 5c 24 08", 5, "48 89 5c 24 08",
       kEntry + 5 - 48 - (std::uint64_t{1} << 31)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes entry = Hex(row.entry);
    const auto result = PlanHook(entry.data(), entry.size(), kEntry, row.block, kDetour);
    ASSERT_TRUE(std::holds_alternative<HookPlan>(result)) << std::get<std::string>(result);
    const HookPlan& plan = std::get<HookPlan>(result);
    ASSERT_EQ(plan.original.size(), row.originalSize);
    EXPECT_EQ(plan.original, Bytes(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(row.originalSize)));
    EXPECT_EQ(plan.trampolineAddress, row.block);
    EXPECT_EQ(plan.relayAddress, row.block + kRelayOffset);

    ASSERT_EQ(plan.patch.size(), plan.original.size());
    EXPECT_EQ(plan.patch[0], 0xE9);
    EXPECT_EQ(kEntry + 5 + static_cast<std::uint64_t>(std::int64_t{Rel32At(plan.patch, 1)}), plan.relayAddress);
    for (std::size_t i = 5; i < plan.patch.size(); ++i) EXPECT_EQ(plan.patch[i], 0xCC);

    Bytes expected = Hex(row.trampoline);
    const Bytes back = AbsoluteJump(kEntry + row.originalSize);
    expected.insert(expected.end(), back.begin(), back.end());
    expected.resize(kRelayOffset, 0xCC);
    const Bytes relay = AbsoluteJump(kDetour);
    expected.insert(expected.end(), relay.begin(), relay.end());
    expected.resize(kBlockSize, 0xCC);
    EXPECT_EQ(HexText(plan.block), HexText(expected));
  }
}

TEST(InlineHookPlan, RipRelativeOperandKeepsItsAddress) {
  // mov rax,[rip+0x12345678] at the entry; the trampoline elsewhere must still
  // read entry+7+0x12345678.
  const Bytes entry = Hex("48 8b 05 78 56 34 12 c3");
  const std::uint64_t referenced = kEntry + 7 + 0x12345678;
  for (std::uint64_t block : {kEntry - 0x10000000, kEntry + 0x200000, kEntry - 64}) {
    const auto result = PlanHook(entry.data(), entry.size(), kEntry, block, kDetour);
    ASSERT_TRUE(std::holds_alternative<HookPlan>(result)) << std::get<std::string>(result);
    const Bytes& tramp = std::get<HookPlan>(result).block;
    EXPECT_EQ(block + 7 + static_cast<std::uint64_t>(std::int64_t{Rel32At(tramp, 3)}), referenced) << std::hex << block;
  }
}

TEST(InlineHookPlan, Refusals) {
  struct Row {
    const char* name;
    const char* entry;
    const char* reason;  // a part of the text
    std::uint64_t block = kNearBlock;
    std::size_t available = SIZE_MAX;  // all of the entry
  };
  const Row rows[] = {
      {"ret first", "c3 cc cc cc cc cc", "ends"},
      {"lea eax,[rdi+1]; ret", "8d 47 01 c3 cc cc", "ends"},
      {"ret 8 first", "c2 08 00 cc cc cc", "ends"},
      {"jmp to itself", "eb fe cc cc cc cc", "ends"},
      {"jmp rax", "ff e0 cc cc cc cc", "ends"},
      {"ud2", "0f 0b cc cc cc cc", "ends"},
      {"loop in the first bytes", "48 ff c9 e2 fb c3", "move"},
      {"jrcxz", "e3 10 90 90 90 90", "move"},
      {"xbegin", "c7 f8 00 01 00 00", "move"},
      {"[eip+x]", "67 8b 05 10 20 30 00", "move"},
      {"VEX", "c5 f8 77 c3 cc cc", "decode"},
      {"invalid opcode after a good one", "53 06 90 90 90", "decode"},
      {"cut short", "48 89 5c 24 08", "decode", kNearBlock, 3},
      {"je rel8 with ten prefixes would widen past 15 bytes", "3e 3e 3e 3e 3e 3e 3e 3e 3e 3e 74 10", "widen"},
      {"jne to itself", "75 fe 90 90 90", "lands"},
      {"je into the copied bytes", "74 01 90 90 90 90", "lands"},
      {"call to the entry", "53 e8 fa ff ff ff", "lands"},
      {"block 4 GB away", "48 89 5c 24 08", "2 GB", kEntry + 0x100000000},
      {"block one past the far edge above", "48 89 5c 24 08", "2 GB", kEntry + 5 - 48 + INT32_MAX + 1},
      {"block one past the far edge below", "48 89 5c 24 08", "2 GB", kEntry + 5 - 48 - (std::uint64_t{1} << 31) - 1},
      {"rip-relative data out of the block's reach", "48 8b 05 00 00 00 70", "reach", kEntry - 0x7FFF0000},
      {"jmp rel32 out of the block's reach", "e9 00 00 00 70", "reach", kEntry - 0x7FFF0000},
      {"widened je out of the block's reach", "85 c9 74 7f 48 8b c1", "reach", kEntry - 0x80000000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes entry = Hex(row.entry);
    const auto result = PlanHook(entry.data(), std::min(row.available, entry.size()), kEntry, row.block, kDetour);
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_NE(std::get<std::string>(result).find(row.reason), std::string::npos) << std::get<std::string>(result);
  }
}

// ---------------------------------------------------------------------------
// Held threads

TEST(InlineHookThreads, AHeldThreadGoesOnAtTheSameInstructionInTheTrampolineAndBack) {
  struct Row {
    const char* name;
    const char* entry;
    std::vector<std::pair<std::size_t, std::size_t>> starts;  // each instruction: at the entry, in the trampoline
    std::size_t overwritten;
    std::size_t copied;  // where the jump back starts
  };
  const std::vector<Row> rows = {
      {"pushes, then sub rsp",
       "55 57 56 53 48 83 ec 48 48 8d 3d e1 a1 00 00",
       {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}},
       8,
       8},
      {"je rel8 widened by 4 bytes", "85 c9 74 10 48 8b c1 c3", {{0, 0}, {2, 2}, {4, 8}}, 7, 11},
      {"rip-relative load", "48 8b 05 f0 ff ff ff c3", {{0, 0}}, 7, 7},
      {"jmp rel8 as the fifth byte", "90 90 90 eb 10", {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, 5, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes entry = Hex(row.entry);
    const auto result = PlanHook(entry.data(), entry.size(), kEntry, kNearBlock, kDetour);
    ASSERT_TRUE(std::holds_alternative<HookPlan>(result)) << std::get<std::string>(result);
    const HookPlan& plan = std::get<HookPlan>(result);
    // The instruction (its index in `starts`) that holds `offset`, by its starts at the entry or in the trampoline.
    const auto holding = [&row](std::size_t offset, bool inTrampoline) {
      std::size_t i = 0;
      while (i + 1 < row.starts.size() &&
             (inTrampoline ? row.starts[i + 1].second : row.starts[i + 1].first) <= offset) {
        ++i;
      }
      return row.starts[i];
    };

    for (std::size_t offset = 0; offset < row.overwritten; ++offset) {
      EXPECT_EQ(MovedOnAttach(plan, kEntry + offset), kNearBlock + holding(offset, false).second) << "+" << offset;
      EXPECT_EQ(MovedOnDetach(plan, kEntry + offset), kEntry + offset);
    }
    for (std::size_t offset = 0; offset < kBlockSize; ++offset) {
      std::uint64_t expected = kNearBlock + offset;  // the relay and the filler
      if (offset < row.copied) {
        expected = kEntry + holding(offset, true).first;
      } else if (offset < row.copied + kAbsoluteJumpSize) {
        expected = kEntry + row.overwritten;
      }
      EXPECT_EQ(MovedOnDetach(plan, kNearBlock + offset), expected) << "trampoline +" << offset;
      EXPECT_EQ(MovedOnAttach(plan, kNearBlock + offset), kNearBlock + offset);
    }
    for (std::uint64_t outside : {kEntry - 1, kEntry + row.overwritten, kNearBlock - 1, kNearBlock + kBlockSize}) {
      EXPECT_EQ(MovedOnAttach(plan, outside), outside) << std::hex << outside;
      EXPECT_EQ(MovedOnDetach(plan, outside), outside) << std::hex << outside;
    }
  }
}

// ---------------------------------------------------------------------------
// Writing code

// Pages of 16 bytes over a plain buffer, with made-up protection values.
class FakePages : public MemoryOps {
 public:
  static constexpr std::size_t kPage = 16;
  static constexpr std::uint32_t kWritable = 0x99;

  explicit FakePages(std::vector<std::uint32_t> protections)
      : bytes(protections.size() * kPage + kPage), protection(std::move(protections)), madeWritable(protection.size()) {
    // Page-aligned start inside the buffer.
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    base = bytes.data() + (kPage - at % kPage) % kPage;
    std::memset(bytes.data(), 0xAA, bytes.size());
  }
  std::size_t PageOf(const void* page) const {
    return static_cast<std::size_t>(static_cast<const std::uint8_t*>(page) - base) / kPage;
  }

  std::size_t PageSize() const override { return kPage; }
  void* MapNear(const void*, std::size_t*) override { return nullptr; }
  std::optional<std::uint32_t> MakeWritable(void* page) override {
    const std::size_t i = PageOf(page);
    if (i == refused) return std::nullopt;
    ++madeWritable[i];
    return std::exchange(protection[i], kWritable);
  }
  void Restore(void* page, std::uint32_t value) override { protection[PageOf(page)] = value; }
  bool Seal(void*, std::size_t) override { return false; }
  void FlushCode(const void* at, std::size_t size) override { flushed.emplace_back(at, size); }

  std::vector<std::uint8_t> bytes;
  std::uint8_t* base = nullptr;
  std::vector<std::uint32_t> protection;
  std::vector<int> madeWritable;
  std::size_t refused = SIZE_MAX;
  std::vector<std::pair<const void*, std::size_t>> flushed;
};

TEST(InlineHookWrite, EveryPageGetsBackItsOwnProtection) {
  constexpr std::uint32_t RX = 0x20, R = 0x02, RWX = 0x40, X = 0x10;
  struct Row {
    const char* name;
    std::size_t at;
    std::size_t size;
    std::vector<std::uint32_t> protections;
    std::size_t refused = SIZE_MAX;
  };
  const Row rows[] = {
      {"inside one page", 2, 5, {RX, R, RWX, RX}},
      {"across two pages that differ", 13, 6, {RX, R, RWX, RX}},
      {"across three pages", 30, 19, {RX, RWX, R, X}},
      {"the second page refuses", 13, 6, {RX, R, RWX, RX}, 1},
      {"the first page refuses", 13, 6, {RX, R, RWX, RX}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePages pages(row.protections);
    pages.refused = row.refused;
    const Bytes code(row.size, 0x5B);
    const bool wrote = WriteCode(pages, pages.base + row.at, code.data(), code.size());

    EXPECT_EQ(pages.protection, row.protections);
    const std::size_t first = row.at / FakePages::kPage, last = (row.at + row.size - 1) / FakePages::kPage;
    for (std::size_t i = 0; i < row.protections.size(); ++i) {
      const bool touched = i >= first && i <= last && (row.refused == SIZE_MAX || i < row.refused);
      EXPECT_EQ(pages.madeWritable[i], touched ? 1 : 0) << "page " << i;
    }
    for (std::size_t i = 0; i < row.protections.size() * FakePages::kPage; ++i) {
      const bool inside = wrote && i >= row.at && i < row.at + row.size;
      ASSERT_EQ(pages.base[i], inside ? 0x5B : 0xAA) << "byte " << i;
    }
    EXPECT_EQ(wrote, row.refused == SIZE_MAX);
    if (wrote) {
      EXPECT_EQ(pages.flushed, (std::vector<std::pair<const void*, std::size_t>>{{pages.base + row.at, row.size}}));
    }
  }
}

// Regions at made-up addresses: the pool never touches block memory.
class FakeRegions : public MemoryOps {
 public:
  std::size_t PageSize() const override { return 0x1000; }
  void* MapNear(const void* near, std::size_t* size) override {
    asked.push_back(near);
    if (regions.empty()) return nullptr;
    const auto [at, bytes] = regions.front();
    regions.erase(regions.begin());
    *size = bytes;
    return reinterpret_cast<void*>(at);
  }
  std::optional<std::uint32_t> MakeWritable(void*) override { return std::nullopt; }
  void Restore(void*, std::uint32_t) override {}
  bool Seal(void*, std::size_t) override { return false; }
  void FlushCode(const void*, std::size_t) override {}

  std::vector<std::pair<std::uintptr_t, std::size_t>> regions;
  std::vector<const void*> asked;
};

TEST(InlineHookBlocks, EachBlockHasAPageOfItsOwnWithinReach) {
  const auto near = reinterpret_cast<const void*>(std::uintptr_t{0x7FF800000000});
  const auto farAway = reinterpret_cast<const void*>(std::uintptr_t{0x7FF800000000} + 4 * kBlockReach);
  FakeRegions memory;
  memory.regions = {{0x7FF7FFFF0000, 0x3000}, {0x7FF7FFFE0000, 0x1000}, {0x7FF900000000, 0x2000}};
  BlockPool pool(memory);
  const std::vector<std::uintptr_t> expected = {0x7FF7FFFF0000, 0x7FF7FFFF1000, 0x7FF7FFFF2000, 0x7FF7FFFE0000};
  for (std::uintptr_t block : expected) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pool.Take(near)), block);
  EXPECT_EQ(memory.asked.size(), 2u) << "a region is used up before the next is mapped";
  EXPECT_EQ(pool.Take(farAway), nullptr) << "the next region is out of reach of this function";
  EXPECT_EQ(pool.Take(near), nullptr) << "nothing left to map";
  EXPECT_EQ(memory.asked.size(), 4u);
}

// ---------------------------------------------------------------------------
// End to end: hand-written functions in mapped memory, hooked and called.

#if defined(__x86_64__)

using IntFunction = int (*)(int);

IntFunction g_next = nullptr;
int g_detourCalls = 0;

int TimesTen(int x) {
  ++g_detourCalls;
  return g_next(x) * 10;
}

IntFunction g_nextOuter = nullptr;
int PlusOne(int x) { return g_nextOuter(x) + 1; }

void* FunctionAddress(IntFunction f) { return reinterpret_cast<void*>(f); }
IntFunction AsFunction(void* p) { return reinterpret_cast<IntFunction>(p); }

// One region: code in the first page, data in the second, blocks after them.
class CodeRegion : public MemoryOps {
 public:
  static constexpr std::size_t kSize = 0x20000;
  static constexpr std::size_t kData = 0x1000;
  static constexpr std::size_t kBlocks = 0x2000;
  static constexpr std::size_t kMapped = 0x4000;  // what each MapNear hands out

  CodeRegion() {
    void* p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
    if (base_) std::memset(base_, 0xCC, kSize);
  }
  ~CodeRegion() override {
    if (base_) munmap(base_, kSize);
  }
  std::uint8_t* At(std::size_t offset) const { return base_ + offset; }
  void Put(std::size_t offset, const Bytes& bytes) { std::memcpy(base_ + offset, bytes.data(), bytes.size()); }
  bool Seal() { return mprotect(base_, kSize, PROT_READ | PROT_EXEC) == 0; }

  std::size_t PageSize() const override { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
  void* MapNear(const void* near, std::size_t* size) override {
    if (!giveBlocks || mapped_ + kMapped > kSize) return nullptr;
    EXPECT_GE(static_cast<const std::uint8_t*>(near), base_);
    EXPECT_LT(static_cast<const std::uint8_t*>(near), base_ + kSize);
    std::uint8_t* region = base_ + mapped_;
    if (mprotect(region, kMapped, PROT_READ | PROT_WRITE) != 0) return nullptr;
    mapped_ += kMapped;
    *size = kMapped;
    return region;
  }
  std::optional<std::uint32_t> MakeWritable(void* page) override {
    if (watched) seen.push_back(*watched);
    if (writesLeft == 0) return std::nullopt;
    if (writesLeft > 0) --writesLeft;
    if (mprotect(page, PageSize(), PROT_READ | PROT_WRITE) != 0) return std::nullopt;
    return PROT_READ | PROT_EXEC;
  }
  void Restore(void* page, std::uint32_t protection) override {
    mprotect(page, PageSize(), static_cast<int>(protection));
  }
  bool Seal(void* at, std::size_t size) override {
    if (!sealable) return false;
    const auto page = PageSize();
    const auto start = reinterpret_cast<std::uintptr_t>(at) & ~(page - 1);
    return mprotect(reinterpret_cast<void*>(start), reinterpret_cast<std::uintptr_t>(at) + size - start,
                    PROT_READ | PROT_EXEC) == 0;
  }
  void FlushCode(const void* at, std::size_t size) override {
    auto* first = static_cast<char*>(const_cast<void*>(at));
    __builtin___clear_cache(first, first + size);
  }

  bool giveBlocks = true;
  bool sealable = true;
  int writesLeft = -1;       // pages that can be made writable; -1: all
  void** watched = nullptr;  // its value each time a page is made writable goes to `seen`
  std::vector<void*> seen;

 private:
  std::uint8_t* base_ = nullptr;
  std::size_t mapped_ = kBlocks;
};

struct HandFunction {
  const char* name;
  std::size_t offset;
  const char* code;
  int (*expected)(int);
};

// Displacements are from each instruction's end to its target in the region.
const HandFunction kFunctions[] = {
    // mov eax,[rip+0xffa] (data +0x1000: 1000); add eax,edi; ret
    {"rip-relative load first", 0x000, "8b 05 fa 0f 00 00 01 f8 c3", [](int x) { return 1000 + x; }},
    // push rbx; lea rbx,[rip+0xfc8] (data +0x1010: 2000); mov eax,[rbx]; add eax,edi; pop rbx; ret
    {"push then lea", 0x040, "53 48 8d 1d c8 0f 00 00 8b 03 01 f8 5b c3", [](int x) { return 2000 + x; }},
    // test edi,edi; jns +2; neg edi; mov eax,edi; ret
    {"short conditional jump in the prologue", 0x080, "85 ff 79 02 f7 df 89 f8 c3",
     [](int x) { return x < 0 ? -x : x; }},
    // cmp byte [rip+0xf5a],1 (data +0x1021, between two zero bytes); jne +4;
    // lea eax,[rdi+rdi]; ret; lea eax,[rdi+rdi*2]; ret
    {"rip-relative compare with an immediate", 0x0C0, "80 3d 5a 0f 00 00 01 75 04 8d 04 3f c3 8d 04 7f c3",
     [](int x) { return 2 * x; }},
    // push rbx; call +0x7a (+0x180: lea eax,[rdi+3]; ret); pop rbx; add eax,eax; ret
    {"call in the prologue", 0x100, "53 e8 7a 00 00 00 5b 01 c0 c3", [](int x) { return 2 * (x + 3); }},
    // jmp [rip+0xeea] (data +0x1030: address of +0x1c0: lea eax,[rdi+rdi*4]; ret)
    {"import thunk", 0x140, "ff 25 ea 0e 00 00", [](int x) { return 5 * x; }},
};

constexpr std::size_t kShortFunction = 0x200;  // lea eax,[rdi+1]; ret: too short to hook

bool Build(CodeRegion& region) {
  if (!region.At(0)) return false;
  for (const HandFunction& f : kFunctions) region.Put(f.offset, Hex(f.code));
  region.Put(0x180, Hex("8d 47 03 c3"));
  region.Put(0x1C0, Hex("8d 04 bf c3"));
  region.Put(kShortFunction, Hex("8d 47 01 c3"));
  const std::int32_t thousand = 1000, twoThousand = 2000;
  std::memcpy(region.At(0x1000), &thousand, 4);
  std::memcpy(region.At(0x1010), &twoThousand, 4);
  region.Put(0x1020, Hex("00 01 00"));
  const auto helper = reinterpret_cast<std::uint64_t>(region.At(0x1C0));
  std::memcpy(region.At(0x1030), &helper, 8);
  return region.Seal();
}

TEST(InlineHookLive, AttachCallDetach) {
  CodeRegion region;
  ASSERT_TRUE(Build(region));
  BlockPool blocks(region);
  for (const HandFunction& f : kFunctions) {
    SCOPED_TRACE(f.name);
    void* const entry = region.At(f.offset);
    const Bytes before(region.At(f.offset), region.At(f.offset) + 32);
    for (int x : {5, -7, 0}) ASSERT_EQ(AsFunction(entry)(x), f.expected(x)) << "the function as written, x=" << x;

    InlineHook hook;
    void* pointer = entry;
    std::string why;
    region.watched = &pointer;
    region.seen.clear();
    ASSERT_TRUE(hook.Attach(&pointer, FunctionAddress(&TimesTen), blocks, &why)) << why;
    region.watched = nullptr;
    EXPECT_TRUE(hook.Attached());
    EXPECT_NE(pointer, entry);
    EXPECT_EQ(pointer, hook.Trampoline());
    // The pointer leads to the trampoline before the entry jumps to the detour.
    EXPECT_EQ(region.seen, (std::vector<void*>{hook.Trampoline()}));
    g_next = AsFunction(pointer);
    g_detourCalls = 0;
    for (int x : {5, -7, 0}) {
      EXPECT_EQ(AsFunction(entry)(x), f.expected(x) * 10) << "through the detour, x=" << x;
      EXPECT_EQ(AsFunction(pointer)(x), f.expected(x)) << "the trampoline, x=" << x;
    }
    EXPECT_EQ(g_detourCalls, 3);

    // A second Attach on the same hook is refused.
    void* other = entry;
    EXPECT_FALSE(hook.Attach(&other, FunctionAddress(&TimesTen), blocks));
    EXPECT_EQ(other, entry);

    ASSERT_TRUE(hook.Detach(&pointer, region));
    EXPECT_FALSE(hook.Attached());
    EXPECT_EQ(pointer, entry);
    EXPECT_EQ(HexText(region.At(f.offset), 32), HexText(before));
    for (int x : {5, -7, 0}) EXPECT_EQ(AsFunction(entry)(x), f.expected(x)) << "after Detach, x=" << x;
    EXPECT_FALSE(hook.Detach(&pointer, region)) << "a second Detach";
  }
}

TEST(InlineHookLive, FailedAttachChangesNothing) {
  struct Row {
    const char* name;
    std::size_t function;
    bool giveBlocks;
    bool sealable;
    int writesLeft;
    const char* reason;
  };
  const Row rows[] = {
      {"function too short", kShortFunction, true, true, -1, "ends"},
      {"no block near the function", 0x000, false, true, -1, "2 GB"},
      {"the trampoline cannot be sealed", 0x000, true, false, -1, "trampoline"},
      {"the entry cannot be written", 0x000, true, true, 0, "entry"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CodeRegion region;
    ASSERT_TRUE(Build(region));
    BlockPool blocks(region);
    region.giveBlocks = row.giveBlocks;
    region.sealable = row.sealable;
    region.writesLeft = row.writesLeft;
    void* const entry = region.At(row.function);
    const Bytes before(region.At(row.function), region.At(row.function) + 32);
    const int expected = AsFunction(entry)(41);

    InlineHook hook;
    void* pointer = entry;
    std::string why;
    EXPECT_FALSE(hook.Attach(&pointer, FunctionAddress(&TimesTen), blocks, &why));
    EXPECT_NE(why.find(row.reason), std::string::npos) << why;
    EXPECT_FALSE(hook.Attached());
    EXPECT_EQ(pointer, entry);
    EXPECT_EQ(HexText(region.At(row.function), 32), HexText(before));
    EXPECT_EQ(AsFunction(entry)(41), expected);
    EXPECT_FALSE(hook.Detach(&pointer, region));
  }
}

TEST(InlineHookLive, DetachLeavesAForeignPatchAlone) {
  CodeRegion region;
  ASSERT_TRUE(Build(region));
  BlockPool blocks(region);
  void* const entry = region.At(0x000);
  InlineHook hook;
  void* pointer = entry;
  ASSERT_TRUE(hook.Attach(&pointer, FunctionAddress(&TimesTen), blocks));
  const Bytes ours(region.At(0), region.At(0) + 6);

  const std::uint8_t breakpoint = 0xCC;
  ASSERT_TRUE(WriteCode(region, entry, &breakpoint, 1));
  EXPECT_FALSE(hook.Detach(&pointer, region));
  EXPECT_TRUE(hook.Attached());
  EXPECT_EQ(*region.At(0), 0xCC);
  EXPECT_NE(pointer, entry);

  ASSERT_TRUE(WriteCode(region, entry, ours.data(), 1));
  ASSERT_TRUE(hook.Detach(&pointer, region));
  EXPECT_EQ(HexText(region.At(0), 9), "8b 05 fa 0f 00 00 01 f8 c3");
}

TEST(InlineHookLive, ARetiredTrampolineIsNeverReusedAndStillRuns) {
  // A thread may still be in the trampoline of a hook just taken off: the
  // block keeps its code and no later hook gets it.
  CodeRegion region;
  ASSERT_TRUE(Build(region));
  BlockPool blocks(region);
  std::vector<std::pair<void*, Bytes>> retired;
  for (const HandFunction& f : kFunctions) {
    SCOPED_TRACE(f.name);
    void* const entry = region.At(f.offset);
    for (int round = 0; round < 2; ++round) {
      InlineHook hook;
      void* pointer = entry;
      ASSERT_TRUE(hook.Attach(&pointer, FunctionAddress(&TimesTen), blocks));
      for (const auto& [block, bytes] : retired) EXPECT_NE(hook.Trampoline(), block);
      auto* const trampoline = static_cast<std::uint8_t*>(hook.Trampoline());
      ASSERT_TRUE(hook.Detach(&pointer, region));
      retired.emplace_back(trampoline, Bytes(trampoline, trampoline + kBlockSize));
      EXPECT_EQ(AsFunction(trampoline)(9), f.expected(9)) << "a call through the retired trampoline";
    }
  }
  for (const auto& [block, bytes] : retired) {
    const auto* code = static_cast<const std::uint8_t*>(block);
    EXPECT_EQ(HexText(code, kBlockSize), HexText(bytes));
  }
}

TEST(InlineHookLive, HookOverAnotherHook) {
  // Something else hooked the function first; our hook moves its jump into
  // our trampoline, and both detours run, ours first.
  CodeRegion region;
  ASSERT_TRUE(Build(region));
  BlockPool blocks(region);
  void* const entry = region.At(0x040);
  const Bytes before(region.At(0x040), region.At(0x040) + 16);
  InlineHook inner, outer;
  void* innerPointer = entry;
  void* outerPointer = entry;
  ASSERT_TRUE(inner.Attach(&innerPointer, FunctionAddress(&TimesTen), blocks));
  g_next = AsFunction(innerPointer);
  std::string why;
  ASSERT_TRUE(outer.Attach(&outerPointer, FunctionAddress(&PlusOne), blocks, &why)) << why;
  g_nextOuter = AsFunction(outerPointer);

  EXPECT_EQ(AsFunction(entry)(1), 2001 * 10 + 1);
  EXPECT_EQ(AsFunction(outerPointer)(1), 2001 * 10);
  EXPECT_EQ(AsFunction(innerPointer)(1), 2001);
  EXPECT_FALSE(inner.Detach(&innerPointer, region)) << "the entry holds the other hook's jump";

  ASSERT_TRUE(outer.Detach(&outerPointer, region));
  EXPECT_EQ(AsFunction(entry)(1), 2001 * 10);
  ASSERT_TRUE(inner.Detach(&innerPointer, region));
  EXPECT_EQ(HexText(region.At(0x040), 16), HexText(before));
  EXPECT_EQ(AsFunction(entry)(1), 2001);
}

#endif  // __x86_64__

}  // namespace
}  // namespace ravelin::hook
