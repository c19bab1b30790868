#include "sound/inline_hook.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace ravelin::hook {
namespace {

using Kind = Instruction::Kind;

// What follows an opcode (and its ModRM, SIB and displacement, if any).
enum class Imm : std::uint8_t {
  None,
  Byte,      // ib
  Word,      // iw
  WordByte,  // iw ib (enter)
  TwoBytes,  // ib ib (extrq, insertq)
  Z,         // iw with the 66 prefix, else id
  V,         // iw with 66, iq with REX.W, else id (mov r, imm)
  Offset,    // moffs: 8 bytes, 4 with the 67 prefix
  Rel8,
  Rel32,
};

struct Layout {
  bool valid = true;
  bool modrm = false;
  Imm imm = Imm::None;
};

constexpr Layout kBad{false, false, Imm::None};
constexpr Layout kNone{true, false, Imm::None};
constexpr Layout kM{true, true, Imm::None};
constexpr Layout kMIb{true, true, Imm::Byte};
constexpr Layout kMIz{true, true, Imm::Z};
constexpr Layout Only(Imm imm) { return {true, false, imm}; }

// The opcode tables keep one line per group of opcodes.
// clang-format off
bool IsLegacyPrefix(std::uint8_t b) {
  switch (b) {
    case 0x66: case 0x67: case 0xF0: case 0xF2: case 0xF3:
    case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65:
      return true;
    default:
      return false;
  }
}

bool In(std::uint8_t op, std::uint8_t first, std::uint8_t last) { return op >= first && op <= last; }

// The one-byte map of 64-bit mode. Prefixes, REX and 0F are taken earlier.
Layout OneByteLayout(std::uint8_t op) {
  if (op < 0x40) {
    switch (op & 7) {
      case 0: case 1: case 2: case 3: return kM;  // add, or, adc, sbb, and, sub, xor, cmp
      case 4: return Only(Imm::Byte);              // ... al, ib
      case 5: return Only(Imm::Z);                 // ... eax, iz
      default: return kBad;                        // push/pop es/cs/ss/ds, daa, das, aaa, aas
    }
  }
  if (In(op, 0x50, 0x5F)) return kNone;  // push, pop
  if (In(op, 0x70, 0x7F)) return Only(Imm::Rel8);
  if (In(op, 0x84, 0x8F)) return kM;  // test, xchg, mov, lea, pop r/m
  if (In(op, 0x90, 0x99) || In(op, 0x9B, 0x9F)) return kNone;
  if (In(op, 0xA0, 0xA3)) return Only(Imm::Offset);
  if (In(op, 0xA4, 0xA7) || In(op, 0xAA, 0xAF)) return kNone;  // string instructions
  if (In(op, 0xB0, 0xB7)) return Only(Imm::Byte);
  if (In(op, 0xB8, 0xBF)) return Only(Imm::V);
  if (In(op, 0xD0, 0xD3) || In(op, 0xD8, 0xDF)) return kM;  // shifts by 1 or cl, x87
  if (In(op, 0xE0, 0xE3) || op == 0xEB) return Only(Imm::Rel8);
  if (In(op, 0xE4, 0xE7)) return Only(Imm::Byte);  // in, out with a port number
  if (In(op, 0xEC, 0xEF) || In(op, 0xF8, 0xFD)) return kNone;
  switch (op) {
    case 0x63: return kM;  // movsxd
    case 0x68: return Only(Imm::Z);
    case 0x69: return kMIz;
    case 0x6A: return Only(Imm::Byte);
    case 0x6B: return kMIb;
    case 0x6C: case 0x6D: case 0x6E: case 0x6F: return kNone;
    case 0x80: case 0x83: return kMIb;
    case 0x81: return kMIz;
    case 0xA8: return Only(Imm::Byte);
    case 0xA9: return Only(Imm::Z);
    case 0xC0: case 0xC1: return kMIb;
    case 0xC2: case 0xCA: return Only(Imm::Word);
    case 0xC3: case 0xC9: case 0xCB: case 0xCC: case 0xCF: return kNone;
    case 0xC6: return kMIb;
    case 0xC7: return kMIz;
    case 0xC8: return Only(Imm::WordByte);
    case 0xCD: return Only(Imm::Byte);
    case 0xD7: return kNone;  // xlat
    case 0xE8: case 0xE9: return Only(Imm::Rel32);
    case 0xF1: case 0xF4: case 0xF5: return kNone;
    case 0xF6: case 0xF7: case 0xFE: case 0xFF: return kM;  // immediates of group 3 depend on ModRM.reg
    default:
      // 60-62 (pusha, popa, EVEX), 82, 9A, C4/C5 (VEX), CE, D4-D6, EA: not
      // instructions of 64-bit mode, or encodings not decoded here.
      return kBad;
  }
}

// The 0F map. `opsizeOrRepne`: a 66 or F2 prefix is present.
Layout TwoByteLayout(std::uint8_t op, bool opsizeOrRepne, bool rep) {
  if (In(op, 0x10, 0x23) || In(op, 0x28, 0x2F) || In(op, 0x40, 0x6F) || In(op, 0x74, 0x76) ||
      In(op, 0x7C, 0x7F) || In(op, 0x90, 0x9F) || In(op, 0xB0, 0xB7) || In(op, 0xBB, 0xC1) || op == 0xC3 ||
      op == 0xC7 || In(op, 0xD0, 0xFF)) {
    return kM;
  }
  if (In(op, 0x80, 0x8F)) return Only(Imm::Rel32);
  if (In(op, 0x70, 0x73) || In(op, 0xC4, 0xC6) || op == 0xC2 || op == 0xA4 || op == 0xAC || op == 0xBA) return kMIb;
  if (In(op, 0xC8, 0xCF) || In(op, 0x30, 0x35) || In(op, 0x05, 0x09)) return kNone;  // bswap, msr/tsc, syscall...
  switch (op) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x0D:
    case 0x79: case 0xA3: case 0xA5: case 0xAB: case 0xAD: case 0xAE: case 0xAF: case 0xB9:
      return kM;
    case 0x0B: case 0x37: case 0x77: case 0xA0: case 0xA1: case 0xA2: case 0xA8: case 0xA9: case 0xAA:
      return kNone;
    case 0x78:  // vmread; with 66 or F2 extrq/insertq, which take two immediate bytes
      return opsizeOrRepne ? Layout{true, true, Imm::TwoBytes} : kM;
    case 0xB8:  // popcnt needs F3; without it this is jmpe, absent in 64-bit mode
      return rep ? kM : kBad;
    default:
      // 04, 0A, 0C, 0E/0F (3DNow!), 24-27, 36, 39, 3B-3F, 7A, 7B, A6, A7.
      return kBad;
  }
}

