#include "diag/diag_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/utf8.h"

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

// Ping statistics as Windows prints them in other display languages. Each
// case gives the target and the fields the launcher reports.
struct LocalisedPing {
  const char* language;
  const wchar_t* url;
  const wchar_t* output;
  const wchar_t* ip;
  const wchar_t* send;
  const wchar_t* received;
  const wchar_t* lost;
  const wchar_t* min;
  const wchar_t* max;
  const wchar_t* ave;
};

const LocalisedPing kLocalisedPings[] = {
    {"English, numeric target, host unreachable", L"198.51.100.1",
     L"\r\nPinging 198.51.100.1 with 32 bytes of data:\r\n"
     L"Reply from 192.168.1.1: Destination host unreachable.\r\n"
     L"Request timed out.\r\n"
     L"Reply from 192.168.1.1: Destination host unreachable.\r\n"
     L"Reply from 192.168.1.1: Destination host unreachable.\r\n\r\n"
     L"Ping statistics for 198.51.100.1:\r\n"
     L"    Packets: Sent = 4, Received = 3, Lost = 1 (25% loss),\r\n",
     L"198.51.100.1", L"4", L"3", L"1 (25% loss)", L"NULL", L"NULL", L""},
    {"English, IPv6 address by name", L"game.example",
     L"\r\nPinging game.example [2001:db8::7] with 32 bytes of data:\r\n"
     L"Reply from 2001:db8::7: time=21ms\r\n\r\n"
     L"Ping statistics for 2001:db8::7:\r\n"
     L"    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n"
     L"Approximate round trip times in milli-seconds:\r\n"
     L"    Minimum = 21ms, Maximum = 21ms, Average = 21ms\r\n",
     L"2001:db8::7", L"1", L"1", L"0 (0% loss)", L"21ms", L"21ms", L"21ms"},
    {"English, unknown host", L"nosuch.example",
     L"Ping request could not find host nosuch.example. Please check the name and try again.\r\n", L"nosuch.example",
     L"NULL", L"NULL", L"NULL", L"NULL", L"NULL", L""},
    {"German", L"game.example",
     L"\r\nPing wird ausgeführt für game.example [192.0.2.7] mit 32 Bytes Daten:\r\n"
     L"Antwort von 192.0.2.7: Bytes=32 Zeit=1ms TTL=57\r\n"
     L"Antwort von 192.0.2.7: Bytes=32 Zeit=3ms TTL=57\r\n"
     L"Antwort von 192.0.2.7: Bytes=32 Zeit=2ms TTL=57\r\n"
     L"Antwort von 192.0.2.7: Bytes=32 Zeit=2ms TTL=57\r\n\r\n"
     L"Ping-Statistik für 192.0.2.7:\r\n"
     L"    Pakete: Gesendet = 4, Empfangen = 4, Verloren = 0 (0% Verlust),\r\n"
     L"Ca. Zeitangaben in Millisek.:\r\n"
     L"    Minimum = 1ms, Maximum = 3ms, Mittelwert = 2ms\r\n",
     L"192.0.2.7", L"4", L"4", L"0 (0% Verlust)", L"1ms", L"3ms", L"2ms"},
    // The loss percentage wrapped onto a line of its own has a single comma:
    // not a statistics line, so lost keeps only the count.
    {"German, loss on the next line", L"192.0.2.7",
     L"\r\nPing wird ausgeführt für 192.0.2.7 mit 32 Bytes Daten:\r\n"
     L"Antwort von 192.0.2.7: Bytes=32 Zeit=9ms TTL=57\r\n\r\n"
     L"Ping-Statistik für 192.0.2.7:\r\n"
     L"    Pakete: Gesendet = 1, Empfangen = 1, Verloren = 0\r\n"
     L"    (0% Verlust),\r\n"
     L"Ca. Zeitangaben in Millisek.:\r\n"
     L"    Minimum = 9ms, Maximum = 9ms, Mittelwert = 9ms\r\n",
     L"192.0.2.7", L"1", L"1", L"0", L"9ms", L"9ms", L"9ms"},
    {"French", L"game.example",
     L"\r\nEnvoi d\u2019une requ\u00EAte 'Ping'  game.example [192.0.2.7] avec 32 octets de donn\u00E9es\u00A0:\r\n"
     L"R\u00E9ponse de 192.0.2.7\u00A0: octets=32 temps=12 ms TTL=57\r\n"
     L"R\u00E9ponse de 192.0.2.7\u00A0: octets=32 temps=14 ms TTL=57\r\n\r\n"
     L"Statistiques Ping pour 192.0.2.7:\r\n"
     L"    Paquets\u00A0: envoy\u00E9s = 2, re\u00E7us = 2, perdus = 0 (perte 0%),\r\n"
     L"Dur\u00E9e approximative des boucles en millisecondes :\r\n"
     L"    Minimum = 12ms, Maximum = 14ms, Moyenne = 13ms\r\n",
     L"192.0.2.7", L"2", L"2", L"0 (perte 0%)", L"12ms", L"14ms", L"13ms"},
    {"Simplified Chinese, numeric target", L"198.51.100.1",
     L"\r\n正在 Ping 198.51.100.1 具有 32 字节的数据:\r\n"
     L"来自 198.51.100.1 的回复: 字节=32 时间=1ms TTL=57\r\n"
     L"来自 198.51.100.1 的回复: 字节=32 时间=3ms TTL=57\r\n\r\n"
     L"198.51.100.1 的 Ping 统计信息:\r\n"
     L"    数据包: 已发送 = 4，已接收 = 4，丢失 = 0 (0% 丢失)，\r\n"
     L"往返行程的估计时间(以毫秒为单位):\r\n"
     L"    最短 = 1ms，最长 = 3ms，平均 = 2ms\r\n",
     L"198.51.100.1", L"4", L"4", L"0 (0% 丢失)", L"1ms", L"3ms", L"2ms"},
    {"Turkish", L"game.example",
     L"\r\ngame.example [192.0.2.7] 32 bayt veri ile ping ediliyor:\r\n"
     L"192.0.2.7 yan\u0131t\u0131: bayt=32 s\u00FCre=20ms TTL=57\r\n"
     L"\u0130stek zaman a\u015F\u0131m\u0131na u\u011Frad\u0131.\r\n\r\n"
     L"192.0.2.7 i\u00E7in Ping istatisti\u011Fi:\r\n"
     L"    Paket: Giden = 4, Gelen = 3, Kaybolan = 1 (%25 kay\u0131p),\r\n"
     L"Milisaniye turu olarak yakla\u015F\u0131k tur s\u00FCreleri:\r\n"
     L"    En Az = 20ms, En Fazla = 25ms, Ortalama = 22ms\r\n",
     L"192.0.2.7", L"4", L"3", L"1 (%25 kay\u0131p)", L"20ms", L"25ms", L"22ms"},
    // Portuguese wraps the loss text: the first line still has three commas.
    {"Portuguese", L"game.example",
     L"\r\nDisparando game.example [192.0.2.7] com 32 bytes de dados:\r\n"
     L"Resposta de 192.0.2.7: bytes=32 tempo=30ms TTL=57\r\n\r\n"
     L"Estat\u00EDsticas do Ping para 192.0.2.7:\r\n"
     L"    Pacotes: Enviados = 4, Recebidos = 4, Perdidos = 0 (0% de\r\n"
     L"             perda),\r\n"
     L"Aproximar um n\u00FAmero redondo de vezes em milissegundos:\r\n"
     L"    M\u00EDnimo = 30ms, M\u00E1ximo = 32ms, M\u00E9dia = 31ms\r\n",
     L"192.0.2.7", L"4", L"4", L"0 (0% de", L"30ms", L"32ms", L"31ms"},
    // Japanese separates the pairs with the ideographic comma U+3001.
    {"Japanese", L"game.example",
     L"\r\ngame.example [192.0.2.7]に ping を送信しています 32 バイトのデータ:\r\n"
     L"192.0.2.7 からの応答: バイト数 =32 時間 =5ms TTL=57\r\n\r\n"
     L"192.0.2.7 の ping 統計:\r\n"
     L"    パケット数: 送信 = 4、受信 = 4、損失 = 0 (0% の損失)、\r\n"
     L"ラウンド トリップの概算時間 (ミリ秒):\r\n"
     L"    最小 = 5ms、最大 = 7ms、平均 = 6ms\r\n",
     L"192.0.2.7", L"4", L"4", L"0 (0% の損失)", L"5ms", L"7ms", L"6ms"},
};

