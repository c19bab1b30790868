#include "sysinfo/product_records.h"

#include <gtest/gtest.h>

namespace ravelin {
namespace {

TEST(ProductRecords, KeyPathsByViewAndDirection) {
  EXPECT_EQ(CorvaneReadKey(false), L"Software\\Corvane\\");
  EXPECT_EQ(CorvaneReadKey(true), L"Software\\Wow6432Node\\Corvane\\");
  EXPECT_EQ(CorvaneWriteKey(false), L"SOFTWARE\\Corvane\\");
  EXPECT_EQ(CorvaneWriteKey(true), L"SOFTWARE\\Wow6432Node\\Corvane\\");
  EXPECT_EQ(DownloadMarkKey(false), L"SOFTWARE\\Tessar software\\QXM");
  EXPECT_EQ(DownloadMarkKey(true), L"SOFTWARE\\Wow6432Node\\Tessar software\\QXM");
}

TEST(ProductRecords, WrittenValuesHoldAtMostFortyNineCharacters) {
  EXPECT_EQ(RecordValueText(L"officialwebsite"), L"officialwebsite");
  EXPECT_EQ(RecordValueText(std::wstring(49, L'x')).size(), 49u);
  EXPECT_EQ(RecordValueText(std::wstring(50, L'x')).size(), 49u);
  EXPECT_EQ(RecordValueText(L""), L"");
}

TEST(ProductRecords, RegistryDataIsTextUpToItsFirstNul) {
  const wchar_t terminated[] = L"partnersite\0junk";
  EXPECT_EQ(TextFromRegistryData(terminated, sizeof(terminated)), L"partnersite");
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  EXPECT_EQ(TextFromRegistryData(unterminated, sizeof(unterminated)), L"abc");
  // A byte count that ends inside a character drops the partial character.
  EXPECT_EQ(TextFromRegistryData(unterminated, 2 * sizeof(wchar_t) + 1), L"ab");
  EXPECT_EQ(TextFromRegistryData(unterminated, 0), L"");
}

TEST(ProductRecords, ShortcutPathsAndWorkingFolder) {
  EXPECT_EQ(ShortcutPath(L"C:\\Users\\p\\Desktop", L"Dusk Vale"), L"C:\\Users\\p\\Desktop\\Dusk Vale.lnk");
  EXPECT_EQ(ShortcutPath(L"", L"Dusk Vale"), L"");
  EXPECT_EQ(FolderOf(L"C:\\Games\\Dusk Vale\\ravelin.exe"), L"C:\\Games\\Dusk Vale");
  EXPECT_EQ(FolderOf(L"C:\\ravelin.exe"), L"C:\\");
  EXPECT_EQ(FolderOf(L"ravelin.exe"), L"");
}

}  // namespace
}  // namespace ravelin
