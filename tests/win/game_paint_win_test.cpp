// The game window's own painting, read back pixel by pixel from its DC: the
// loading background and its border, the loading bar in both phases, the
// title band with icon, title and side lines, the "Game Loading " dots, and
// that painting keeps no GDI object.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "gamewnd/game_paint.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;

using namespace std::chrono_literals;
using ravelin::CTranslucentDlg;

constexpr COLORREF kFill = RGB(0x1A, 0x10, 0x09);
constexpr COLORREF kSideLine = RGB(0x43, 0x29, 0x01);
constexpr COLORREF kBase = RGB(0x1A, 0x16, 0x00);
constexpr COLORREF kFinished = RGB(0x32, 0x2C, 0x0A);
constexpr COLORREF kRunning = RGB(0xFF, 0x99, 0x00);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kMarker = RGB(0xFF, 0x00, 0xFF);  // in none of the art

std::string Hex(COLORREF c) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02X,%02X,%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// One of the program's bitmaps, to compare the window's pixels with.
class Art {
 public:
  explicit Art(UINT id)
      : m_bitmap(static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))),
        m_dc(CreateCompatibleDC(nullptr)),
        m_old(SelectObject(m_dc, m_bitmap)) {
    BITMAP info{};
    GetObjectW(m_bitmap, sizeof(info), &info);
    width = info.bmWidth;
    height = info.bmHeight;
  }
  ~Art() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
  }
  Art(const Art&) = delete;
  Art& operator=(const Art&) = delete;
  COLORREF operator()(int x, int y) const { return GetPixel(m_dc, x, y); }

  int width = 0, height = 0;

 private:
  HBITMAP m_bitmap;
  HDC m_dc;
  HGDIOBJ m_old;
};

// The game window's pixels as its DC shows them.
class Pixels {
 public:
  explicit Pixels(HWND window) : m_window(window), m_dc(GetDC(window)) {}
  ~Pixels() { ReleaseDC(m_window, m_dc); }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  COLORREF operator()(int x, int y) const { return GetPixel(m_dc, x, y); }

  // Pixels of the rectangle that differ from `expected`, and the first one.
  int Mismatches(const RECT& r, const std::function<COLORREF(int, int)>& expected, std::string& first) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        const COLORREF got = (*this)(x, y), want = expected(x, y);
        if (got == want) continue;
        if (count++ == 0) first = std::to_string(x) + "," + std::to_string(y) + ": " + Hex(got) + " not " + Hex(want);
      }
    }
    return count;
  }
  int Count(const RECT& r, COLORREF colour) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) count += (*this)(x, y) == colour;
    }
    return count;
  }

 private:
  HWND m_window;
  HDC m_dc;
};