TEST(PingOutput, StatisticsInEveryDisplayLanguage) {
  for (const LocalisedPing& c : kLocalisedPings) {
    SCOPED_TRACE(c.language);
    DiagRecord r;
    r[F::kUrl] = c.url;
    ASSERT_TRUE(ReadPingOutput(c.output, r));
    EXPECT_EQ(r[F::kIp], c.ip);
    EXPECT_EQ(r[F::kSend], c.send);
    EXPECT_EQ(r[F::kReceived], c.received);
    EXPECT_EQ(r[F::kLost], c.lost);
    EXPECT_EQ(r[F::kMin], c.min);
    EXPECT_EQ(r[F::kMax], c.max);
    EXPECT_EQ(r[F::kAve], c.ave);
    // The caller's fields stay as they were.
    EXPECT_EQ(r[F::kUrl], c.url);
    EXPECT_EQ(r[F::kCmd], L"NULL");
    EXPECT_EQ(r[F::kTracert], L"NULL");
  }
}

TEST(PingOutput, IdeographicCommaIsTriedAfterTheOtherTwo) {
  EXPECT_EQ(Ping(L"a = 1、b = 2、c = 3\r\n")[F::kReceived], L"2");
  EXPECT_EQ(Ping(L"a = 1、x, b = 2, c = 3\r\n")[F::kSend], L"1、x");
  EXPECT_EQ(Ping(L"a = 1、x，b = 2，c = 3\r\n")[F::kSend], L"1、x");
  EXPECT_EQ(Ping(L"a = 1、b = 2\r\n")[F::kSend], L"NULL");
}

