#include "app/minidump.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ravelin {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& bytes, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> 8 * i);
}
void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) { Put(bytes, offset, value, 4); }

void Append(Bytes& bytes, std::uint64_t value, int width) {
  bytes.resize(bytes.size() + static_cast<std::size_t>(width));
  Put(bytes, bytes.size() - static_cast<std::size_t>(width), value, width);
}

struct ModuleEntry {
  std::uint64_t base;
  std::uint32_t size;
  std::u16string name;
};

struct DumpShape {
  bool exception = true;
  bool system = true;
  bool paddedModuleCount = false;  // the count in eight bytes, as some writers do
  std::vector<ModuleEntry> modules = {{0x140000000, 0x9BB000, u"C:\\Games\\ravelin.exe"},
                                      {0x7FF8A0000000, 0x1F0000, u"C:\\Windows\\ntdll.dll"}};
};

// Where the builder put things, for the cases that garble them.
struct Layout {
  std::size_t directory = 0;  // entries: system, exception, module list, an unused stream
  std::size_t system = 0;
  std::size_t exception = 0;
  std::size_t modules = 0;
  std::vector<std::size_t> names;
};
constexpr std::size_t kSystemEntry = 0, kExceptionEntry = 1, kModulesEntry = 2;

// A dump as the system writes one: header, directory, streams, and the
// module names last, so that every cut loses something that is needed.
Bytes BuildDump(const DumpShape& shape, Layout* layout = nullptr) {
  Layout at;
  Bytes b;
  Append(b, 0x504D444D, 4);  // "MDMP"
  Append(b, 0x0000A793, 4);
  Append(b, 4, 4);
  Append(b, 32, 4);
  Append(b, 0, 4);
  Append(b, 0, 4);
  Append(b, 0, 8);
  at.directory = b.size();
  b.resize(b.size() + 4 * 12);

  at.system = b.size();
  Append(b, 9, 2);  // x64
  Append(b, 6, 2);
  Append(b, 0, 2);
  Append(b, 4, 1);  // processors
  Append(b, 1, 1);
  Append(b, 10, 4);
  Append(b, 0, 4);
  Append(b, 19045, 4);
  b.resize(b.size() + 36);

  at.exception = b.size();
  Append(b, 4242, 4);  // thread
  Append(b, 0, 4);
  Append(b, 0xC0000005, 4);
  Append(b, 1, 4);  // flags
  Append(b, 0, 8);
  Append(b, 0x140001234, 8);
  Append(b, 2, 4);
  Append(b, 0, 4);
  Append(b, 1, 8);  // a write
  Append(b, 0x10, 8);
  b.resize(b.size() + 13 * 8 + 8);

  at.modules = b.size();
  Append(b, shape.modules.size(), shape.paddedModuleCount ? 8 : 4);
  const std::size_t firstModule = b.size();
  b.resize(b.size() + 108 * shape.modules.size());
  for (std::size_t i = 0; i < shape.modules.size(); ++i) {
    const ModuleEntry& m = shape.modules[i];
    at.names.push_back(b.size());
    Put(b, firstModule + 108 * i, m.base, 8);
    Put32(b, firstModule + 108 * i + 8, m.size);
    Put32(b, firstModule + 108 * i + 20, static_cast<std::uint32_t>(b.size()));
    Append(b, 2 * m.name.size(), 4);
    for (const char16_t unit : m.name) Append(b, unit, 2);
  }

  const auto entry = [&](std::size_t index, std::uint32_t type, std::size_t size, std::size_t rva) {
    Put32(b, at.directory + 12 * index, type);
    Put32(b, at.directory + 12 * index + 4, static_cast<std::uint32_t>(size));
    Put32(b, at.directory + 12 * index + 8, static_cast<std::uint32_t>(rva));
  };
  // A stream that is not there counts as unused (type 0).
  if (shape.system) entry(kSystemEntry, 7, 56, at.system);
  if (shape.exception) entry(kExceptionEntry, 6, 168, at.exception);
  entry(kModulesEntry, 4, firstModule - at.modules + 108 * shape.modules.size(), at.modules);
  // A thread list the reader has no use for, pointing nowhere.
  entry(3, 3, 0x1000, 0xFFFFFFF0);
  if (layout != nullptr) *layout = at;
  return b;
}

