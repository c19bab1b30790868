// The stand-in ping and tracert, run as the launcher runs them: `TOOL TARGET`
// with stdout on a pipe, steered per target through console.ini.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::testkit::CapturedRun;
using ravelin::testkit::ClearStandinFile;
using ravelin::testkit::ExeDir;
using ravelin::testkit::ReadStandinLines;
using ravelin::testkit::RunCaptured;
using ravelin::testkit::StandinFile;
using ravelin::testkit::WriteStandinSettings;
using ravelin::testkit::WriteWholeFile;

enum class Tool { kPing, kTracert };

CapturedRun RunTool(Tool tool, const std::wstring& target, std::chrono::milliseconds timeout = 20s) {
  const std::wstring name = tool == Tool::kPing ? L"ping" : L"tracert";
  return RunCaptured(ExeDir() + L"\\standin-" + name + L".exe", name + L" " + target, timeout);
}

void WriteConsoleIni(const std::string& text) { ASSERT_TRUE(WriteWholeFile(StandinFile(L"console.ini"), text)); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// Every LF is part of a CRLF.
bool OnlyCrlf(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
  }
  return !text.empty();
}

// What a reader of ping's output takes from it.
struct PingReading {
  std::string bracketAddress;  // from the Pinging line, empty without brackets
  std::vector<int> replyTimes;
  int sent = -1, received = -1, lost = -1;
  int minimum = -1, maximum = -1, average = -1;
  int timeouts = 0;
};

PingReading ReadPing(const std::string& text) {
  PingReading r;
  const std::regex pinging(R"(^Pinging \S+ (?:\[([0-9.]+)\] )?with 32 bytes of data:$)");
  const std::regex reply(R"(^Reply from [0-9.]+: bytes=32 time(<1|=\d+)ms TTL=\d+$)");
  const std::regex packets(R"(^    Packets: Sent = (\d+), Received = (\d+), Lost = (\d+) \(\d+% loss\),$)");
  const std::regex times(R"(^    Minimum = (\d+)ms, Maximum = (\d+)ms, Average = (\d+)ms$)");
  std::smatch m;
  for (const std::string& line : Lines(text)) {
    if (std::regex_match(line, m, pinging)) r.bracketAddress = m[1];
    if (std::regex_match(line, m, reply)) r.replyTimes.push_back(m[1] == "<1" ? 0 : std::stoi(m[1].str().substr(1)));
    if (line == "Request timed out.") ++r.timeouts;
    if (std::regex_match(line, m, packets)) {
      r.sent = std::stoi(m[1]);
      r.received = std::stoi(m[2]);
      r.lost = std::stoi(m[3]);
    }
    if (std::regex_match(line, m, times)) {
      r.minimum = std::stoi(m[1]);
      r.maximum = std::stoi(m[2]);
      r.average = std::stoi(m[3]);
    }
  }
  return r;
}

struct Hop {
  int number = 0;
  std::vector<std::string> probes;  // "<1", "8" or "*"
  std::string where;
};

std::vector<Hop> ReadHops(const std::string& text) {
  std::vector<Hop> hops;
  const std::regex hopLine(R"(^ {0,2}(\d+)((?: +(?:<1 ms|\d+ ms|\*)){3}) {2,}(\S.*)$)");
  const std::regex probe(R"((<1|\d+) ms|\*)");
  std::smatch m;
  for (const std::string& line : Lines(text)) {
    if (!std::regex_match(line, m, hopLine)) continue;
    Hop hop;
    hop.number = std::stoi(m[1]);
    const std::string probes = m[2];
    for (auto it = std::sregex_iterator(probes.begin(), probes.end(), probe); it != std::sregex_iterator(); ++it) {
      hop.probes.push_back((*it)[1].matched ? (*it)[1].str() : "*");
    }
    hop.where = m[3];
    hops.push_back(hop);
  }
  return hops;
}

class ConsoleStandins : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(StandinFile(L"console.ini").empty()) << "RAVELIN_STANDIN_DIR is not set";
    ClearStandinFile(L"console.ini");
    ClearStandinFile(L"console.log");
  }
};

