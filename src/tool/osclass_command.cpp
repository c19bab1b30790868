// osclass MAJOR.MINOR[.BUILD] [options]: the OS code word the launcher makes
// of given version facts.
#include <cstdio>
#include <cwchar>
#include <optional>

#include "sysinfo/os_class.h"
#include "tool/commands.h"

namespace ravelin::tool {
namespace {

std::optional<unsigned long> Number(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 0);
  if (end == nullptr || *end != L'\0') return std::nullopt;
  return value;
}

}  // namespace

void PrintOsClass(std::uint32_t code, std::uint32_t build) {
  std::printf("code: 0x%05X\nbuild: %u\nfamily: 0x%02X\nedition: 0x%X\n64-bit: %s\nnot-chinese: %s\n", code, build,
              (code & kOsFamilyMask) >> 8, code & kOsEditionMask, (code & kOs64BitBit) ? "yes" : "no",
              (code & kOsNotChineseBit) ? "yes" : "no");
}

int ClassifyGivenFacts(const Args& argv) {
  OsVersionFacts facts;
  std::optional<std::wstring> productType;
  unsigned long major = 0, minor = 0, build = 0;
  if (std::swscanf(argv[2].c_str(), L"%lu.%lu.%lu", &major, &minor, &build) < 2) return UsageError();
  facts.major = static_cast<std::uint32_t>(major);
  facts.minor = static_cast<std::uint32_t>(minor);
  facts.build = static_cast<std::uint32_t>(build);
  for (std::size_t i = 3; i < argv.size(); ++i) {
    const std::wstring& option = argv[i];
    if (option == L"--plain") {
      facts.extended = false;
      continue;
    }
    if (i + 1 >= argv.size()) return UsageError();
    const std::wstring& value = argv[++i];
    if (option == L"--product-type") {
      productType = value;
      continue;
    }
    const std::optional<unsigned long> n = Number(value);
    if (!n) return UsageError();
    if (option == L"--platform") {
      facts.platformId = static_cast<std::uint32_t>(*n);
    } else if (option == L"--product") {
      facts.productType = static_cast<std::uint8_t>(*n);
    } else if (option == L"--suite") {
      facts.suiteMask = static_cast<std::uint16_t>(*n);
    } else if (option == L"--arch") {
      facts.nativeArchitecture = static_cast<std::uint16_t>(*n);
    } else if (option == L"--serverr2") {
      facts.serverR2 = static_cast<int>(*n);
    } else if (option == L"--lang") {
      facts.systemLangId = static_cast<std::uint16_t>(*n);
    } else {
      return UsageError();
    }
  }
  const std::optional<OsClass> result = ClassifyOs(facts, [&] { return productType; });
  if (!result) {
    std::puts("no outputs: ProductType unreadable");
    return 1;
  }
  PrintOsClass(result->code, result->build);
  return 0;
}

}  // namespace ravelin::tool
