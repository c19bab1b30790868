// Reading a minidump: the header, the stream directory, and the streams that
// say what crashed where (exception, module list, system information). A
// dump comes from a player's machine, so its bytes are untrusted: every
// offset and size is checked against them, and what is kept never grows
// beyond a small multiple of their size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

struct MinidumpException {
  std::uint32_t threadId = 0;  // the thread that faulted
  std::uint32_t code = 0;
  std::uint32_t flags = 0;
  std::uint64_t address = 0;
  std::vector<std::uint64_t> parameters;  // at most 15
};

struct MinidumpModule {
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  std::wstring name;  // the path as the process knew it
};

struct MinidumpSystem {
  std::uint16_t architecture = 0;  // PROCESSOR_ARCHITECTURE_*
  std::uint8_t processors = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

struct Minidump {
  std::optional<MinidumpException> exception;  // none in a dump taken without a crash
  std::optional<MinidumpSystem> system;
  std::vector<MinidumpModule> modules;
};

struct MinidumpRead {
  std::optional<Minidump> dump;
  std::string error;  // why there is no dump
};

MinidumpRead ReadMinidump(std::span<const std::uint8_t> bytes);

// The module whose image holds `address`; null when none does.
const MinidumpModule* ModuleAt(const Minidump& dump, std::uint64_t address);

// A module path's file name: what follows its last backslash or slash.
std::wstring_view ModuleFileName(std::wstring_view path);

// What a common exception code means ("access violation"); empty for others.
std::string_view ExceptionCodeName(std::uint32_t code);

// "x64", "x86", "ARM64" and the like; empty for an unknown architecture.
std::string_view ArchitectureName(std::uint16_t architecture);

}  // namespace ravelin