TEST_F(ConsoleStandins, PingPrintsFourRepliesAndStatisticsForNamesAndAddresses) {
  WriteConsoleIni("[addresses]\nknown.example=198.51.100.44\n");
  struct Case {
    const wchar_t* target;
    const char* pingingLine;
    const char* address;
  } cases[] = {
      {L"known.example", "Pinging known.example [198.51.100.44] with 32 bytes of data:", "198.51.100.44"},
      {L"other.example", "Pinging other.example [192.0.2.1] with 32 bytes of data:", "192.0.2.1"},
      {L"203.0.113.5", "Pinging 203.0.113.5 with 32 bytes of data:", "203.0.113.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const CapturedRun run = RunTool(Tool::kPing, c.target);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(OnlyCrlf(run.output)) << run.output;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], c.pingingLine);

    const PingReading r = ReadPing(run.output);
    ASSERT_EQ(r.replyTimes.size(), 4u) << run.output;
    EXPECT_NE(run.output.find(std::string("Reply from ") + c.address + ": bytes=32 time<1ms"), std::string::npos);
    EXPECT_NE(run.output.find("time=", 0), std::string::npos);
    EXPECT_NE(run.output.find(std::string("Ping statistics for ") + c.address + ":\r\n"), std::string::npos);
    EXPECT_EQ(r.sent, 4);
    EXPECT_EQ(r.received, 4);
    EXPECT_EQ(r.lost, 0);
    // The summary agrees with the replies above it.
    EXPECT_EQ(r.minimum, *std::min_element(r.replyTimes.begin(), r.replyTimes.end()));
    EXPECT_EQ(r.maximum, *std::max_element(r.replyTimes.begin(), r.replyTimes.end()));
    int sum = 0;
    for (int t : r.replyTimes) sum += t;
    EXPECT_EQ(r.average, sum / 4);
    // The three values differ, so a reader that swaps them is caught.
    EXPECT_LT(r.minimum, r.average);
    EXPECT_LT(r.average, r.maximum);
    // Order of the statistics: sent, received, lost, then minimum, maximum, average.
    EXPECT_LT(run.output.find("Sent ="), run.output.find("Received ="));
    EXPECT_LT(run.output.find("Lost ="), run.output.find("Minimum ="));
    EXPECT_LT(run.output.find("Maximum ="), run.output.find("Average ="));
  }
}

TEST_F(ConsoleStandins, TracertPrintsNumberedHopsWithTimesNamesAndATimeout) {
  WriteConsoleIni("[addresses]\nknown.example=198.51.100.44\n");
  const CapturedRun run = RunTool(Tool::kTracert, L"known.example");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(OnlyCrlf(run.output)) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "Tracing route to known.example [198.51.100.44]");
  EXPECT_EQ(lines[2], "over a maximum of 30 hops:");
  EXPECT_EQ(lines.back(), "Trace complete.");

  const std::vector<Hop> hops = ReadHops(run.output);
  ASSERT_GE(hops.size(), 4u) << run.output;
  bool lessThanOne = false, namedHop = false, timedOut = false;
  for (std::size_t i = 0; i < hops.size(); ++i) {
    EXPECT_EQ(hops[i].number, static_cast<int>(i + 1));
    ASSERT_EQ(hops[i].probes.size(), 3u);
    if (hops[i].probes[0] == "<1") lessThanOne = true;
    if (std::regex_match(hops[i].where, std::regex(R"([a-z0-9.-]+ \[[0-9.]+\])"))) namedHop = true;
    if (hops[i].probes == std::vector<std::string>{"*", "*", "*"}) {
      timedOut = true;
      EXPECT_EQ(hops[i].where, "Request timed out.");
    }
  }
  EXPECT_TRUE(lessThanOne);
  EXPECT_TRUE(namedHop);
  EXPECT_TRUE(timedOut);
  EXPECT_NE(run.output.find("        *        *     Request timed out.\r\n"), std::string::npos);
  EXPECT_EQ(hops.back().where, "known.example [198.51.100.44]");
}

