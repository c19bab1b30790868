// The diagnostics object on its own, in a namespace with a gateway, the
// local UDP echo and log endpoint, and the stand-in ping and tracert steered
// per target through console.ini.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "diag/command_runner_win.h"
#include "diag/diagnostics_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::CGameException;
using ravelin::DiagRecord;
using ravelin::testkit::ConsoleToolRuns;
using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;
using ravelin::testkit::ReadStandinLines;
using ravelin::testkit::ServiceRequest;

CGameException* g_notified = nullptr;

LRESULT CALLBACK NotifyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ravelin::WM_DIAG_SOCKET && g_notified != nullptr) {
    g_notified->UdpOnReadable(LOWORD(lParam));
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeNotifyWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &NotifyProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DiagTestNotify";
  RegisterClassW(&wc);
  return CreateWindowW(L"DiagTestNotify", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

std::string FormDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The raw bodies the log endpoint accepted, oldest first. Encoded bodies are
// plain ASCII without quotes or backslashes, so they stand in the JSON as sent.
std::vector<std::string> UploadedBodies() {
  std::vector<std::string> bodies;
  const auto json = ServiceRequest(L"GET", L"/_standin/uploads");
  if (!json) return bodies;
  // Found by hand, not with std::regex: its matching recurses per character
  // and overflows the stack on a body of a few kilobytes.
  const std::string key = "\"raw\": \"";
  for (std::size_t at = json->find(key); at != std::string::npos; at = json->find(key, at)) {
    at += key.size();
    const std::size_t end = json->find('"', at);
    if (end == std::string::npos) break;
    bodies.push_back(json->substr(at, end - at));
    at = end;
  }
  return bodies;
}

// The log text of one accepted body, after checking the form around it.
std::string InfoOf(const std::string& body) {
  const std::string head = "info=", tail = "&check=md5pelrose";
  EXPECT_EQ(body.rfind(head, 0), 0u) << body;
  EXPECT_TRUE(body.size() >= tail.size() && body.compare(body.size() - tail.size(), tail.size(), tail) == 0) << body;
  if (body.size() < head.size() + tail.size()) return {};
  const std::string encoded = body.substr(head.size(), body.size() - head.size() - tail.size());
  EXPECT_EQ(encoded.find_first_of("&+= "), std::string::npos) << "the value is sent encoded";
  return FormDecode(encoded);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\r', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with a carriage return";
  return lines;
}

std::vector<std::string> LinesOfType(const std::vector<std::string>& lines, const std::string& type) {
  std::vector<std::string> found;
  for (const std::string& l : lines) {
    if (l.find("|type|" + type + "|") != std::string::npos) found.push_back(l);
  }
  return found;
}

class Diagnostics : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset"));
    ravelin::testkit::ClearStandinFile(L"console.log");
    WriteConsoleIni("");
    // The log file goes to a folder of this test.
    ASSERT_FALSE(temp.Path().empty());
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[1024] = {};
      GetEnvironmentVariableW(name, value, 1024);
      savedTemp.emplace_back(name, value);
      SetEnvironmentVariableW(name, temp.Path().c_str());
    }
    notify = MakeNotifyWindow();
    ASSERT_NE(notify, nullptr);
    diag = std::make_unique<CGameException>();
    diag->m_user = L"u&s+r%";
    diag->m_hNotifyWnd = notify;
    diag->m_publicSites = {L"127.0.0.2", L"127.0.0.3", L"127.0.0.4", L"127.0.0.5"};
    diag->m_serverList = L"127.0.0.21+other.example\r127.0.0.11+127.0.0.1\r127.0.0.12+127.0.0.1";
    g_notified = diag.get();
  }
  void TearDown() override {
    if (diag) {
      if (diag->m_hThread) diag->StopDiagWorker();
      diag->UdpClose();
    }
    g_notified = nullptr;
    diag.reset();
    DestroyWindow(notify);
    for (const auto& [name, value] : savedTemp) SetEnvironmentVariableW(name.c_str(), value.c_str());
  }
  static void WriteConsoleIni(const std::string& text) {
    ASSERT_TRUE(ravelin::testkit::WriteWholeFile(ravelin::testkit::StandinFile(L"console.ini"), text));
  }
  std::string LogFile() const { return ravelin::testkit::ReadWholeFile(diag->m_logPath).value_or(""); }
  static DiagRecord Record(const wchar_t* cmd, const wchar_t* url) {
    DiagRecord r;
    r[DiagRecord::kCmd] = cmd;
    r[DiagRecord::kTime] = L"12/07/26-09:05:03";
    r[DiagRecord::kType] = L"publicurl";
    r[DiagRecord::kUrl] = url;
    return r;
  }
  std::wstring UdpLine() {
    diag->m_records.clear();
    diag->UdpSummarise();
    if (diag->m_records.empty() || diag->m_records.back()[DiagRecord::kCmd] != L"udp") return L"(no udp record)";
    return diag->m_records.back()[DiagRecord::kUdp];
  }

  ravelin::testkit::TempDir temp{L"diag"};
  std::vector<std::pair<std::wstring, std::wstring>> savedTemp;
  HWND notify = nullptr;
  std::unique_ptr<CGameException> diag;
};

