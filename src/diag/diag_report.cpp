#include "diag/diag_report.h"

#include <climits>
#include <cstdio>

namespace ravelin {

std::wstring FormatReportLine(const DiagRecord& record, std::wstring_view user) {
  const std::wstring& cmd = record[DiagRecord::kCmd];
  std::wstring line;
  line.reserve(256);
  line += L"cmd|";
  line += cmd;
  line += L"|user|";
  line += user;
  line += L"|time|";
  line += record[DiagRecord::kTime];
  line += L"|type|";
  line += record[DiagRecord::kType];
  line += L"|url|";
  line += record[DiagRecord::kUrl];
  if (cmd == L"udp") {
    line += L"|udp|";
    line += record[DiagRecord::kUdp];
  }
  if (cmd == L"tracert") {
    line += L"|tracert|";
    line += record[DiagRecord::kTracert];
  } else if (cmd == L"ping") {
    static constexpr struct {
      const wchar_t* marker;
      DiagRecord::Field field;
    } kPingFields[] = {
        {L"|ip|", DiagRecord::kIp},     {L"|send|", DiagRecord::kSend}, {L"|received|", DiagRecord::kReceived},
        {L"|lost|", DiagRecord::kLost}, {L"|min|", DiagRecord::kMin},   {L"|max|", DiagRecord::kMax},
        {L"|ave|", DiagRecord::kAve}};
    for (const auto& f : kPingFields) {
      line += f.marker;
      line += record[f.field];
    }
  }
  line += L'\r';
  return line;
}

std::wstring FormatReportLines(const std::vector<DiagRecord>& records, std::wstring_view user) {
  std::wstring text;
  for (const DiagRecord& record : records) text += FormatReportLine(record, user);
  return text;
}

std::wstring DiagLogPath(std::wstring_view tempFolder) {
  std::wstring folder = tempFolder.empty() ? std::wstring(L"c:\\") : std::wstring(tempFolder);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  folder += L'\\';
  folder += kDiagLogName;
  return folder;
}

void CapLogText(std::string& text, std::size_t limit) {
  if (text.size() <= limit) return;
  // Keep the newest lines: cut at the first line start that leaves at most
  // `limit` bytes.
  std::size_t cut = text.size() - limit;
  if (cut > 0 && text[cut - 1] != '\r') {
    const std::size_t end = text.find('\r', cut);
    cut = end == std::string::npos ? text.size() : end + 1;
  }
  text.erase(0, cut);
}

std::string FormUrlEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

std::wstring GameUrlHost(std::wstring_view address) {
  for (std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")}) {
    if (address.substr(0, scheme.size()) == scheme) {
      address.remove_prefix(scheme.size());
      break;
    }
  }
  return std::wstring(address.substr(0, address.find(L'/')));
}

bool IsProbeTarget(std::wstring_view target) {
  return target.find_first_of(L" \t\"") == std::wstring_view::npos && !target.starts_with(L'-');
}

std::optional<std::wstring> FindGameServer(std::wstring_view serverList, std::wstring_view host) {
  for (const std::wstring& entry : SplitText(serverList, L"\r")) {
    if (entry.empty()) continue;
    const auto parts = SplitText(entry, L"+");
    if (parts.size() >= 2 && parts[1] == host) return parts[0];
  }
  return std::nullopt;
}

std::string FormatProbeDatagram(int number) {
  char digits[16];
  const int n = std::snprintf(digits, sizeof(digits), "%d", number);
  std::string datagram(digits, n > 0 ? static_cast<std::size_t>(n) : 0);
  datagram += '\0';
  return datagram;
}

int ReadProbeNumber(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) {
    negative = bytes[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (bytes[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::wstring FormatUdpSummary(long long lost, long long out, long long max, long long min, long long avg,
                              long long all) {
  char text[160];
  std::snprintf(text, sizeof(text), "100times:Lost%lld Out%lld Max%lld Min%lld Avg%lld All%lld", lost, out, max, min,
                avg, all);
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

void UdpProbeTable::Sent(int number, std::uint32_t tick) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_probes[number] = ProbeState{false, static_cast<std::int32_t>(tick)};
}

bool UdpProbeTable::Answered(std::string_view bytes, std::uint32_t tick) {
  const int number = ReadProbeNumber(bytes);
  if (number < 0) return false;
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_probes.find(number);
  if (found == m_probes.end() || found->second.received) return false;
  found->second.received = true;
  // 32-bit tick arithmetic: right across the counter's wrap.
  found->second.time = static_cast<std::int32_t>(tick - static_cast<std::uint32_t>(found->second.time));
  return true;
}

std::optional<std::wstring> UdpProbeTable::Summarise() {
  long long lost = 0, slow = 0, received = 0, sum = 0;
  long long largest = -1, smallest = 9999;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_probes.empty()) return std::nullopt;
    for (const auto& [number, probe] : m_probes) {
      if (!probe.received) {
        ++lost;
        continue;
      }
      ++received;
      if (probe.time > kUdpSlowReplyMs) ++slow;
      if (probe.time > largest) largest = probe.time;
      if (probe.time < smallest) smallest = probe.time;
      sum += probe.time;
    }
    m_probes.clear();
  }
  if (received == 0) return FormatUdpSummary(lost, -1, 100, -1, -1, -1);
  return FormatUdpSummary(lost, lost + slow, largest, smallest, sum / received, sum);
}

std::size_t UdpProbeTable::Size() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_probes.size();
}

std::optional<UdpProbeTable::ProbeState> UdpProbeTable::Find(int number) const {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_probes.find(number);
  if (found == m_probes.end()) return std::nullopt;
  return found->second;
}

std::size_t CompleteDoubleBytePrefix(std::string_view bytes, bool (*isLeadByte)(unsigned char, void*), void* context) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t width = isLeadByte(static_cast<unsigned char>(bytes[i]), context) ? 2 : 1;
    if (i + width > bytes.size()) break;
    i += width;
  }
  return i;
}

std::size_t CompleteUtf8Prefix(std::string_view bytes) {
  // Look back over at most three continuation bytes for the last lead byte.
  std::size_t back = 0;
  while (back < 3 && back < bytes.size() &&
         (static_cast<unsigned char>(bytes[bytes.size() - 1 - back]) & 0xC0) == 0x80) {
    ++back;
  }
  if (back == bytes.size()) return bytes.size();  // no lead byte in view: nothing to wait for
  const auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
  std::size_t width = 1;
  if ((lead & 0xE0) == 0xC0) {
    width = 2;
  } else if ((lead & 0xF0) == 0xE0) {
    width = 3;
  } else if ((lead & 0xF8) == 0xF0) {
    width = 4;
  }
  if (width > 1 && back + 1 < width) return bytes.size() - 1 - back;
  return bytes.size();
}

}  // namespace ravelin