TEST_F(ConsoleStandins, TracertToAnAddressNamesNoHostForIt) {
  const CapturedRun run = RunTool(Tool::kTracert, L"203.0.113.5");
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "Tracing route to 203.0.113.5 over a maximum of 30 hops");
  const std::vector<Hop> hops = ReadHops(run.output);
  ASSERT_FALSE(hops.empty());
  EXPECT_EQ(hops.back().where, "203.0.113.5");
}

TEST_F(ConsoleStandins, TimeoutBehaviourLosesEveryPacketAndHop) {
  WriteConsoleIni("[ping]\nlost.example=timeout\n[tracert]\nlost.example=timeout\n");
  const CapturedRun ping = RunTool(Tool::kPing, L"lost.example");
  EXPECT_EQ(ping.exitCode, 1u);
  const PingReading r = ReadPing(ping.output);
  EXPECT_EQ(r.timeouts, 4);
  EXPECT_TRUE(r.replyTimes.empty());
  EXPECT_EQ(r.received, 0);
  EXPECT_EQ(r.lost, 4);
  EXPECT_EQ(ping.output.find("Minimum"), std::string::npos);

  const CapturedRun tracert = RunTool(Tool::kTracert, L"lost.example");
  EXPECT_EQ(tracert.exitCode, 0u);
  const std::vector<Hop> hops = ReadHops(tracert.output);
  ASSERT_EQ(hops.size(), 30u) << tracert.output;
  for (const Hop& hop : hops) EXPECT_EQ(hop.probes, (std::vector<std::string>{"*", "*", "*"}));
}

TEST_F(ConsoleStandins, NothingPrintsNothingAndSucceeds) {
  WriteConsoleIni("[ping]\nquiet.example=nothing\n[tracert]\nquiet.example=nothing\n");
  for (Tool tool : {Tool::kPing, Tool::kTracert}) {
    const CapturedRun run = RunTool(tool, L"quiet.example");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
  }
}

TEST_F(ConsoleStandins, FileBehaviourPassesCapturedBytesThroughVerbatim) {
  // A Chinese capture (GBK, fullwidth commas between the statistics) and a
  // Turkish one (code page 857), plus a stray bare LF.
  const std::string chinese =
      "\r\n\xD5\xFD\xD4\xDA Ping 192.0.2.1 \xBE\xDF\xD3\xD0 32 \xD7\xD6\xBD\xDA\xB5\xC4\xCA\xFD\xBE\xDD:\r\n"
      "\xC0\xB4\xD7\xD4 192.0.2.1 \xB5\xC4\xBB\xD8\xB8\xB4: \xD7\xD6\xBD\xDA=32 \xCA\xB1\xBC\xE4<1ms TTL=128\r\n\r\n"
      "192.0.2.1 \xB5\xC4 Ping \xCD\xB3\xBC\xC6\xD0\xC5\xCF\xA2:\r\n"
      "    \xCA\xFD\xBE\xDD\xB0\xFC: \xD2\xD1\xB7\xA2\xCB\xCD = 4\xA3\xAC\xD2\xD1\xBD\xD3\xCA\xD5 = 4\xA3\xAC"
      "\xB6\xAA\xCA\xA7 = 0 (0% \xB6\xAA\xCA\xA7)\xA3\xAC\r\n"
      "    \xD7\xEE\xB6\xCC = 0ms\xA3\xAC\xD7\xEE\xB3\xA4 = 3ms\xA3\xAC\xC6\xBD\xBE\xF9 = 1ms\r\n";
  const std::string turkish =
      "\r\nPinging 192.0.2.1 with 32 bytes of data:\r\n"
      "192.0.2.1 yan\x8Dt\x8D: bayt=32 s\x81re<1ms TTL=128\n"
      "192.0.2.1 i\x87in Ping istatistikleri:\r\n"
      "    Paketler: Giden = 4, Gelen = 4, Kaybolan = 0 (%0 kay\x8Dp),\r\n"
      "    En Az = 0ms, En \x80ok = 3ms, Ortalama = 1ms\r\n";
  ASSERT_TRUE(WriteWholeFile(StandinFile(L"ping_zh.txt"), chinese));
  ASSERT_TRUE(WriteWholeFile(StandinFile(L"tracert_tr.txt"), turkish));
  WriteConsoleIni("[ping]\nzh.example=file:ping_zh.txt\n[tracert]\ntr.example=file:tracert_tr.txt\n");

  const CapturedRun ping = RunTool(Tool::kPing, L"zh.example");
  EXPECT_EQ(ping.exitCode, 0u);
  EXPECT_EQ(ping.output, chinese);
  const CapturedRun tracert = RunTool(Tool::kTracert, L"tr.example");
  EXPECT_EQ(tracert.exitCode, 0u);
  EXPECT_EQ(tracert.output, turkish);
}

