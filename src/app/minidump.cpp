#include "app/minidump.h"

#include <cstdio>

namespace ravelin {
namespace {

constexpr std::uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr std::uint32_t kVersion = 0xA793;        // the low half of the version field
constexpr std::uint64_t kHeaderSize = 32;
constexpr std::uint64_t kDirectoryEntrySize = 12;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;
constexpr std::uint64_t kExceptionRecordSize = 160;  // thread id to the last parameter
constexpr std::uint32_t kMaxParameters = 15;
constexpr std::uint64_t kModuleSize = 108;
constexpr std::uint64_t kSystemInfoSize = 20;  // up to the build number

std::string Format(const char* format, auto... values) {
  char text[200];
  std::snprintf(text, sizeof(text), format, values...);
  return text;
}

using Ull = unsigned long long;

// Little-endian fields at offsets the caller has checked with Has.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

  std::uint64_t Size() const { return m_bytes.size(); }
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
  }
  std::uint64_t Read(std::uint64_t offset, int width) const {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | m_bytes[offset + static_cast<std::uint64_t>(i)];
    return value;
  }
  std::uint16_t U16(std::uint64_t offset) const { return static_cast<std::uint16_t>(Read(offset, 2)); }
  std::uint32_t U32(std::uint64_t offset) const { return static_cast<std::uint32_t>(Read(offset, 4)); }
  std::uint64_t U64(std::uint64_t offset) const { return Read(offset, 8); }

 private:
  std::span<const std::uint8_t> m_bytes;
};

struct Stream {
  std::uint32_t size = 0;
  std::uint32_t rva = 0;
};

// UTF-16 code units as wide text; a lone surrogate becomes U+FFFD.
std::wstring FromUtf16(const std::vector<std::uint16_t>& units) {
  std::wstring text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t unit = units[i];
    if constexpr (sizeof(wchar_t) == 2) {
      text += static_cast<wchar_t>(unit);
    } else if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
               units[i + 1] < 0xE000) {
      text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
      ++i;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      text += static_cast<wchar_t>(0xFFFD);
    } else {
      text += static_cast<wchar_t>(unit);
    }
  }
  return text;
}

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : m_in(bytes) {}

  MinidumpRead Read() {
    Minidump dump;
    if (!ReadDirectory() || !ReadException(dump) || !ReadModules(dump) || !ReadSystem(dump)) {
      return {std::nullopt, m_error};
    }
    return {std::move(dump), {}};
  }

 private:
  bool Fail(std::string error) {
    m_error = std::move(error);
    return false;
  }

  bool ReadDirectory() {
    if (m_in.Size() < kHeaderSize) {
      return Fail(Format("the file is %llu bytes, shorter than a minidump header (32)", Ull{m_in.Size()}));
    }
    if (m_in.U32(0) != kSignature) return Fail("not a minidump: the file does not start with MDMP");
    if ((m_in.U32(4) & 0xFFFF) != kVersion) {
      return Fail(Format("unknown minidump version 0x%X (0xA793 expected)", unsigned{m_in.U32(4) & 0xFFFF}));
    }
    const std::uint32_t count = m_in.U32(8);
    const std::uint32_t rva = m_in.U32(12);
    if (!m_in.Has(rva, count * kDirectoryEntrySize)) {
      return Fail(Format("the stream directory (%u entries at 0x%X) runs past the end of the file (0x%llX bytes)",
                         unsigned{count}, unsigned{rva}, Ull{m_in.Size()}));
    }
    // The first stream of each kind counts, as for the system's reader.
    for (std::uint64_t at = rva, end = rva + count * kDirectoryEntrySize; at < end; at += kDirectoryEntrySize) {
      std::optional<Stream>* slot = SlotFor(m_in.U32(at));
      if (slot != nullptr && !*slot) *slot = Stream{m_in.U32(at + 4), m_in.U32(at + 8)};
    }
    return true;
  }

  std::optional<Stream>* SlotFor(std::uint32_t type) {
    switch (type) {
      case kExceptionStream:
        return &m_exception;
      case kModuleListStream:
        return &m_modules;
      case kSystemInfoStream:
        return &m_system;
      default:
        return nullptr;
    }
  }

  // The stream's bytes lie in the file and are at least `minimum` long.
  bool CheckStream(const Stream& stream, const char* name, std::uint64_t minimum) {
    if (!m_in.Has(stream.rva, stream.size)) {
      return Fail(Format("the %s stream (0x%X bytes at 0x%X) runs past the end of the file (0x%llX bytes)", name,
                         unsigned{stream.size}, unsigned{stream.rva}, Ull{m_in.Size()}));
    }
    if (stream.size < minimum) {
      return Fail(Format("the %s stream is 0x%X bytes, too short (0x%llX at least)", name, unsigned{stream.size},
                         Ull{minimum}));
    }
    return true;
  }

  bool ReadException(Minidump& dump) {
    if (!m_exception) return true;
    const Stream& s = *m_exception;
    if (!CheckStream(s, "exception", kExceptionRecordSize)) return false;
    MinidumpException e;
    e.threadId = m_in.U32(s.rva);
    e.code = m_in.U32(s.rva + 8);
    e.flags = m_in.U32(s.rva + 12);
    e.address = m_in.U64(s.rva + 24);
    const std::uint32_t count = m_in.U32(s.rva + 32);
    if (count > kMaxParameters) {
      return Fail(Format("the exception record claims %u parameters (at most 15)", unsigned{count}));
    }
    for (std::uint32_t i = 0; i < count; ++i) e.parameters.push_back(m_in.U64(s.rva + 40 + 8 * std::uint64_t{i}));
    dump.exception = std::move(e);
    return true;
  }

  bool ReadModules(Minidump& dump) {
    if (!m_modules) return true;
    const Stream& s = *m_modules;
    if (!CheckStream(s, "module list", 4)) return false;
    const std::uint32_t count = m_in.U32(s.rva);
    // Some writers pad the count to eight bytes.
    const std::uint64_t first = s.size == 8 + count * kModuleSize ? 8 : 4;
    const std::uint64_t room = (s.size - first) / kModuleSize;
    if (count > room) {
      return Fail(Format("the module list claims %u modules but has room for %llu", unsigned{count}, Ull{room}));
    }
    // Names are copied out, so a crafted dump could name every module with
    // the same long string: all names together may not outgrow the file.
    std::uint64_t budget = m_in.Size();
    dump.modules.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t at = s.rva + first + i * kModuleSize;
      MinidumpModule module;
      module.base = m_in.U64(at);
      module.size = m_in.U32(at + 8);
      if (!ReadName(m_in.U32(at + 20), i, budget, module.name)) return false;
      dump.modules.push_back(std::move(module));
    }
    return true;
  }

  bool ReadName(std::uint32_t rva, std::uint32_t module, std::uint64_t& budget, std::wstring& name) {
    if (!m_in.Has(rva, 4) || !m_in.Has(rva + std::uint64_t{4}, m_in.U32(rva))) {
      return Fail(
          Format("the name of module %u (at 0x%X) runs past the end of the file", unsigned{module}, unsigned{rva}));
    }
    const std::uint32_t length = m_in.U32(rva);
    if (length % 2 != 0) {
      return Fail(
          Format("the name of module %u is %u bytes: not whole UTF-16 characters", unsigned{module}, unsigned{length}));
    }
    if (length > budget) return Fail("the module names are longer than the file: a crafted dump");
    budget -= length;
    std::vector<std::uint16_t> units(length / 2);
    for (std::size_t k = 0; k < units.size(); ++k) units[k] = m_in.U16(rva + 4 + 2 * std::uint64_t{k});
    name = FromUtf16(units);
    return true;
  }

  bool ReadSystem(Minidump& dump) {
    if (!m_system) return true;
    const Stream& s = *m_system;
    if (!CheckStream(s, "system information", kSystemInfoSize)) return false;
    MinidumpSystem system;
    system.architecture = m_in.U16(s.rva);
    system.processors = static_cast<std::uint8_t>(m_in.Read(s.rva + 6, 1));
    system.major = m_in.U32(s.rva + 8);
    system.minor = m_in.U32(s.rva + 12);
    system.build = m_in.U32(s.rva + 16);
    dump.system = system;
    return true;
  }

  Bytes m_in;
  std::string m_error;
  std::optional<Stream> m_exception;
  std::optional<Stream> m_modules;
  std::optional<Stream> m_system;
};

}  // namespace

