#include "app/handover.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ravelin {
namespace {

TEST(HandoverCommandLine, RecognisesModesAndSplitsPaths) {
  struct Case {
    const wchar_t* line;
    StartMode mode;
    const wchar_t* deletePath;
    const wchar_t* target;
    const wchar_t* source;
  };
  const Case cases[] = {
      {L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe", StartMode::Update, L"", L"C:\\a\\game.exe",
       L"C:\\a\\MyClient.exe"},
      // "Delete" anywhere wins, even inside a path of an Update line.
      {L"Update|C:\\Delete\\game.exe|x", StartMode::Delete, L"C:\\Delete\\game.exe|x", L"", L""},
      {L"xUpdate|a|b", StartMode::Normal, L"", L"", L""},
      {L"update|a|b", StartMode::Normal, L"", L"", L""},
      {L"Update|a", StartMode::Update, L"", L"", L"a"},
      {L"Update", StartMode::Update, L"", L"", L""},
      {L"Update|a|b|c", StartMode::Update, L"", L"a", L"b|c"},
      {L"Update||", StartMode::Update, L"", L"", L""},
      {L"Delete|C:\\a\\gameTmp.exe", StartMode::Delete, L"C:\\a\\gameTmp.exe", L"", L""},
      {L"Delete|", StartMode::Delete, L"", L"", L""},
      {L"Delete|a|b", StartMode::Delete, L"a|b", L"", L""},
      // No separator: the whole line is the path.
      {L"\"C:\\Games\\ravelin.exe\" --Deleted", StartMode::Delete, L"\"C:\\Games\\ravelin.exe\" --Deleted", L"",
       L""},
      {L"c:\\x\\ravelin.exe delete|y", StartMode::Normal, L"", L"", L""},
      {L"\"C:\\Games\\ravelin.exe\"", StartMode::Normal, L"", L"", L""},
      {L"", StartMode::Normal, L"", L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "line: " << std::wstring(c.line).size() << " chars");
    const HandoverCommand command = ParseHandoverCommandLine(c.line);
    EXPECT_EQ(command.mode, c.mode);
    EXPECT_EQ(command.deletePath, c.deletePath);
    EXPECT_EQ(command.target, c.target);
    EXPECT_EQ(command.source, c.source);
  }
}

TEST(HandoverCommandLine, RelaunchLineKeepsLongPathsWhole) {
  EXPECT_EQ(BuildRelaunchCommandLine(L"C:\\a\\gameTmp.exe"), L"Delete|C:\\a\\gameTmp.exe");
  // Past the classic 260-character buffer the path must neither be cut nor overflow.
  const std::wstring longPath = L"C:\\" + std::wstring(600, L'd') + L"\\gameTmp.exe";
  const std::wstring line = BuildRelaunchCommandLine(longPath);
  EXPECT_EQ(line.size(), 7 + longPath.size());
  EXPECT_EQ(line.substr(7), longPath);
  // And the line reads back as the Delete hand-over of the same path.
  const HandoverCommand back = ParseHandoverCommandLine(line);
  EXPECT_EQ(back.mode, StartMode::Delete);
  EXPECT_EQ(back.deletePath, longPath);
}

// A small file system and clock. Files can be held (deletes fail) until a
// given time, and moves and copies can be made to fail.
class FakeOps final : public HandoverOps {
 public:
  std::map<std::wstring, std::string> files;
  std::map<std::wstring, std::uint64_t> heldUntil;  // deletes fail before this tick
  bool moveFails = false;
  std::set<std::wstring> copyRefusedFrom;
  std::optional<std::wstring> modulePath = std::wstring(L"C:\\a\\gameTmp.exe");
  std::uint64_t now = 1000;
  std::vector<std::wstring> log;
  std::vector<std::uint32_t> sleeps;
  int deleteAttempts = 0;

