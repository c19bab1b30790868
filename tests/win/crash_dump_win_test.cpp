// A crash of the launcher, on its main thread or another, leaves one
// minidump in the player's local application data that ravelin-tool reads
// back, keeps only the newest five, and still ends the process at once with
// the exception's code.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "crash_trigger_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::testkit::CapturedRun;
using ravelin::testkit::ExeDir;
using ravelin::testkit::Process;
using ravelin::testkit::RemoveTree;
using ravelin::testkit::RunCaptured;
using ravelin::testkit::WriteWholeFile;

// Found as a support page tells a player to find it.
std::wstring DumpFolder() {
  wchar_t local[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  return std::wstring(local, length < MAX_PATH ? length : 0) + L"\\Dusk Vale\\CrashDumps";
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const ravelin::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  std::sort(names.begin(), names.end());
  return names;
}

struct Crash {
  DWORD pid = 0;
  std::optional<DWORD> exitCode;  // none: it was still running two minutes later
};

Crash RunCrashBuild(const wchar_t* argument) {
  const std::wstring exe = ExeDir() + L"\\ravelin-crash.exe";
  const std::optional<Process> process = Process::Start(exe, L"\"" + exe + L"\" " + argument);
  if (!process) return {};
  Crash crash{process->Id(), process->Wait(120s)};
  if (!crash.exitCode) process->Kill();
  return crash;
}

std::string ToolReport(const std::wstring& dump) {
  const std::wstring tool = ExeDir() + L"\\ravelin-tool.exe";
  const CapturedRun run = RunCaptured(tool, L"\"" + tool + L"\" dump \"" + dump + L"\"", 30s);
  return run.output + (run.exitCode == 0u ? "" : "\n(the tool failed)");
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CrashDump : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(RemoveTree(DumpFolder())); }
};

TEST_F(CrashDump, AccessViolationLeavesOneDumpThatNamesTheFault) {
  const Crash crash = RunCrashBuild(L"--crash-for-test");
  ASSERT_TRUE(crash.exitCode.has_value()) << "the crashed launcher did not end";
  EXPECT_EQ(*crash.exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));

  const std::vector<std::wstring> dumps = FilesIn(DumpFolder());
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_TRUE(dumps[0].starts_with(L"ravelin-")) << dumps[0];
  EXPECT_TRUE(dumps[0].ends_with(L"-" + std::to_wstring(crash.pid) + L".dmp")) << "not named for the process";

  const std::string report = ToolReport(DumpFolder() + L"\\" + dumps[0]);
  EXPECT_TRUE(Contains(report, "exception: 0xC0000005 access violation")) << report;
  EXPECT_TRUE(Contains(report, " ravelin-crash.exe+0x")) << report;
  EXPECT_TRUE(Contains(report, "access: write at 0x0000000000000000")) << report;
}

TEST_F(CrashDump, ExceptionOnAnotherThreadIsDumpedAndTheNewestFiveStay) {
  const std::wstring folder = DumpFolder();
  CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // Six earlier dumps, and files that only look like dumps.
  std::vector<std::wstring> earlier;
  for (int day = 1; day <= 6; ++day) {
    earlier.push_back(L"ravelin-2020010" + std::to_wstring(day) + L"-120000-" + std::to_wstring(100 + day) + L".dmp");
  }
  const std::vector<std::wstring> others = {L"notes.txt", L"ravelin-copy.dmp", L"ravelin-20000101-000000-1.dmp.txt"};
  std::vector<std::wstring> all = earlier;
  all.insert(all.end(), others.begin(), others.end());
  for (const std::wstring& name : all) ASSERT_TRUE(WriteWholeFile(folder + L"\\" + name, "not a dump"));

  const Crash crash = RunCrashBuild(L"--crash-for-test-on-thread");
  ASSERT_TRUE(crash.exitCode.has_value()) << "the crashed launcher did not end";
  EXPECT_EQ(*crash.exitCode, ravelin::test::kTestCrashCode);

  std::vector<std::wstring> left = FilesIn(folder);
  const auto written = std::find_if(left.begin(), left.end(), [&](const std::wstring& name) {
    return name.ends_with(L"-" + std::to_wstring(crash.pid) + L".dmp");
  });
  ASSERT_NE(written, left.end()) << "no dump of the crash";
  const std::string report = ToolReport(folder + L"\\" + *written);
  left.erase(written);
  std::vector<std::wstring> expected(earlier.end() - 4, earlier.end());
  expected.insert(expected.end(), others.begin(), others.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);

  EXPECT_TRUE(Contains(report, "exception: 0xE0DEAD01")) << report;
}

}  // namespace
