// ravelin-tool: the launcher's own logic without its windows, for support
// staff, update-host operators and our tests.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "app/handover.h"
#include "common/utf8.h"
#include "diag/diag_record.h"
#include "diag/diag_report.h"
#include "sysinfo/os_class.h"
#include "update/manifest.h"
#ifdef _WIN32
#include "common/ansi_win.h"
#include "diag/diagnostics_win.h"  // before <windows.h>: it brings the socket headers

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/http_transfer_win.h"
#include "sysinfo/host_uid_win.h"
#include "sysinfo/system_info_win.h"
#endif
#include "tool/signing_commands.h"

namespace {

constexpr char kUsage[] =
    "usage: ravelin-tool COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  cmdline TEXT   show how the launcher treats TEXT as its whole command line\n"
    "                 (normal start, Delete or Update hand-over, and the paths taken)\n"
#ifdef _WIN32
    "  hostuid        print this machine's host identifier and the form that produced it\n"
    "  osclass        print this machine's OS code word (hex) and build number\n"
    "  diag [--upload]\n"
    "                 run the diagnostics' start-up round (network configuration, UDP\n"
    "                 batch, connectivity pings) and print its report lines; --upload\n"
    "                 posts them with the log file instead, as the launcher does\n"
#endif
    "  osclass MAJOR.MINOR[.BUILD] [--platform N] [--product N] [--suite HEX] [--arch N]\n"
    "          [--serverr2 N] [--lang HEX] [--plain] [--product-type TEXT]\n"
    "                 classify given version facts as the launcher would\n"
    "  manifest FILE [--local-version V] [--json]\n"
    "                 read FILE as a fetched update manifest: its fields and whether the\n"
    "                 launcher at version V (default 1.0.0.1) would offer the build\n"
    "  parse ping|tracert FILE [--target T] [--type T] [--user U] [--json]\n"
    "                 read FILE as captured output of ping or tracert and print the report\n"
    "                 line the launcher would make of it (target default \"target\", type\n"
    "                 default publicurl for ping and TGameUrl for tracert, user default empty)\n"
#ifdef _WIN32
    "  verify FILE --key PUBLIC.pem [--sig SIGFILE]\n"
    "                 check FILE against SIGFILE (default FILE.sig) as the launcher checks a\n"
    "                 downloaded build: exit 0 good signature, 1 bad or missing, 2 key error\n"
#else
    "  keygen [--private FILE] [--public FILE]\n"
    "                 make a P-256 key pair for signing updates (default update-private.pem\n"
    "                 and update-public.pem here); never overwrites a file\n"
    "  sign FILE --key PRIVATE.pem\n"
    "                 write FILE.sig, the base64 ECDSA P-256 / SHA-256 signature of FILE\n"
    "                 that the launcher requires before it installs a downloaded build\n"
    "  verify FILE --key PUBLIC.pem [--sig SIGFILE]\n"
    "                 check FILE against SIGFILE (default FILE.sig): exit 0 good signature,\n"
    "                 1 bad or missing signature, 2 key or file error\n"
#endif
    ;

const char* ModeName(ravelin::StartMode mode) {
  switch (mode) {
    case ravelin::StartMode::Delete:
      return "delete";
    case ravelin::StartMode::Update:
      return "update";
    case ravelin::StartMode::Normal:
      break;
  }
  return "normal";
}

int CommandLine(const std::wstring& text) {
  const ravelin::HandoverCommand command = ravelin::ParseHandoverCommandLine(text);
  std::printf("mode: %s\n", ModeName(command.mode));
  switch (command.mode) {
    case ravelin::StartMode::Delete:
      std::printf("delete: %s\n", ravelin::ToUtf8(command.deletePath).c_str());
      break;
    case ravelin::StartMode::Update:
      std::printf("target: %s\n", ravelin::ToUtf8(command.target).c_str());
      std::printf("source: %s\n", ravelin::ToUtf8(command.source).c_str());
      break;
    case ravelin::StartMode::Normal:
      break;
  }
  return 0;
}

void PrintOsClass(std::uint32_t code, std::uint32_t build) {
  std::printf("code: 0x%05X\nbuild: %u\nfamily: 0x%02X\nedition: 0x%X\n64-bit: %s\nnot-chinese: %s\n", code, build,
              (code & ravelin::kOsFamilyMask) >> 8, code & ravelin::kOsEditionMask,
              (code & ravelin::kOs64BitBit) ? "yes" : "no", (code & ravelin::kOsNotChineseBit) ? "yes" : "no");
}

std::optional<unsigned long> Number(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 0);
  if (end == nullptr || *end != L'\0') return std::nullopt;
  return value;
}