class GamePaint : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    GameWindowTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(OpenFrame());
    PumpMessages(100ms);
    ravelin::g_nLoadingDots = 0;
  }

  ravelin::CStandardDlg& Game() { return frame->m_dlgGame; }
  HWND GameWnd() { return frame->m_dlgGame.m_hWnd; }
  SIZE Client() {
    RECT rc{};
    GetClientRect(GameWnd(), &rc);
    return {rc.right, rc.bottom};
  }

  // The window's fields as the browser events would leave them; the child
  // controls are hidden so that the window's own pixels show.
  void Set(bool playing, bool pageDone, int progress, int progressMax) {
    Game().m_bPlaying = playing ? 1 : 0;
    Game().m_bPageDone = pageDone ? 1 : 0;
    Game().m_nProgress = progress;
    Game().m_nProgressMax = progressMax;
    for (HWND child = GetWindow(GameWnd(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      ShowWindow(child, SW_HIDE);
    }
    // Hiding them asked for an erase: the test says when to paint.
    ValidateRect(GameWnd(), nullptr);
  }
  // The play phase's window as the layout leaves it, at w x h.
  void EnterPlayPhase(int w, int h) {
    Game().m_bPlaying = 1;
    SetWindowPos(GameWnd(), nullptr, 0, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(Client().cx, w);
  }
  // Erase and paint, as an invalidation of the whole window brings them.
  void Repaint() { RedrawWindow(GameWnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }
  void Mark() {
    const SIZE s = Client();
    const RECT all{0, 0, s.cx, s.cy};
    const HDC dc = GetDC(GameWnd());
    const HBRUSH brush = CreateSolidBrush(kMarker);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ReleaseDC(GameWnd(), dc);
  }
};

TEST_F(GamePaint, LoadingBackgroundIsTheFillFramedByTheBorderBitmap) {
  Set(false, false, 0, 0);
  Repaint();
  const SIZE s = Client();
  const int w = s.cx, h = s.cy;
  ASSERT_EQ(w, 678) << "the login window in the frame's opening";
  const Art art(IDB_LOADING_BORDER);
  ASSERT_EQ(art.width, 60);
  ASSERT_EQ(art.height, 57);
  const int hw = 30, hh = 28;
  const Pixels px(GameWnd());
  EXPECT_EQ(px(w / 2, h / 2), kFill) << Hex(px(w / 2, h / 2));

  struct Region {
    const char* name;
    RECT rect;
    std::function<COLORREF(int, int)> expected;
  };
  const Region regions[] = {
      {"bar row", {0, 0, w, 1}, [&](int, int) { return kFill; }},
      {"middle", {hw, hh + 1, w - hw, h - hh}, [&](int, int) { return kFill; }},
      {"top-left", {0, 1, hw, hh + 1}, [&](int x, int y) { return art(x, y - 1); }},
      {"top edge", {hw, 1, w - hw, hh + 1}, [&](int x, int y) { return art(hw + (x - hw) % 8, y - 1); }},
      {"top-right", {w - hw, 1, w, hh + 1}, [&](int x, int y) { return art(hw + x - (w - hw), y - 1); }},
      {"left edge", {0, hh + 1, hw, h - hh}, [&](int x, int y) { return art(x, hh + (y - hh - 1) % 8); }},
      {"right edge",
       {w - hw, hh + 1, w, h - hh},
       [&](int x, int y) { return art(x - (w - hw) + hw, hh + (y - hh - 1) % 8); }},
      {"bottom-left", {0, h - hh, hw, h}, [&](int x, int y) { return art(x, hh + y - (h - hh)); }},
      {"bottom edge", {hw, h - hh, w - hw, h}, [&](int x, int y) { return art(hw + (x - hw) % 8, hh + y - (h - hh)); }},
      {"bottom-right", {w - hw, h - hh, w, h}, [&](int x, int y) { return art(hw + x - (w - hw), hh + y - (h - hh)); }},
  };
  for (const Region& r : regions) {
    std::string first;
    EXPECT_EQ(px.Mismatches(r.rect, r.expected, first), 0) << r.name << ", first at " << first;
  }
  // The corners are told apart by the art itself, or the check above proves little.
  EXPECT_NE(art(2, 2), art(57, 2));
  EXPECT_NE(art(2, 2), kFill);
}

TEST_F(GamePaint, NothingOfTheBarBeforeTheFirstProgressReport) {
  Set(false, false, 500, 0);
  Mark();
  EXPECT_EQ(SendMessageW(GameWnd(), WM_PAINT, 0, 0), 0);
  const SIZE s = Client();
  const Pixels px(GameWnd());
  EXPECT_EQ(px.Count({0, 0, s.cx, 1}, kMarker), s.cx) << "the top edge was drawn on";
  EXPECT_EQ(px.Count({0, 0, s.cx, s.cy}, kMarker), s.cx * s.cy) << "no text either";
  EXPECT_EQ(ravelin::g_nLoadingDots, 0);
}

TEST_F(GamePaint, AfterTheFirstPageTheLoginWindowGetsTheBarAlone) {
  Set(false, true, 0, 0);
  Mark();
  // Answered 0 and handled: no default erase.
  EXPECT_EQ(SendMessageW(GameWnd(), WM_ERASEBKGND, 0, 0), 0);
  const SIZE s = Client();
  {
    const Pixels px(GameWnd());
    EXPECT_EQ(px.Count({0, 0, s.cx, s.cy}, kMarker), s.cx * s.cy) << "the background was drawn";
  }
  Set(false, true, 0, 1000);
  EXPECT_EQ(SendMessageW(GameWnd(), WM_PAINT, 0, 0), 0);
  const Pixels px(GameWnd());
  EXPECT_EQ(px.Count({0, 0, s.cx, 1}, kBase), s.cx);
  EXPECT_EQ(px.Count({0, 1, s.cx, s.cy}, kMarker), s.cx * (s.cy - 1)) << "text drawn after the first page";
  EXPECT_EQ(ravelin::g_nLoadingDots, 0);
}

// Row y of the bar as it must look: base colour, with running pixels at
// x0, x0 + 2, ... up to `lastRunning`, or a finished line from x0 to e - 1.
struct BarCase {
  bool playing;
  int progress, progressMax;
  int y, x0, lastRunning, e;  // lastRunning < x0: none; e 0: not finished
};

void ExpectBarRow(HWND window, int w, const BarCase& c) {
  const Pixels px(window);
  int wrong = 0;
  std::string first;
  for (int x = 0; x < w; ++x) {
    COLORREF want = kBase;
    if (c.e > 0 && x >= c.x0 && x < c.e) want = kFinished;
    if (c.e == 0 && x >= c.x0 && x <= c.lastRunning && (x - c.x0) % 2 == 0) want = kRunning;
    const COLORREF got = px(x, c.y);
    if (got != want && wrong++ == 0) first = std::to_string(x) + ": " + Hex(got) + " not " + Hex(want);
  }
  EXPECT_EQ(wrong, 0) << c.progress << " of " << c.progressMax << ", first at " << first;
}

TEST_F(GamePaint, LoginBarAlongTheTopEdge) {
  // 678 wide: x0 = 15, e = 650.
  const BarCase cases[] = {
      {false, 500, 1000, 0, 15, 339, 0},  // i < 500 * 650 / 1000 = 325
      {false, 1, 1000, 0, 15, 0, 0},      // 650 / 1000 = 0: base line alone
      {false, 1000, 1000, 0, 15, 0, 650}, {false, -1, 5, 0, 15, 0, 650}, {false, -1, 1000, 0, 15, 0, 650},
  };
  for (const BarCase& c : cases) {
    Set(c.playing, false, c.progress, c.progressMax);
    Repaint();
    ExpectBarRow(GameWnd(), Client().cx, c);
    // The border starts below it.
    const Pixels px(GameWnd());
    EXPECT_NE(px(20, 1), kBase);
  }
}

TEST_F(GamePaint, PlayBarJustBelowTheBand) {
  EnterPlayPhase(1000, 700);
  // x0 = 2, e = 998.
  const BarCase cases[] = {
      {true, 1, 2, 30, 2, 500, 0},  // i < 499
      {true, 999, 1000, 30, 2, 998, 0},
      {true, -1, 5, 30, 2, 0, 998},
      {true, 7, 7, 30, 2, 0, 998},
  };
  for (const BarCase& c : cases) {
    Set(c.playing, true, c.progress, c.progressMax);
    Repaint();
    ExpectBarRow(GameWnd(), 1000, c);
    const Pixels px(GameWnd());
    EXPECT_NE(px(500, 0), kBase) << "the top edge is the band's";
  }
}

TEST_F(GamePaint, TitleBandWithIconTitleBottomLineAndSideLines) {
  EnterPlayPhase(1000, 700);
  Set(true, true, 0, 0);
  Repaint();
  const int w = 1000, h = 700;
  const Art art(IDB_TITLE_BAND);
  ASSERT_EQ(art.width, 37);
  ASSERT_EQ(art.height, 33);
  const Pixels px(GameWnd());

  const RECT icon{4, 4, 24, 24};
  const RECT text{30, 8, 330, 24};
  auto inside = [](const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
  auto bandArt = [&](int x, int y) -> COLORREF {
    if (x < 18) return art(x, y);
    if (x >= w - 18) return art(18 + x - (w - 18), y);
    return art(9 + (x - 18) % 20, y);
  };
  // The band's art, or what is drawn over it.
  auto band = [&](int x, int y) { return inside(icon, x, y) || inside(text, x, y) ? px(x, y) : bandArt(x, y); };
  auto line = [&](int x, int y) -> COLORREF {
    const int row = 31 + y - (h - 2);
    if (x < 18) return art(x, row);
    if (x >= w - 18) return art(18 + x - (w - 18), row);
    return art(18 + (x - 18) % 8, row);
  };
  std::string first;
  // Next to the side lines the pen's round ends may reach a pixel further.
  EXPECT_EQ(px.Mismatches({0, 0, w, 29}, band, first), 0) << "band, first at " << first;
  EXPECT_EQ(px.Mismatches({3, 29, w - 3, 30}, band, first), 0) << "band, first at " << first;
  EXPECT_EQ(px.Mismatches({3, h - 2, w - 3, h}, line, first), 0) << "bottom line, first at " << first;
  EXPECT_EQ(px.Count({0, 30, w, h - 2}, kBase), 0) << "no bar without progress";

  // The icon is drawn 20 x 20 and the title is white inside its rectangle.
  int iconPixels = 0;
  for (int y = icon.top; y < icon.bottom; ++y) {
    for (int x = icon.left; x < icon.right; ++x) iconPixels += px(x, y) != bandArt(x, y);
  }
  EXPECT_GT(iconPixels, 40);
  EXPECT_GT(px.Count(text, kWhite), 20) << "no title";
  EXPECT_EQ(px.Count({0, 0, w, 30}, kWhite), px.Count(text, kWhite) + px.Count(icon, kWhite))
      << "white outside the title's rectangle";

  // Side lines from below the band to the bottom, over the bottom line.
  for (const int y : {31, 300, h - 2, h - 1}) {
    EXPECT_EQ(px(1, y), kSideLine) << "left at " << y << ": " << Hex(px(1, y));
    EXPECT_EQ(px(w - 1, y), kSideLine) << "right at " << y << ": " << Hex(px(w - 1, y));
  }
  // Two pixels wide each, whichever side of x the pen puts its second pixel.
  EXPECT_EQ(px.Count({0, 300, 4, 301}, kSideLine), 2);
  EXPECT_EQ(px.Count({w - 4, 300, w, 301}, kSideLine), 2);
}

// The rightmost white pixel of the "Game Loading " text, or -1.
int TextRightEdge(HWND window, int w, int h) {
  const Pixels px(window);
  for (int x = w - 1; x >= 0; --x) {
    for (int y = h / 2; y < h / 2 + 24 && y < h; ++y) {
      if (px(x, y) == kWhite) return x;
    }
  }
  return -1;
}

TEST_F(GamePaint, GameLoadingGetsOneMoreDotOnEachRepaintUpToSevenThenOne) {
  const SIZE s = Client();
  std::vector<int> counter, edge;
  for (int i = 0; i < 15; ++i) {
    Set(false, false, 100, 1000);
    Repaint();
    counter.push_back(ravelin::g_nLoadingDots);
    edge.push_back(TextRightEdge(GameWnd(), s.cx, s.cy));
  }
  EXPECT_EQ(counter, (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4, 5, 6, 0, 1}));
  for (int i = 1; i < 7; ++i) EXPECT_GT(edge[i], edge[i - 1]) << "dot " << i + 1 << " is not wider";
  EXPECT_EQ(edge[7], edge[0]) << "the eighth repaint starts again with one dot";
  EXPECT_EQ(edge[13], edge[6]);

  // The text starts at (2w/5, h/2).
  const Pixels px(GameWnd());
  int left = -1, top = -1;
  for (int x = 0; x < s.cx && left < 0; ++x) {
    for (int y = 0; y < s.cy; ++y) {
      if (px(x, y) == kWhite) {
        left = x;
        break;
      }
    }
  }
  for (int y = 0; y < s.cy && top < 0; ++y) {
    for (int x = 0; x < s.cx; ++x) {
      if (px(x, y) == kWhite) {
        top = y;
        break;
      }
    }
  }
  EXPECT_GE(left, 2 * s.cx / 5);
  EXPECT_LE(left, 2 * s.cx / 5 + 3);
  EXPECT_GE(top, s.cy / 2);
  EXPECT_LE(top, s.cy / 2 + 8);
}

TEST_F(GamePaint, ManyPaintsKeepNoGdiObject) {
  // The count is exact: every state with every number of loading dots, a
  // few times over, catches one object left by any paint.
  constexpr int kPaints = 100;
  const auto state = [this](int i) {
    switch (i % 4) {
      case 0:
        Set(false, false, i % 1000, 1000);
        break;
      case 1:
        Set(false, true, -1, 1000);
        break;
      case 2:
        Set(true, true, i % 1000, 1000);
        break;
      default:
        Set(true, false, 1000, 1000);
        break;
    }
  };
  for (int i = 0; i < 4; ++i) {  // what the first paints set up for good
    state(i);
    Repaint();
  }
  const long before = ravelin::testkit::LiveGdiObjects();
  ASSERT_GT(before, 0) << "the count sees no GDI object at all";
  for (int i = 0; i < kPaints; ++i) {
    state(i);
    Repaint();
  }
  EXPECT_EQ(ravelin::testkit::LiveGdiObjects(), before) << "GDI objects left by " << kPaints << " paints";
}

}  // namespace
