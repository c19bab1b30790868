#include "gamewnd/page_bridge.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

TEST(PageBridge, AnswerTextLiesBetweenTheFirstCloseAndTheLastOpenBracket) {
  struct Case {
    const wchar_t* answer;
    const wchar_t* text;
  };
  const Case cases[] = {
      {L"<string>You still have 3 quests open.</string>", L"You still have 3 quests open."},
      {L"<string>First sentence.\\n\\nSecond sentence.</string>", L"First sentence.\n\nSecond sentence."},
      {L"<null/>", L""},
      {L"", L""},
      {L"no brackets at all", L""},
      {L"<string>a<b>c</string>", L"a<b>c"},
      {L"text before < only", L"text before "},
      {L"<string>\\n\\n\\n\\n</string>", L"\n\n\n\n"},
      {L"<string>\\n</string>", L"\\n"},
      {L"><", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractBridgeAnswer(c.answer), c.text) << testing::PrintToString(std::wstring(c.answer));
  }
  // A ">" without any "<": b is -1, so the count b - a - 1 is negative and clamps to 0.
  EXPECT_EQ(ExtractBridgeAnswer(L"only > here"), L"");
}

TEST(PageBridge, MarkerAndMovieAddress) {
  EXPECT_TRUE(IsLoadGameAddress(L"app://loadgame?x=1&movie=http://h/m.swf"));
  EXPECT_TRUE(IsLoadGameAddress(L"about:blank#app://loadgame"));
  EXPECT_FALSE(IsLoadGameAddress(L"APP://LOADGAME"));  // the marker is case-sensitive
  EXPECT_EQ(MovieAddressOf(L"app://loadgame?movie=http://127.0.0.1/game/movie.swf"),
            L"http://127.0.0.1/game/movie.swf");
  EXPECT_EQ(MovieAddressOf(L"app://loadgame/https://cdn/m.swf?v=http"), L"https://cdn/m.swf?v=http");
  EXPECT_EQ(MovieAddressOf(L"app://loadgame?movie=HTTP://x"), L"");
  EXPECT_EQ(MovieAddressOf(L"app://loadgame"), L"");
}

TEST(PageBridge, LoadingBarFillsInSixtyThreeTicksOfFifty) {
  int progress = 0, max = 1000;
  int ticks = 0;
  while (!AdvanceLoadingBar(progress, max)) {
    ++ticks;
    EXPECT_EQ(progress, 16 * ticks);
  }
  EXPECT_EQ(ticks + 1, 63);
  EXPECT_EQ(progress, -1);
  EXPECT_EQ(max, 100);
}

}  // namespace
}  // namespace ravelin
