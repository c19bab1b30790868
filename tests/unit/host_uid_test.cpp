#include "sysinfo/host_uid.h"

#include <gtest/gtest.h>

#include <string>

namespace ravelin {
namespace {

// Writes ATA text into identify words: two characters a word, high byte first.
void PutAta(AtaIdentifyWords& words, int first, const std::string& text) {
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto high = static_cast<unsigned char>(text[i]);
    const auto low = static_cast<unsigned char>(i + 1 < text.size() ? text[i + 1] : ' ');
    words[static_cast<std::size_t>(first) + i / 2] = (static_cast<std::uint32_t>(high) << 8) | low;
  }
}

TEST(HostUid, AtaStringsLoseEveryBlankAndNulWhereverTheyStand) {
  AtaIdentifyWords words{};
  PutAta(words, 10, "   WD-WX 41A   123  ");  // blanks, then a text with a blank inside, then blanks
  PutAta(words, 27, "WDC WD10EZEX-08WN4A0                    ");
  EXPECT_EQ(ExtractAtaString(words, 10, 19), "WD-WX41A123");
  EXPECT_EQ(ExtractAtaString(words, 27, 46), "WDCWD10EZEX-08WN4A0");
  EXPECT_EQ(FormatDiskHostUid(ExtractAtaString(words, 10, 19), ExtractAtaString(words, 27, 46)),
            L"WD-WX41A123_WDCWD10EZEX-08WN4A0");

  // Words hold the high byte first: 0x4142 reads "AB". Zero bytes vanish too.
  AtaIdentifyWords order{};
  order[10] = 0x4142;
  order[11] = 0x0043;
  order[12] = 0x4400;
  EXPECT_EQ(ExtractAtaString(order, 10, 12), "ABCD");
}

TEST(HostUid, AllBlankSerialStartsTheIdentifierWithTheUnderscore) {
  AtaIdentifyWords words{};
  PutAta(words, 10, std::string(20, ' '));
  PutAta(words, 27, "SSD 1");
  EXPECT_EQ(FormatDiskHostUid(ExtractAtaString(words, 10, 19), ExtractAtaString(words, 27, 46)), L"_SSD1");
}

TEST(HostUid, DiskTextIsReadAsUtf8WithReplacement) {
  EXPECT_EQ(FormatDiskHostUid("S\xC3\xA9rie", "M\xFF"), L"S\u00E9rie_M\uFFFD");
}

TEST(HostUid, RangesOutsideTheIdentifyBlockGiveNothing) {
  AtaIdentifyWords words{};
  words.fill(0x4141);
  EXPECT_EQ(ExtractAtaString(words, 250, 260), "");
  EXPECT_EQ(ExtractAtaString(words, -1, 3), "");
  EXPECT_EQ(ExtractAtaString(words, 5, 4), "");
  EXPECT_EQ(ExtractAtaString(words, 255, 255), "AA");
}

TEST(HostUid, FallbackFormWritesRegistersUnsignedAndTheSerialAsEightHexDigits) {
  const std::wstring signature = FormatCpuSignature(0x000906EA, 0x80100800, 0xFFFFFFFF, 0x1F);
  EXPECT_EQ(signature, L"591594_2148534272_4294967295_31");
  EXPECT_EQ(FormatFallbackHostUid(signature, 0x5CA1AB1E), L"591594_2148534272_4294967295_31_5CA1AB1E");
  EXPECT_EQ(FormatFallbackHostUid(signature, 0xBEEF), L"591594_2148534272_4294967295_31_0000BEEF");
  // No signature and no machine GUID: only the underscore and the serial.
  EXPECT_EQ(FormatCpuSignature(0, 0, 0, 0), L"");
  EXPECT_EQ(FormatFallbackHostUid(L"", 0x1234), L"_00001234");
  EXPECT_EQ(FormatFallbackHostUid(L"{6ba7b810-9dad-11d1-80b4-00c04fd430c8}", 0),
            L"{6ba7b810-9dad-11d1-80b4-00c04fd430c8}_00000000");
}

TEST(HostUid, FormattingIsBoundedByTheBuffer) {
  const std::wstring base(2000, L'7');
  const std::wstring uid = FormatFallbackHostUid(base, 1);
  EXPECT_EQ(uid.size(), kHostUidCapacity - 1);
  EXPECT_EQ(FormatFallbackHostUid(L"ab", 0x12345678, 5), L"ab_1");
  EXPECT_EQ(FormatDiskHostUid("serial", "model", 1), L"");
}

}  // namespace
}  // namespace ravelin
