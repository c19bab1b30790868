// The host identifier's text forms. The facts (identify words, processor
// registers, volume serial, machine GUID) are gathered by host_uid_win.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin {

using AtaIdentifyWords = std::array<std::uint32_t, 256>;

// The identifier fits a 1,024-character buffer with its terminator.
inline constexpr std::size_t kHostUidCapacity = 1024;

// The ATA string of words first..last inclusive: each word's high byte, then
// its low byte, with every NUL and blank dropped wherever it stands.
std::string ExtractAtaString(const AtaIdentifyWords& words, int first, int last);

// Disk form: serial "_" model, each read as UTF-8.
std::wstring FormatDiskHostUid(std::string_view serial, std::string_view model,
                               std::size_t capacity = kHostUidCapacity);

// The processor signature "EAX_EBX_ECX_EDX" in unsigned decimal; empty when
// all four registers are zero (no signature).
std::wstring FormatCpuSignature(std::uint32_t eax, std::uint32_t ebx, std::uint32_t ecx, std::uint32_t edx);

// Fallback form: base "_" and the volume serial as eight upper-case hex digits.
std::wstring FormatFallbackHostUid(std::wstring_view base, std::uint32_t volumeSerial,
                                   std::size_t capacity = kHostUidCapacity);

}  // namespace ravelin
