// The frame recomposes on every pointer movement. This measures one full
// composition as the program does it (pictures decoded every time) beside
// the floor of the same work, and checks that many compositions leave no
// GDI object behind.
//
//   scripts/harness --build-dir build/win --xvfb --compositor --wine --
//       build/win/bin/bench_frame_compose.exe [compositions=200] [leak-check-compositions=10000]
#include <windows.h>

#include <objbase.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_report.h"
#include "common/unique_gdi_win.h"
#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::CTranslucentDlg;

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The floor of the same work: each composition decodes and draws the same
// pictures and takes one layered update, but everything that can live
// across compositions does (the streams over the pictures' bytes, the
// device contexts and bitmaps).
class FloorComposer {
 public:
  FloorComposer(HWND frame, HWND game) : m_frame(frame), m_game(game) {
    m_frameBytes = StreamOf(IDR_PNG_FRAME);
    m_closeBytes = StreamOf(IDR_PNG_CLOSE_HL);
    GetClientRect(m_game, &m_gameClient);
    m_canvas.reset(CreateCompatibleBitmap(m_screen.get(), ravelin::kFrameWidth, ravelin::kFrameHeight));
    m_snapshot.reset(CreateCompatibleBitmap(m_screen.get(), m_gameClient.right, m_gameClient.bottom));
  }
  ~FloorComposer() {
    if (m_frameBytes != nullptr) m_frameBytes->Release();
    if (m_closeBytes != nullptr) m_closeBytes->Release();
  }
  FloorComposer(const FloorComposer&) = delete;
  FloorComposer& operator=(const FloorComposer&) = delete;

  void Compose() {
    RECT window;
    GetWindowRect(m_frame, &window);
    const ravelin::unique_select_object select(m_memory.get(), m_canvas.get());
    {
      Gdiplus::Graphics graphics(m_memory.get());
      {
        const std::unique_ptr<Gdiplus::Bitmap> background = DecodeFrom(m_frameBytes);
        graphics.DrawImage(background.get(), 0, 0, ravelin::kFramePictureWidth, ravelin::kFramePictureHeight);
        const std::unique_ptr<Gdiplus::Bitmap> close = DecodeFrom(m_closeBytes);
        graphics.DrawImage(close.get(), 686, 64, 26, 25);
      }
      const ravelin::unique_hdc_window source(m_game);
      {
        const ravelin::unique_select_object selectCopy(m_copy.get(), m_snapshot.get());
        BitBlt(m_copy.get(), 0, 0, m_gameClient.right, m_gameClient.bottom, source.get(), 0, 0, SRCCOPY);
      }
      Gdiplus::Bitmap snapshot(m_snapshot.get(), nullptr);
      graphics.DrawImage(&snapshot, ravelin::kGameOffsetX, ravelin::kGameOffsetY);
    }
    POINT destination{window.left, window.top};
    SIZE size{ravelin::kFrameWidth, ravelin::kFrameHeight};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_frame, m_screen.get(), &destination, &size, m_memory.get(), &origin, 0, &blend, ULW_ALPHA);
  }

 private:
  static IStream* StreamOf(UINT id) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (info == nullptr) return nullptr;
    const DWORD size = SizeofResource(module, info);
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
    std::memcpy(block, LockResource(LoadResource(module, info)), size);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(block, TRUE, &stream);
    return stream;
  }
  static std::unique_ptr<Gdiplus::Bitmap> DecodeFrom(IStream* stream) {
    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return std::unique_ptr<Gdiplus::Bitmap>(Gdiplus::Bitmap::FromStream(stream, FALSE));
  }

  HWND m_frame;
  HWND m_game;
  RECT m_gameClient{};
  IStream* m_frameBytes = nullptr;
  IStream* m_closeBytes = nullptr;
  ravelin::unique_hdc_window m_screen{m_frame};
  ravelin::unique_hdc m_memory{CreateCompatibleDC(m_screen.get())};
  ravelin::unique_hdc m_copy{CreateCompatibleDC(m_screen.get())};
  ravelin::unique_hbitmap m_canvas;
  ravelin::unique_hbitmap m_snapshot;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int leakRuns = argc > 2 ? std::atoi(argv[2]) : 10000;
  CoInitialize(nullptr);
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  SetCurrentDirectoryW(L"C:\\");
  auto frame = std::make_unique<CTranslucentDlg>();
  if (frame->Create(nullptr) == nullptr) {
    std::puts("the frame could not be created");
    return 1;
  }
  ShowWindow(frame->m_hWnd, SW_SHOW);
  Pump();

  // The two alternate, so that whatever else the machine does falls on both.
  std::vector<double> specified, floor;
  {
    FloorComposer composer(frame->m_hWnd, frame->m_dlgGame.m_hWnd);
    for (int i = 0; i < runs; ++i) {
      frame->m_ptMouse = {690, 70};  // a highlight is drawn too
      double t0 = ravelin::bench::NowMs();
      frame->DrawFrame();
      specified.push_back(ravelin::bench::NowMs() - t0);
      t0 = ravelin::bench::NowMs();
      composer.Compose();
      floor.push_back(ravelin::bench::NowMs() - t0);
    }
  }
  const ravelin::bench::Figure floorFigure{
      "compose.floor", "the same pictures decoded and drawn, one layered update, nothing else", "ms", floor};
  ravelin::bench::Report({floorFigure,
                          {"compose.frame", "one frame composition as the program does it (pictures decoded)", "ms",
                           specified, &floorFigure}});

  const long before = ravelin::testkit::LiveGdiObjects();
  for (int i = 0; i < leakRuns; ++i) {
    frame->m_ptMouse = {600 + i % 120, 60 + i % 40};
    frame->DrawFrame();
    if (i % 100 == 0) Pump();
  }
  const long after = ravelin::testkit::LiveGdiObjects();
  std::printf("%d compositions: GDI objects before %ld, after %ld\n", leakRuns, before, after);

  frame->CloseAll();
  Pump();
  frame.reset();
  CoUninitialize();
  return after == before ? 0 : 1;
}
