// parse ping|tracert FILE [...]: the report line the launcher makes of a
// captured output of ping or tracert.
#include <cstdio>

#include "common/utf8.h"
#include "diag/diag_record.h"
#include "diag/diag_report.h"
#include "tool/commands.h"
#include "tool/json_writer.h"

namespace ravelin::tool {

int ParseProbeOutput(const Args& argv) {
  const std::wstring& cmd = argv[2];
  const bool ping = cmd == L"ping";
  if (!ping && cmd != L"tracert") return UsageError();
  std::wstring target = L"target";
  std::wstring type = ping ? L"publicurl" : L"TGameUrl";
  std::wstring user;
  bool json = false;
  for (std::size_t i = 4; i < argv.size(); ++i) {
    if (argv[i] == L"--json") {
      json = true;
    } else if (argv[i] == L"--target" && i + 1 < argv.size()) {
      target = argv[++i];
    } else if (argv[i] == L"--type" && i + 1 < argv.size()) {
      type = argv[++i];
    } else if (argv[i] == L"--user" && i + 1 < argv.size()) {
      user = argv[++i];
    } else {
      return UsageError();
    }
  }
  const std::optional<std::string> bytes = ReadWholeFile(argv[3]);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", ToUtf8(argv[3]).c_str());
    return 2;
  }
  const std::wstring text = ConsoleText(*bytes);

  // The record as the probe builds it before reading the tool's output.
  using F = DiagRecord;
  DiagRecord record;
  record[F::kCmd] = cmd;
  record[F::kTime] = LocalDiagTime();
  record[F::kType] = type;
  record[F::kUrl] = target;
  const bool read = ping ? ReadPingOutput(text, record) : ReadTracertOutput(text, record);
  if (!read) {
    std::fputs("no record: the output has fewer than two characters\n", stderr);
    return 1;
  }
  std::wstring line = FormatReportLine(record, user);
  if (!line.empty() && line.back() == L'\r') line.pop_back();

  if (!json) {
    // Written whole: a NUL byte in the captured output must not cut the line.
    const std::string bytes8 = ToUtf8(line) + "\n";
    std::fwrite(bytes8.data(), 1, bytes8.size(), stdout);
    return 0;
  }
  static constexpr const char* kKeys[F::kFieldCount] = {"cmd",  "time",     "type", "url", "udp", "tracert", "ip",
                                                        "send", "received", "lost", "min", "max", "ave"};
  std::string out = "{";
  for (int f = 0; f < F::kFieldCount; ++f) {
    out += '"';
    out += kKeys[f];
    out += "\": ";
    out += Json(record.fields[static_cast<std::size_t>(f)]);
    out += ", ";
  }
  out += "\"line\": " + Json(line) + "}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace ravelin::tool
