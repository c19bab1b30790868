// dump FILE [--json]: what a crash dump says crashed where, and the modules
// the process had loaded.
#include <cinttypes>
#include <cstdio>
#include <span>

#include "app/minidump.h"
#include "common/utf8.h"
#include "tool/commands.h"
#include "tool/json_writer.h"

namespace ravelin::tool {
namespace {

std::string Hex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%0*" PRIX64, digits, value);
  return text;
}

std::wstring Wide(std::string_view text) { return FromUtf8(text); }

// A name from the dump on one line of its own: controls as \xNN, so a
// crafted name cannot pass for more lines; backslashes stay as in a path.
std::string OneLine(std::wstring_view text) {
  std::string out;
  for (const char c : ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", unsigned{byte});
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// "ravelin.exe+0x1620"; empty when no module holds the address.
std::wstring Location(const Minidump& dump, std::uint64_t address) {
  const MinidumpModule* module = ModuleAt(dump, address);
  if (module == nullptr) return {};
  return std::wstring(ModuleFileName(module->name)) + L"+" + Wide(Hex(address - module->base, 0));
}

// Access violations and in-page errors say what was done at which address.
std::string Access(const MinidumpException& e) {
  if ((e.code != 0xC0000005 && e.code != 0xC0000006) || e.parameters.size() < 2) return {};
  const char* what = e.parameters[0] == 0 ? "read" : e.parameters[0] == 1 ? "write" : "execute";
  return std::string(what) + " at " + Hex(e.parameters[1], 16);
}

std::string SystemText(const MinidumpSystem& s) {
  char text[96];
  const std::string_view arch = ArchitectureName(s.architecture);
  std::snprintf(text, sizeof(text), "Windows %u.%u.%u %s, %u processors", unsigned{s.major}, unsigned{s.minor},
                unsigned{s.build}, arch.empty() ? "unknown architecture" : std::string(arch).c_str(),
                unsigned{s.processors});
  return text;
}

void PrintPlain(const Minidump& dump) {
  if (const auto& e = dump.exception) {
    const std::string_view name = ExceptionCodeName(e->code);
    std::printf("exception: %s%s%s\n", Hex(e->code, 8).c_str(), name.empty() ? "" : " ", std::string(name).c_str());
    const std::wstring location = Location(dump, e->address);
    std::printf("address: %s %s\n", Hex(e->address, 16).c_str(),
                location.empty() ? "(in no listed module)" : OneLine(location).c_str());
    const std::string access = Access(*e);
    if (!access.empty()) std::printf("access: %s\n", access.c_str());
    std::printf("thread: %u\n", unsigned{e->threadId});
  } else {
    std::puts("exception: none (the dump has no exception record)");
  }
  if (dump.system) std::printf("system: %s\n", SystemText(*dump.system).c_str());
  std::printf("modules: %zu\n", dump.modules.size());
  for (const MinidumpModule& m : dump.modules) {
    std::printf("  %s %s %s\n", Hex(m.base, 16).c_str(), Hex(m.size, 8).c_str(), OneLine(m.name).c_str());
  }
}

std::string JsonOrNull(const std::wstring& text) { return text.empty() ? "null" : Json(text); }

void PrintJson(const Minidump& dump) {
  std::string out = "{\"exception\": ";
  if (const auto& e = dump.exception) {
    out += "{\"code\": " + Json(Wide(Hex(e->code, 8))) + ", \"name\": " + JsonOrNull(Wide(ExceptionCodeName(e->code))) +
           ", \"address\": " + Json(Wide(Hex(e->address, 16))) +
           ", \"location\": " + JsonOrNull(Location(dump, e->address)) +
           ", \"access\": " + JsonOrNull(Wide(Access(*e))) + ", \"thread\": " + std::to_string(e->threadId) + "}";
  } else {
    out += "null";
  }
  out += ", \"system\": " + (dump.system ? Json(Wide(SystemText(*dump.system))) : std::string("null"));
  out += ", \"modules\": [";
  for (std::size_t i = 0; i < dump.modules.size(); ++i) {
    const MinidumpModule& m = dump.modules[i];
    if (i != 0) out += ", ";
    out += "{\"name\": " + Json(m.name) + ", \"base\": " + Json(Wide(Hex(m.base, 16))) +
           ", \"size\": " + Json(Wide(Hex(m.size, 8))) + "}";
  }
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int ShowCrashDump(const Args& argv) {
  bool json = false;
  for (std::size_t i = 3; i < argv.size(); ++i) {
    if (argv[i] != L"--json") return UsageError();
    json = true;
  }
  const std::optional<std::string> bytes = ReadWholeFile(argv[2]);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", ToUtf8(argv[2]).c_str());
    return 2;
  }
  const MinidumpRead read =
      ReadMinidump(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
  if (!read.dump) {
    std::fprintf(stderr, "bad crash dump: %s\n", read.error.c_str());
    return 1;
  }
  if (json) {
    PrintJson(*read.dump);
  } else {
    PrintPlain(*read.dump);
  }
  return 0;
}

}  // namespace ravelin::tool
