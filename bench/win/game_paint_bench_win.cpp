// The game window erases and paints itself on every invalidation: this
// repaints it many times in the login and play phases, with and without a
// running bar, and reports the time per repaint and the GDI objects and DCs
// held before and after.
//
//   scripts/harness --build-dir build/win --xvfb --services --standins --wine --
//       build/win/bin/bench_game_paint.exe [repaints=10000]
//
// Run it with the stand-ins and the service, as the tests run: with Wine's
// own browser control in their place the run does not finish.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench_report.h"
#include "common/unique_gdi_win.h"
#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "testkit/testkit_win.h"

namespace {

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The four states the window paints in, by turns.
void SetState(ravelin::CStandardDlg& game, int i) {
  const int progress = i % 1000;
  switch (i % 4) {
    case 0:  // login, before the first page: background, running bar, text
      game.m_bPlaying = 0, game.m_bPageDone = 0, game.m_nProgress = progress;
      break;
    case 1:  // login, page shown: the bar alone
      game.m_bPlaying = 0, game.m_bPageDone = 1, game.m_nProgress = -1;
      break;
    case 2:  // play: band, side lines, running bar
      game.m_bPlaying = 1, game.m_bPageDone = 1, game.m_nProgress = progress;
      break;
    default:  // play while the login background is still up: both, finished bar
      game.m_bPlaying = 1, game.m_bPageDone = 0, game.m_nProgress = 1000;
      break;
  }
  game.m_nProgressMax = 1000;
}

}  // namespace

int main(int argc, char** argv) {
  const int repaints = argc > 1 ? std::atoi(argv[1]) : 10000;
  CoInitialize(nullptr);
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  SetCurrentDirectoryW(L"C:\\");
  auto frame = std::make_unique<ravelin::CTranslucentDlg>();
  if (frame->Create(nullptr) == nullptr) {
    std::puts("the frame could not be created");
    return 1;
  }
  ShowWindow(frame->m_hWnd, SW_SHOW);
  Pump();
  ravelin::CStandardDlg& game = frame->m_dlgGame;
  const HWND window = game.m_hWnd;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    ShowWindow(child, SW_HIDE);
  }

  SetState(game, 0);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  const long before = ravelin::testkit::LiveGdiObjects();
  // One sample per hundred repaints (all four states, 25 times), ms each.
  std::vector<double> perRepaint;
  double batchStart = ravelin::bench::NowMs();
  for (int i = 0; i < repaints; ++i) {
    SetState(game, i);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (i % 100 == 99) {
      perRepaint.push_back((ravelin::bench::NowMs() - batchStart) / 100.0);
      Pump();
      batchStart = ravelin::bench::NowMs();
    }
  }
  const long after = ravelin::testkit::LiveGdiObjects();
  ravelin::bench::Report(
      {{"paint.game_window", "one erase and paint of the game window (login and play states)", "ms", perRepaint}});
  std::printf("%d repaints; GDI objects before %ld, after %ld\n", repaints, before, after);

  frame->CloseAll();
  Pump();
  frame.reset();
  CoUninitialize();
  return after == before ? 0 : 1;
}
