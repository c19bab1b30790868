#include "framework/message_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace ravelin::framework {
namespace {

struct TestMessage {
  unsigned id = 0;
  std::intptr_t param = 0;
};

constexpr unsigned kQuit = 0x0012;
constexpr unsigned kError = 0xFFFF;  // scripted GetMessage failure
constexpr unsigned kKeyDown = 0x0100;
constexpr unsigned kTimer = 0x0113;

// A scripted queue. "Gaps" mark moments when the queue is empty, so the
// loop's idle phase can run; the trace records everything in order.
struct ScriptedPump {
  using Message = TestMessage;
  struct Step {
    bool gap = false;
    TestMessage msg;
  };
  std::deque<Step>* steps = nullptr;
  std::vector<std::string>* trace = nullptr;

  bool Peek() {
    if (!steps->empty() && steps->front().gap) {
      steps->pop_front();
      return false;
    }
    return true;
  }
  int Get(TestMessage& msg) {
    while (!steps->empty() && steps->front().gap) steps->pop_front();
    if (steps->empty()) {
      msg = {kQuit, -99};  // a script that forgot its quit ends the loop
      return 0;
    }
    msg = steps->front().msg;
    steps->pop_front();
    if (msg.id == kError) return -1;
    return msg.id == kQuit ? 0 : 1;
  }
  void TranslateAndDispatch(const TestMessage& msg) { trace->push_back("dispatch " + std::to_string(msg.id)); }
  static unsigned Id(const TestMessage& msg) { return msg.id; }
  static std::intptr_t QuitCode(const TestMessage& msg) { return msg.param; }
};

using TestLoop = BasicMessageLoop<ScriptedPump>;

struct NamedFilter : BasicMessageFilter<TestMessage> {
  std::string name;
  std::vector<std::string>* trace;
  std::function<bool(TestMessage*)> consume;
  NamedFilter(std::string n, std::vector<std::string>* t, std::function<bool(TestMessage*)> c = {})
      : name(std::move(n)), trace(t), consume(std::move(c)) {}
  bool PreTranslateMessage(TestMessage* msg) override {
    trace->push_back(name + " " + std::to_string(msg->id));
    return consume ? consume(msg) : false;
  }
};

struct CountingIdle : CIdleHandler {
  std::string name;
  std::vector<std::string>* trace;
  CountingIdle(std::string n, std::vector<std::string>* t) : name(std::move(n)), trace(t) {}
  bool OnIdle() override {
    trace->push_back("idle " + name);
    return false;
  }
};

class MessageLoopTest : public testing::Test {
 protected:
  std::deque<ScriptedPump::Step> steps;
  std::vector<std::string> trace;
  TestLoop loop{ScriptedPump{&steps, &trace}};

  void Gap() { steps.push_back({true, {}}); }
  void Post(unsigned id, std::intptr_t param = 0) { steps.push_back({false, {id, param}}); }
};

TEST_F(MessageLoopTest, FiltersAreOfferedFromTheLastAddedAndTheFirstConsumerStopsTheOffer) {
  NamedFilter first("first", &trace);
  NamedFilter second("second", &trace, [](TestMessage* m) { return m->id == kKeyDown; });
  NamedFilter third("third", &trace);
  loop.AddMessageFilter(&first);
  loop.AddMessageFilter(&second);
  loop.AddMessageFilter(&third);

  Post(kKeyDown);
  Post(kTimer);
  Post(kQuit, 1);
  EXPECT_EQ(loop.Run(), 1);

  const std::vector<std::string> expected = {
      "third 256", "second 256",                               // consumed: not dispatched, first not asked
      "third 275", "second 275", "first 275", "dispatch 275",  // nobody consumed
  };
  EXPECT_EQ(trace, expected);
}

TEST_F(MessageLoopTest, AFilterMayRemoveItselfWhileTheOfferRuns) {
  NamedFilter first("first", &trace);
  NamedFilter* selfRemoving = nullptr;
  NamedFilter second("second", &trace, [&](TestMessage*) {
    loop.RemoveMessageFilter(selfRemoving);
    return false;
  });
  selfRemoving = &second;
  loop.AddMessageFilter(&first);
  loop.AddMessageFilter(&second);

  Post(kKeyDown);
  Post(kKeyDown);
  Post(kQuit);
  loop.Run();
  const std::vector<std::string> expected = {"second 256", "first 256", "dispatch 256", "first 256", "dispatch 256"};
  EXPECT_EQ(trace, expected);
}

TEST_F(MessageLoopTest, IdleRunsOncePerEmptyQueueAndAgainOnlyAfterAMeaningfulMessage) {
  CountingIdle a("a", &trace);
  CountingIdle b("b", &trace);
  loop.AddIdleHandler(&a);
  loop.AddIdleHandler(&b);

  Gap();  // idle due at start: one pass, handlers in the order added
  Gap();  // still empty: no second pass until a message arrives
  Post(kKeyDown);
  Gap();  // due again after a key
  for (unsigned streaming : {0x0200u, 0x00A0u, 0x000Fu, 0x0118u}) {
    Post(streaming);
    Gap();  // mouse moves, paints and the system timer do not make idle due
  }
  Post(kTimer);
  Gap();  // WM_TIMER does
  Post(kQuit, 7);

  EXPECT_EQ(loop.Run(), 7);
  const std::vector<std::string> expected = {
      "idle a",       "idle b",      "dispatch 256", "idle a",       "idle b", "dispatch 512",
      "dispatch 160", "dispatch 15", "dispatch 280", "dispatch 275", "idle a", "idle b",
  };
  EXPECT_EQ(trace, expected);
}

TEST_F(MessageLoopTest, AGetMessageErrorIsSkippedAndTheQuitCodeIsTheResult) {
  Post(kError);
  Post(kKeyDown);
  Post(kQuit, 42);
  Post(kKeyDown);  // never reached
  EXPECT_EQ(loop.Run(), 42);
  EXPECT_EQ(trace, std::vector<std::string>{"dispatch 256"});
}

TEST_F(MessageLoopTest, ConsumedMessagesStillMakeIdleDue) {
  CountingIdle idle("x", &trace);
  NamedFilter eatAll("eat", &trace, [](TestMessage*) { return true; });
  loop.AddIdleHandler(&idle);
  loop.AddMessageFilter(&eatAll);
  Gap();
  Post(kKeyDown);
  Gap();
  Post(kQuit);
  loop.Run();
  EXPECT_EQ(trace, (std::vector<std::string>{"idle x", "eat 256", "idle x"}));
}

TEST_F(MessageLoopTest, RegistrationRefusesNullAndReportsUnknownRemovals) {
  NamedFilter f("f", &trace);
  CountingIdle i("i", &trace);
  EXPECT_FALSE(loop.AddMessageFilter(nullptr));
  EXPECT_FALSE(loop.AddIdleHandler(nullptr));
  EXPECT_FALSE(loop.RemoveMessageFilter(&f));
  EXPECT_FALSE(loop.RemoveIdleHandler(&i));
  EXPECT_TRUE(loop.AddMessageFilter(&f));
  EXPECT_TRUE(loop.RemoveMessageFilter(&f));
  EXPECT_FALSE(loop.RemoveMessageFilter(&f));
}

}  // namespace
}  // namespace ravelin::framework