TEST_F(Diagnostics, TheStartupRoundPostsGatewayDnsPublicSiteAndUdpRecordsInOneUpload) {
  diag->StartDiagWorker();
  ASSERT_TRUE(PumpUntil([] { return !UploadedBodies().empty(); }, 60s)) << "no upload";
  const auto bodies = UploadedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  const std::string info = InfoOf(bodies[0]);
  EXPECT_EQ(ravelin::FormUrlEncode(info), bodies[0].substr(5, bodies[0].size() - 5 - 17)) << "encoded exactly";
  const auto lines = SplitLines(info);

  const auto gateway = LinesOfType(lines, "Gateway");
  ASSERT_EQ(gateway.size(), 1u);
  EXPECT_NE(gateway[0].find("cmd|ping|user|u&s+r%|time|"), std::string::npos) << gateway[0];
  EXPECT_NE(gateway[0].find("|url|192.0.2.1|ip|192.0.2.1|send|4|received|4|lost|0 (0% loss)|min|0ms|max|3ms|ave|1ms"),
            std::string::npos)
      << gateway[0];

  EXPECT_EQ(LinesOfType(lines, "DNS").size(), diag->m_dnsServers.size());
  const auto sites = LinesOfType(lines, "publicurl");
  ASSERT_EQ(sites.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(sites[i].find("|url|127.0.0." + std::to_string(i + 2) + "|"), std::string::npos) << sites[i];
  }
  // The figures are checked where the echo can answer: this namespace's
  // interface takes the socket's datagrams (see the echo tests).
  const auto udp = LinesOfType(lines, "checkUdp");
  ASSERT_EQ(udp.size(), 1u);
  EXPECT_TRUE(std::regex_search(
      udp[0], std::regex(R"(\|url\|127\.0\.0\.1\|udp\|100times:Lost\d+ Out-?\d+ Max\d+ Min-?\d+ Avg-?\d+ All-?\d+$)")))
      << udp[0];

  // Order of the round: gateway, DNS servers, then the sites.
  const auto runs = ConsoleToolRuns();
  ASSERT_GE(runs.size(), 5u);
  EXPECT_EQ(runs.front(), "ping 192.0.2.1");
  EXPECT_EQ(runs.back(), "ping 127.0.0.5");
  EXPECT_TRUE(diag->m_publicReachable);
  // Emptied once the answer is in, just after the service recorded the post.
  EXPECT_TRUE(PumpUntil([&] { return LogFile().empty(); }, 5s)) << "a successful post empties the log";
}