TEST(PingOutput, LineBreaksAndBracketsOutsideTheStatistics) {
  // Lines end at the return alone: a bare line feed joins two lines into one,
  // and the pairs of both still count in order.
  const DiagRecord joined =
      Ping(L"Sent = 4, Received = 4, Lost = 0 (0% loss),\nMinimum = 1ms, Maximum = 2ms, Average = 1ms");
  EXPECT_EQ(joined[F::kLost], L"0 (0% loss)");
  EXPECT_EQ(joined[F::kMin], L"1ms");
  EXPECT_EQ(joined[F::kAve], L"1ms");
  // Values lose surrounding blanks and line feeds but keep inner ones.
  EXPECT_EQ(Ping(L"a =  4 \n, b =  x y , c = 1\r\n")[F::kSend], L"4");
  EXPECT_EQ(Ping(L"a =  4 \n, b =  x y , c = 1\r\n")[F::kReceived], L"x y");
  // The first bracketed address wins over a later one.
  EXPECT_EQ(Ping(L"to a [192.0.2.1]\r\nto b [192.0.2.2]\r\n")[F::kIp], L"192.0.2.1");
  // "]" before "[" or a second "]" does not make an address.
  EXPECT_EQ(Ping(L"x ] y [z\r\n", L"t")[F::kIp], L"t");
  EXPECT_EQ(Ping(L"x [y] z]\r\n", L"t")[F::kIp], L"t");
  // Brackets inside the pairs still give the ip.
  const DiagRecord inPairs = Ping(L"a = [1], b = 2, c = 3\r\n");
  EXPECT_EQ(inPairs[F::kIp], L"1");
  EXPECT_EQ(inPairs[F::kSend], L"[1]");
  // A line with fewer than three ASCII comma pieces is split at the
  // fullwidth comma instead, ASCII commas and all.
  const DiagRecord mixed = Ping(L"送信 = 4，受信 = 4，損失 = 0 (0%, 損失)，\r\n");
  EXPECT_EQ(mixed[F::kLost], L"0 (0%, 損失)");
  // Two characters are enough to make a record.
  DiagRecord two;
  two[F::kUrl] = L"u";
  EXPECT_TRUE(ReadPingOutput(L"\r\n", two));
  EXPECT_EQ(two[F::kIp], L"u");
  DiagRecord none;
  EXPECT_FALSE(ReadPingOutput(L"", none));
}

