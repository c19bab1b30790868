#include "update/update_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/handover.h"

namespace ravelin {
namespace {

TEST(UpdatePaths, DownloadGoesBesideTheProgram) {
  const struct {
    const wchar_t* module;
    const wchar_t* target;
  } cases[] = {
      {L"C:\\Games\\client.exe", L"C:\\Games\\MyClient.exe"},
      {L"C:\\a.exe\\b.exe", L"C:\\a.exe\\MyClient.exe"},
      {L"C:\\client.exe", L"C:\\MyClient.exe"},
      {L"\\\\?\\C:\\long\\client.exe", L"\\\\?\\C:\\long\\MyClient.exe"},
      {L"client.exe", L"MyClient.exe"},
      {L"Error", L"MyClient.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(UpdateTargetPath(c.module), c.target);
}

TEST(UpdatePaths, TempCopyReplacesTheFileNamesExeExtension) {
  const struct {
    const wchar_t* module;
    const wchar_t* temp;
  } cases[] = {
      {L"C:\\Games\\client.exe", L"C:\\Games\\clientTmp.exe"},
      {L"C:\\Games\\CLIENT.EXE", L"C:\\Games\\CLIENTTmp.exe"},
      {L"C:\\Games\\Client.ExE", L"C:\\Games\\ClientTmp.exe"},
      // A folder named like a program is never cut.
      {L"C:\\a.exe\\b.exe", L"C:\\a.exe\\bTmp.exe"},
      {L"C:\\a.exe\\game", L"C:\\a.exe\\gameTmp.exe"},
      {L"C:\\a.exe\\", L"C:\\a.exe\\Tmp.exe"},
      // Without the extension at the very end, "Tmp.exe" is appended.
      {L"C:\\Games\\client", L"C:\\Games\\clientTmp.exe"},
      {L"C:\\Games\\client.exe.bak", L"C:\\Games\\client.exe.bakTmp.exe"},
      {L"C:\\Games\\client.com", L"C:\\Games\\client.comTmp.exe"},
      {L"C:\\Games\\clientexe", L"C:\\Games\\clientexeTmp.exe"},
      {L"C:\\Games\\.exe", L"C:\\Games\\Tmp.exe"},
      {L"client.exe", L"clientTmp.exe"},
      {L"Error", L"ErrorTmp.exe"},
      {L"", L"Tmp.exe"},
  };
  for (const auto& c : cases) {
    const std::wstring temp = TempCopyPath(c.module);
    EXPECT_EQ(temp, c.temp) << testing::PrintToString(std::wstring(c.module));
    // The copy must never overwrite the program it is made from.
    EXPECT_NE(temp, c.module);
  }
}

TEST(UpdatePaths, HandOverLineReadsBackWholeAtAnyLength) {
  EXPECT_EQ(BuildUpdateCommandLine(L"C:\\Games\\client.exe", L"C:\\Games\\MyClient.exe"),
            L"Update|C:\\Games\\client.exe|C:\\Games\\MyClient.exe");

  // Past the classic 260-character buffer nothing may be cut.
  const std::wstring folder = L"C:\\" + std::wstring(400, L'g') + L"\\";
  const std::wstring installed = folder + L"client.exe";
  const std::wstring line = BuildUpdateCommandLine(installed, UpdateTargetPath(installed));
  EXPECT_GT(line.size(), 800u);
  const HandoverCommand back = ParseHandoverCommandLine(line);
  EXPECT_EQ(back.mode, StartMode::Update);
  EXPECT_EQ(back.target, installed);
  EXPECT_EQ(back.source, folder + L"MyClient.exe");
}

// A minimal x64 executable: headers, one section with 512 bytes of raw
// data that ends the file, and one uninitialised-data section.
class Image {
 public:
  static constexpr std::size_t kNt = 0x40;
  static constexpr std::size_t kFileHeader = kNt + 4;
  static constexpr std::size_t kOptional = kFileHeader + 20;
  static constexpr std::size_t kOptionalSize = 240;
  static constexpr std::size_t kSections = kOptional + kOptionalSize;

  Image() : bytes(0x400, 0) {
    bytes[0] = 'M', bytes[1] = 'Z';
    Put32(0x3C, kNt);
    bytes[kNt] = 'P', bytes[kNt + 1] = 'E';
    Put16(kFileHeader, 0x8664);
    Put16(kFileHeader + 2, 2);
    Put16(kFileHeader + 16, kOptionalSize);
    Put16(kFileHeader + 18, 0x0022);  // executable, large-address aware
    Put16(kOptional, 0x20B);
    Put32(Section(0) + 16, 0x200);  // raw size
    Put32(Section(0) + 20, 0x200);  // raw start
    Put32(Section(1) + 8, 0x1000);  // virtual size only
  }

  static std::size_t Section(std::size_t i) { return kSections + 40 * i; }
  void Put16(std::size_t at, std::size_t v) {
    bytes[at] = static_cast<std::uint8_t>(v), bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void Put32(std::size_t at, std::size_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

  std::vector<std::uint8_t> bytes;
};

TEST(BuildFile, AcceptsOnlyWholeX64Executables) {
  const struct {
    const char* name;
    std::function<void(Image&)> change;
    BuildFileCheck want;
  } cases[] = {
      {"the image as built", [](Image&) {}, BuildFileCheck::Ok},
      {"data appended after the last section", [](Image& i) { i.bytes.resize(0x800, 0xCC); }, BuildFileCheck::Ok},
      {"empty file", [](Image& i) { i.bytes.clear(); }, BuildFileCheck::NoDosHeader},
      {"shorter than a DOS header", [](Image& i) { i.bytes.resize(63); }, BuildFileCheck::NoDosHeader},
      {"no MZ", [](Image& i) { i.bytes[0] = 'Z', i.bytes[1] = 'M'; }, BuildFileCheck::NoDosHeader},
      {"an HTML error page", [](Image& i) { std::fill(i.bytes.begin(), i.bytes.end(), '<'); },
       BuildFileCheck::NoDosHeader},
      {"e_lfanew at the end", [](Image& i) { i.Put32(0x3C, 0x400); }, BuildFileCheck::NtHeadersOutsideFile},
      {"file header cut off", [](Image& i) { i.Put32(0x3C, 0x400 - 10); }, BuildFileCheck::NtHeadersOutsideFile},
      {"e_lfanew far outside", [](Image& i) { i.Put32(0x3C, 0xFFFFFFFF); }, BuildFileCheck::NtHeadersOutsideFile},
      {"no PE signature", [](Image& i) { i.bytes[Image::kNt + 3] = 1; }, BuildFileCheck::NoPeSignature},
      {"NE signature", [](Image& i) { i.bytes[Image::kNt] = 'N'; }, BuildFileCheck::NoPeSignature},
      {"x86", [](Image& i) { i.Put16(Image::kFileHeader, 0x14C); }, BuildFileCheck::WrongMachine},
      {"ARM64", [](Image& i) { i.Put16(Image::kFileHeader, 0xAA64); }, BuildFileCheck::WrongMachine},
      {"a DLL", [](Image& i) { i.Put16(Image::kFileHeader + 18, 0x2022); }, BuildFileCheck::NotAnExecutable},
      {"not marked executable", [](Image& i) { i.Put16(Image::kFileHeader + 18, 0x0020); },
       BuildFileCheck::NotAnExecutable},
      {"no optional header", [](Image& i) { i.Put16(Image::kFileHeader + 16, 0); },
       BuildFileCheck::OptionalHeaderTooSmall},
      {"optional header one byte short", [](Image& i) { i.Put16(Image::kFileHeader + 16, 111); },
       BuildFileCheck::OptionalHeaderTooSmall},
      {"optional header past the end", [](Image& i) { i.Put16(Image::kFileHeader + 16, 0xFFFF); },
       BuildFileCheck::NtHeadersOutsideFile},
      {"PE32", [](Image& i) { i.Put16(Image::kOptional, 0x10B); }, BuildFileCheck::NotPe32Plus},
      {"ROM image", [](Image& i) { i.Put16(Image::kOptional, 0x107); }, BuildFileCheck::NotPe32Plus},
      {"no sections", [](Image& i) { i.Put16(Image::kFileHeader + 2, 0); }, BuildFileCheck::NoSections},
      {"section table past the end", [](Image& i) { i.Put16(Image::kFileHeader + 2, 0xFFFF); },
       BuildFileCheck::SectionsOutsideFile},
      {"raw data one byte too long", [](Image& i) { i.Put32(Image::Section(0) + 16, 0x201); },
       BuildFileCheck::SectionsOutsideFile},
      {"raw start wraps 32 bits", [](Image& i) { i.Put32(Image::Section(0) + 20, 0xFFFFFF00); },
       BuildFileCheck::SectionsOutsideFile},
      {"empty section may start anywhere", [](Image& i) { i.Put32(Image::Section(1) + 20, 0xFFFFFFFF); },
       BuildFileCheck::Ok},
  };
  for (const auto& c : cases) {
    Image image;
    c.change(image);
    EXPECT_EQ(CheckBuildFile(image.bytes), c.want) << c.name;
    EXPECT_EQ(IsAcceptableBuild(image.bytes), c.want == BuildFileCheck::Ok) << c.name;
  }
}

TEST(BuildFile, ADownloadCutAnywhereIsRefused) {
  const Image image;
  ASSERT_TRUE(IsAcceptableBuild(image.bytes));
  for (std::size_t size = 0; size < image.bytes.size(); ++size) {
    EXPECT_FALSE(IsAcceptableBuild(std::span(image.bytes.data(), size))) << "cut at " << size;
  }
}

TEST(BuildFile, HeadersComeFromTheStartOfTheFileAndSectionsAreCheckedAgainstItsSize) {
  const Image image;
  const std::span<const std::uint8_t> all(image.bytes);
  const std::size_t headersEnd = Image::Section(2);
  // Enough of the start for every header: as good as the whole file.
  EXPECT_EQ(CheckBuildFile(all.first(headersEnd), all.size()), BuildFileCheck::Ok);
  // A header past what was read cannot be judged, so it is not accepted.
  for (const std::size_t head : {std::size_t{64}, Image::kOptional, headersEnd - 1}) {
    EXPECT_EQ(CheckBuildFile(all.first(head), all.size()), BuildFileCheck::HeadersTooLarge) << head;
  }
  // The same start of a file that is shorter than its sections say.
  EXPECT_EQ(CheckBuildFile(all.first(headersEnd), all.size() - 1), BuildFileCheck::SectionsOutsideFile);
}

TEST(UpdatePaths, EachOpeningDownloadsToAFileOfItsOwnBesideTheTarget) {
  const std::wstring target = L"C:\\Games\\MyClient.exe";
  const std::wstring first = PartialDownloadPath(target, 42, 1);
  EXPECT_EQ(first.rfind(L"C:\\Games\\MyClient.exe.", 0), 0u);
  EXPECT_NE(first, target);
  EXPECT_NE(first, PartialDownloadPath(target, 42, 2));
  EXPECT_NE(first, PartialDownloadPath(target, 43, 1));
  // Not a name the hand-over or the program's own files use.
  EXPECT_NE(first, TempCopyPath(target));
}

}  // namespace
}  // namespace ravelin
