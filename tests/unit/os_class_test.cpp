#include "sysinfo/os_class.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

OsVersionFacts Nt(std::uint32_t major, std::uint32_t minor, std::uint8_t product, std::uint16_t suite = 0,
                  std::uint16_t arch = kArchIntel) {
  OsVersionFacts f;
  f.platformId = 2;
  f.major = major;
  f.minor = minor;
  f.build = 1234;
  f.productType = product;
  f.suiteMask = suite;
  f.nativeArchitecture = arch;
  return f;
}

std::uint32_t Code(const OsVersionFacts& f, std::optional<std::wstring> productType = std::nullopt) {
  const auto result = ClassifyOs(f, [&] { return productType; });
  EXPECT_TRUE(result.has_value());
  return result ? result->code : 0xFFFFFFFF;
}

constexpr std::uint32_t L = kOsNotChineseBit;
constexpr std::uint32_t B64 = kOs64BitBit;

TEST(OsClass, FamilyAndEditionTable) {
  struct Row {
    const char* name;
    OsVersionFacts facts;
    std::uint32_t code;
  };
  OsVersionFacts win32s;
  win32s.platformId = 0;
  auto nine = [](std::uint32_t minor) {
    OsVersionFacts f;
    f.platformId = 1;
    f.major = 4;
    f.minor = minor;
    return f;
  };
  OsVersionFacts r2 = Nt(5, 2, kProductServer, 0, kArchAmd64);
  r2.serverR2 = 1;
  const Row rows[] = {
      {"Win32s", win32s, 0x0100 | L},
      {"95", nine(0), 0x0200 | L},
      {"98", nine(10), 0x0300 | L},
      {"Me", nine(90), 0x0400 | L},
      {"9x other", nine(3), L},
      {"NT 3.51 workstation", Nt(3, 51, kProductWorkstation), 0x1001 | L},
      {"NT 4 server enterprise", Nt(4, 0, kProductServer, kSuiteEnterprise), 0x1105 | L},
      {"NT 4 domain controller", Nt(4, 0, kProductDomainController), 0x1109 | L},
      {"NT 4 unknown product", Nt(4, 0, 0), 0x1100 | L},
      {"2000 Professional", Nt(5, 0, kProductWorkstation), 0x1203 | L},
      {"2000 Datacenter", Nt(5, 0, kProductServer, kSuiteDatacenter | kSuiteEnterprise), 0x1204 | L},
      {"2000 Advanced Server", Nt(5, 0, kProductServer, kSuiteEnterprise), 0x1208 | L},
      {"2000 Server", Nt(5, 0, kProductServer), 0x1209 | L},
      {"2000 on AMD64 has no 64-bit bit", Nt(5, 0, kProductWorkstation, 0, kArchAmd64), 0x1203 | L},
      {"XP Home", Nt(5, 1, kProductWorkstation, kSuitePersonal), 0x1302 | L},
      {"XP Professional", Nt(5, 1, kProductWorkstation), 0x1303 | L},
      {"XP on AMD64", Nt(5, 1, kProductWorkstation, 0, kArchAmd64), 0x1303 | L | B64},
      {"XP Professional x64", Nt(5, 2, kProductWorkstation, 0, kArchAmd64), 0x1300 | L | B64},
      {"5.2 workstation suite 0x2000", Nt(5, 2, kProductWorkstation, 0x2000, kArchAmd64), 0x1407 | L | B64},
      {"5.2 workstation suite 0x8000", Nt(5, 2, kProductWorkstation, 0x8000, kArchAmd64), 0x1407 | L | B64},
      {"Server 2003 R2", r2, 0x1407 | L | B64},
      {"Server 2003 Datacenter", Nt(5, 2, kProductServer, kSuiteDatacenter), 0x1404 | L},
      {"Server 2003 Enterprise", Nt(5, 2, kProductServer, kSuiteEnterprise), 0x1405 | L},
      {"Server 2003 Web", Nt(5, 2, kProductServer, kSuiteBlade), 0x1406 | L},
      {"Server 2003 Standard", Nt(5, 2, kProductServer), 0x1407 | L},
      {"Server 2003 Itanium", Nt(5, 2, kProductServer, 0, kArchIa64), 0x1407 | L | B64},
      {"5.2 workstation Itanium", Nt(5, 2, kProductWorkstation, 0, kArchIa64), 0x1407 | L},
      {"Vista", Nt(6, 0, kProductWorkstation), 0x150A | L},
      {"Server 2008", Nt(6, 0, kProductServer), 0x150B | L},
      {"7 x64", Nt(6, 1, kProductWorkstation, 0, kArchAmd64), 0x1600 | L | B64},
      {"Server 2008 R2", Nt(6, 1, kProductServer, 0, kArchAmd64), 0x150B | L | B64},
      {"8", Nt(6, 2, kProductWorkstation), L},
      {"8.1 x64", Nt(6, 3, kProductWorkstation, 0, kArchAmd64), L | B64},
      {"10 x64", Nt(10, 0, kProductWorkstation, 0, kArchAmd64), L | B64},
      {"10 x86", Nt(10, 0, kProductWorkstation), L},
  };
  for (const Row& row : rows) EXPECT_EQ(Code(row.facts), row.code) << row.name << std::hex << " 0x" << row.code;
}

TEST(OsClass, LanguageBitIsClearOnlyForSimplifiedChinesePrc) {
  OsVersionFacts seven = Nt(6, 1, kProductWorkstation, 0, kArchAmd64);
  seven.build = 7601;
  const auto english = ClassifyOs(seven, {});
  ASSERT_TRUE(english);
  EXPECT_EQ(english->code, 0x91600u);
  EXPECT_EQ(english->build, 7601u);
  seven.systemLangId = 0x0804;
  EXPECT_EQ(Code(seven), 0x81600u);
  seven.systemLangId = 0x0404;  // Traditional Chinese is "not Chinese" here
  EXPECT_EQ(Code(seven), 0x91600u);
}

TEST(OsClass, OldNtWithoutTheExtendedRecordReadsProductType) {
  OsVersionFacts nt4 = Nt(4, 0, 0);
  nt4.extended = false;
  EXPECT_EQ(Code(nt4, L"WinNT"), 0x1101 | L);
  EXPECT_EQ(Code(nt4, L"LANMANNT"), 0x1109 | L);
  EXPECT_EQ(Code(nt4, L"servernt"), 0x1108 | L);
  EXPECT_EQ(Code(nt4, L"Other"), 0x1100 | L);
  // Unreadable: classification ends without outputs.
  EXPECT_FALSE(ClassifyOs(nt4, [] { return std::optional<std::wstring>(); }));
  EXPECT_FALSE(ClassifyOs(nt4, {}));
  // The reader is not consulted when the extended record is there.
  bool asked = false;
  nt4.extended = true;
  nt4.productType = kProductWorkstation;
  ClassifyOs(nt4, [&] {
    asked = true;
    return std::optional<std::wstring>();
  });
  EXPECT_FALSE(asked);
}

}  // namespace
}  // namespace ravelin
