// Classification of the running Windows version into one code word. The
// facts are gathered by the Windows layer (system_info_win); the decision is
// a pure function so that every row can be checked without that system.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ravelin {

inline constexpr std::uint32_t kOs64BitBit = 0x80000;
inline constexpr std::uint32_t kOsNotChineseBit = 0x10000;
inline constexpr std::uint32_t kOsFamilyMask = 0xFF00;
inline constexpr std::uint32_t kOsEditionMask = 0x000F;

inline constexpr std::uint16_t kArchIntel = 0;
inline constexpr std::uint16_t kArchIa64 = 6;
inline constexpr std::uint16_t kArchAmd64 = 9;

inline constexpr std::uint8_t kProductWorkstation = 1;
inline constexpr std::uint8_t kProductDomainController = 2;
inline constexpr std::uint8_t kProductServer = 3;

inline constexpr std::uint16_t kSuiteEnterprise = 0x0002;
inline constexpr std::uint16_t kSuiteDatacenter = 0x0080;
inline constexpr std::uint16_t kSuitePersonal = 0x0200;
inline constexpr std::uint16_t kSuiteBlade = 0x0400;

struct OsVersionFacts {
  bool extended = true;  // the extended version record was read
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 2;  // 0 Win32s, 1 9x, 2 NT
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;
  std::uint16_t nativeArchitecture = kArchIntel;
  int serverR2 = 0;  // SM_SERVERR2, looked at on 5.2 only
  std::uint16_t systemLangId = 0x0409;
};

struct OsClass {
  std::uint32_t code = 0;
  std::uint32_t build = 0;
};

// Reads HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions "ProductType";
// nullopt when the key or value cannot be read or is longer than 80 bytes.
using ProductTypeReader = std::function<std::optional<std::wstring>()>;

// The code word and build number. nullopt when classification ends without
// outputs: an NT 3/4 system without the extended record whose ProductType
// cannot be read. The reader is called only in that case.
std::optional<OsClass> ClassifyOs(const OsVersionFacts& facts, const ProductTypeReader& readProductType);

}  // namespace ravelin
