// One diagnostic measurement and the text operations its probes use to read
// console tools' output by structure, whatever their display language.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

// Thirteen text fields; a new record reads "NULL" in all but ave, which is empty.
struct DiagRecord {
  enum Field { kCmd, kTime, kType, kUrl, kUdp, kTracert, kIp, kSend, kReceived, kLost, kMin, kMax, kAve, kFieldCount };
  std::array<std::wstring, kFieldCount> fields;

  DiagRecord();
  std::wstring& operator[](Field f) { return fields[f]; }
  const std::wstring& operator[](Field f) const { return fields[f]; }
};

inline constexpr std::wstring_view kDiagNull = L"NULL";

// The pieces between occurrences of `delimiter` (a whole substring), first
// occurrence first. An empty source gives no pieces; empty pieces remain.
std::vector<std::wstring> SplitText(std::wstring_view source, std::wstring_view delimiter);

// Removes carriage returns from the end and then the start, then line feeds
// the same way, then every character of `set` the same way.
std::wstring TrimText(std::wstring_view text, std::wstring_view set);

// UTF-16 code unit order; a prefix sorts first.
bool OrdinalLess(std::wstring_view a, std::wstring_view b);

// "MM/DD/YY-hh:mm:ss".
std::wstring FormatDiagTime(int year, int month, int day, int hour, int minute, int second);

// Fills ip and send..ave of `record` from a ping's output (its type, url,
// cmd and time are the caller's). Returns false, touching nothing, when the
// output has fewer than two characters.
bool ReadPingOutput(std::wstring_view output, DiagRecord& record);

// Fills the tracert field from a tracert's output; false as for ping. A hop
// reports its last time printed before a unit, whatever the unit's language.
bool ReadTracertOutput(std::wstring_view output, DiagRecord& record);

}  // namespace ravelin