TEST_F(Diagnostics, EchoModesGiveTheirLossAndDelayFigures) {
  struct Case {
    const char* mode;
    std::regex expected;
  } cases[] = {
      {R"({"mode":"echo"})", std::regex(R"(^100times:Lost0 Out0 Max\d+ Min\d+ Avg\d+ All\d+$)")},
      {R"({"mode":"duplicate"})", std::regex(R"(^100times:Lost0 Out0 Max\d+ Min\d+ Avg\d+ All\d+$)")},
      {R"({"mode":"silent"})", std::regex(R"(^100times:Lost100 Out-1 Max100 Min-1 Avg-1 All-1$)")},
      {R"({"mode":"garbage"})", std::regex(R"(^100times:Lost100 Out-1 Max100 Min-1 Avg-1 All-1$)")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/udp", c.mode));
    ASSERT_TRUE(diag->UdpSendProbes(100));
    PumpMessages(1500ms);
    const std::string line = ravelin::ToUtf8(UdpLine());
    EXPECT_TRUE(std::regex_match(line, c.expected)) << line;
  }
}

TEST_F(Diagnostics, LateAndDroppedEchoesCountAsOutAndLost) {
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/udp", R"({"mode":"delay","every":4,"delay_ms":700})"));
  ASSERT_TRUE(diag->UdpSendProbes(100));
  PumpMessages(2500ms);
  std::smatch m;
  std::string line = ravelin::ToUtf8(UdpLine());
  ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(^100times:Lost0 Out(\d+) Max(\d+) Min(\d+) Avg(\d+) All(\d+)$)")))
      << line;
  EXPECT_EQ(std::stoi(m[1]), 25) << "every fourth echo came after 700 ms";
  EXPECT_GE(std::stoi(m[2]), 700);
  EXPECT_LT(std::stoi(m[3]), 500);
  EXPECT_GE(std::stoi(m[5]), 25 * 700) << "late echoes count in the sum";

  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/udp", R"({"mode":"drop","share":0.3,"seed":7})"));
  ASSERT_TRUE(diag->UdpSendProbes(100));
  PumpMessages(1500ms);
  line = ravelin::ToUtf8(UdpLine());
  ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(^100times:Lost(\d+) Out(\d+) Max\d+ Min\d+ Avg\d+ All\d+$)")))
      << line;
  EXPECT_GT(std::stoi(m[1]), 0);
  EXPECT_LT(std::stoi(m[1]), 100);
  EXPECT_EQ(m[1], m[2]) << "nothing was late, so Out is the lost count";
  EXPECT_EQ(UdpLine(), L"(no udp record)") << "a summarised table is empty";
}

TEST_F(Diagnostics, AFailedPostKeepsTheLinesAndTheNextSendsOldAndNewOldestFirst) {
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode":"refuse"})"));
  diag->m_records.push_back(Record(L"ping", L"first&one"));
  diag->UploadDiagLog();
  EXPECT_TRUE(diag->m_records.empty()) << "written to the log";
  const std::string kept = LogFile();
  EXPECT_EQ(kept.rfind("cmd|ping|user|u&s+r%|time|12/07/26-09:05:03|type|publicurl|url|first&one|ip|NULL|", 0), 0u)
      << kept;
  EXPECT_TRUE(UploadedBodies().empty());

  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode":"ok"})"));
  diag->m_records.push_back(Record(L"tracert", L"second+100%"));
  diag->UploadDiagLog();
  const auto bodies = UploadedBodies();
  ASSERT_EQ(bodies.size(), 1u);
  const auto lines = SplitLines(InfoOf(bodies[0]));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("|url|first&one|"), std::string::npos);
  EXPECT_EQ(lines[1], "cmd|tracert|user|u&s+r%|time|12/07/26-09:05:03|type|publicurl|url|second+100%|tracert|NULL");
  EXPECT_EQ(LogFile(), "");

  // Nothing pending and an empty log: no request at all.
  diag->UploadDiagLog();
  EXPECT_EQ(UploadedBodies().size(), 1u);
}

TEST_F(Diagnostics, TheLogDropsItsOldestLinesBeyondOneMebibyte) {
  ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode":"close"})"));
  std::string old;
  for (int i = 0; old.size() <= ravelin::kDiagLogLimit + 5000; ++i) old += "old line " + std::to_string(i) + "\r";
  ASSERT_TRUE(ravelin::testkit::WriteWholeFile(diag->m_logPath, old));
  diag->m_records.push_back(Record(L"ping", L"newest"));
  diag->UploadDiagLog();
  const std::string log = LogFile();
  EXPECT_LE(log.size(), ravelin::kDiagLogLimit);
  EXPECT_GT(log.size(), ravelin::kDiagLogLimit - 100);
  EXPECT_EQ(log.rfind("old line ", 0), 0u) << "starts with a whole line";
  EXPECT_NE(log.find("|url|newest|"), std::string::npos);
  EXPECT_EQ(old.substr(old.size() - (log.size() - SplitLines(log).back().size() - 1)),
            log.substr(0, log.size() - SplitLines(log).back().size() - 1))
      << "the newest old lines are kept, in order";
}