TEST(TracertOutput, HopLinesBecomeTheSummary) {
  DiagRecord r;
  ASSERT_TRUE(
      ReadTracertOutput(L"\r\nTracing route to game.example [192.0.2.7]\r\nover a maximum of 30 hops:\r\n\r\n"
                        L"  1    <1 ms    <1 ms    <1 ms  192.0.2.1\r\n"
                        L"  2     *        *        *     Request timed out.\r\n"
                        L"  3    12 ms    11 ms    13 ms  edge.example [198.51.100.4]\r\n"
                        L" 30\r\n"
                        L"\r\nTrace complete.\r\n",
                        r));
  EXPECT_EQ(r[F::kTracert], L"192.0.2.1:<1ms>out.:NULLms>[198.51.100.4]:13ms>30NULLms>");
}

TEST(TracertOutput, OtherDisplayLanguages) {
  // German: the same hop columns; the timed-out hop ends with its own word.
  DiagRecord german;
  ASSERT_TRUE(
      ReadTracertOutput(L"\r\nRoutenverfolgung zu game.example [192.0.2.7]\r\n\u00FCber maximal 30 Hops:\r\n\r\n"
                        L"  1    <1 ms    <1 ms    <1 ms  192.168.1.1\r\n"
                        L"  2     9 ms     *       10 ms  10.0.0.1\r\n"
                        L"  3     *        *        *     Zeit\u00FCberschreitung der Anforderung.\r\n"
                        L"  4    12 ms    11 ms    13 ms  edge.example [198.51.100.4]\r\n"
                        L"\r\nAblaufverfolgung beendet.\r\n",
                        german));
  EXPECT_EQ(german[F::kTracert], L"192.168.1.1:<1ms>10.0.0.1:10ms>Anforderung.:NULLms>[198.51.100.4]:13ms>");

  // Simplified Chinese writes the unit as 毫秒; the full-width full stop
  // stays in the last token.
  DiagRecord chinese;
  ASSERT_TRUE(
      ReadTracertOutput(L"\r\n通过最多 30 个跃点跟踪\r\n到 game.example [192.0.2.7] 的路由:\r\n\r\n"
                        L"  1    <1 毫秒   <1 毫秒   <1 毫秒 192.168.1.1\r\n"
                        L"  2     *        *        *     请求超时。\r\n"
                        L" 10    35 毫秒   34 毫秒   36 毫秒 192.0.2.7\r\n"
                        L"\r\n跟踪完成。\r\n",
                        chinese));
  EXPECT_EQ(chinese[F::kTracert], L"192.168.1.1:<1ms>请求超时。:NULLms>192.0.2.7:36ms>");
}

TEST(TracertOutput, AHopGivesItsLastTimeWhateverItsUnit) {
  const struct {
    const wchar_t* line;
    const wchar_t* summary;
  } cases[] = {
      {L"  4    12 ms    11 ms    13 ms  ae1.ams10.example.net [198.51.100.4]", L"[198.51.100.4]:13ms>"},
      {L"  2    35 ms     *       36 ms  10.0.0.1", L"10.0.0.1:36ms>"},
      {L"  2     9 ms     *        *     10.0.0.1", L"10.0.0.1:9ms>"},
      {L"  1     1 ms    <1 мс     *     192.168.1.1", L"192.168.1.1:<1ms>"},
      {L"  4    12 13 ms  h", L"h:13ms>"},
      // The address is never a unit.
      {L"  4    12  198.51.100.4", L"198.51.100.4:NULLms>"},
      {L"  4  10.0.0.1  reports: Destination net unreachable.", L"unreachable.:NULLms>"},
      // Admitted lines without a hop number still read the letters "ms": a
      // title that starts with the target's address, or anything else.
      {L"192.0.2.7 へのルートをトレース", L"へのルートをトレース:NULLms>"},
      {L"1a 9 ms * 10 ms x", L"x:* 10ms>"},
  };
  for (const auto& c : cases) {
    DiagRecord r;
    ASSERT_TRUE(ReadTracertOutput(c.line, r));
    EXPECT_EQ(r[F::kTracert], c.summary) << std::wstring(c.line).size();
  }
}