int ClassifyGivenFacts(const std::vector<std::wstring>& argv) {
  ravelin::OsVersionFacts facts;
  std::optional<std::wstring> productType;
  unsigned long major = 0, minor = 0, build = 0;
  if (std::swscanf(argv[2].c_str(), L"%lu.%lu.%lu", &major, &minor, &build) < 2) return 2;
  facts.major = static_cast<std::uint32_t>(major);
  facts.minor = static_cast<std::uint32_t>(minor);
  facts.build = static_cast<std::uint32_t>(build);
  for (std::size_t i = 3; i < argv.size(); ++i) {
    const std::wstring& option = argv[i];
    if (option == L"--plain") {
      facts.extended = false;
      continue;
    }
    if (i + 1 >= argv.size()) return 2;
    const std::wstring& value = argv[++i];
    if (option == L"--product-type") {
      productType = value;
      continue;
    }
    const std::optional<unsigned long> n = Number(value);
    if (!n) return 2;
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
      return 2;
    }
  }
  const std::optional<ravelin::OsClass> result = ravelin::ClassifyOs(facts, [&] { return productType; });
  if (!result) {
    std::puts("no outputs: ProductType unreadable");
    return 1;
  }
  PrintOsClass(result->code, result->build);
  return 0;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(ravelin::ToUtf8(path).c_str(), "rb");
#endif
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return bytes;
}

// A field on one line: line ends and other controls as escapes, in JSON's
// form or in C's.
std::string Escaped(const std::wstring& text, bool json) {
  std::string out;
  for (const char c : ravelin::ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\' || (json && c == '"')) {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (!json && byte == 0x7F)) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), json ? "\\u%04X" : "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Json(const std::wstring& text) { return "\"" + Escaped(text, true) + "\""; }
std::string Escaped(const std::wstring& text) { return Escaped(text, false); }

int ShowManifest(const std::vector<std::wstring>& argv) {
  std::wstring local = L"1.0.0.1";
  bool json = false;
  for (std::size_t i = 3; i < argv.size(); ++i) {
    if (argv[i] == L"--json") {
      json = true;
    } else if (argv[i] == L"--local-version" && i + 1 < argv.size()) {
      local = argv[++i];
    } else {
      return 2;
    }
  }
  const std::optional<std::string> bytes = ReadWholeFile(argv[2]);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", ravelin::ToUtf8(argv[2]).c_str());
    return 1;
  }
  // Read as the launcher reads a fetched body.
#ifdef _WIN32
  const std::wstring text = ravelin::BodyToText(*bytes);
#else
  const std::wstring text = ravelin::FromUtf8(ravelin::BodyUpToNul(*bytes));
#endif
  const ravelin::UpdateManifest m = ravelin::ParseUpdateManifest(text);
  const bool usable = ravelin::IsUsableManifest(text);
  const bool offered = usable && ravelin::IsDifferentVersion(local, m.version);
  if (json) {
    std::printf(
        "{\"version\": %s, \"autoupdate\": %s, \"silentupdate\": %s, \"http\": %s, \"notes\": %s, "
        "\"offered\": %s}\n",
        Json(m.version).c_str(), Json(m.autoupdate).c_str(), Json(m.silentupdate).c_str(), Json(m.http).c_str(),
        Json(m.notes).c_str(), offered ? "true" : "false");
    return 0;
  }
  std::printf("version: %s\nautoupdate: %s\nsilentupdate: %s\nhttp: %s\nnotes: %s\n", Escaped(m.version).c_str(),
              Escaped(m.autoupdate).c_str(), Escaped(m.silentupdate).c_str(), Escaped(m.http).c_str(),
              Escaped(m.notes).c_str());
  const std::string localText = Escaped(local);
  if (!usable) {
    std::puts("offered: no (no [OsUpdate] section: the launcher reports the manifest unreachable)");
  } else if (m.version.empty()) {
    std::puts("offered: no (no version)");
  } else if (!offered) {
    std::printf("offered: no (same version as local %s)\n", localText.c_str());
  } else {
    std::printf("offered: yes (local %s)\n", localText.c_str());
  }
  return 0;
}

std::wstring LocalDiagTime() {
#ifdef _WIN32
  return ravelin::CGameException::GetDiagTime();
#else
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return ravelin::FormatDiagTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                 local.tm_sec);
#endif
}

