// What the diagnostics make of their records and answers: report lines, the
// log file's rules, the UDP probe table and its summary, and the small text
// rules of the game address check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diag/diag_record.h"

namespace ravelin {

// One report line, ended by a carriage return (no line feed). Values go in
// unchanged; a "|" inside a value is not escaped.
std::wstring FormatReportLine(const DiagRecord& record, std::wstring_view user);
std::wstring FormatReportLines(const std::vector<DiagRecord>& records, std::wstring_view user);

// Name of the log file inside the temporary folder.
inline constexpr std::wstring_view kDiagLogName = L"Corvaneout.txt";
// `tempFolder` as the system gives it (trailing backslashes allowed), or empty
// when it could not be obtained: then the file lies in the root of drive C.
std::wstring DiagLogPath(std::wstring_view tempFolder);

// The log never grows beyond this many bytes when uploads keep failing.
inline constexpr std::size_t kDiagLogLimit = 1u << 20;
// Drops the oldest whole lines (each ended by '\r') until `text` fits
// `limit`. A last line without its '\r' counts as a line.
void CapLogText(std::string& text, std::size_t limit = kDiagLogLimit);

// application/x-www-form-urlencoded encoding of one value: letters, digits
// and "-._~" stay, everything else becomes %XX.
std::string FormUrlEncode(std::string_view bytes);

// The host of a game address: after a leading "http://" or "https://", up
// to the first "/".
std::wstring GameUrlHost(std::wstring_view address);

// A console tool gets a host name or an address as its last argument. A
// target with a blank, a quotation mark or a leading "-" (a game host taken
// from a page's address could carry the tool's options) is not one.
bool IsProbeTarget(std::wstring_view target);

// The address of the first entry of a server list ("address+host" entries
// separated by '\r') whose host equals `host` exactly.
std::optional<std::wstring> FindGameServer(std::wstring_view serverList, std::wstring_view host);

// The probe datagram: the number in decimal digits and one zero byte.
std::string FormatProbeDatagram(int number);
// Reads a probe number from the start of an answer as the C library's atoi
// does (blanks, sign, digits), without reading past `bytes`. Values beyond
// the int range read as its nearest end.
int ReadProbeNumber(std::string_view bytes);

// "100times:Lost%d Out%d Max%d Min%d Avg%d All%d": the count is fixed text.
std::wstring FormatUdpSummary(long long lost, long long out, long long max, long long min, long long avg,
                              long long all);

// Replies slower than this count as "Out".
inline constexpr std::int32_t kUdpSlowReplyMs = 500;

// Probes of the UDP check by number. Sending (the worker) and answers (the
// window's thread) meet here, so every access takes the one lock.
class UdpProbeTable {
 public:
  struct ProbeState {
    bool received = false;
    // Tick count at sending until the answer arrives, then the reply time.
    std::int32_t time = 0;
  };

  // A probe sent at `tick`; overwrites an earlier probe of the same number.
  void Sent(int number, std::uint32_t tick);
  // An answer read at `tick`; false when it was dropped (not a number of the
  // table, negative, or a repeat).
  bool Answered(std::string_view bytes, std::uint32_t tick);
  // The summary line of the table, which is then empty; nothing for an
  // empty table.
  std::optional<std::wstring> Summarise();

  std::size_t Size() const;
  std::optional<ProbeState> Find(int number) const;

 private:
  mutable std::mutex m_lock;
  std::map<int, ProbeState> m_probes;
};

// A pipe's bytes arrive in chunks that may split a character. These give the
// length of the longest prefix that ends on a character boundary; the rest
// waits for the next chunk. `isLeadByte` tells a double-byte code page's
// first bytes.
std::size_t CompleteDoubleBytePrefix(std::string_view bytes, bool (*isLeadByte)(unsigned char, void*), void* context);
std::size_t CompleteUtf8Prefix(std::string_view bytes);

}  // namespace ravelin