MinidumpRead ReadMinidump(std::span<const std::uint8_t> bytes) { return Reader(bytes).Read(); }

const MinidumpModule* ModuleAt(const Minidump& dump, std::uint64_t address) {
  for (const MinidumpModule& module : dump.modules) {
    if (address >= module.base && address - module.base < module.size) return &module;
  }
  return nullptr;
}

std::wstring_view ModuleFileName(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

std::string_view ExceptionCodeName(std::uint32_t code) {
  switch (code) {
    case 0x80000002:
      return "datatype misalignment";
    case 0x80000003:
      return "breakpoint";
    case 0x80000004:
      return "single step";
    case 0xC0000005:
      return "access violation";
    case 0xC0000006:
      return "in-page error";
    case 0xC000001D:
      return "illegal instruction";
    case 0xC0000025:
      return "noncontinuable exception";
    case 0xC0000026:
      return "invalid disposition";
    case 0xC000008C:
      return "array bounds exceeded";
    case 0xC000008D:
      return "float denormal operand";
    case 0xC000008E:
      return "float divide by zero";
    case 0xC000008F:
      return "float inexact result";
    case 0xC0000090:
      return "float invalid operation";
    case 0xC0000091:
      return "float overflow";
    case 0xC0000092:
      return "float stack check";
    case 0xC0000093:
      return "float underflow";
    case 0xC0000094:
      return "integer divide by zero";
    case 0xC0000095:
      return "integer overflow";
    case 0xC0000096:
      return "privileged instruction";
    case 0xC00000FD:
      return "stack overflow";
    case 0xC0000374:
      return "heap corruption";
    case 0xC0000409:
      return "stack buffer overrun";
    case 0xC0000417:
      return "invalid C runtime parameter";
    case 0xE06D7363:
      return "C++ exception (Visual C++)";
    default:
      return {};
  }
}

std::string_view ArchitectureName(std::uint16_t architecture) {
  switch (architecture) {
    case 0:
      return "x86";
    case 5:
      return "ARM";
    case 9:
      return "x64";
    case 12:
      return "ARM64";
    default:
      return {};
  }
}

}  // namespace ravelin