TEST(Minidump, ReadsTheExceptionTheModulesAndTheSystem) {
  DumpShape shape;
  shape.modules.push_back({0x180000000, 0x1000, u"C:\\Spiele\\caf\u00e9\U0001F600.dll"});
  shape.modules.push_back({0x190000000, 0x1000,
                           u"bad\xD800"
                           u"name"});
  const MinidumpRead read = ReadMinidump(BuildDump(shape));
  ASSERT_TRUE(read.dump.has_value()) << read.error;
  const Minidump& dump = *read.dump;

  ASSERT_TRUE(dump.exception.has_value());
  EXPECT_EQ(dump.exception->threadId, 4242u);
  EXPECT_EQ(dump.exception->code, 0xC0000005u);
  EXPECT_EQ(dump.exception->flags, 1u);
  EXPECT_EQ(dump.exception->address, 0x140001234u);
  EXPECT_EQ(dump.exception->parameters, (std::vector<std::uint64_t>{1, 0x10}));

  ASSERT_EQ(dump.modules.size(), 4u);
  EXPECT_EQ(dump.modules[0].base, 0x140000000u);
  EXPECT_EQ(dump.modules[0].size, 0x9BB000u);
  EXPECT_EQ(dump.modules[0].name, L"C:\\Games\\ravelin.exe");
  EXPECT_EQ(dump.modules[1].base, 0x7FF8A0000000u);
  EXPECT_EQ(dump.modules[2].name, L"C:\\Spiele\\caf\u00e9\U0001F600.dll");
  EXPECT_EQ(dump.modules[3].name,
            L"bad\uFFFD"
            L"name");

  ASSERT_TRUE(dump.system.has_value());
  EXPECT_EQ(dump.system->architecture, 9);
  EXPECT_EQ(dump.system->processors, 4);
  EXPECT_EQ(dump.system->major, 10u);
  EXPECT_EQ(dump.system->minor, 0u);
  EXPECT_EQ(dump.system->build, 19045u);
}

TEST(Minidump, ReadsWhatOtherWritersLeaveOutOrPad) {
  DumpShape padded;
  padded.paddedModuleCount = true;
  const MinidumpRead paddedRead = ReadMinidump(BuildDump(padded));
  ASSERT_TRUE(paddedRead.dump.has_value()) << paddedRead.error;
  ASSERT_EQ(paddedRead.dump->modules.size(), 2u);
  EXPECT_EQ(paddedRead.dump->modules[1].name, L"C:\\Windows\\ntdll.dll");

  // A dump taken without a crash, e.g. from the task manager.
  DumpShape bare;
  bare.exception = false;
  bare.system = false;
  bare.modules.clear();
  const MinidumpRead bareRead = ReadMinidump(BuildDump(bare));
  ASSERT_TRUE(bareRead.dump.has_value()) << bareRead.error;
  EXPECT_FALSE(bareRead.dump->exception.has_value());
  EXPECT_FALSE(bareRead.dump->system.has_value());
  EXPECT_TRUE(bareRead.dump->modules.empty());
}

