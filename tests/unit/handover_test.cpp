#include "app/handover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
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
      {L"\"C:\\Games\\ravelin.exe\" --Deleted", StartMode::Delete, L"\"C:\\Games\\ravelin.exe\" --Deleted", L"", L""},
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

// A small file system and clock, reached only through HandoverOps. A running
// program's file can be neither replaced nor deleted until the program ends;
// other handles can keep a file from being moved, or from being read. Every
// call is a numbered step at which the fake can be told to fail, or to die:
// the run then ends on the spot, as when the process is killed.
class FakeOps final : public HandoverOps {
 public:
  struct Died {};
  struct Started {
    std::wstring application, commandLine;
    StartWindow window;
    std::string content;  // of the started file at that moment
    bool held;
  };

  std::map<std::wstring, std::string> files;
  std::map<std::wstring, std::uint64_t> runningUntil;
  std::set<std::wstring> openElsewhere;  // without delete sharing, still readable
  std::set<std::wstring> unreadable;     // without any sharing
  std::set<std::wstring> otherVolume;    // can be copied, not moved
  std::optional<std::wstring> modulePath = std::wstring(L"C:\\a\\gameTmp.exe");
  std::uint64_t now = 1000;
  int failAt = -1;
  int dieAt = -1;
  int steps = 0;
  std::wstring failedCall;
  std::vector<std::wstring> log;
  std::vector<Started> started;
  std::vector<std::uint32_t> sleeps;
  int deleteAttempts = 0;

  bool PathExists(const std::wstring& path) override {
    if (Fault(L"PathExists")) return false;
    return files.count(path) != 0;
  }
  bool Delete(const std::wstring& path) override {
    ++deleteAttempts;
    if (Fault(L"Delete") || Held(path) || files.erase(path) == 0) return false;
    log.push_back(L"delete " + path);
    return true;
  }
  FileResult Replace(const std::wstring& from, const std::wstring& to) override {
    if (Fault(L"Replace") || files.count(from) == 0 || to.empty()) return FileResult::Failed;
    if (Held(from) || Held(to)) return FileResult::Busy;
    if (otherVolume.count(from) != 0) return FileResult::Failed;
    files[to] = files[from];
    files.erase(from);
    log.push_back(L"replace " + from + L" -> " + to);
    return FileResult::Done;
  }
  bool Copy(const std::wstring& from, const std::wstring& to) override {
    const bool possible = files.count(from) != 0 && unreadable.count(from) == 0 && !to.empty() && !Held(to);
    const int step = steps;
    const bool faulty = Fault(L"Copy", /*dieNow=*/false);
    if (faulty || step == dieAt) {
      if (possible) files[to] = files[from].substr(0, files[from].size() / 2);
      if (step == dieAt) throw Died{};
      return false;
    }
    if (!possible) return false;
    files[to] = files[from];
    log.push_back(L"copy " + from + L" -> " + to);
    return true;
  }
  bool InUse(const std::wstring& path) override {
    if (Fault(L"InUse")) return true;
    return openElsewhere.count(path) != 0 || unreadable.count(path) != 0;
  }
  std::optional<std::wstring> ModulePath() override {
    if (Fault(L"ModulePath")) return std::nullopt;
    return modulePath;
  }
  bool Start(const std::wstring& application, const std::wstring& commandLine, StartWindow window) override {
    if (Fault(L"Start")) return false;
    const auto file = files.find(application);
    started.push_back({application, commandLine, window, file == files.end() ? "" : file->second, Held(application)});
    log.push_back(L"start " + application + L" [" + commandLine + L"]");
    return file != files.end();
  }
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
  std::uint64_t TickMilliseconds() override { return now; }

 private:
  bool Held(const std::wstring& path) const {
    const auto running = runningUntil.find(path);
    return (running != runningUntil.end() && now < running->second) || openElsewhere.count(path) != 0 ||
           unreadable.count(path) != 0;
  }
  bool Fault(const wchar_t* call, bool dieNow = true) {
    const int step = steps++;
    if (dieNow && step == dieAt) throw Died{};
    if (step != failAt) return false;
    failedCall = call;
    return true;
  }
};

const std::wstring kGame = L"C:\\a\\game.exe";
const std::wstring kDownload = L"C:\\a\\MyClient.exe";
const std::wstring kOwn = L"C:\\a\\gameTmp.exe";
const std::wstring kStaging = L"C:\\a\\game.exe.new";
const std::wstring kRelaunch = L"Delete|C:\\a\\gameTmp.exe";
const std::string kOld = "the old build";
const std::string kNew = "the new build";