  bool PathExists(const std::wstring& path) override { return files.count(path) != 0; }
  bool Delete(const std::wstring& path) override {
    ++deleteAttempts;
    const auto held = heldUntil.find(path);
    if (held != heldUntil.end() && now < held->second) return false;
    if (files.erase(path) == 0) return false;
    log.push_back(L"delete " + path);
    return true;
  }
  bool Move(const std::wstring& from, const std::wstring& to) override {
    if (moveFails || files.count(from) == 0 || files.count(to) != 0 || to.empty()) return false;
    files[to] = files[from];
    files.erase(from);
    log.push_back(L"move " + from + L" -> " + to);
    return true;
  }
  bool Copy(const std::wstring& from, const std::wstring& to) override {
    if (copyRefusedFrom.count(from) != 0 || files.count(from) == 0 || to.empty()) return false;
    files[to] = files[from];
    log.push_back(L"copy " + from + L" -> " + to);
    return true;
  }
  std::optional<std::wstring> ModulePath() override { return modulePath; }
  bool StartHidden(const std::wstring& application, const std::wstring& commandLine) override {
    log.push_back(L"start " + application + L" [" + commandLine + L"]");
    return files.count(application) != 0;
  }
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
  std::uint64_t TickMilliseconds() override { return now; }
};

HandoverCommand Update(const wchar_t* line) { return ParseHandoverCommandLine(line); }

TEST(UpdateHandover, ReplacesTheProgramAndStartsItWithTheDeleteLine) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\game.exe", "old"}, {L"C:\\a\\MyClient.exe", "new"}, {L"C:\\a\\gameTmp.exe", "old"}};
  ops.heldUntil[L"C:\\a\\game.exe"] = 1200;  // the old program is still ending

  EXPECT_EQ(RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe")), 0);

  EXPECT_EQ(ops.files.at(L"C:\\a\\game.exe"), "new");
  EXPECT_EQ(ops.files.count(L"C:\\a\\MyClient.exe"), 0u);
  const std::vector<std::wstring> expected = {
      L"delete C:\\a\\game.exe",
      L"move C:\\a\\MyClient.exe -> C:\\a\\game.exe",
      L"start C:\\a\\game.exe [Delete|C:\\a\\gameTmp.exe]",
  };
  EXPECT_EQ(ops.log, expected);
  // Retries were paced, not a busy loop.
  ASSERT_FALSE(ops.sleeps.empty());
  for (std::uint32_t ms : ops.sleeps) EXPECT_EQ(ms, kDeleteRetryPauseMs);
  EXPECT_LE(ops.deleteAttempts, 200 / static_cast<int>(kDeleteRetryPauseMs) + 2);
}

TEST(UpdateHandover, FallsBackToCopyWhenTheMoveFails) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\game.exe", "old"}, {L"C:\\a\\MyClient.exe", "new"}, {L"C:\\a\\gameTmp.exe", "old"}};
  ops.moveFails = true;
  RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe"));
  EXPECT_EQ(ops.files.at(L"C:\\a\\game.exe"), "new");
  EXPECT_EQ(ops.log.back(), L"start C:\\a\\game.exe [Delete|C:\\a\\gameTmp.exe]");
}

TEST(UpdateHandover, PutsTheOldProgramBackWhenTheNewBuildCannotBeInstalled) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\game.exe", "old"}, {L"C:\\a\\MyClient.exe", "new"}, {L"C:\\a\\gameTmp.exe", "old-copy"}};
  ops.moveFails = true;
  ops.copyRefusedFrom.insert(L"C:\\a\\MyClient.exe");  // e.g. held open by a scanner
  RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe"));

  EXPECT_EQ(ops.files.at(L"C:\\a\\game.exe"), "old-copy");
  EXPECT_EQ(ops.files.at(L"C:\\a\\MyClient.exe"), "new");  // the download is not lost either
  EXPECT_EQ(ops.log.back(), L"start C:\\a\\game.exe [Delete|C:\\a\\gameTmp.exe]");
}

