// The crash dumps' file names and which of them stay. Both run in the crash
// handler of a broken process, so neither touches the heap: names are
// fixed-size arrays, and the listing is offered name by name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ravelin {

// The dumps kept in the folder, the one just written among them.
inline constexpr std::size_t kCrashDumpsKept = 5;

// "ravelin-YYYYMMDD-HHMMSS-PID.dmp" with the time in UTC: the names sort as
// the crashes happened, whatever the time zone or daylight saving did, and
// the process id keeps two crashes in one second apart.
class DumpFileName {
 public:
  // The longest name: a ten-digit process id.
  static constexpr std::size_t kMaxLength = 38;

  DumpFileName() = default;
  DumpFileName(int year, int month, int day, int hour, int minute, int second, std::uint32_t processId);

  std::wstring_view View() const { return {m_text.data(), m_length}; }

 private:
  friend class DumpRetention;
  void Assign(std::wstring_view name);

  std::array<wchar_t, kMaxLength> m_text{};
  std::size_t m_length = 0;
};

// Only names of that shape are the launcher's: anything else in the folder
// is left alone.
bool IsDumpFileName(std::wstring_view name);

// Decides which dumps to delete once a new one is written: the new one
// stays whatever its time says (a clock set back must not cost the newest
// dump), and so do the newest others up to kCrashDumpsKept in all. Offer
// every name of the listing to Consider, then ask ShouldDelete of each.
class DumpRetention {
 public:
  explicit DumpRetention(std::wstring_view justWritten);

  void Consider(std::wstring_view name);
  bool ShouldDelete(std::wstring_view name) const;

 private:
  DumpFileName m_justWritten;
  std::array<DumpFileName, kCrashDumpsKept - 1> m_newest;  // newest first
  std::size_t m_count = 0;
};

}  // namespace ravelin
