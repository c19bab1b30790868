#include "update/manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace ravelin {
namespace {

struct ManifestCase {
  const char* name;
  std::wstring text;
  UpdateManifest want;
};

void ExpectManifest(const ManifestCase& c) {
  SCOPED_TRACE(c.name);
  const UpdateManifest got = ParseUpdateManifest(c.text);
  EXPECT_EQ(got.version, c.want.version);
  EXPECT_EQ(got.autoupdate, c.want.autoupdate);
  EXPECT_EQ(got.silentupdate, c.want.silentupdate);
  EXPECT_EQ(got.http, c.want.http);
  EXPECT_EQ(got.notes, c.want.notes);
}

TEST(ManifestParse, KeysLinesAndNotes) {
  // Fields in the order version, autoupdate, silentupdate, http, notes.
  const ManifestCase cases[] = {
      {"usual manifest",
       L"[OsUpdate]\r\nversion=1.0.0.5\r\nhttp=U\r\ninfo=Fixes\r\n",
       {L"1.0.0.5", L"", L"", L"U", L"Fixes"}},
      {"all five keys",
       L"[OsUpdate]\r\nversion=2\r\nautoupdate=1\r\nsilentupdate=0\r\nhttp=U\r\ninfo=N\r\n",
       {L"2", L"1", L"0", L"U", L"N"}},
      {"last line without CR is not a key",
       L"[OsUpdate]\r\nversion=1.0.0.5\r\nhttp=U\r\ninfo=Fixes",
       {L"1.0.0.5", L"", L"", L"U", L"\r\ninfo=Fixes"}},
      {"text after the last CR, no LF", L"version=1\rX", {L"1", L"", L"", L"", L"\r\nX"}},
      {"empty first line: everything is notes",
       L"\r\n[OsUpdate]\r\nversion=1.0.0.5\r\n",
       {L"", L"", L"", L"", L"\r\n[OsUpdate]\r\nversion=1.0.0.5\r\n"}},
      {"LF-only line ends",
       L"[OsUpdate]\nversion=1.0.0.5\nhttp=U\n",
       {L"", L"", L"", L"", L"\r\n[OsUpdate]\nversion=1.0.0.5\nhttp=U\n"}},
      {"CR-only line ends", L"[OsUpdate]\rversion=3\rhttp=U\r", {L"3", L"", L"", L"U", L""}},
      {"trailing blank stays in the value", L"version=1.0.0.4 \r\n", {L"1.0.0.4 ", L"", L"", L"", L""}},
      {"leading blank stays in the value", L"version= 1\r\n", {L" 1", L"", L"", L"", L""}},
      {"http without = is the whole line", L"[OsUpdate]\r\nhttpfoo\r\n", {L"", L"", L"", L"httpfoo", L""}},
      {"value runs from the first =", L"http=http://h/a?b=c\r\n", {L"", L"", L"", L"http://h/a?b=c", L""}},
      {"a key only has to begin the line", L"versions=3\r\n", {L"3", L"", L"", L"", L""}},
      {"second version goes to notes",
       L"version=1.0.0.5\r\nversion=1.0.0.6\r\n",
       {L"1.0.0.5", L"", L"", L"", L"\r\n1.0.0.6"}},
      {"empty value leaves the key open", L"version=\r\nversion=2\r\n", {L"2", L"", L"", L"", L""}},
      {"keys are case-sensitive", L"Version=1\r\nHTTP=U\r\n", {L"", L"", L"", L"", L"\r\n1\r\nU"}},
      {"other lines give their value",
       L"[OsUpdate]\r\nfoo=bar\r\nplain text\r\n",
       {L"", L"", L"", L"", L"\r\nbar\r\nplain text"}},
      {"info after other notes is just a note", L"foo=bar\r\ninfo=X\r\n", {L"", L"", L"", L"", L"\r\nbar\r\nX"}},
      {"notes after info", L"info=A\r\nmore text\r\ninfo=B\r\n", {L"", L"", L"", L"", L"A\r\nmore text\r\nB"}},
      {"section line must be exact", L"[OsUpdate] \r\n", {L"", L"", L"", L"", L"\r\n[OsUpdate] "}},
      {"keys before the section count", L"version=2\r\n[OsUpdate]\r\n", {L"2", L"", L"", L"", L""}},
      {"indentation after a line end is skipped", L"a\r\n \t version=2\r\n", {L"2", L"", L"", L"", L"\r\na"}},
      {"indentation of the first line is kept", L" version=1\r\n", {L"", L"", L"", L"", L"\r\n1"}},
      {"blank lines between lines vanish", L"version=1\r\n\r\n \r\n\r\nhttp=U\r\n", {L"1", L"", L"", L"U", L""}},
      {"trailing white space only", L"version=1\r\n \t\r\n", {L"1", L"", L"", L"", L""}},
      {"wide white space is skipped", L"version=1\r\n\u3000\u00A0\u2028http=U\r\n", {L"1", L"", L"", L"U", L""}},
      {"zero-width space is not white space", L"version=1\r\n\u200Bhttp=U\r\n", {L"1", L"", L"", L"", L"\r\nU"}},
      {"no CR at all", L"abc", {L"", L"", L"", L"", L"\r\nabc"}},
      {"empty text", L"", {L"", L"", L"", L"", L""}},
  };
  for (const ManifestCase& c : cases) ExpectManifest(c);
}

TEST(ManifestParse, OnlyTextsWithTheSectionAreManifests) {
  const struct {
    const wchar_t* text;
    bool usable;
  } cases[] = {
      {L"[OsUpdate]\r\nversion=2\r\n", true},
      {L"version=2\r\nhttp=U\r\n[OsUpdate]", true},
      {L"x[OsUpdate]y", true},
      {L"version=2\r\nautoupdate=1\r\nsilentupdate=1\r\nhttp=U\r\ninfo=N\r\n", false},
      {L"[osupdate]\r\n", false},
      {L"[OsUpdate\r\n", false},
      {L"Error", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUsableManifest(c.text), c.usable) << testing::PrintToString(c.text);
}

TEST(ManifestVersion, AnyOtherNonEmptyTextIsOffered) {
  const struct {
    const wchar_t* local;
    const wchar_t* offered;
    bool different;
  } cases[] = {
      {L"1.0.0.4", L"1.0.0.5", true},
      {L"1.0.0.4", L"1.0.0.3", true},  // no ordering: older builds are offered too
      {L"1.0.0.4", L"1.0.0.4", false},
      {L"1.0.0.4", L"1.0.0.4 ", true},
      {L"1.0.0.4", L"1.0.0.04", true},
      {L"1.0.0.4", L"", false},
      {L"", L"", false},
      {L"", L"1", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDifferentVersion(c.local, c.offered), c.different)
        << testing::PrintToString(c.local) << " vs " << testing::PrintToString(c.offered);
  }
}

TEST(ManifestVersion, DecisionOnParsedManifests) {
  const struct {
    const wchar_t* text;
    const wchar_t* local;
    bool offered;
  } cases[] = {
      {L"[OsUpdate]\r\nversion=1.0.0.5\r\nhttp=U\r\ninfo=Fixes\r\n", L"1.0.0.4", true},
      {L"[OsUpdate]\r\nversion=1.0.0.4 \r\n", L"1.0.0.4", true},
      {L"[OsUpdate]\r\nversion=1.0.0.4\r\n", L"1.0.0.4", false},
      {L"[OsUpdate]\nversion=1.0.0.5\n", L"1.0.0.4", false},  // LF only: no version at all
      {L"\r\n[OsUpdate]\r\nversion=1.0.0.5\r\n", L"1.0.0.4", false},
      {L"[OsUpdate]\r\nversion=1.0.0.5\r\n", kDefaultLocalVersion.data(), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDifferentVersion(c.local, ParseUpdateManifest(c.text).version), c.offered)
        << testing::PrintToString(c.text);
  }
}

TEST(ManifestVersion, FileVersionWordsAreFourSixteenBitHalves) {
  const struct {
    std::uint32_t ms, ls;
    const wchar_t* text;
  } cases[] = {
      {0x00010000, 0x00000001, L"1.0.0.1"},
      {0x000A0014, 0x001E0028, L"10.20.30.40"},
      {0xFFFFFFFF, 0xFFFF0000, L"65535.65535.65535.0"},
      {0, 0, L"0.0.0.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFileVersion(c.ms, c.ls), c.text);
}

}  // namespace
}  // namespace ravelin
