#include "frame/zorder_pass.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace ravelin {
namespace {

struct FakeOps final : ZOrderOps {
  std::set<ZWindow> keep;
  std::set<ZWindow> hung;
  std::vector<std::string> log;
  bool KeepsPlace(ZWindow w) override { return keep.count(w) != 0; }
  bool Answers(ZWindow w) override {
    log.push_back("probe " + std::to_string(w));
    return hung.count(w) == 0;
  }
  void PlaceBelow(ZWindow w, ZWindow after, bool async) override {
    log.push_back("place " + std::to_string(w) + " below " + std::to_string(after) + (async ? " async" : ""));
  }
};

constexpr ZWindow kAnchor = 1, kGame = 2, kFrame = 3;
const ZWindow kList[] = {kAnchor, kGame, kFrame};

TEST(ZOrderPass, StacksTheGameWindowBelowTheAnchorAndTheFrameBelowTheGameWindow) {
  FakeOps ops;
  RunZOrderPass(kList, ops);
  const std::vector<std::string> expected = {"probe 2", "probe 1", "place 2 below 1",
                                             "probe 3", "probe 2", "place 3 below 2"};
  EXPECT_EQ(ops.log, expected);
}

TEST(ZOrderPass, AWindowThatKeepsItsPlaceIsSkippedAndNotAReference) {
  FakeOps ops;
  ops.keep = {kGame};
  RunZOrderPass(kList, ops);
  EXPECT_EQ(ops.log, (std::vector<std::string>{"probe 3", "probe 1", "place 3 below 1"}));
}

TEST(ZOrderPass, WhenTheFirstKeepsItsPlaceTheNextStartsTheStack) {
  FakeOps ops;
  ops.keep = {kAnchor};
  RunZOrderPass(kList, ops);
  EXPECT_EQ(ops.log, (std::vector<std::string>{"probe 3", "probe 2", "place 3 below 2"}));
}

TEST(ZOrderPass, SilentWindowsStayAndSilentReferencesGetAsynchronousMoves) {
  FakeOps hungGame;
  hungGame.hung = {kGame};
  RunZOrderPass(kList, hungGame);
  // The game window is left alone and the frame goes below the anchor.
  EXPECT_EQ(hungGame.log, (std::vector<std::string>{"probe 2", "probe 3", "probe 1", "place 3 below 1"}));

  FakeOps hungAnchor;
  hungAnchor.hung = {kAnchor};
  RunZOrderPass(kList, hungAnchor);
  EXPECT_EQ(hungAnchor.log, (std::vector<std::string>{"probe 2", "probe 1", "place 2 below 1 async", "probe 3",
                                                      "probe 2", "place 3 below 2"}));
}

TEST(ZOrderPass, EmptyAndSingleListsMoveNothing) {
  FakeOps ops;
  RunZOrderPass({}, ops);
  const ZWindow one[] = {kAnchor};
  RunZOrderPass(one, ops);
  EXPECT_TRUE(ops.log.empty());
}

}  // namespace
}  // namespace ravelin