TEST(UpdateHandover, DoesNotRestoreWhenItRemovedNothing) {
  // No old program at the target: nothing to put back, the start just fails.
  FakeOps ops;
  ops.files = {{L"C:\\a\\gameTmp.exe", "old"}};
  RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe"));
  EXPECT_EQ(ops.files.count(L"C:\\a\\game.exe"), 0u);
  EXPECT_EQ(ops.log.back(), L"start C:\\a\\game.exe [Delete|C:\\a\\gameTmp.exe]");
}

TEST(UpdateHandover, StartsWhatStandsAtTheTargetWhenItCannotBeDeleted) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\game.exe", "old"}, {L"C:\\a\\MyClient.exe", "new"}, {L"C:\\a\\gameTmp.exe", "old"}};
  ops.heldUntil[L"C:\\a\\game.exe"] = ~std::uint64_t{0};  // never released

  EXPECT_EQ(RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe")), 0);

  EXPECT_EQ(ops.files.at(L"C:\\a\\game.exe"), "old");
  EXPECT_EQ(ops.files.at(L"C:\\a\\MyClient.exe"), "new");
  EXPECT_EQ(ops.log, std::vector<std::wstring>{L"start C:\\a\\game.exe [Delete|C:\\a\\gameTmp.exe]"});
  // Gave up at the limit, neither earlier nor much later.
  EXPECT_GE(ops.now - 1000, kDeleteRetryLimitMs);
  EXPECT_LT(ops.now - 1000, kDeleteRetryLimitMs + 2 * kDeleteRetryPauseMs);
}

TEST(UpdateHandover, EmptyTargetTouchesNothingAndStillEnds) {
  FakeOps ops;
  ops.files = {{L"a", "new"}, {L"C:\\a\\gameTmp.exe", "old"}};
  EXPECT_EQ(RunUpdateHandover(ops, Update(L"Update|a")), 0);
  EXPECT_EQ(ops.files.at(L"a"), "new");
  EXPECT_EQ(ops.log, std::vector<std::wstring>{L"start  [Delete|C:\\a\\gameTmp.exe]"});
}

TEST(UpdateHandover, WithoutItsOwnPathStartsNothing) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\game.exe", "old"}, {L"C:\\a\\MyClient.exe", "new"}};
  ops.modulePath.reset();
  EXPECT_EQ(RunUpdateHandover(ops, Update(L"Update|C:\\a\\game.exe|C:\\a\\MyClient.exe")), 0);
  EXPECT_EQ(ops.files.at(L"C:\\a\\game.exe"), "new");
  for (const std::wstring& entry : ops.log) EXPECT_NE(entry.rfind(L"start", 0), 0u) << "started: " << entry;
}

TEST(DeleteHandover, RemovesTheFileOnceItsProcessHasEnded) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\gameTmp.exe", "old"}};
  ops.heldUntil[L"C:\\a\\gameTmp.exe"] = 1100;
  RunDeleteHandover(ops, ParseHandoverCommandLine(L"Delete|C:\\a\\gameTmp.exe"));
  EXPECT_TRUE(ops.files.empty());
  EXPECT_EQ(ops.sleeps.back(), 10u);  // the single pause after a successful delete
}

TEST(DeleteHandover, MissingFileGoesOnAtOnceWithoutPausing) {
  FakeOps ops;
  RunDeleteHandover(ops, ParseHandoverCommandLine(L"Delete|C:\\a\\gone.exe"));
  EXPECT_EQ(ops.deleteAttempts, 0);
  EXPECT_TRUE(ops.sleeps.empty());
}

TEST(DeleteHandover, GivesUpOnAFileThatNeverGoesAndLetsTheStartContinue) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\readonly.exe", "x"}};
  ops.heldUntil[L"C:\\a\\readonly.exe"] = ~std::uint64_t{0};
  RunDeleteHandover(ops, ParseHandoverCommandLine(L"Delete|C:\\a\\readonly.exe"));
  EXPECT_EQ(ops.files.count(L"C:\\a\\readonly.exe"), 1u);
  EXPECT_GE(ops.now - 1000, kDeleteRetryLimitMs);
  EXPECT_NE(ops.sleeps.back(), 10u);  // no "deleted" pause
}

}  // namespace
}  // namespace ravelin