// 0F 38 xx: ModRM, no immediate. The non-VEX opcodes in use.
bool KnownMap38(std::uint8_t op) {
  return In(op, 0x00, 0x0B) || op == 0x10 || op == 0x14 || op == 0x15 || op == 0x17 || In(op, 0x1C, 0x1E) ||
         In(op, 0x20, 0x25) || In(op, 0x28, 0x2B) || In(op, 0x30, 0x35) || In(op, 0x37, 0x41) ||
         In(op, 0x80, 0x82) || In(op, 0xC8, 0xCF) || In(op, 0xDB, 0xDF) || In(op, 0xF0, 0xF6) || op == 0xF8 ||
         op == 0xF9;
}

// 0F 3A xx: ModRM and an imm8. The non-VEX opcodes in use.
bool KnownMap3A(std::uint8_t op) {
  return In(op, 0x08, 0x0F) || In(op, 0x14, 0x17) || In(op, 0x20, 0x22) || In(op, 0x40, 0x42) || op == 0x44 ||
         In(op, 0x60, 0x63) || op == 0xCC || op == 0xCE || op == 0xCF || op == 0xDF;
}
// clang-format on

std::int32_t Read32(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  return static_cast<std::int32_t>(v);
}

void Write32(std::uint8_t* p, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Write64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The rel32 that reaches `target` from an instruction ending at `end`.
std::optional<std::int32_t> Rel32(std::uint64_t end, std::uint64_t target) {
  const auto distance = static_cast<std::int64_t>(target - end);
  if (distance < INT32_MIN || distance > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(distance);
}

void PutAbsoluteJump(std::uint8_t* p, std::uint64_t destination) {
  const std::uint8_t head[6] = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(p, head, sizeof head);
  Write64(p + 6, destination);
}

bool IsBranch(Kind kind) {
  return kind == Kind::Jump8 || kind == Kind::Jump32 || kind == Kind::Jcc8 || kind == Kind::Jcc32 ||
         kind == Kind::Call32;
}

std::string At(std::size_t offset, const std::uint8_t* entry, std::size_t available) {
  std::string text = "+" + std::to_string(offset) + " (";
  const std::size_t shown = std::min<std::size_t>(available - offset, 4);
  for (std::size_t i = 0; i < shown; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", entry[offset + i]);
    text += hex;
  }
  return text + (available - offset > shown ? " ...)" : ")");
}

}  // namespace

std::optional<Instruction> DecodeInstruction(const std::uint8_t* code, std::size_t available) {
  const std::size_t limit = std::min(available, kMaxInstructionLength);
  std::size_t pos = 0;
  bool opsize = false;
  bool addrsize = false;
  bool repne = false;
  bool rep = false;
  std::uint8_t rex = 0;
  for (;; ++pos) {
    if (pos >= limit) return std::nullopt;
    const std::uint8_t b = code[pos];
    if (IsLegacyPrefix(b)) {
      opsize |= b == 0x66;
      addrsize |= b == 0x67;
      repne |= b == 0xF2;
      rep |= b == 0xF3;
      rex = 0;  // a REX followed by another prefix is ignored
    } else if ((b & 0xF0) == 0x40) {
      rex = b;
    } else {
      break;
    }
  }
  const bool rexW = (rex & 0x08) != 0;

  Instruction insn;
  insn.prefixLength = pos;
  const std::uint8_t op = code[pos++];
  Layout layout;
  int map = 1;  // 1: one-byte map; 2: 0F; 38: 0F 38; 3A: 0F 3A
  std::uint8_t op2 = 0;
  if (op != 0x0F) {
    layout = OneByteLayout(op);
  } else {
    if (pos >= limit) return std::nullopt;
    op2 = code[pos++];
    if (op2 == 0x38 || op2 == 0x3A) {
      if (pos >= limit) return std::nullopt;
      const std::uint8_t op3 = code[pos++];
      map = op2 == 0x38 ? 0x38 : 0x3A;
      if (map == 0x38 ? !KnownMap38(op3) : !KnownMap3A(op3)) return std::nullopt;
      layout = map == 0x38 ? kM : kMIb;
    } else {
      map = 2;
      layout = TwoByteLayout(op2, opsize || repne, rep);
    }
  }
  if (!layout.valid) return std::nullopt;

  Imm imm = layout.imm;
  if (layout.modrm) {
    if (pos >= limit) return std::nullopt;
    const std::uint8_t modrm = code[pos++];
    const unsigned mod = modrm >> 6;
    const unsigned reg = (modrm >> 3) & 7;
    const unsigned rm = modrm & 7;
    const bool memory = mod != 3;

    if (map == 1) {
      switch (op) {
        case 0x8D:  // lea needs a memory operand
          if (!memory) return std::nullopt;
          break;
        case 0x8F:  // pop r/m is /0; the rest of the row is XOP
          if (reg != 0) return std::nullopt;
          break;
        case 0xC6:  // mov r/m8, ib; xabort ib
        case 0xC7:  // mov r/m, iz; xbegin rel16/32
          if (reg == 7 && modrm == 0xF8) {
            if (op == 0xC7) insn.kind = Kind::Unrelocatable;
          } else if (reg != 0) {
            return std::nullopt;
          }
          break;
        case 0xF6:  // test r/m, imm is /0 (and /1); not, neg, mul, div take none
          imm = reg < 2 ? Imm::Byte : Imm::None;
          break;
        case 0xF7:
          imm = reg < 2 ? Imm::Z : Imm::None;
          break;
        case 0xFE:  // inc, dec r/m8
          if (reg > 1) return std::nullopt;
          break;
        case 0xFF:
          if (reg == 7 || ((reg == 3 || reg == 5) && !memory)) return std::nullopt;  // far forms need memory
          insn.endsFlow = reg == 4 || reg == 5;
          break;
        default:
          break;
      }
    }

    // mov to and from control and debug registers: the operand is always a
    // register, whatever mod says.
    const bool registerOnly = map == 2 && In(op2, 0x20, 0x23);
    if (memory && !registerOnly) {
      if (rm == 4) {
        if (pos >= limit) return std::nullopt;
        const std::uint8_t sib = code[pos++];
        if (mod == 0 && (sib & 7) == 5) pos += 4;  // no base: disp32
      }
      if (mod == 0 && rm == 5) {
        // [rip+disp32]; with the 67 prefix [eip+disp32], which wraps at 4 GB
        // and would not address the same place from elsewhere.
        if (insn.kind == Kind::Plain) insn.kind = addrsize ? Kind::Unrelocatable : Kind::RipRelative;
        insn.fieldOffset = pos;
        pos += 4;
      } else if (mod == 1) {
        pos += 1;
      } else if (mod == 2) {
        pos += 4;
      }
    }
  }

  const std::size_t immStart = pos;
  // clang-format off
  switch (imm) {
    case Imm::None: break;
    case Imm::Byte: case Imm::Rel8: pos += 1; break;
    case Imm::Word: case Imm::TwoBytes: pos += 2; break;
    case Imm::WordByte: pos += 3; break;
    case Imm::Z: pos += opsize && !rexW ? 2 : 4; break;
    case Imm::V: pos += rexW ? 8 : opsize ? 2 : 4; break;
    case Imm::Offset: pos += addrsize ? 4 : 8; break;
    case Imm::Rel32: pos += 4; break;
  }
  // clang-format on
  if (pos > limit) return std::nullopt;
  insn.length = pos;
  if (insn.kind == Kind::RipRelative) insn.immediateAfterDisp = pos - immStart;

  if (imm == Imm::Rel8 || imm == Imm::Rel32) {
    insn.fieldOffset = immStart;
    if (map == 2) {
      insn.kind = Kind::Jcc32;
    } else if (In(op, 0x70, 0x7F)) {
      insn.kind = Kind::Jcc8;
    } else if (op == 0xEB) {
      insn.kind = Kind::Jump8;
    } else if (op == 0xE9) {
      insn.kind = Kind::Jump32;
    } else if (op == 0xE8) {
      insn.kind = Kind::Call32;
    } else {
      insn.kind = Kind::Unrelocatable;  // loop, loope, loopne, jrcxz
    }
    if (opsize && !rexW) {
      // With 66 (and no REX.W) a near branch truncates rip to 16 bits on some
      // processors and not on others, and AMD reads a rel16 where Intel reads
      // a rel32.
      if (imm == Imm::Rel32) return std::nullopt;
      insn.kind = Kind::Unrelocatable;
    }
    insn.endsFlow = op == 0xEB || op == 0xE9;
  } else if (insn.kind == Kind::Unrelocatable && map == 1 && op == 0xC7) {
    insn.fieldOffset = immStart;  // xbegin's rel
  }
  if (map == 1 && (op == 0xC2 || op == 0xC3 || op == 0xCA || op == 0xCB || op == 0xCF)) {
    insn.kind = Kind::Return;
    insn.endsFlow = true;
  }
  if (map == 2 && op2 == 0x0B) insn.endsFlow = true;  // ud2
  return insn;
}

std::variant<HookPlan, std::string> PlanHook(const std::uint8_t* entry, std::size_t available,
                                             std::uint64_t entryAddress, std::uint64_t blockAddress,
                                             std::uint64_t detourAddress) {
  HookPlan plan;
  plan.entryAddress = entryAddress;
  plan.trampolineAddress = blockAddress;
  plan.relayAddress = blockAddress + kRelayOffset;
  const auto patchRel = Rel32(entryAddress + kPatchSize, plan.relayAddress);
  if (!patchRel) return std::string("the block is not within 2 GB of the entry");

  struct Taken {
    Instruction insn;
    std::size_t offset;
  };
  std::vector<Taken> taken;
  std::size_t covered = 0;
  while (covered < kPatchSize) {
    const auto insn = DecodeInstruction(entry + covered, available - covered);
    if (!insn) return "cannot decode the instruction at " + At(covered, entry, available);
    if (insn->kind == Kind::Unrelocatable) return "cannot move the instruction at " + At(covered, entry, available);
    if (insn->endsFlow && covered + insn->length < kPatchSize) {
      return std::string(kTooSmallReason) + " at " + At(covered, entry, available) + ", before " +
             std::to_string(kPatchSize) + " bytes";
    }
    taken.push_back({*insn, covered});
    covered += insn->length;
  }
  const std::uint64_t entryEnd = entryAddress + covered;

  plan.block.assign(kBlockSize, 0xCC);
  std::size_t out = 0;
  for (const Taken& t : taken) {
    const Instruction& insn = t.insn;
    const std::uint8_t* source = entry + t.offset;
    const std::uint64_t from = entryAddress + t.offset;
    const std::uint64_t to = blockAddress + out;
    // Room for this instruction at its widest, and the jump back.
    if (out + insn.length + 4 + kAbsoluteJumpSize > kRelayOffset) return std::string("the trampoline does not fit");
    std::uint8_t* dest = plan.block.data() + out;
    const std::size_t copyStart = out;

    // What a branch or RIP-relative operand refers to, from the end of the instruction.
    std::int64_t field = 0;
    if (insn.kind == Kind::Jump8 || insn.kind == Kind::Jcc8) {
      field = static_cast<std::int8_t>(source[insn.fieldOffset]);
    } else if (insn.kind != Kind::Plain && insn.kind != Kind::Return) {
      field = Read32(source + insn.fieldOffset);
    }
    const std::uint64_t target = from + insn.length + static_cast<std::uint64_t>(field);
    if (IsBranch(insn.kind) && target - entryAddress < covered) {
      return "the branch at " + At(t.offset, entry, available) + " lands in the bytes the hook overwrites";
    }

    switch (insn.kind) {
      case Kind::Jump8:
      case Kind::Jcc8: {
        // rel8 cannot reach back from the block: widen to rel32, keeping the prefixes.
        std::memcpy(dest, source, insn.prefixLength);
        std::size_t n = insn.prefixLength;
        if (insn.kind == Kind::Jump8) {
          dest[n++] = 0xE9;
        } else {
          dest[n++] = 0x0F;
          dest[n++] = static_cast<std::uint8_t>(0x80 | (source[insn.prefixLength] & 0x0F));
        }
        if (n + 4 > kMaxInstructionLength) {
          return "too many prefixes to widen the branch at " + At(t.offset, entry, available);
        }
        const auto rel = Rel32(to + n + 4, target);
        if (!rel) return "the target of the branch at " + At(t.offset, entry, available) + " is out of reach";
        Write32(dest + n, *rel);
        out += n + 4;
        break;
      }
      case Kind::RipRelative:
      case Kind::Jump32:
      case Kind::Jcc32:
      case Kind::Call32: {
        std::memcpy(dest, source, insn.length);
        const auto rel = Rel32(to + insn.length, target);
        if (!rel) return "the operand of the instruction at " + At(t.offset, entry, available) + " is out of reach";
        Write32(dest + insn.fieldOffset, *rel);
        out += insn.length;
        break;
      }
      case Kind::Plain:
      case Kind::Return:
      case Kind::Unrelocatable:  // refused above
        std::memcpy(dest, source, insn.length);
        out += insn.length;
        break;
    }
    plan.moved.push_back({t.offset, insn.length, copyStart, out - copyStart});
  }
  PutAbsoluteJump(plan.block.data() + out, entryEnd);
  PutAbsoluteJump(plan.block.data() + kRelayOffset, detourAddress);

  plan.original.assign(entry, entry + covered);
  plan.patch.assign(covered, 0xCC);
  plan.patch[0] = 0xE9;
  Write32(plan.patch.data() + 1, *patchRel);
  return plan;
}

std::uint64_t MovedOnAttach(const HookPlan& plan, std::uint64_t ip) {
  const std::uint64_t offset = ip - plan.entryAddress;
  for (const MovedInstruction& m : plan.moved) {
    if (offset - m.from < m.length) return plan.trampolineAddress + m.to;
  }
  return ip;
}

std::uint64_t MovedOnDetach(const HookPlan& plan, std::uint64_t ip) {
  const std::uint64_t offset = ip - plan.trampolineAddress;
  for (const MovedInstruction& m : plan.moved) {
    if (offset - m.to < m.copyLength) return plan.entryAddress + m.from;
  }
  if (!plan.moved.empty()) {
    const MovedInstruction& last = plan.moved.back();
    if (offset - (last.to + last.copyLength) < kAbsoluteJumpSize) return plan.entryAddress + plan.original.size();
  }
  return ip;
}

bool WriteCode(MemoryOps& memory, void* target, const void* bytes, std::size_t size) {
  if (size == 0) return true;
  const std::uintptr_t page = memory.PageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(target);
  const std::uintptr_t first = start - start % page;
  const std::size_t pages = (start + size - first + page - 1) / page;
  // Patches are a few bytes: two pages at most with real page sizes.
  constexpr std::size_t kMaxPages = 8;
  std::uint32_t before[kMaxPages];
  if (pages > kMaxPages) return false;
  for (std::size_t i = 0; i < pages; ++i) {
    const auto protection = memory.MakeWritable(reinterpret_cast<void*>(first + i * page));
    if (!protection) {
      while (i-- > 0) memory.Restore(reinterpret_cast<void*>(first + i * page), before[i]);
      return false;
    }
    before[i] = *protection;
  }
  std::memcpy(target, bytes, size);
  for (std::size_t i = 0; i < pages; ++i) memory.Restore(reinterpret_cast<void*>(first + i * page), before[i]);
  memory.FlushCode(target, size);
  return true;
}

std::uint8_t* BlockPool::Take(const void* near) {
  const std::size_t page = memory_.PageSize();
  const std::size_t stride = (kBlockSize + page - 1) / page * page;
  const auto place = reinterpret_cast<std::uintptr_t>(near);
  const auto inReach = [place, stride](const std::uint8_t* at) {
    const auto low = reinterpret_cast<std::uintptr_t>(at);
    const std::uintptr_t high = low + stride;
    return (high > place ? high - place : place - low) <= kBlockReach;
  };
  for (Region& region : regions_) {
    if (region.end - region.next >= static_cast<std::ptrdiff_t>(stride) && inReach(region.next)) {
      return std::exchange(region.next, region.next + stride);
    }
  }
  std::size_t size = 0;
  auto* base = static_cast<std::uint8_t*>(memory_.MapNear(near, &size));
  if (!base || size < stride || !inReach(base)) return nullptr;
  regions_.push_back({base + stride, base + size});
  return base;
}

bool InlineHook::Attach(void** pointer, void* detour, BlockPool& blocks, std::string* why) {
  void* const function = pointer ? std::atomic_ref<void*>(*pointer).load(std::memory_order_acquire) : nullptr;
  if (!Prepare(function, detour, blocks, why)) return false;
  if (Patch(pointer, blocks.Memory())) return true;
  if (why) *why = "cannot write the jump at the function's entry";
  Forget();
  return false;
}

bool InlineHook::Detach(void** pointer, MemoryOps& memory) {
  if (!Unpatch(pointer, memory)) return false;
  Forget();
  return true;
}

void InlineHook::Forget() {
  target_ = nullptr;
  block_ = nullptr;
  plan_ = HookPlan{};
  patched_ = false;
}

bool InlineHook::Prepare(void* function, void* detour, BlockPool& blocks, std::string* why) {
  auto fail = [why](std::string reason) {
    if (why) *why = std::move(reason);
    return false;
  };
  if (block_) return fail("already attached");
  if (!function || !detour) return fail("no function or no detour");

  auto* target = static_cast<std::uint8_t*>(function);
  std::uint8_t* block = blocks.Take(target);
  if (!block) return fail("no memory within 2 GB of the function");
  // The planner reads the instructions it takes over (and a few bytes more
  // to quote when it refuses), not the whole limit. A refused plan leaves the
  // block unused; blocks are not handed out twice in any case.
  constexpr std::size_t kEntryReadLimit = 32;
  auto planned = PlanHook(target, kEntryReadLimit, reinterpret_cast<std::uintptr_t>(target),
                          reinterpret_cast<std::uintptr_t>(block), reinterpret_cast<std::uintptr_t>(detour));
  if (auto* reason = std::get_if<std::string>(&planned)) return fail(std::move(*reason));
  HookPlan& plan = std::get<HookPlan>(planned);
  std::memcpy(block, plan.block.data(), plan.block.size());
  if (!blocks.Memory().Seal(block, plan.block.size())) return fail("cannot seal the trampoline");
  blocks.Memory().FlushCode(block, plan.block.size());
  target_ = target;
  block_ = block;
  plan_ = std::move(plan);
  return true;
}

bool InlineHook::Patch(void** pointer, MemoryOps& memory) {
  if (!block_ || patched_ || !pointer) return false;
  if (std::memcmp(target_, plan_.original.data(), plan_.original.size()) != 0) return false;
  std::atomic_ref<void*> shared(*pointer);
  void* const previous = shared.exchange(block_, std::memory_order_acq_rel);
  if (!WriteCode(memory, target_, plan_.patch.data(), plan_.patch.size())) {
    shared.store(previous, std::memory_order_release);
    return false;
  }
  patched_ = true;
  return true;
}

bool InlineHook::Unpatch(void** pointer, MemoryOps& memory) {
  if (!patched_) return false;
  if (std::memcmp(target_, plan_.patch.data(), plan_.patch.size()) != 0) return false;
  if (!WriteCode(memory, target_, plan_.original.data(), plan_.original.size())) return false;
  if (pointer) std::atomic_ref<void*>(*pointer).store(target_, std::memory_order_release);
  patched_ = false;
  return true;
}

}  // namespace ravelin::hook
