#include "app/crash_dump_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ravelin {
namespace {

struct Moment {
  int year, month, day, hour, minute, second;
  std::uint32_t pid;
};

std::wstring NameAt(const Moment& m) {
  return std::wstring(DumpFileName(m.year, m.month, m.day, m.hour, m.minute, m.second, m.pid).View());
}

TEST(CrashDumpName, FixedWidthFieldsAndTheProcessId) {
  struct Case {
    Moment moment;
    const wchar_t* name;
  };
  const Case cases[] = {
      {{2024, 3, 7, 9, 5, 2, 4321}, L"ravelin-20240307-090502-4321.dmp"},
      {{1999, 12, 31, 23, 59, 59, 0}, L"ravelin-19991231-235959-0.dmp"},
      {{2024, 1, 1, 0, 0, 0, 4294967295u}, L"ravelin-20240101-000000-4294967295.dmp"},
      // A clock gone wrong still gives a name of the one shape.
      {{12345, -1, 100, 24, 60, 61, 7}, L"ravelin-23450000-246061-7.dmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name);
    const std::wstring name = NameAt(c.moment);
    EXPECT_EQ(name, c.name);
    EXPECT_LE(name.size(), DumpFileName::kMaxLength);
    EXPECT_TRUE(IsDumpFileName(name));
  }
}

TEST(CrashDumpName, NamesSortAsTheCrashesHappened) {
  // Later moments across every field's carry, with process ids of every length.
  const Moment moments[] = {
      {2023, 12, 31, 23, 59, 59, 4294967295u},
      {2024, 1, 1, 0, 0, 0, 9},
      {2024, 1, 1, 0, 0, 1, 10},
      {2024, 1, 1, 0, 1, 0, 1},
      {2024, 1, 1, 1, 0, 0, 555},
      {2024, 1, 2, 0, 0, 0, 77},
      {2024, 2, 1, 0, 0, 0, 1000000},
      {2025, 1, 1, 0, 0, 0, 3},
  };
  for (std::size_t i = 1; i < std::size(moments); ++i) {
    EXPECT_LT(NameAt(moments[i - 1]), NameAt(moments[i])) << "moment " << i;
  }
}

TEST(CrashDumpName, OnlyTheLaunchersOwnNamesAreDumps) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"ravelin-20240307-090502-4321.dmp", true},
      {L"ravelin-20240307-090502-4294967295.dmp", true},
      {L"ravelin-20240307-090502-.dmp", false},
      {L"ravelin-20240307-090502-12345678901.dmp", false},
      {L"ravelin-2024037-090502-4321.dmp", false},
      {L"ravelin-20240307-090502_4321.dmp", false},
      {L"ravelin-2024O307-090502-4321.dmp", false},
      {L"ravelin-20240307-090502-43a1.dmp", false},
      {L"ravelin-20240307-090502-4321.dmp.txt", false},
      {L"ravelin-20240307-090502-4321.DMP", false},
      {L"Ravelin-20240307-090502-4321.dmp", false},
      {L"ravelin-copy.dmp", false},
      {L"", false},
  };
  for (const auto& [name, dump] : cases) EXPECT_EQ(IsDumpFileName(name), dump) << name;
}

// The names the crash handler would delete from `listing` after writing
// `justWritten`, sorted.
std::vector<std::wstring> Deleted(const std::vector<std::wstring>& listing, const std::wstring& justWritten) {
  DumpRetention retention(justWritten);
  for (const std::wstring& name : listing) retention.Consider(name);
  std::vector<std::wstring> deleted;
  for (const std::wstring& name : listing) {
    if (retention.ShouldDelete(name)) deleted.push_back(name);
  }
  std::sort(deleted.begin(), deleted.end());
  return deleted;
}

std::wstring Day(int day, std::uint32_t pid = 100) { return NameAt({2024, 5, day, 12, 0, 0, pid}); }

TEST(CrashDumpRetention, KeepsTheNewDumpAndTheNewestOthersUpToFive) {
  struct Case {
    const char* what;
    std::vector<std::wstring> listing;
    std::wstring justWritten;
    std::vector<std::wstring> deleted;
  };
  const Case cases[] = {
      {"the first dump", {Day(20)}, Day(20), {}},
      {"five in all", {Day(1), Day(2), Day(3), Day(4), Day(20)}, Day(20), {}},
      {"seven in all: the two oldest go",
       {Day(1), Day(2), Day(3), Day(4), Day(5), Day(6), Day(20)},
       Day(20),
       {Day(1), Day(2)}},
      {"the listing in any order",
       {Day(5), Day(20), Day(1), Day(6), Day(3), Day(2), Day(4)},
       Day(20),
       {Day(1), Day(2)}},
      {"a clock set back: the new dump sorts first and still stays",
       {Day(1), Day(10), Day(11), Day(12), Day(13), Day(14)},
       Day(1),
       {Day(10)}},
      {"the new dump missing from the listing still counts",
       {Day(1), Day(2), Day(3), Day(4), Day(5)},
       Day(20),
       {Day(1)}},
      {"two processes in one second: the ids decide",
       {Day(1, 7), Day(1, 8), Day(2), Day(3), Day(4), Day(20)},
       Day(20),
       {Day(1, 7)}},
      {"other files are never deleted",
       {L"notes.txt", L"ravelin-copy.dmp", L"RAVELIN-20240501-120000-1.DMP", Day(1), Day(2), Day(3), Day(4), Day(5),
        Day(20)},
       Day(20),
       {Day(1)}},
      {"a name listed twice", {Day(1), Day(2), Day(3), Day(4), Day(5), Day(5), Day(20)}, Day(20), {Day(1)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::wstring> expected = c.deleted;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Deleted(c.listing, c.justWritten), expected);
  }
}

}  // namespace
}  // namespace ravelin
