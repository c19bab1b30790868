#include "common/unique_any.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace ravelin {
namespace {

// Handles are small numbers; 0 and -1 own nothing, as null and
// INVALID_HANDLE_VALUE do.
std::vector<int> g_closed;

struct NumberTraits {
  using type = int;
  static int Invalid() { return -1; }
  static bool IsValid(int value) { return value > 0; }
  static void Close(int value) { g_closed.push_back(value); }
};
using Holder = unique_any<NumberTraits>;

TEST(UniqueAny, ClosesEachValueExactlyOnceWhicheverWayItIsLetGo) {
  struct Case {
    const char* what;
    std::function<void()> run;
    std::vector<int> closed;
  };
  const Case cases[] = {
      {"destruction", [] { const Holder h(1); }, {1}},
      {"reset to empty",
       [] {
         Holder h(1);
         h.reset();
         EXPECT_FALSE(h);
       },
       {1}},
      {"reset to another value",
       [] {
         Holder h(1);
         h.reset(2);
         EXPECT_EQ(h.get(), 2);
       },
       {1, 2}},
      {"reset to the value held",
       [] {
         Holder h(1);
         h.reset(h.get());
       },
       {1}},
      {"moves",
       [] {
         Holder a(1);
         Holder b(std::move(a));
         Holder c;
         c = std::move(b);
         EXPECT_FALSE(a);
         EXPECT_FALSE(b);
       },
       {1}},
      {"move onto a holder that holds a value",
       [] {
         Holder a(1);
         Holder b(2);
         b = std::move(a);
         EXPECT_EQ(b.get(), 1);
       },
       {2, 1}},
      {"move onto itself",
       [] {
         Holder a(1);
         Holder& same = a;
         a = std::move(same);
         EXPECT_EQ(a.get(), 1);
       },
       {1}},
      {"release",
       [] {
         Holder h(1);
         EXPECT_EQ(h.release(), 1);
         EXPECT_FALSE(h);
       },
       {}},
      {"values that own nothing",
       [] {
         Holder a(0);
         Holder b(-1);
         b.reset(0);
       },
       {}},
      {"out-parameter",
       [] {
         Holder h(1);
         *h.put() = 2;
         EXPECT_EQ(h.get(), 2);
       },
       {1, 2}},
      {"address-of as out-parameter",
       [] {
         Holder h(1);
         int* slot = &h;
         *slot = 3;
       },
       {1, 3}},
  };
  for (const Case& c : cases) {
    g_closed.clear();
    c.run();
    EXPECT_EQ(g_closed, c.closed) << c.what;
  }
}

}  // namespace
}  // namespace ravelin