HandoverCommand UpdateGame() { return ParseHandoverCommandLine(L"Update|" + kGame + L"|" + kDownload); }

// The updater's leftovers: the old program, still ending, the download and
// the hand-over's own file, a copy of the old build.
FakeOps Updating() {
  FakeOps ops;
  ops.files = {{kGame, kOld}, {kDownload, kNew}, {kOwn, kOld}};
  ops.runningUntil[kGame] = 1100;
  return ops;
}

TEST(UpdateHandover, ReplacesTheProgramOnceTheOldOneEndsAndStartsItVisible) {
  FakeOps ops = Updating();
  ops.runningUntil[kGame] = 1200;

  EXPECT_EQ(RunUpdateHandover(ops, UpdateGame()), 0);

  EXPECT_EQ(ops.files, (std::map<std::wstring, std::string>{{kGame, kNew}, {kOwn, kOld}}));
  EXPECT_EQ(ops.log, (std::vector<std::wstring>{L"replace " + kDownload + L" -> " + kGame,
                                                L"start " + kGame + L" [" + kRelaunch + L"]"}));
  ASSERT_EQ(ops.started.size(), 1u);
  EXPECT_EQ(ops.started[0].window, StartWindow::Normal);
  EXPECT_FALSE(ops.started[0].held);
  // Retries were paced, not a busy loop.
  ASSERT_FALSE(ops.sleeps.empty());
  for (std::uint32_t ms : ops.sleeps) EXPECT_EQ(ms, kHandoverRetryPauseMs);
  EXPECT_LE(ops.now, 1200 + kHandoverRetryPauseMs);
}

