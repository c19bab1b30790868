#include "sysinfo/host_uid.h"

#include <cstdio>

#include "common/utf8.h"

namespace ravelin {
namespace {

// Formatting is bounded by the caller's buffer, terminator included.
std::wstring Bounded(std::wstring text, std::size_t capacity) {
  if (capacity == 0) return {};
  if (text.size() > capacity - 1) text.resize(capacity - 1);
  return text;
}

}  // namespace

std::string ExtractAtaString(const AtaIdentifyWords& words, int first, int last) {
  std::string text;
  if (first < 0 || last < first || last >= static_cast<int>(words.size())) return text;
  for (int i = first; i <= last; ++i) {
    const auto high = static_cast<char>((words[static_cast<std::size_t>(i)] >> 8) & 0xFF);
    const auto low = static_cast<char>(words[static_cast<std::size_t>(i)] & 0xFF);
    for (const char c : {high, low}) {
      if (c != '\0' && c != ' ') text.push_back(c);
    }
  }
  return text;
}

std::wstring FormatDiskHostUid(std::string_view serial, std::string_view model, std::size_t capacity) {
  return Bounded(FromUtf8(serial) + L"_" + FromUtf8(model), capacity);
}

std::wstring FormatCpuSignature(std::uint32_t eax, std::uint32_t ebx, std::uint32_t ecx, std::uint32_t edx) {
  if (eax == 0 && ebx == 0 && ecx == 0 && edx == 0) return {};
  return std::to_wstring(eax) + L"_" + std::to_wstring(ebx) + L"_" + std::to_wstring(ecx) + L"_" + std::to_wstring(edx);
}

std::wstring FormatFallbackHostUid(std::wstring_view base, std::uint32_t volumeSerial, std::size_t capacity) {
  char hex[9];
  std::snprintf(hex, sizeof(hex), "%08X", static_cast<unsigned>(volumeSerial));
  std::wstring text(base);
  text.push_back(L'_');
  text.append(hex, hex + 8);
  return Bounded(std::move(text), capacity);
}

}  // namespace ravelin