// A console tool's captured output as the launcher reads it from the pipe:
// the ANSI code page on Windows, UTF-8 here.
std::wstring ConsoleText(const std::string& bytes) {
#ifdef _WIN32
  return ravelin::FromThreadAnsi(bytes);
#else
  return ravelin::FromUtf8(bytes);
#endif
}

int ParseProbeOutput(const std::vector<std::wstring>& argv) {
  const std::wstring& cmd = argv[2];
  const bool ping = cmd == L"ping";
  if (!ping && cmd != L"tracert") {
    std::fputs(kUsage, stderr);
    return 2;
  }
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
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  const std::optional<std::string> bytes = ReadWholeFile(argv[3]);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", ravelin::ToUtf8(argv[3]).c_str());
    return 2;
  }
  const std::wstring text = ConsoleText(*bytes);

  // The record as the probe builds it before reading the tool's output.
  using F = ravelin::DiagRecord;
  ravelin::DiagRecord record;
  record[F::kCmd] = cmd;
  record[F::kTime] = LocalDiagTime();
  record[F::kType] = type;
  record[F::kUrl] = target;
  const bool read = ping ? ravelin::ReadPingOutput(text, record) : ravelin::ReadTracertOutput(text, record);
  if (!read) {
    std::fputs("no record: the output has fewer than two characters\n", stderr);
    return 1;
  }
  std::wstring line = ravelin::FormatReportLine(record, user);
  if (!line.empty() && line.back() == L'\r') line.pop_back();

  if (!json) {
    // Written whole: a NUL byte in the captured output must not cut the line.
    const std::string bytes8 = ravelin::ToUtf8(line) + "\n";
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

#ifdef _WIN32
int PrintHostUid() {
  const ravelin::HostUid uid = ravelin::ComputeHostUid();
  const char* form = "no base (volume serial only)";
  switch (uid.form) {
    case ravelin::HostUidForm::Disk:
      form = "disk serial and model";
      break;
    case ravelin::HostUidForm::CpuSignature:
      form = "processor signature and volume serial";
      break;
    case ravelin::HostUidForm::MachineGuid:
      form = "machine GUID and volume serial";
      break;
    case ravelin::HostUidForm::NoBase:
      break;
  }
  std::printf("%s\nform: %s\n", ravelin::ToUtf8(uid.text).c_str(), form);
  return 0;
}

ravelin::CGameException* g_roundDiag = nullptr;

LRESULT CALLBACK RoundNotifyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ravelin::WM_DIAG_SOCKET && g_roundDiag != nullptr) {
    g_roundDiag->UdpOnReadable(LOWORD(lParam));
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The worker's start-up round: the measuring runs on its own thread while
// this one takes the echoes, as the game window does.
int RunDiagRound(const std::vector<std::wstring>& argv) {
  bool upload = false;
  for (std::size_t i = 2; i < argv.size(); ++i) {
    if (argv[i] != L"--upload") {
      std::fputs(kUsage, stderr);
      return 2;
    }
    upload = true;
  }
  auto diag = std::make_unique<ravelin::CGameException>();
  diag->m_user = ravelin::ComputeHostUid().text;

  WNDCLASSW wc{};
  wc.lpfnWndProc = &RoundNotifyProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"RavelinToolDiagNotify";
  RegisterClassW(&wc);
  HWND notify = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (notify == nullptr) {
    std::fputs("cannot create the window for socket notifications\n", stderr);
    return 1;
  }
  diag->m_hNotifyWnd = notify;
  g_roundDiag = diag.get();

  std::atomic<bool> done{false};
  bool udpStarted = false;
  std::thread round([&] {
    diag->ReadNetworkConfig();
    udpStarted = diag->UdpSendProbes(100);
    diag->ProbeConnectivity();
    done = true;
    PostMessageW(notify, WM_NULL, 0, 0);
  });
  MSG msg;
  while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  round.join();
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);

  std::fprintf(stderr, "gateway: %s\n", ravelin::ToUtf8(diag->m_gateway).c_str());
  for (const std::wstring& server : diag->m_dnsServers)
    std::fprintf(stderr, "dns: %s\n", ravelin::ToUtf8(server).c_str());
  if (!udpStarted) std::fputs("udp: the socket library could not be started\n", stderr);

  int status = 0;
  if (upload) {
    diag->UdpSummarise();
    std::string before;
    diag->ReadDiagLog(before);
    const bool hadLines = !before.empty() || !diag->m_records.empty();
    diag->UploadDiagLog();
    std::string after;
    diag->ReadDiagLog(after);
    const bool posted = hadLines && after.empty();
    std::printf("upload to %s: %s\n", ravelin::ToUtf8(diag->m_logHost).c_str(),
                posted ? "posted, log emptied" : "not posted, lines kept in the log");
    std::printf("log: %s\n", ravelin::ToUtf8(diag->m_logPath).c_str());
    status = posted ? 0 : 1;
  } else {
    diag->UdpSummarise();
    for (const ravelin::DiagRecord& record : diag->m_records) {
      std::wstring line = ravelin::FormatReportLine(record, diag->m_user);
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      std::printf("%s\n", ravelin::ToUtf8(line).c_str());
    }
  }
  diag->UdpClose();
  g_roundDiag = nullptr;
  DestroyWindow(notify);
  return status;
}