TEST(UpdateHandover, StartsNothingWhileTheOldFileIsStillHeldAtTheLimit) {
  const struct {
    const char* holder;
    void (*hold)(FakeOps&);
  } cases[] = {
      {"the old program never ends", [](FakeOps& ops) { ops.runningUntil[kGame] = ~std::uint64_t{0}; }},
      {"a handle on it never closes", [](FakeOps& ops) { ops.openElsewhere.insert(kGame); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.holder);
    FakeOps ops = Updating();
    c.hold(ops);

    EXPECT_EQ(RunUpdateHandover(ops, UpdateGame()), 0);

    EXPECT_EQ(ops.files, (std::map<std::wstring, std::string>{{kGame, kOld}, {kDownload, kNew}, {kOwn, kOld}}));
    EXPECT_TRUE(ops.started.empty());
    EXPECT_GE(ops.now - 1000, kHandoverRetryLimitMs);
    EXPECT_LT(ops.now - 1000, kHandoverRetryLimitMs + 2 * kHandoverRetryPauseMs);
  }
}

TEST(UpdateHandover, InstallsACopyOfADownloadThatCannotBeMovedIn) {
  const struct {
    const char* why;
    void (*block)(FakeOps&);
    bool downloadRemoved;
  } cases[] = {
      {"another volume", [](FakeOps& ops) { ops.otherVolume.insert(kDownload); }, true},
      // Not waited for to the limit: only the old program's hold is.
      {"held open by a reader", [](FakeOps& ops) { ops.openElsewhere.insert(kDownload); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    FakeOps ops = Updating();
    c.block(ops);

    RunUpdateHandover(ops, UpdateGame());

    EXPECT_EQ(ops.files.at(kGame), kNew);
    EXPECT_EQ(ops.files.count(kStaging), 0u);
    EXPECT_EQ(ops.files.count(kDownload) == 0, c.downloadRemoved);
    EXPECT_NE(std::find(ops.log.begin(), ops.log.end(), L"copy " + kDownload + L" -> " + kStaging), ops.log.end());
    ASSERT_EQ(ops.started.size(), 1u);
    EXPECT_FALSE(ops.started[0].held);
    EXPECT_LE(ops.now, 1100 + kHandoverRetryPauseMs);
  }
}

TEST(UpdateHandover, PutsTheOldBuildInFromItsOwnFileWhenTheNewOneCannotGoIn) {
  const struct {
    const char* situation;
    void (*arrange)(FakeOps&);
    bool downloadKept;
  } cases[] = {
      {"the download is locked", [](FakeOps& ops) { ops.unreadable.insert(kDownload); }, true},
      {"no program and no download",
       [](FakeOps& ops) {
         ops.files.erase(kGame);
         ops.files.erase(kDownload);
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.situation);
    FakeOps ops = Updating();
    ops.files[kOwn] = "the hand-over's copy of the old build";
    c.arrange(ops);

    RunUpdateHandover(ops, UpdateGame());

    EXPECT_EQ(ops.files.at(kGame), ops.files.at(kOwn));
    EXPECT_EQ(ops.files.count(kStaging), 0u);
    EXPECT_EQ(ops.files.count(kDownload) != 0, c.downloadKept);
    ASSERT_EQ(ops.started.size(), 1u);
    EXPECT_FALSE(ops.started[0].held);
    EXPECT_EQ(ops.started[0].commandLine, kRelaunch);
  }
}

// The process can fail or be killed at any step; the install must hold a
// whole program after every one of them, and only a free one is started.
TEST(UpdateHandover, EveryStepCanFailOrDieAndTheInstallStillHoldsAWholeProgram) {
  const struct {
    const char* path;
    void (*arrange)(FakeOps&);
    const std::string& installed;
  } cases[] = {
      {"the download moves in", [](FakeOps&) {}, kNew},
      {"a copy of the download goes in", [](FakeOps& ops) { ops.otherVolume.insert(kDownload); }, kNew},
      {"the old build goes back in", [](FakeOps& ops) { ops.unreadable.insert(kDownload); }, kOld},
      {"a dead hand-over left part of a copy",
       [](FakeOps& ops) {
         ops.files[kStaging] = "the ne";
         ops.otherVolume.insert(kDownload);
       },
       kNew},
  };
  for (const auto& c : cases) {
    FakeOps clean = Updating();
    c.arrange(clean);
    RunUpdateHandover(clean, UpdateGame());
    ASSERT_EQ(clean.files.at(kGame), c.installed) << c.path;
    ASSERT_EQ(clean.files.count(kStaging), 0u) << c.path;
    ASSERT_EQ(clean.started.size(), 1u) << c.path;

    for (int step = 0; step < clean.steps; ++step) {
      for (const bool dies : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.path << ", " << (dies ? "dies" : "fails") << " at step " << step);
        FakeOps ops = Updating();
        c.arrange(ops);
        (dies ? ops.dieAt : ops.failAt) = step;
        try {
          RunUpdateHandover(ops, UpdateGame());
          EXPECT_FALSE(dies);
        } catch (const FakeOps::Died&) {
          EXPECT_TRUE(dies);
        }
        ASSERT_EQ(ops.files.count(kGame), 1u);
        EXPECT_TRUE(ops.files.at(kGame) == kOld || ops.files.at(kGame) == kNew) << ops.files.at(kGame);
        EXPECT_LE(ops.started.size(), 1u);
        for (const FakeOps::Started& s : ops.started) {
          EXPECT_TRUE(s.content == kOld || s.content == kNew);
          EXPECT_FALSE(s.held);
          EXPECT_EQ(s.window, StartWindow::Normal);
        }
        if (!dies && ops.failedCall != L"Delete" && ops.failedCall != L"PathExists") {
          EXPECT_EQ(ops.files.count(kStaging), 0u) << "failed call: " << testing::PrintToString(ops.failedCall);
        }
      }
    }
  }
}

TEST(UpdateHandover, EmptyTargetTouchesNothingAndStartsNothing) {
  FakeOps ops;
  ops.files = {{L"a", "new"}, {kOwn, kOld}};
  EXPECT_EQ(RunUpdateHandover(ops, ParseHandoverCommandLine(L"Update|a")), 0);
  EXPECT_EQ(ops.files, (std::map<std::wstring, std::string>{{L"a", "new"}, {kOwn, kOld}}));
  EXPECT_TRUE(ops.log.empty());
}

TEST(UpdateHandover, WithoutItsOwnPathInstallsButStartsNothing) {
  FakeOps ops = Updating();
  ops.modulePath.reset();
  EXPECT_EQ(RunUpdateHandover(ops, UpdateGame()), 0);
  EXPECT_EQ(ops.files.at(kGame), kNew);
  EXPECT_TRUE(ops.started.empty());
}

TEST(DeleteHandover, RemovesTheFileOnceItsProcessHasEnded) {
  FakeOps ops;
  ops.files = {{L"C:\\a\\gameTmp.exe", "old"}};
  ops.runningUntil[L"C:\\a\\gameTmp.exe"] = 1100;
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
  ops.runningUntil[L"C:\\a\\readonly.exe"] = ~std::uint64_t{0};
  RunDeleteHandover(ops, ParseHandoverCommandLine(L"Delete|C:\\a\\readonly.exe"));
  EXPECT_EQ(ops.files.count(L"C:\\a\\readonly.exe"), 1u);
  EXPECT_GE(ops.now - 1000, kHandoverRetryLimitMs);
  EXPECT_NE(ops.sleeps.back(), 10u);  // no "deleted" pause
}

}  // namespace
}  // namespace ravelin
