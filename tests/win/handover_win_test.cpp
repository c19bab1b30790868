// The updater's hand-over between two processes, with real files and real
// processes in a throwaway Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::testkit::ExeDir;
using ravelin::testkit::FileExists;
using ravelin::testkit::FindMainWindow;
using ravelin::testkit::FindProcesses;
using ravelin::testkit::Process;
using ravelin::testkit::ReadWholeFile;
using ravelin::testkit::TempDir;
using ravelin::testkit::WaitFor;
using ravelin::testkit::WriteWholeFile;

std::wstring Launcher() { return ExeDir() + L"\\ravelin.exe"; }
std::wstring Probe() { return ExeDir() + L"\\handover-probe.exe"; }

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// An install as the updater leaves it: the old program at `game.exe`, the
// download beside it, and the hand-over copy of the old build.
struct Install {
  std::wstring dir;
  std::wstring game, client, handover;

  Install(const std::wstring& folder, const std::wstring& newBuild) : dir(folder) {
    game = dir + L"\\game.exe";
    client = dir + L"\\MyClient.exe";
    handover = dir + L"\\gameTmp.exe";
    EXPECT_TRUE(WriteWholeFile(game, "the old build"));
    EXPECT_TRUE(CopyFileW(newBuild.c_str(), client.c_str(), FALSE));
    EXPECT_TRUE(CopyFileW(Launcher().c_str(), handover.c_str(), FALSE));
  }
  std::wstring UpdateLine() const { return L"Update|" + game + L"|" + client; }
};

// How the probe standing in for the new build was started.
struct ProbeRecord {
  std::string cmdline;
  DWORD flags = 0;
  int show = -1;
};

std::optional<ProbeRecord> WaitProbeRecord(const std::wstring& exe) {
  const auto text = WaitFor([&] { return ReadWholeFile(exe + L".record"); }, 20s);
  if (!text) return std::nullopt;
  ProbeRecord r;
  std::size_t pos = 0;
  while (pos < text->size()) {
    std::size_t end = text->find('\n', pos);
    if (end == std::string::npos) end = text->size();
    const std::string line = text->substr(pos, end - pos);
    if (line.rfind("cmdline=", 0) == 0) r.cmdline = line.substr(8);
    if (line.rfind("flags=", 0) == 0) r.flags = static_cast<DWORD>(std::stoul(line.substr(6)));
    if (line.rfind("show=", 0) == 0) r.show = std::stoi(line.substr(5));
    pos = end + 1;
  }
  return r;
}

// Holds a file open the way a running program holds its image: no sharing
// of delete, so DeleteFileW fails until the handle goes.
class FileHolder {
 public:
  explicit FileHolder(const std::wstring& path, DWORD share = FILE_SHARE_READ)
      : m_handle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
  }
  ~FileHolder() {
    if (m_thread.joinable()) m_thread.join();
    Release();
  }
  void ReleaseAfter(std::chrono::milliseconds delay) {
    m_thread = std::thread([this, delay] {
      std::this_thread::sleep_for(delay);
      Release();
    });
  }
  void Release() {
    const HANDLE h = InterlockedExchangePointer(&m_handle, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }

 private:
  HANDLE m_handle;
  std::thread m_thread;
};

// Closes a running launcher through its main window and returns its exit code.
std::optional<DWORD> CloseLauncher(const std::wstring& image) {
  const auto window = WaitFor([&] { return FindMainWindow(FindProcesses(image)); }, 30s);
  if (!window) {
    ADD_FAILURE() << "no main window of " << Utf8(image);
    return std::nullopt;
  }
  auto process = Process::Open(window->pid);
  if (!process) return std::nullopt;
  PostMessageW(window->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const auto code = process->Wait(20s);
  if (!code) process->Kill();
  return code;
}

TEST(UpdateHandover, InstallsTheNewBuildAndStartsItVisibleWithTheDeleteLine) {
  TempDir temp;
  Install install(temp.Path(), Probe());
  const std::string probeBytes = *ReadWholeFile(Probe());
  // The old program is still ending when the hand-over starts.
  FileHolder oldProgram(install.game);
  oldProgram.ReleaseAfter(700ms);

  auto handover = Process::Start(install.handover, install.UpdateLine());
  ASSERT_TRUE(handover);
  EXPECT_EQ(handover->Wait(30s), 0u);

  const auto record = WaitProbeRecord(install.game);
  ASSERT_TRUE(record) << "the new build was not started";
  EXPECT_EQ(record->cmdline, Utf8(L"Delete|" + install.handover));
  EXPECT_FALSE((record->flags & STARTF_USESHOWWINDOW) != 0 && record->show == SW_HIDE)
      << "started hidden: flags " << record->flags << ", show " << record->show;
  EXPECT_TRUE(ReadWholeFile(install.game) == probeBytes) << "game.exe is not the new build";
  EXPECT_FALSE(FileExists(install.client));
}

TEST(UpdateHandover, TheStartedBuildRemovesTheHandoverFileAndRunsNormally) {
  TempDir temp;
  Install install(temp.Path(), Launcher());

  auto handover = Process::Start(install.handover, install.UpdateLine());
  ASSERT_TRUE(handover);
  EXPECT_EQ(handover->Wait(30s), 0u);

  EXPECT_TRUE(WaitFor([&] { return !FileExists(install.handover); }, 30s)) << "hand-over file still there";
  EXPECT_FALSE(FileExists(install.client));
  // A full, normal start of the new build: its main window exists and its
  // own way out ends it with 1.
  EXPECT_EQ(CloseLauncher(install.game), 1u);
}

TEST(UpdateHandover, RelaunchesAProgramWhosePathIsTooLongForTheClassicBuffer) {
  TempDir temp;
  // Nest folders until <dir>\gameTmp.exe is exactly 255 characters: with the
  // seven characters of "Delete|" in front it no longer fits 260.
  std::wstring dir = temp.Path();
  const std::size_t wanted = 255 - std::wstring(L"\\gameTmp.exe").size();
  while (dir.size() < wanted) {
    const std::size_t room = wanted - dir.size() - 1;
    dir += L"\\" + std::wstring(std::min<std::size_t>(room == 0 ? 1 : room, 60), L'd');
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr)) << Utf8(dir);
  }
  Install install(dir, Probe());
  ASSERT_EQ(install.handover.size(), 255u);

  auto handover = Process::Start(install.handover, install.UpdateLine());
  ASSERT_TRUE(handover);
  EXPECT_EQ(handover->Wait(30s), 0u);

  const auto record = WaitProbeRecord(install.game);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->cmdline, Utf8(L"Delete|" + install.handover));
}

