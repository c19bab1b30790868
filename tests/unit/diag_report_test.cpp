#include "diag/diag_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ravelin {
namespace {

using F = DiagRecord;

DiagRecord Record(const wchar_t* cmd) {
  DiagRecord r;
  r[F::kCmd] = cmd;
  r[F::kTime] = L"12/07/26-09:05:03";
  r[F::kType] = L"publicurl";
  r[F::kUrl] = L"game.example";
  return r;
}

TEST(ReportLine, EachCommandReportsItsOwnFields) {
  DiagRecord ping = Record(L"ping");
  ping[F::kIp] = L"192.0.2.7";
  ping[F::kSend] = L"4";
  ping[F::kReceived] = L"3";
  ping[F::kLost] = L"1 (25% loss)";
  ping[F::kMin] = L"1ms";
  ping[F::kMax] = L"3ms";
  ping[F::kUdp] = L"never shown";
  ping[F::kTracert] = L"never shown";
  EXPECT_EQ(FormatReportLine(ping, L"player"),
            L"cmd|ping|user|player|time|12/07/26-09:05:03|type|publicurl|url|game.example|ip|192.0.2.7|send|4|"
            L"received|3|lost|1 (25% loss)|min|1ms|max|3ms|ave|\r");

  DiagRecord udp = Record(L"udp");
  udp[F::kType] = L"checkUdp";
  udp[F::kUdp] = L"100times:Lost0 Out0 Max5 Min1 Avg2 All200";
  udp[F::kIp] = L"never shown";
  EXPECT_EQ(FormatReportLine(udp, L""),
            L"cmd|udp|user||time|12/07/26-09:05:03|type|checkUdp|url|game.example|udp|"
            L"100times:Lost0 Out0 Max5 Min1 Avg2 All200\r");

  DiagRecord tracert = Record(L"tracert");
  tracert[F::kTracert] = L"192.0.2.1:<1ms>out.:NULLms>";
  tracert[F::kSend] = L"never shown";
  EXPECT_EQ(FormatReportLine(tracert, L"u"),
            L"cmd|tracert|user|u|time|12/07/26-09:05:03|type|publicurl|url|game.example|tracert|"
            L"192.0.2.1:<1ms>out.:NULLms>\r");

  // Any other command, and a fresh record, give the common part only.
  EXPECT_EQ(FormatReportLine(Record(L"dns"), L"u"),
            L"cmd|dns|user|u|time|12/07/26-09:05:03|type|publicurl|url|game.example\r");
  EXPECT_EQ(FormatReportLine(DiagRecord(), L""), L"cmd|NULL|user||time|NULL|type|NULL|url|NULL\r");
  // The command compares exactly.
  EXPECT_EQ(FormatReportLine(Record(L"PING"), L"u").find(L"|ip|"), std::wstring::npos);
}

TEST(ReportLine, ValuesGoInUnescaped) {
  DiagRecord r = Record(L"tracert");
  r[F::kUrl] = L"http://a.example/?x=1&y=2+3%20";
  r[F::kTracert] = L"a|b\u00E9";
  EXPECT_EQ(FormatReportLine(r, L"p|q&r"),
            L"cmd|tracert|user|p|q&r|time|12/07/26-09:05:03|type|publicurl|url|http://a.example/?x=1&y=2+3%20|"
            L"tracert|a|b\u00E9\r");
}

TEST(ReportLine, LinesFollowEachOther) {
  EXPECT_EQ(FormatReportLines({}, L"u"), L"");
  const std::wstring one = FormatReportLine(Record(L"dns"), L"u");
  const std::wstring two = FormatReportLine(Record(L"tracert"), L"u");
  EXPECT_EQ(FormatReportLines({Record(L"dns"), Record(L"tracert")}, L"u"), one + two);
}

TEST(DiagLog, PathInTheTemporaryFolder) {
  EXPECT_EQ(DiagLogPath(L"C:\\Users\\p\\AppData\\Local\\Temp\\"),
            L"C:\\Users\\p\\AppData\\Local\\Temp\\Corvaneout.txt");
  EXPECT_EQ(DiagLogPath(L"C:\\Temp\\\\"), L"C:\\Temp\\Corvaneout.txt");
  EXPECT_EQ(DiagLogPath(L"C:\\Temp"), L"C:\\Temp\\Corvaneout.txt");
  EXPECT_EQ(DiagLogPath(L""), L"c:\\Corvaneout.txt");
}

TEST(DiagLog, CapDropsTheOldestWholeLines) {
  const struct {
    const char* text;
    std::size_t limit;
    const char* kept;
  } cases[] = {
      {"a\rbb\rccc\r", 9, "a\rbb\rccc\r"},  // exactly at the limit: untouched
      {"a\rbb\rccc\r", 8, "bb\rccc\r"},
      {"a\rbb\rccc\r", 7, "bb\rccc\r"},
      {"a\rbb\rccc\r", 6, "ccc\r"},  // never half a line
      {"a\rbb\rccc\r", 4, "ccc\r"},
      {"a\rbb\rccc\r", 3, ""},   // the newest line alone does not fit
      {"a\rbb\rccc", 5, "ccc"},  // a last line without its return
      {"abcdef", 6, "abcdef"},
      {"abcdef", 5, ""},
      {"", 0, ""},
      {"\r\r\r", 2, "\r\r"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    CapLogText(text, c.limit);
    EXPECT_EQ(text, c.kept) << '"' << c.text << "\" limit " << c.limit;
    EXPECT_LE(text.size(), c.limit);
  }
}

TEST(DiagLog, CapAtTheDefaultLimit) {
  const std::string line(1000, 'x');
  std::string text;
  for (int i = 0; i < 1100; ++i) text += std::to_string(i % 10) + line + '\r';
  const std::string newest = text.substr(text.size() - 1002);
  CapLogText(text);
  EXPECT_LE(text.size(), kDiagLogLimit);
  EXPECT_GT(text.size(), kDiagLogLimit - 1002);
  EXPECT_EQ(text.size() % 1002, 0u);
  EXPECT_EQ(text.substr(text.size() - 1002), newest);
}

TEST(FormEncoding, OnlyUnreservedBytesStay) {
  EXPECT_EQ(FormUrlEncode("a&b+c%d\r \xC3\xA9"), "a%26b%2Bc%25d%0D%20%C3%A9");
  EXPECT_EQ(FormUrlEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(FormUrlEncode(std::string_view("|=\0\xFF", 4)), "%7C%3D%00%FF");
  EXPECT_EQ(FormUrlEncode(""), "");
}

TEST(GameAddress, HostAfterTheSchemeUpToThePath) {
  EXPECT_EQ(GameUrlHost(L"http://game.example/play?x=1"), L"game.example");
  EXPECT_EQ(GameUrlHost(L"https://game.example:8443/a/b"), L"game.example:8443");
  EXPECT_EQ(GameUrlHost(L"game.example/play"), L"game.example");
  EXPECT_EQ(GameUrlHost(L"http://game.example"), L"game.example");
  // The scheme is a prefix, not a set of letters to strip.
  EXPECT_EQ(GameUrlHost(L"http://ptth.example/x"), L"ptth.example");
  EXPECT_EQ(GameUrlHost(L"https://spth.example"), L"spth.example");
  EXPECT_EQ(GameUrlHost(L"hthttp://x/y"), L"hthttp:");
  EXPECT_EQ(GameUrlHost(L""), L"");
}

TEST(GameAddress, ServerListLookup) {
  const wchar_t kList[] =
      L"\r\r"
      L"no-plus-here\r"
      L"10.0.0.1+Game.example\r"
      L"10.0.0.2+game.example\r"
      L"10.0.0.3+game.example\r"
      L"10.0.0.4+other.example";
  EXPECT_EQ(FindGameServer(kList, L"game.example"), L"10.0.0.2");  // exact case, first match
  EXPECT_EQ(FindGameServer(kList, L"Game.example"), L"10.0.0.1");
  EXPECT_EQ(FindGameServer(kList, L"other.example"), L"10.0.0.4");  // last entry without '\r'
  EXPECT_EQ(FindGameServer(kList, L"GAME.EXAMPLE"), std::nullopt);
  EXPECT_EQ(FindGameServer(kList, L"no-plus-here"), std::nullopt);
  EXPECT_EQ(FindGameServer(kList, L""), std::nullopt);
  EXPECT_EQ(FindGameServer(L"", L"game.example"), std::nullopt);
}

TEST(ProbeTarget, HostNamesAndAddressesButNothingThatCouldBeAnOption) {
  const struct {
    const wchar_t* target;
    bool runs;
  } cases[] = {
      {L"game.example", true},
      {L"192.0.2.7", true},
      {L"ae1.ams10.example.net", true},
      {L"host-with-dash.example", true},
      {L"[2001:db8::1]", true},
      {L"", true},  // runs as before: the tool answers with its usage
      {L"-t", false},
      {L"-n 1000 game.example", false},
      {L"game.example -t", false},
      {L"game.example\t-t", false},
      {L"\"game.example\"", false},
      {L"a\"b", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsProbeTarget(c.target), c.runs) << testing::PrintToString(std::wstring(c.target));
}

TEST(UdpProbe, DatagramIsTheNumberAndAZeroByte) {
  EXPECT_EQ(FormatProbeDatagram(7), std::string("7\0", 2));
  EXPECT_EQ(FormatProbeDatagram(100), std::string("100\0", 4));
  EXPECT_EQ(FormatProbeDatagram(-12), std::string("-12\0", 4));
  EXPECT_EQ(ReadProbeNumber(FormatProbeDatagram(100)), 100);
}

TEST(UdpProbe, NumberReadsAsAtoi) {
  const struct {
    std::string_view bytes;
    int number;
  } cases[] = {
      {"42", 42},
      {std::string_view("42\0junk", 7), 42},
      {" \t\n\v\f\r17x", 17},
      {"+8", 8},
      {"-8", -8},
      {"- 8", 0},
      {"+-8", 0},
      {"abc", 0},
      {"", 0},
      {"   ", 0},
      {"0007", 7},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-99999999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadProbeNumber(c.bytes), c.number) << '"' << c.bytes << '"';
}

TEST(UdpProbe, NumberStopsAtTheEndOfTheView) {
  // Heap blocks of exactly the view's size, so a sanitizer build catches a
  // read past them.
  const auto exact = [](std::string_view text) {
    auto block = std::make_unique<char[]>(text.size());
    std::copy(text.begin(), text.end(), block.get());
    return block;
  };
  const auto digits = exact("123");
  EXPECT_EQ(ReadProbeNumber(std::string_view(digits.get(), 3)), 123);
  EXPECT_EQ(ReadProbeNumber(std::string_view(digits.get(), 2)), 12);
  const auto blanks = exact(" \t ");
  EXPECT_EQ(ReadProbeNumber(std::string_view(blanks.get(), 3)), 0);
  const auto sign = exact(" -");
  EXPECT_EQ(ReadProbeNumber(std::string_view(sign.get(), 2)), 0);
  EXPECT_EQ(ReadProbeNumber(std::string_view("987654", 3)), 987);
}

std::string Answer(int number) { return FormatProbeDatagram(number); }

TEST(UdpProbe, AllAnsweredInTime) {
  UdpProbeTable table;
  for (int n = 1; n <= 100; ++n) table.Sent(n, 1000);
  // Reply times 1..50 ms, twice over.
  for (int n = 1; n <= 100; ++n) EXPECT_TRUE(table.Answered(Answer(n), 1000 + 1 + (n - 1) % 50));
  EXPECT_EQ(table.Find(3)->time, 3);
  EXPECT_TRUE(table.Find(3)->received);
  EXPECT_EQ(table.Summarise(), L"100times:Lost0 Out0 Max50 Min1 Avg25 All2550");
  EXPECT_EQ(table.Size(), 0u);
}

TEST(UdpProbe, NoneAnswered) {
  UdpProbeTable table;
  for (int n = 1; n <= 100; ++n) table.Sent(n, 5);
  EXPECT_EQ(table.Summarise(), L"100times:Lost100 Out-1 Max100 Min-1 Avg-1 All-1");
}

TEST(UdpProbe, SlowAndLostRepliesCountAsOut) {
  UdpProbeTable table;
  for (int n = 1; n <= 5; ++n) table.Sent(n, 0);
  table.Answered(Answer(1), 10);
  table.Answered(Answer(2), 500);  // at the limit: in time
  table.Answered(Answer(3), 501);
  table.Answered(Answer(4), 600);
  // Probe 5 is lost: Out counts it too.
  EXPECT_EQ(table.Summarise(), L"100times:Lost1 Out3 Max600 Min10 Avg402 All1611");
}

TEST(UdpProbe, AnswersThatAreDropped) {
  UdpProbeTable table;
  table.Sent(1, 100);
  table.Sent(2, 100);
  EXPECT_TRUE(table.Answered("1", 120));
  EXPECT_FALSE(table.Answered("1", 900));  // a repeat keeps the first time
  EXPECT_EQ(table.Find(1)->time, 20);
  EXPECT_FALSE(table.Answered("garbage", 130));  // reads as 0: not sent
  EXPECT_FALSE(table.Answered("-2", 130));
  EXPECT_FALSE(table.Answered("3", 130));
  EXPECT_FALSE(table.Answered("", 130));
  EXPECT_FALSE(table.Find(2)->received);
  EXPECT_EQ(table.Find(2)->time, 100);
  EXPECT_EQ(table.Find(3), std::nullopt);
  EXPECT_EQ(table.Summarise(), L"100times:Lost1 Out1 Max20 Min20 Avg20 All20");
  // The table is empty after its summary: late answers are dropped and
  // there is no second summary.
  EXPECT_FALSE(table.Answered("2", 140));
  EXPECT_EQ(table.Summarise(), std::nullopt);
}

TEST(UdpProbe, EmptyTableHasNoSummary) {
  UdpProbeTable table;
  EXPECT_EQ(table.Summarise(), std::nullopt);
  EXPECT_FALSE(table.Answered("1", 0));
}

TEST(UdpProbe, SendingAgainStartsTheProbeOver) {
  UdpProbeTable table;
  table.Sent(1, 0);
  EXPECT_TRUE(table.Answered("1", 40));
  table.Sent(1, 100);
  EXPECT_FALSE(table.Find(1)->received);
  EXPECT_TRUE(table.Answered("1", 107));
  EXPECT_EQ(table.Summarise(), L"100times:Lost0 Out0 Max7 Min7 Avg7 All7");
}

TEST(UdpProbe, TickCounterWrapsAround) {
  UdpProbeTable table;
  table.Sent(1, 0xFFFFFF00u);
  table.Sent(2, 0x7FFFFFF0u);  // across the signed boundary as well
  EXPECT_TRUE(table.Answered("1", 0x40u));
  EXPECT_TRUE(table.Answered("2", 0x80000010u));
  EXPECT_EQ(table.Find(1)->time, 320);
  EXPECT_EQ(table.Find(2)->time, 32);
  EXPECT_EQ(table.Summarise(), L"100times:Lost0 Out0 Max320 Min32 Avg176 All352");
}

TEST(UdpProbe, AnswersArriveWhileTheWorkerSends) {
  // The worker sends and summarises; the window's thread answers whatever
  // it sees. Every probe is either answered once or lost, never both.
  constexpr int kRounds = 50;
  constexpr int kProbes = 100;
  UdpProbeTable table;
  std::atomic<bool> done{false};
  std::atomic<int> answered{0};
  std::thread answering([&] {
    while (!done.load()) {
      for (int n = 1; n <= kProbes; ++n) {
        if (table.Answered(Answer(n), 7)) answered.fetch_add(1);
      }
    }
  });
  long long lostTotal = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int before = answered.load();
    for (int n = 1; n <= kProbes; ++n) table.Sent(n, 0);
    // Let some answers of this round land before summarising, at most a while.
    for (int spin = 0; spin < 100000 && answered.load() == before; ++spin) std::this_thread::yield();
    const std::optional<std::wstring> summary = table.Summarise();
    ASSERT_TRUE(summary.has_value());
    long long lost = -1;
    ASSERT_EQ(std::swscanf(summary->c_str(), L"100times:Lost%lld", &lost), 1) << *summary;
    ASSERT_GE(lost, 0);
    ASSERT_LE(lost, kProbes);
    lostTotal += lost;
  }
  done = true;
  answering.join();
  EXPECT_EQ(table.Size(), 0u);
  EXPECT_EQ(answered.load() + lostTotal, static_cast<long long>(kRounds) * kProbes);
  EXPECT_GT(answered.load(), 0);
}

// Every split of a multi-byte text: the prefix ends on the last character
// boundary at or before the split.
std::size_t LastBoundary(const std::vector<std::size_t>& boundaries, std::size_t at) {
  std::size_t last = 0;
  for (const std::size_t b : boundaries) {
    if (b <= at) last = b;
  }
  return last;
}

TEST(PipeChunks, Utf8SplitAtEveryPosition) {
  // "a", "é", "中", U+1F600, "b": 1, 2, 3, 4 and 1 bytes.
  const std::string text =
      "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"
      "b";
  const std::vector<std::size_t> boundaries = {0, 1, 3, 6, 10, 11};
  for (std::size_t split = 0; split <= text.size(); ++split) {
    EXPECT_EQ(CompleteUtf8Prefix(std::string_view(text).substr(0, split)), LastBoundary(boundaries, split))
        << "split " << split;
  }
}

TEST(PipeChunks, Utf8MalformedBytesPassThrough) {
  // Nothing to wait for when no lead byte can complete.
  EXPECT_EQ(CompleteUtf8Prefix("\x80\x80"), 2u);
  EXPECT_EQ(CompleteUtf8Prefix("a\xFF"), 2u);
  EXPECT_EQ(CompleteUtf8Prefix("a\xC3\xA9\x80"), 4u);  // a stray continuation byte
  EXPECT_EQ(CompleteUtf8Prefix("a\x80\x80\x80\x80"), 5u);
  EXPECT_EQ(CompleteUtf8Prefix("\xE4\xB8"), 0u);
}

bool GbkLead(unsigned char byte, void* context) {
  ++*static_cast<int*>(context);
  return byte >= 0x81 && byte <= 0xFE;
}

TEST(PipeChunks, DoubleByteSplitAtEveryPosition) {
  // GBK "a中文b中": the trail bytes 0xD0, 0xC4 are also lead bytes, so
  // the characters must be counted from the start.
  const std::string text =
      "a\xD6\xD0\xCE\xC4"
      "b\xD6\xD0";
  const std::vector<std::size_t> boundaries = {0, 1, 3, 5, 6, 8};
  for (std::size_t split = 0; split <= text.size(); ++split) {
    int calls = 0;
    EXPECT_EQ(CompleteDoubleBytePrefix(std::string_view(text).substr(0, split), GbkLead, &calls),
              LastBoundary(boundaries, split))
        << "split " << split;
    if (split > 0) {
      EXPECT_GT(calls, 0) << "the context reaches the callback";
    }
  }
}

}  // namespace
}  // namespace ravelin
