// What comes back from the network and what the log holds: UDP answers, a
// log file of any content, game addresses and server lists, pipe chunks.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "diag/diag_report.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsLead(unsigned char byte, void*) { return byte >= 0x81 && byte <= 0xFE; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // An answer reads as the C library reads a number, and never past its end.
  const std::string terminated(bytes);
  if (terminated.find('\0') == std::string::npos) {
    const long long expected = std::strtoll(terminated.c_str(), nullptr, 10);
    const long long clamped = expected > INT_MAX ? INT_MAX : expected < INT_MIN ? INT_MIN : expected;
    Check(ravelin::ReadProbeNumber(bytes) == clamped);
  }
  ravelin::UdpProbeTable table;
  for (int n = 1; n <= 3; ++n) table.Sent(n, 1000);
  const bool taken = table.Answered(bytes, 1100);
  Check(!taken || table.Size() == 3);
  Check(!table.Answered(bytes, 1200) || !taken);  // a repeat is never taken twice
  const auto summary = table.Summarise();
  Check(summary.has_value() && summary->rfind(L"100times:Lost", 0) == 0);
  Check(table.Size() == 0 && !table.Summarise());

  // The log keeps its newest whole lines.
  for (std::size_t limit : {std::size_t{0}, size / 2, size}) {
    std::string log(bytes);
    ravelin::CapLogText(log, limit);
    Check(log.size() <= limit);
    Check(log.size() <= size && bytes.substr(size - log.size()) == log);
    Check(log.empty() || log.size() == size || bytes[size - log.size() - 1] == '\r');
  }

  // The form value holds only unreserved characters and escapes.
  const std::string form = ravelin::FormUrlEncode(bytes);
  for (char c : form) {
    Check((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
          c == '_' || c == '~' || c == '%');
  }

  // Chunks are cut only where a character ends.
  const std::size_t utf8 = ravelin::CompleteUtf8Prefix(bytes);
  Check(utf8 <= size && size - utf8 <= 3);
  const std::size_t dbcs = ravelin::CompleteDoubleBytePrefix(bytes, &IsLead, nullptr);
  Check(dbcs <= size && size - dbcs <= 1);

  // Addresses and server lists of any shape.
  const std::wstring text = ravelin::FromUtf8(terminated);
  const std::wstring host = ravelin::GameUrlHost(text);
  Check(host.find(L'/') == std::wstring::npos && text.find(host) != std::wstring::npos);
  if (const auto server = ravelin::FindGameServer(text, host)) {
    Check(text.find(*server + L"+" + host) != std::wstring::npos);
  }
  return 0;
}