TEST(UpdateHandover, KeepsAProgramAtTheTargetWhenTheNewBuildCannotBeMovedOrCopied) {
  TempDir temp;
  Install install(temp.Path(), Probe());
  const std::string oldBuild = *ReadWholeFile(install.handover);
  {
    // Locked without any sharing: both the move and the copy fail.
    FileHolder locked(install.client, 0);

    auto handover = Process::Start(install.handover, install.UpdateLine());
    ASSERT_TRUE(handover);
    EXPECT_EQ(handover->Wait(30s), 0u);
  }
  // The old build went in from the hand-over copy, so the install still
  // has a program, the download is kept, and the old build was started.
  EXPECT_TRUE(ReadWholeFile(install.game) == oldBuild) << "game.exe is not the old build";
  EXPECT_TRUE(FileExists(install.client));
  EXPECT_FALSE(FileExists(install.game + L".new"));
  EXPECT_TRUE(WaitFor([&] { return !FileExists(install.handover); }, 30s));
  EXPECT_EQ(CloseLauncher(install.game), 1u);
}

TEST(UpdateHandover, KilledWhileWaitingForTheOldProgramLeavesAProgramThatStarts) {
  TempDir temp;
  Install install(temp.Path(), Probe());
  ASSERT_TRUE(CopyFileW(Launcher().c_str(), install.game.c_str(), FALSE));
  const std::string oldBuild = *ReadWholeFile(install.game);
  {
    FileHolder oldProgram(install.game);
    auto handover = Process::Start(install.handover, install.UpdateLine());
    ASSERT_TRUE(handover);
    ASSERT_FALSE(handover->Wait(1500ms)) << "the hand-over did not wait for the old program";
    handover->Kill();
    ASSERT_TRUE(handover->Wait(10s));
  }
  EXPECT_TRUE(ReadWholeFile(install.game) == oldBuild) << "game.exe is not the old build";
  EXPECT_TRUE(FileExists(install.client)) << "the download is lost";

  auto program = Process::Start(install.game, L"\"" + install.game + L"\"", temp.Path());
  ASSERT_TRUE(program);
  EXPECT_EQ(CloseLauncher(install.game), 1u);
}

TEST(HandoverCommandLines, EdgeCasesBehaveAsTheyRead) {
  TempDir temp;
  const std::wstring copy = temp.File(L"launcher.exe");
  ASSERT_TRUE(CopyFileW(Launcher().c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(WriteWholeFile(temp.File(L"a"), "download"));

  {
    SCOPED_TRACE("Update|a: empty target, nothing moved or started");
    auto p = Process::Start(copy, L"Update|a", temp.Path());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Wait(20s), 0u);
    EXPECT_EQ(ReadWholeFile(temp.File(L"a")), "download");
    EXPECT_FALSE(FindMainWindow(FindProcesses(copy)));
  }
  {
    SCOPED_TRACE("xUpdate|a|b: not at the first character, an ordinary start");
    auto p = Process::Start(copy, L"xUpdate|a|b", temp.Path());
    ASSERT_TRUE(p);
    EXPECT_EQ(CloseLauncher(copy), 1u);
    EXPECT_EQ(ReadWholeFile(temp.File(L"a")), "download");
  }
  {
    SCOPED_TRACE("Update|C:\\Delete\\game.exe|x: a Delete hand-over of a missing path, then a normal start");
    auto p = Process::Start(copy, L"Update|C:\\Delete\\game.exe|x", temp.Path());
    ASSERT_TRUE(p);
    EXPECT_EQ(CloseLauncher(copy), 1u);
  }
}

TEST(DeleteHandover, WaitsForTheEndingProcessThenRemovesItsFileAndStarts) {
  TempDir temp;
  const std::wstring copy = temp.File(L"game.exe");
  const std::wstring leftover = temp.File(L"gameTmp.exe");
  ASSERT_TRUE(CopyFileW(Launcher().c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(WriteWholeFile(leftover, "hand-over copy"));
  FileHolder ending(leftover);
  ending.ReleaseAfter(800ms);

  auto p = Process::Start(copy, L"Delete|" + leftover, temp.Path());
  ASSERT_TRUE(p);
  EXPECT_EQ(CloseLauncher(copy), 1u);
  EXPECT_FALSE(FileExists(leftover));
}

}  // namespace