int PrintThisOsClass() {
  DWORD code = 0, build = 0;
  if (!ravelin::GetOsClass(&code, &build)) {
    std::puts("no version record");
    return 1;
  }
  PrintOsClass(code, build);
  return 0;
}
#endif

int Run(const std::vector<std::wstring>& argv) {
  const std::size_t argc = argv.size();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::wstring& command = argv[1];
  if (command == L"cmdline" && argc == 3) return CommandLine(argv[2]);
  if (command == L"osclass" && argc >= 3) {
    const int status = ClassifyGivenFacts(argv);
    if (status == 2) std::fputs(kUsage, stderr);
    return status;
  }
  if (command == L"manifest" && argc >= 3) {
    const int status = ShowManifest(argv);
    if (status == 2) std::fputs(kUsage, stderr);
    return status;
  }
  if (command == L"parse" && argc >= 4) return ParseProbeOutput(argv);
#ifdef _WIN32
  if (command == L"osclass" && argc == 2) return PrintThisOsClass();
  if (command == L"hostuid" && argc == 2) return PrintHostUid();
  if (command == L"diag") return RunDiagRound(argv);
#else
  if (command == L"keygen") return ravelin::tool::Keygen(argv);
  if (command == L"sign") return ravelin::tool::Sign(argv);
#endif
  if (command == L"verify") return ravelin::tool::Verify(argv);
  if (command == L"help" || command == L"--help" || command == L"-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(std::vector<std::wstring>(argv, argv + argc)); }
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(ravelin::FromUtf8(argv[i]));
  return Run(args);
}
#endif
