#include "sysinfo/os_class.h"

#include <cwctype>

namespace ravelin {
namespace {

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return i == a.size() && b[i] == 0;
}

struct Family {
  std::uint32_t family = 0;
  std::uint32_t edition = 0;
  bool is64 = false;
};

// Editions of NT 3.x and 4.x. nullopt: stop without outputs.
std::optional<std::uint32_t> NtRuleEdition(const OsVersionFacts& f, const ProductTypeReader& readProductType) {
  if (f.extended) {
    if (f.productType == kProductWorkstation) return 1;
    if (f.productType == kProductServer || f.productType == kProductDomainController) {
      return (f.suiteMask & kSuiteEnterprise) != 0 ? 5 : 9;
    }
    return 0;
  }
  const std::optional<std::wstring> type = readProductType ? readProductType() : std::nullopt;
  if (!type) return std::nullopt;
  std::uint32_t edition = 0;
  if (EqualsNoCase(*type, L"WINNT")) edition |= 1;
  if (EqualsNoCase(*type, L"LANMANNT")) edition |= 9;
  if (EqualsNoCase(*type, L"SERVERNT")) edition |= 8;
  return edition;
}

std::optional<Family> ClassifyNt(const OsVersionFacts& f, const ProductTypeReader& readProductType) {
  Family r;
  const bool workstation = f.productType == kProductWorkstation;
  if (f.major < 4 || f.major == 4) {
    r.family = f.major < 4 ? 0x10 : 0x11;
    const std::optional<std::uint32_t> edition = NtRuleEdition(f, readProductType);
    if (!edition) return std::nullopt;
    r.edition = *edition;
    return r;
  }
  if (f.major == 5 && f.minor == 0) {
    r.family = 0x12;
    if (workstation) {
      r.edition = 3;
    } else if (f.suiteMask & kSuiteDatacenter) {
      r.edition = 4;
    } else if (f.suiteMask & kSuiteEnterprise) {
      r.edition = 8;
    } else {
      r.edition = 9;
    }
    return r;
  }
  if (f.major == 5 && f.minor == 1) {
    r.family = 0x13;
    r.edition = (f.suiteMask & kSuitePersonal) ? 2 : 3;
    r.is64 = f.nativeArchitecture == kArchAmd64;
    return r;
  }
  if (f.major == 5 && f.minor == 2) {
    // 64-bit XP Professional reports itself as 5.2.
    if (workstation && f.nativeArchitecture == kArchAmd64 && f.serverR2 == 0 && f.suiteMask != 0x2000 &&
        f.suiteMask != 0x8000) {
      r.family = 0x13;
      r.edition = 0;
      r.is64 = true;
      return r;
    }
    r.family = 0x14;
    if (f.suiteMask & kSuiteDatacenter) {
      r.edition = 4;
    } else if (f.suiteMask & kSuiteEnterprise) {
      r.edition = 5;
    } else if (f.suiteMask & kSuiteBlade) {
      r.edition = 6;
    } else {
      r.edition = 7;
    }
    r.is64 = f.nativeArchitecture == kArchAmd64 || (!workstation && f.nativeArchitecture == kArchIa64);
    return r;
  }
  if (f.major == 6 && f.minor == 0) {
    r.family = 0x15;
    r.edition = workstation ? 0xA : 0xB;
  } else if (f.major == 6 && f.minor == 1) {
    r.family = workstation ? 0x16 : 0x15;
    r.edition = workstation ? 0 : 0xB;
  }
  // 5.3 and above, 6.2 and later: no family of their own.
  r.is64 = f.nativeArchitecture == kArchAmd64;
  return r;
}

}  // namespace

std::optional<OsClass> ClassifyOs(const OsVersionFacts& facts, const ProductTypeReader& readProductType) {
  Family family;
  switch (facts.platformId) {
    case 0:
      family.family = 0x01;
      break;
    case 1:
      if (facts.major == 4 && facts.minor == 0) family.family = 0x02;
      if (facts.major == 4 && facts.minor == 10) family.family = 0x03;
      if (facts.major == 4 && facts.minor == 90) family.family = 0x04;
      break;
    case 2: {
      const std::optional<Family> nt = ClassifyNt(facts, readProductType);
      if (!nt) return std::nullopt;
      family = *nt;
      break;
    }
    default:
      break;
  }

  OsClass result;
  result.code = ((family.family << 8) & kOsFamilyMask) | (family.edition & kOsEditionMask);
  if (family.is64) result.code |= kOs64BitBit;
  if (facts.systemLangId != 0x0804) result.code |= kOsNotChineseBit;
  result.build = facts.build;
  return result;
}

}  // namespace ravelin