TEST_F(Diagnostics, TheGameUrlCheckFallsBackToTheServerListAndTracesTheRoute) {
  WriteConsoleIni(
      "[ping]\n127.0.0.1=nothing\n127.0.0.11=nothing\n127.0.0.2=timeout\n127.0.0.3=normal\n"
      "[tracert]\ndefault=normal\n");
  diag->ProbeConnectivity();
  EXPECT_TRUE(diag->m_publicReachable);
  diag->m_records.clear();
  ravelin::testkit::ClearStandinFile(L"console.log");

  diag->CheckGameUrl(L"https://127.0.0.1/game/movie.swf");
  EXPECT_EQ(ConsoleToolRuns(), (std::vector<std::string>{"ping 127.0.0.1", "ping 127.0.0.11", "tracert 127.0.0.11"}));
  const auto bodies = UploadedBodies();
  ASSERT_EQ(bodies.size(), 1u) << "only the check uploads";
  const auto lines = SplitLines(InfoOf(bodies.back()));
  const auto trace = LinesOfType(lines, "TGameUrl");
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_NE(trace[0].find("|url|127.0.0.11|tracert|198.51.100.1:<1ms>"), std::string::npos) << trace[0];
  EXPECT_TRUE(LinesOfType(lines, "PGameUlr").empty()) << "a silent ping makes no record";
}

TEST_F(Diagnostics, TheGameUrlCheckStopsAtTheHostWhenItAnswersOrNothingMatches) {
  WriteConsoleIni("[ping]\nnowhere.example=nothing\n127.0.0.11=nothing\ndefault=normal\n");
  diag->CheckGameUrl(L"http://127.0.0.1");
  diag->CheckGameUrl(L"http://nowhere.example/x/y");
  diag->m_publicReachable = false;
  diag->m_serverList = L"127.0.0.11+nowhere.example";
  diag->CheckGameUrl(L"http://nowhere.example/x");
  EXPECT_EQ(ConsoleToolRuns(), (std::vector<std::string>{"ping 127.0.0.1", "ping nowhere.example",
                                                         "ping nowhere.example", "ping 127.0.0.11"}))
      << "no route trace without a reachable public site";
}

TEST_F(Diagnostics, CommandsRunInOrderAndStoppingEndsAHangingRouteTraceAtOnce) {
  WriteConsoleIni("[ping]\n127.0.0.1=nothing\n127.0.0.11=nothing\ndefault=normal\n[tracert]\ndefault=hang\n");
  diag->StartDiagWorker();
  ASSERT_TRUE(PumpUntil([] { return !UploadedBodies().empty(); }, 60s)) << "start-up round";
  // A new UDP batch gives the last upload something to carry.
  diag->PostDiagCommand(nullptr, ravelin::WM_DIAG_UDP_SEND, L"");
  diag->PostDiagCommand(nullptr, ravelin::WM_DIAG_GAMEURL, L"http://127.0.0.1/game/movie.swf");
  diag->PostDiagCommand(nullptr, ravelin::WM_DIAG_GAMEURL, L"http://127.0.0.1/game/movie.swf");
  ASSERT_TRUE(PumpUntil(
      [] {
        const auto runs = ConsoleToolRuns();
        return !runs.empty() && runs.back() == "tracert 127.0.0.11";
      },
      30s));
  PumpMessages(500ms);  // the echoes arrive through the window's queue

  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(diag->StopDiagWorker()) << "the worker was left behind";
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, 4s) << "leaving does not wait for the route trace";
  const auto runs = ConsoleToolRuns();
  EXPECT_EQ(std::count(runs.begin(), runs.end(), "tracert 127.0.0.11"), 1)
      << "the second check ran no tool after the stop";

  const auto bodies = UploadedBodies();
  ASSERT_EQ(bodies.size(), 2u) << "start-up and the final upload";
  const auto lines = SplitLines(InfoOf(bodies.back()));
  ASSERT_EQ(LinesOfType(lines, "checkUdp").size(), 1u) << "the batch collected since the first upload";
  EXPECT_NE(lines.back().find("|udp|100times:Lost0 Out0 "), std::string::npos) << lines.back();
  EXPECT_EQ(LogFile(), "");
  // The worker is gone: posts fail and are dropped.
  diag->PostDiagCommand(nullptr, ravelin::WM_DIAG_PROBE, L"");
  PumpMessages(300ms);
  EXPECT_EQ(UploadedBodies().size(), 2u);
}