TEST_F(ConsoleStandins, FileBehaviourWithAMissingFileFailsQuietly) {
  WriteConsoleIni("[ping]\ngone.example=file:not_there.txt\n");
  const CapturedRun run = RunTool(Tool::kPing, L"gone.example");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.output, "");
}

TEST_F(ConsoleStandins, HangNeverEndsUntilTerminated) {
  WriteConsoleIni("[ping]\nslow.example=hang\n[tracert]\nslow.example=hang\n");
  for (Tool tool : {Tool::kPing, Tool::kTracert}) {
    const CapturedRun run = RunTool(tool, L"slow.example", 1500ms);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.exitCode.has_value());
    EXPECT_TRUE(run.killed);
    EXPECT_EQ(run.output, "");
  }
}

TEST_F(ConsoleStandins, TargetsMatchExactlyAndDefaultCoversTheRest) {
  WriteConsoleIni("; per-target choices\n[ping]\nexample.host=normal\ndefault=nothing\n[tracert]\ndefault=timeout\n");
  EXPECT_NE(RunTool(Tool::kPing, L"example.host").output, "");
  EXPECT_EQ(RunTool(Tool::kPing, L"Example.Host").output, "");
  EXPECT_EQ(RunTool(Tool::kPing, L"elsewhere.example").output, "");
  EXPECT_EQ(ReadHops(RunTool(Tool::kTracert, L"example.host").output).size(), 30u);
}

TEST_F(ConsoleStandins, SettingsWrittenAsUtf16AreRead) {
  ASSERT_TRUE(WriteStandinSettings(L"console.ini", L"[ping]\r\nwide.example=nothing\r\n"));
  const CapturedRun run = RunTool(Tool::kPing, L"wide.example");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, "");
}

TEST_F(ConsoleStandins, EveryInvocationIsRecordedWithItsCommandLineAndBehaviour) {
  WriteConsoleIni("[ping]\nquiet.example=nothing\nslow.example=hang\n[tracert]\nzh.example=file:x.txt\n");
  RunTool(Tool::kPing, L"quiet.example");
  RunTool(Tool::kPing, L"slow.example", 3000ms);  // time to start and write its record before it is ended
  RunTool(Tool::kTracert, L"203.0.113.5");
  RunTool(Tool::kTracert, L"zh.example");
  EXPECT_EQ(ReadStandinLines(L"console.log"),
            (std::vector<std::string>{
                "ping behaviour=nothing target=quiet.example cmdline=ping quiet.example",
                "ping behaviour=hang target=slow.example cmdline=ping slow.example",
                "tracert behaviour=normal target=203.0.113.5 cmdline=tracert 203.0.113.5",
                "tracert behaviour=file:x.txt target=zh.example cmdline=tracert zh.example error=missing",
            }));
}

TEST_F(ConsoleStandins, RunWithoutTheSettingsFolderPrintsTheDefaultAndRecordsNothing) {
  wchar_t saved[2048] = {};
  GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", saved, 2048);
  WriteConsoleIni("[ping]\ndefault=nothing\n");
  SetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", nullptr);
  const CapturedRun run = RunTool(Tool::kPing, L"example.host");
  SetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", saved);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadPing(run.output).replyTimes.size(), 4u);
  EXPECT_TRUE(ReadStandinLines(L"console.log").empty());
}

}  // namespace
