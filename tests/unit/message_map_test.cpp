#include "framework/message_map.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

namespace ravelin::framework {
namespace {

constexpr unsigned kPaint = 0x000F;
constexpr unsigned kSize = 0x0005;

struct Window {
  std::vector<std::string> calls;
  bool firstSizeDeclines = true;

  std::intptr_t OnSizeFirst(const MessageArgs&, bool& handled) {
    calls.push_back("size-first");
    handled = !firstSizeDeclines;
    return 1;
  }
  std::intptr_t OnSizeSecond(const MessageArgs& args, bool&) {
    calls.push_back("size-second");
    return static_cast<std::intptr_t>(args.lParam) + 1;
  }
  std::intptr_t OnOk(const MessageArgs&, bool&) {
    calls.push_back("ok");
    return 10;
  }
  std::intptr_t OnAnyCommand(const MessageArgs&, bool&) {
    calls.push_back("any-command");
    return 20;
  }

  static std::span<const MessageMapEntry<Window>> Map() {
    static constexpr MessageMapEntry<Window> kMap[] = {
        OnMessage<Window>(kSize, &Window::OnSizeFirst),
        OnMessage<Window>(kSize, &Window::OnSizeSecond),
        OnCommand<Window>(1, &Window::OnOk),
        OnMessage<Window>(kMsgCommand, &Window::OnAnyCommand),
    };
    return kMap;
  }
};

std::uintptr_t CommandParam(unsigned id, unsigned code) { return (static_cast<std::uintptr_t>(code) << 16) | id; }

TEST(MessageMap, FirstMatchingEntryHandlesAndADeclineFallsThroughToTheNext) {
  Window w;
  std::intptr_t result = 0;
  ASSERT_TRUE(DispatchMessageMap<Window>(w, Window::Map(), {kSize, 0, 41}, result));
  EXPECT_EQ(result, 42);
  EXPECT_EQ(w.calls, (std::vector<std::string>{"size-first", "size-second"}));

  w.calls.clear();
  w.firstSizeDeclines = false;
  ASSERT_TRUE(DispatchMessageMap<Window>(w, Window::Map(), {kSize, 0, 41}, result));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(w.calls, std::vector<std::string>{"size-first"});
}

TEST(MessageMap, CommandEntriesMatchOnTheIdInTheLowWord) {
  Window w;
  std::intptr_t result = 0;
  ASSERT_TRUE(DispatchMessageMap<Window>(w, Window::Map(), {kMsgCommand, CommandParam(1, 0), 0}, result));
  EXPECT_EQ(result, 10);
  // Same id with a notification code in the high word is still command 1.
  ASSERT_TRUE(DispatchMessageMap<Window>(w, Window::Map(), {kMsgCommand, CommandParam(1, 5), 0}, result));
  EXPECT_EQ(result, 10);
  // Another id reaches the catch-all entry only.
  ASSERT_TRUE(DispatchMessageMap<Window>(w, Window::Map(), {kMsgCommand, CommandParam(2, 0), 0}, result));
  EXPECT_EQ(result, 20);
  EXPECT_EQ(w.calls, (std::vector<std::string>{"ok", "ok", "any-command"}));
}

TEST(MessageMap, UnlistedMessagesAreLeftToDefaultProcessing) {
  Window w;
  std::intptr_t result = 77;
  EXPECT_FALSE(DispatchMessageMap<Window>(w, Window::Map(), {kPaint, 0, 0}, result));
  EXPECT_EQ(result, 77);
  EXPECT_TRUE(w.calls.empty());
}

}  // namespace
}  // namespace ravelin::framework