// Leaving while a fault holds the diagnostics: the worker lets go within
// its bound, and every line it made reaches the log endpoint, with the last
// post when that can go out, else with the next start's first one. Runs
// where the namespace has a gateway: what is sent there is dropped.
TEST_F(Diagnostics, LeavingWhileAFaultHoldsTheDiagnosticsEndsInTimeAndLosesNoLine) {
  const auto toolRan = [](const char* run) {
    return [run] {
      for (const std::string& line : ReadStandinLines(L"console.log")) {
        if (line.rfind(run, 0) == 0) return true;
      }
      return false;
    };
  };
  const auto logPostSeen = [] {
    const auto requests = ServiceRequest(L"GET", L"/_standin/requests?path=/loginer/logData.php");
    return requests && requests->find("\"POST\"") != std::string::npos;
  };
  const auto roundDone = [toolRan] { return toolRan("ping behaviour=normal target=127.0.0.5")(); };
  const struct Fault {
    const char* name;
    const char* consoleIni;
    const wchar_t* logMode;
    const wchar_t* logHost;  // null: the local service
    std::function<bool()> holding;
  } faults[] = {
      {"a ping that never ends", "[ping]\n127.0.0.5=hang\n", L"ok", nullptr,
       toolRan("ping behaviour=hang target=127.0.0.5")},
      {"a ping whose child keeps the pipe", "[ping]\n127.0.0.5=orphan\n", L"ok", nullptr,
       toolRan("ping behaviour=orphan target=127.0.0.5")},
      {"a log endpoint that never answers", "", L"hang", nullptr, logPostSeen},
      {"a log host whose packets are dropped", "", L"ok", L"192.0.2.99", roundDone},
      {"a log host whose name no DNS server answers for", "", L"ok", L"logs.example", roundDone},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/reset"));
    ravelin::testkit::ClearStandinFile(L"console.log");
    WriteConsoleIni(fault.consoleIni);
    ASSERT_TRUE(
        ServiceRequest(L"POST", L"/_standin/log_endpoint", "{\"mode\": \"" + ravelin::ToUtf8(fault.logMode) + "\"}"));
    diag->m_logHost = fault.logHost != nullptr ? fault.logHost : L"127.0.0.1";
    diag->StartDiagWorker();
    ASSERT_TRUE(PumpUntil(fault.holding, 60s)) << "the fault never held the worker";
    PumpMessages(500ms);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(diag->StopDiagWorker()) << "the worker was left behind";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);

    // The next start, on a healthy network.
    WriteConsoleIni("");
    ASSERT_TRUE(ServiceRequest(L"POST", L"/_standin/log_endpoint", R"({"mode": "ok"})"));
    diag->m_logHost = L"127.0.0.1";
    diag->StartDiagWorker();
    const auto gatewayLines = [] {
      std::size_t found = 0;
      for (const std::string& body : UploadedBodies()) found += LinesOfType(SplitLines(InfoOf(body)), "Gateway").size();
      return found;
    };
    EXPECT_TRUE(PumpUntil([&] { return gatewayLines() >= 2; }, 60s))
        << "the lines of the first start never arrived; uploaded " << gatewayLines();
    EXPECT_EQ(gatewayLines(), 2u);
    diag->StopDiagWorker();
    EXPECT_EQ(LogFile(), "");
  }
}

TEST_F(Diagnostics, AToolPastItsCeilingIsEndedAndWhatItPrintedIsRead) {
  WriteConsoleIni("[tracert]\nslow=hang\n");
  diag->m_traceCeilingMs = 1500;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(diag->TraceRouteProbe(L"slow", L"TGameUrl")) << "it printed nothing";
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(CommandRunner, ReturnsStandardOutputWholeAndDropsStandardError) {
  std::wstring out;
  ravelin::RunCommandCapture(L"cmd.exe /c echo to-out& echo to-err 1>&2", out);
  EXPECT_EQ(out, L"to-out\r\n");

  // The stand-in ping prints a file's bytes as they are.
  std::string big;
  for (int i = 0; i < 900; ++i) big += "line " + std::to_string(i) + " \xE9\xE8\r\n";  // > 2,000 bytes, one byte a char
  ASSERT_TRUE(ravelin::testkit::WriteWholeFile(ravelin::testkit::StandinFile(L"big.txt"), big));
  ASSERT_TRUE(
      ravelin::testkit::WriteWholeFile(ravelin::testkit::StandinFile(L"console.ini"), "[ping]\nbig=file:big.txt\n"));
  out.clear();
  ravelin::RunCommandCapture(L"ping big", out);
  ASSERT_EQ(out.size(), big.size());
  EXPECT_EQ(out.substr(0, 8), L"line 0 \u00E9");
  EXPECT_EQ(out.substr(out.size() - 13), L"line 899 \u00E9\u00E8\r\n");

  out = L"kept";
  ravelin::RunCommandCapture(L"no-such-tool-anywhere 1", out);
  EXPECT_EQ(out, L"kept") << "nothing started, nothing changed";
}

}  // namespace
