#include "diag/diag_record.h"

#include <cstdio>

namespace ravelin {

DiagRecord::DiagRecord() {
  for (std::wstring& field : fields) field = std::wstring(kDiagNull);
  fields[kAve].clear();
}

std::vector<std::wstring> SplitText(std::wstring_view source, std::wstring_view delimiter) {
  std::vector<std::wstring> pieces;
  if (source.empty()) return pieces;
  if (delimiter.empty()) {
    pieces.emplace_back(source);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = source.find(delimiter, start);
    if (found == std::wstring_view::npos) {
      pieces.emplace_back(source.substr(start));
      return pieces;
    }
    pieces.emplace_back(source.substr(start, found - start));
    start = found + delimiter.size();
  }
}

namespace {

void TrimChars(std::wstring_view& text, std::wstring_view chars) {
  while (!text.empty() && chars.find(text.back()) != std::wstring_view::npos) text.remove_suffix(1);
  while (!text.empty() && chars.find(text.front()) != std::wstring_view::npos) text.remove_prefix(1);
}

}  // namespace

std::wstring TrimText(std::wstring_view text, std::wstring_view set) {
  TrimChars(text, L"\r");
  TrimChars(text, L"\n");
  TrimChars(text, set);
  return std::wstring(text);
}

bool OrdinalLess(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    // Code units as unsigned 16-bit values, on every platform.
    const auto x = static_cast<unsigned>(a[i]) & 0xFFFFu;
    const auto y = static_cast<unsigned>(b[i]) & 0xFFFFu;
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::wstring FormatDiagTime(int year, int month, int day, int hour, int minute, int second) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02d/%02d/%02d-%02d:%02d:%02d", month % 100, day % 100, ((year % 100) + 100) % 100,
                hour % 100, minute % 100, second % 100);
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

bool ReadPingOutput(std::wstring_view output, DiagRecord& record) {
  if (output.size() < 2) return false;
  int pairs = 0;
  static constexpr DiagRecord::Field kPairFields[] = {DiagRecord::kSend, DiagRecord::kReceived, DiagRecord::kLost,
                                                      DiagRecord::kMin,  DiagRecord::kMax,      DiagRecord::kAve};
  for (const std::wstring& line : SplitText(output, L"\r")) {
    if (line.empty()) continue;
    if (record[DiagRecord::kIp] == kDiagNull) {
      const auto open = SplitText(line, L"[");
      if (open.size() == 2) {
        const auto close = SplitText(open[1], L"]");
        if (close.size() == 2) record[DiagRecord::kIp] = close[0];
      }
    }
    // Japanese separates the statistics with the ideographic comma.
    auto pieces = SplitText(line, L",");
    if (pieces.size() < 3) pieces = SplitText(line, L"\uFF0C");
    if (pieces.size() < 3) pieces = SplitText(line, L"\u3001");
    if (pieces.size() < 3) continue;
    for (const std::wstring& piece : pieces) {
      if (piece.empty()) continue;
      const auto pair = SplitText(piece, L" = ");
      if (pair.size() < 2) continue;
      ++pairs;
      if (pairs <= 6) record[kPairFields[pairs - 1]] = TrimText(pair[1], L" ");
    }
  }
  if (record[DiagRecord::kIp] == kDiagNull) record[DiagRecord::kIp] = record[DiagRecord::kUrl];
  return true;
}

namespace {

constexpr std::wstring_view kDigits = L"0123456789";

bool IsDigits(std::wstring_view token) {
  return !token.empty() && token.find_first_not_of(kDigits) == std::wstring_view::npos;
}

bool IsHopTime(std::wstring_view token) {
  if (!token.empty() && token.front() == L'<') token.remove_prefix(1);
  return IsDigits(token);
}

// A unit is the display language's word for milliseconds, so no digit; "*"
// is a lost try.
bool IsTimeUnit(std::wstring_view token) {
  return token != L"*" && token.find_first_of(kDigits) == std::wstring_view::npos;
}

// The last time of a hop line that is followed by its unit, or empty. The last
// word is the address, never a unit.
std::wstring LastHopTime(const std::vector<std::wstring>& tokens) {
  std::vector<std::wstring_view> words;
  for (const std::wstring& token : tokens) {
    if (!token.empty()) words.push_back(token);
  }
  std::wstring_view last;
  for (std::size_t i = 1; i + 2 < words.size(); ++i) {
    if (IsHopTime(words[i]) && IsTimeUnit(words[i + 1])) last = words[i];
  }
  return std::wstring(last);
}

}  // namespace

bool ReadTracertOutput(std::wstring_view output, DiagRecord& record) {
  if (output.size() < 2) return false;
  std::wstring summary;
  for (const std::wstring& raw : SplitText(output, L"\r")) {
    const std::wstring line = TrimText(raw, L" ");
    if (line.empty()) continue;
    const auto tokens = SplitText(line, L" ");
    // Hop lines begin with their number.
    if (!(OrdinalLess(L"0", tokens[0]) && OrdinalLess(tokens[0], L"9999999"))) continue;
    if (tokens.size() == 1) {
      summary += line;
    } else {
      summary += TrimText(tokens.back(), L" ") + L":";
    }
    if (tokens.size() > 1 && IsDigits(tokens[0])) {
      const std::wstring time = LastHopTime(tokens);
      summary += (time.empty() ? std::wstring(kDiagNull) : time) + L"ms>";
      continue;
    }
    // Admitted lines that are not hops (a title starting with an address)
    // are read by the letters "ms".
    const auto times = SplitText(line, L"ms");
    if (times.size() == 1) {
      summary += L"NULLms>";
    } else {
      summary += TrimText(times[times.size() - 2], L" ") + L"ms>";
    }
  }
  if (!summary.empty()) record[DiagRecord::kTracert] = summary;
  return true;
}

}  // namespace ravelin
