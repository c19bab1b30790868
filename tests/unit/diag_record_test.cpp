#include "diag/diag_record.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

using F = DiagRecord;

TEST(DiagText, SplitKeepsEmptyPiecesAndAnEmptySourceGivesNone) {
  struct Case {
    const wchar_t* source;
    const wchar_t* delimiter;
    std::vector<std::wstring> pieces;
  };
  const Case cases[] = {
      {L"", L",", {}},
      {L"a", L",", {L"a"}},
      {L"a  b", L" ", {L"a", L"", L"b"}},
      {L"a,", L",", {L"a", L""}},
      {L"x = 1 = 2", L" = ", {L"x", L"1", L"2"}},
      {L"a=b", L" = ", {L"a=b"}},
      {L"12ms 13ms", L"ms", {L"12", L" 13", L""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitText(c.source, c.delimiter), c.pieces) << std::wstring(c.source).size();
}

TEST(DiagText, TrimRemovesReturnsThenFeedsThenTheSet) {
  EXPECT_EQ(TrimText(L"\n  Sent = 4\r", L" "), L"Sent = 4");
  EXPECT_EQ(TrimText(L"\r\n \r", L" "), L"");
  EXPECT_EQ(TrimText(L" \r x \r ", L" "), L"\r x \r");  // a return inside blanks stays
  EXPECT_EQ(TrimText(L"", L" "), L"");
}

TEST(DiagText, OrdinalOrderAndTime) {
  EXPECT_TRUE(OrdinalLess(L"0", L"1"));
  EXPECT_TRUE(OrdinalLess(L"1", L"9999999"));
  EXPECT_TRUE(OrdinalLess(L"30", L"9999999"));
  EXPECT_FALSE(OrdinalLess(L"0", L"0"));
  EXPECT_TRUE(OrdinalLess(L"99", L"999"));  // a prefix sorts first
  EXPECT_FALSE(OrdinalLess(L"0", L"*"));
  EXPECT_FALSE(OrdinalLess(L"<1", L"9999999"));
  EXPECT_TRUE(OrdinalLess(L"Z", L"\uFF0C"));  // by code unit, not by locale
  EXPECT_EQ(FormatDiagTime(2026, 12, 7, 9, 5, 3), L"12/07/26-09:05:03");
  EXPECT_EQ(FormatDiagTime(2000, 1, 1, 23, 59, 59), L"01/01/00-23:59:59");
}

// Windows-shaped ping output with CRLF line ends.
const wchar_t kPingByName[] =
    L"\r\nPinging game.example [192.0.2.7] with 32 bytes of data:\r\n"
    L"Reply from 192.0.2.7: bytes=32 time<1ms TTL=128\r\n"
    L"Reply from 192.0.2.7: bytes=32 time=3ms TTL=128\r\n\r\n"
    L"Ping statistics for 192.0.2.7:\r\n"
    L"    Packets: Sent = 4, Received = 4, Lost = 0 (0% loss),\r\n"
    L"Approximate round trip times in milli-seconds:\r\n"
    L"    Minimum = 0ms, Maximum = 3ms, Average = 1ms\r\n";

DiagRecord Ping(const wchar_t* output, const wchar_t* url = L"game.example") {
  DiagRecord r;
  r[F::kUrl] = url;
  EXPECT_TRUE(ReadPingOutput(output, r));
  return r;
}

TEST(PingOutput, StatisticsPairsFillTheFieldsInTheirOrder) {
  const DiagRecord r = Ping(kPingByName);
  EXPECT_EQ(r[F::kIp], L"192.0.2.7");
  EXPECT_EQ(r[F::kSend], L"4");
  EXPECT_EQ(r[F::kReceived], L"4");
  EXPECT_EQ(r[F::kLost], L"0 (0% loss)");
  EXPECT_EQ(r[F::kMin], L"0ms");
  EXPECT_EQ(r[F::kMax], L"3ms");
  EXPECT_EQ(r[F::kAve], L"1ms");
  EXPECT_EQ(r[F::kTracert], L"NULL");
}

TEST(PingOutput, AnyLanguageWithFullwidthCommasParsesTheSame) {
  const DiagRecord r = Ping(
      L"\r\n正在 Ping game.example [203.0.113.9] 具有 32 字节的数据:\r\n"
      L"    数据包: 已发送 = 4，已接收 = 3，丢失 = 1 (25% 丢失)，\r\n"
      L"    最短 = 10ms，最长 = 12ms，平均 = 11ms\r\n");
  EXPECT_EQ(r[F::kIp], L"203.0.113.9");
  EXPECT_EQ(r[F::kSend], L"4");
  EXPECT_EQ(r[F::kReceived], L"3");
  EXPECT_EQ(r[F::kLost], L"1 (25% 丢失)");
  EXPECT_EQ(r[F::kAve], L"11ms");
}

TEST(PingOutput, EdgeCases) {
  // A numeric target has no bracketed address: the target is the ip.
  EXPECT_EQ(Ping(L"\r\nPinging 198.51.100.1 with 32 bytes:\r\n", L"198.51.100.1")[F::kIp], L"198.51.100.1");
  // Two "[" do not set ip; a later single bracketed address does.
  EXPECT_EQ(Ping(L"a [x] [y]\r\nb [203.0.113.5] c\r\n")[F::kIp], L"203.0.113.5");
  // Only two comma pieces: ignored even with " = ".
  const DiagRecord two = Ping(L"Sent = 4, Received = 4\r\nx\r\n");
  EXPECT_EQ(two[F::kSend], L"NULL");
  // No times line: min and max stay "NULL", ave empty.
  const DiagRecord noTimes = Ping(L"Packets: Sent = 4, Received = 0, Lost = 4 (100% loss),\r\n");
  EXPECT_EQ(noTimes[F::kLost], L"4 (100% loss)");
  EXPECT_EQ(noTimes[F::kMin], L"NULL");
  EXPECT_EQ(noTimes[F::kMax], L"NULL");
  EXPECT_EQ(noTimes[F::kAve], L"");
  // "=" without blanks (reply lines) never counts as a pair.
  EXPECT_EQ(Ping(L"bytes=32, time=3ms, TTL=128\r\n")[F::kSend], L"NULL");
  // Pairs beyond the sixth are dropped.
  const DiagRecord many = Ping(L"a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, g = 7\r\n");
  EXPECT_EQ(many[F::kAve], L"6");
  // Fewer than two characters: no record.
  DiagRecord untouched;
  EXPECT_FALSE(ReadPingOutput(L"x", untouched));
  EXPECT_EQ(untouched[F::kIp], L"NULL");
}

TEST(TracertOutput, HopLinesBecomeTheSummary) {
  DiagRecord r;
  ASSERT_TRUE(ReadTracertOutput(
      L"\r\nTracing route to game.example [192.0.2.7]\r\nover a maximum of 30 hops:\r\n\r\n"
      L"  1    <1 ms    <1 ms    <1 ms  192.0.2.1\r\n"
      L"  2     *        *        *     Request timed out.\r\n"
      L"  3    12 ms    11 ms    13 ms  edge.example [198.51.100.4]\r\n"
      L" 30\r\n"
      L"\r\nTrace complete.\r\n",
      r));
  EXPECT_EQ(r[F::kTracert], L"192.0.2.1:<1ms>out.:NULLms>[198.51.100.4]:13ms>30NULLms>");
}

TEST(TracertOutput, OnlyLinesStartingWithAHopNumberCount) {
  for (const wchar_t* rejected : {L"0 1 ms x", L"9999999 x", L"* 1 ms", L"<1 ms", L"Trace complete."}) {
    DiagRecord r;
    ASSERT_TRUE(ReadTracertOutput(rejected, r));
    EXPECT_EQ(r[F::kTracert], L"NULL") << std::wstring(rejected).size();
  }
  DiagRecord none;
  EXPECT_TRUE(ReadTracertOutput(L"no hops here\r\n", none));
  EXPECT_EQ(none[F::kTracert], L"NULL");
  DiagRecord tooShort;
  EXPECT_FALSE(ReadTracertOutput(L"1", tooShort));
}

}  // namespace
}  // namespace ravelin