TEST(TracertOutput, HopNumberOrderIsByCodeUnit) {
  // Ordinal, not numeric: an eleven-digit number starting with 1 sorts below
  // "9999999" while "99999990" does not; a sign sorts below "0"; only blanks
  // are trimmed, so a leading tab hides the number.
  const struct {
    const wchar_t* output;
    const wchar_t* summary;
  } cases[] = {
      {L"9999998  1 ms  2 ms  3 ms  h", L"h:3ms>"},
      {L"10000000000  1 ms  2 ms  3 ms  h", L"h:3ms>"},
      {L"99999990  1 ms  2 ms  3 ms  h", L"NULL"},
      {L"-1  1 ms  2 ms  3 ms  h", L"NULL"},
      {L"+1  1 ms  2 ms  3 ms  h", L"NULL"},
      {L"\t1  1 ms  2 ms  3 ms  h", L"NULL"},
      {L"1a b", L"b:NULLms>"},
  };
  for (const auto& c : cases) {
    DiagRecord r;
    ASSERT_TRUE(ReadTracertOutput(c.output, r));
    EXPECT_EQ(r[F::kTracert], c.summary) << std::wstring(c.output).size();
  }
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

// data/<run>/<language>.txt: what one run of a tool printed in each display
// language, as UTF-8. The numbers must agree with the English file; lost,
// min, max and ave carry the tool's words (remark, unit) after their number,
// and a hop without an address (timed out, unreachable) ends with the tool's
// message, so those are compared by their numbers only.
std::vector<std::wstring> NumbersOf(const DiagRecord& r) {
  std::vector<std::wstring> numbers{r[F::kIp], r[F::kSend], r[F::kReceived]};
  for (F::Field f : {F::kLost, F::kMin, F::kMax, F::kAve}) {
    const std::wstring& value = r[f];
    const std::size_t digits = value.find_first_not_of(L"0123456789");
    numbers.push_back(digits == 0 ? value : value.substr(0, digits));
  }
  for (std::wstring hop : SplitText(r[F::kTracert], L">")) {
    const std::size_t colon = hop.rfind(L':');
    if (colon != std::wstring::npos && hop.find_first_of(L"0123456789") > colon) hop.replace(0, colon, L"(message)");
    numbers.push_back(hop);
  }
  return numbers;
}

TEST(ProbeOutput, EveryDisplayLanguageGivesTheNumbersOfTheEnglishRun) {
  namespace fs = std::filesystem;
  int compared = 0;
  for (const fs::directory_entry& run : fs::directory_iterator(RAVELIN_UNIT_DATA)) {
    if (!run.is_directory()) continue;
    const bool ping = run.path().filename().string().starts_with("ping_");
    const auto read = [ping](const fs::path& file) {
      std::ostringstream bytes;
      bytes << std::ifstream(file, std::ios::binary).rdbuf();
      DiagRecord r;
      r[F::kUrl] = L"target";
      EXPECT_TRUE(ping ? ReadPingOutput(FromUtf8(bytes.str()), r) : ReadTracertOutput(FromUtf8(bytes.str()), r));
      return NumbersOf(r);
    };
    const std::vector<std::wstring> english = read(run.path() / "en.txt");
    for (const fs::directory_entry& file : fs::directory_iterator(run.path())) {
      if (file.path().filename() == "en.txt") continue;
      SCOPED_TRACE(file.path().string());
      EXPECT_EQ(read(file.path()), english);
      ++compared;
    }
  }
  EXPECT_GE(compared, 4 * 6);
}

}  // namespace
}  // namespace ravelin
