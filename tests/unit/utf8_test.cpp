#include "common/utf8.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::wstring samples[] = {
      L"",
      L"officialwebsite",
      L"Oyun Yükleniyor\t",
      L"升级状态",
      L"Zażółć gęślą jaźń",
      std::wstring(L"\U0001F3AE game"),  // outside the basic plane: a surrogate pair on Windows
  };
  for (const std::wstring& s : samples) EXPECT_EQ(FromUtf8(ToUtf8(s)), s);
  EXPECT_EQ(ToUtf8(L"升"), "\xE5\x8D\x87");
  EXPECT_EQ(ToUtf8(std::wstring(L"\U0001F3AE")), "\xF0\x9F\x8E\xAE");
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::wstring out;
  };
  const Case cases[] = {
      {"a\xFFz", L"a\uFFFDz"},          // byte that never starts a sequence
      {"a\xE5\x8D", L"a\uFFFD"},        // cut at the end
      {"\xE5\x41", L"\uFFFDA"},         // continuation missing: the next byte survives
      {"\xC0\xAF", L"\uFFFD"},          // overlong slash
      {"\xED\xA0\x80", L"\uFFFD"},      // encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD"},  // beyond U+10FFFF
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(FromUtf8(c.in), c.out) << testing::PrintToString(c.in);
}

TEST(BodyText, EndsAtTheFirstNul) {
  using namespace std::string_view_literals;
  EXPECT_EQ(BodyUpToNul("abc\0def"sv), "abc");
  EXPECT_EQ(BodyUpToNul("\0abc"sv), "");
  EXPECT_EQ(BodyUpToNul("abc"sv), "abc");
  EXPECT_EQ(BodyUpToNul(""sv), "");
}

}  // namespace
}  // namespace ravelin