TEST(Minidump, GarbledDumpsAreRefusedWithTheReason) {
  using Garble = std::function<void(Bytes&, const Layout&)>;
  const auto entrySize = [](std::size_t index, std::uint32_t size) {
    return [=](Bytes& b, const Layout& at) { Put32(b, at.directory + 12 * index + 4, size); };
  };
  const auto entryRva = [](std::size_t index, std::uint32_t rva) {
    return [=](Bytes& b, const Layout& at) { Put32(b, at.directory + 12 * index + 8, rva); };
  };
  // Modules that all name the first one's long name.
  DumpShape sharedName;
  sharedName.modules = {{0x1000, 0x1000, std::u16string(1000, u'x')},
                        {0x3000, 0x1000, u"a"},
                        {0x5000, 0x1000, u"b"},
                        {0x7000, 0x1000, u"c"},
                        {0x9000, 0x1000, u"d"}};
  struct Case {
    const char* what;
    DumpShape shape;
    Garble garble;
    const char* error;
  };
  const Case cases[] = {
      {"an empty file", {}, [](Bytes& b, const Layout&) { b.clear(); }, "the file is 0 bytes, shorter than"},
      {"another signature", {}, [](Bytes& b, const Layout&) { Put32(b, 0, 0x514D444D); }, "does not start with MDMP"},
      {"another version", {}, [](Bytes& b, const Layout&) { Put32(b, 4, 0xA794); }, "unknown minidump version 0xA794"},
      {"more directory entries than the file holds",
       {},
       [](Bytes& b, const Layout&) { Put32(b, 8, 0x10000000); },
       "the stream directory (268435456 entries at 0x20) runs past the end of the file"},
      {"a stream whose end passes 4 GiB",
       {},
       entryRva(kExceptionEntry, 0xFFFFFFF0),
       "the exception stream (0xA8 bytes at 0xFFFFFFF0) runs past the end of the file"},
      {"an exception stream too short for its record",
       {},
       entrySize(kExceptionEntry, 0x10),
       "the exception stream is 0x10 bytes, too short"},
      {"more exception parameters than a record holds",
       {},
       [](Bytes& b, const Layout& at) { Put32(b, at.exception + 32, 16); },
       "the exception record claims 16 parameters (at most 15)"},
      {"a module list without room for its count",
       {},
       entrySize(kModulesEntry, 2),
       "the module list stream is 0x2 bytes, too short"},
      {"more modules than the list has room for",
       {},
       [](Bytes& b, const Layout& at) { Put32(b, at.modules, 1000); },
       "the module list claims 1000 modules but has room for 2"},
      {"a module name past the end",
       {},
       [](Bytes& b, const Layout& at) { Put32(b, at.modules + 4 + 108 + 20, static_cast<std::uint32_t>(b.size())); },
       "the name of module 1 (at 0x"},
      {"a module name longer than the file",
       {},
       [](Bytes& b, const Layout& at) { Put32(b, at.names[0], 0x7FFFFFFE); },
       "the name of module 0 (at 0x"},
      {"a module name of odd length",
       {},
       [](Bytes& b, const Layout& at) { Put32(b, at.names[0], 5); },
       "the name of module 0 is 5 bytes: not whole UTF-16 characters"},
      {"one long name for every module", sharedName,
       [](Bytes& b, const Layout& at) {
         for (std::size_t i = 1; i < at.names.size(); ++i) {
           Put32(b, at.modules + 4 + 108 * i + 20, static_cast<std::uint32_t>(at.names[0]));
         }
       },
       "the module names are longer than the file"},
      {"a system information stream too short",
       {},
       entrySize(kSystemEntry, 8),
       "the system information stream is 0x8 bytes, too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Layout layout;
    Bytes bytes = BuildDump(c.shape, &layout);
    ASSERT_TRUE(ReadMinidump(bytes).dump.has_value()) << "the dump before it was garbled";
    c.garble(bytes, layout);
    const MinidumpRead read = ReadMinidump(bytes);
    EXPECT_FALSE(read.dump.has_value());
    EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
  }
}

TEST(Minidump, EveryCutOfADumpIsRefused) {
  const Bytes whole = BuildDump({});
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const MinidumpRead read = ReadMinidump(std::span(whole.data(), size));
    EXPECT_FALSE(read.dump.has_value()) << "cut to " << size << " bytes";
    EXPECT_FALSE(read.error.empty()) << "cut to " << size << " bytes";
  }
}

TEST(Minidump, ModuleAtFindsTheImageHoldingAnAddress) {
  Minidump dump;
  dump.modules = {{0x1000, 0x1000, L"a.exe"},
                  {0x3000, 0x100, L"b.dll"},
                  {0x4000, 0, L"empty.dll"},
                  {0xFFFFFFFFFFFFF000, 0x1000, L"top.dll"}};
  const std::pair<std::uint64_t, const wchar_t*> cases[] = {
      {0, L"-"},
      {0xFFF, L"-"},
      {0x1000, L"a.exe"},
      {0x1FFF, L"a.exe"},
      {0x2000, L"-"},
      {0x30FF, L"b.dll"},
      {0x3100, L"-"},
      {0x4000, L"-"},
      {0xFFFFFFFFFFFFEFFF, L"-"},
      {0xFFFFFFFFFFFFFFFF, L"top.dll"},
  };
  for (const auto& [address, name] : cases) {
    const MinidumpModule* module = ModuleAt(dump, address);
    EXPECT_EQ(module == nullptr ? std::wstring(L"-") : module->name, name) << std::hex << address;
  }
}

}  // namespace
}  // namespace ravelin
