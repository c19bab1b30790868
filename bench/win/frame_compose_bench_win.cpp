// The frame recomposes on every pointer movement. This measures one full
// composition as the program does it (pictures decoded every time) and the
// same with the pictures decoded and pre-scaled once, and checks that many
// compositions leave no GDI object behind.
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

#include "common/unique_gdi_win.h"
#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::CTranslucentDlg;

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

std::unique_ptr<Gdiplus::Bitmap> Decode(UINT id) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (info == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, info);
  const HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
  std::memcpy(block, LockResource(LoadResource(module, info)), size);
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(block, TRUE, &stream);
  std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream, TRUE));
  stream->Release();
  return image;
}

// The same composition with pictures decoded once and the frame pre-scaled.
class CachedComposer {
 public:
  explicit CachedComposer(HWND frame, HWND game) : m_frame(frame), m_game(game) {
    const auto picture = Decode(IDR_PNG_FRAME);
    m_background = std::make_unique<Gdiplus::Bitmap>(ravelin::kFramePictureWidth, ravelin::kFramePictureHeight,
                                                     PixelFormat32bppPARGB);
    Gdiplus::Graphics g(m_background.get());
    g.DrawImage(picture.get(), 0, 0, ravelin::kFramePictureWidth, ravelin::kFramePictureHeight);
    m_close = Decode(IDR_PNG_CLOSE_HL);
  }

  void Compose() {
    RECT window;
    GetWindowRect(m_frame, &window);
    const ravelin::unique_hdc_window screen(m_frame);
    const ravelin::unique_hdc memory(CreateCompatibleDC(screen.get()));
    const ravelin::unique_hbitmap canvas(
        CreateCompatibleBitmap(screen.get(), ravelin::kFrameWidth, ravelin::kFrameHeight));
    const ravelin::unique_select_object select(memory.get(), canvas.get());
    {
      Gdiplus::Graphics graphics(memory.get());
      graphics.DrawImage(m_background.get(), 0, 0);
      graphics.DrawImage(m_close.get(), 686, 64, 26, 25);
      RECT client;
      GetClientRect(m_game, &client);
      const ravelin::unique_hdc_window source(m_game);
      const ravelin::unique_hdc copyDc(CreateCompatibleDC(source.get()));
      const ravelin::unique_hbitmap copy(CreateCompatibleBitmap(source.get(), client.right, client.bottom));
      {
        const ravelin::unique_select_object selectCopy(copyDc.get(), copy.get());
        BitBlt(copyDc.get(), 0, 0, client.right, client.bottom, source.get(), 0, 0, SRCCOPY);
      }
      Gdiplus::Bitmap snapshot(copy.get(), nullptr);
      graphics.DrawImage(&snapshot, ravelin::kGameOffsetX, ravelin::kGameOffsetY);
    }
    POINT destination{window.left, window.top};
    SIZE size{ravelin::kFrameWidth, ravelin::kFrameHeight};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_frame, screen.get(), &destination, &size, memory.get(), &origin, 0, &blend, ULW_ALPHA);
  }

 private:
  HWND m_frame;
  HWND m_game;
  std::unique_ptr<Gdiplus::Bitmap> m_background;
  std::unique_ptr<Gdiplus::Bitmap> m_close;
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

  std::vector<double> specified, cached;
  for (int i = 0; i < runs; ++i) {
    frame->m_ptMouse = {690, 70};  // a highlight is drawn too
    const double t0 = Now();
    frame->DrawFrame();
    specified.push_back(Now() - t0);
  }
  CachedComposer composer(frame->m_hWnd, frame->m_dlgGame.m_hWnd);
  for (int i = 0; i < runs; ++i) {
    const double t0 = Now();
    composer.Compose();
    cached.push_back(Now() - t0);
  }
  std::printf("compositions: %d each\n", runs);
  std::printf("median, as the program composes (decoding every time): %.2f ms\n", Median(specified));
  std::printf("median, pictures decoded and pre-scaled once:          %.2f ms\n", Median(cached));

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
