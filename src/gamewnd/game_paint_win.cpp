// The game window's own painting: the loading background while the login
// page is not shown yet, the play phase's title band, and the loading bar
// with its "Game Loading " text. Geometry comes from game_paint.h.
#include <string>
#include <vector>

#include "common/unique_gdi_win.h"
#include "gamewnd/game_paint.h"
#include "gamewnd/standard_dlg_win.h"
#include "i18n/language_win.h"

namespace ravelin {

int g_nLoadingDots = 0;

namespace {

COLORREF ToColorRef(PaintColour c) { return RGB(c.r, c.g, c.b); }

// A bitmap of the program's resources and its size. Loaded per paint: the
// erase is rare, and nothing is held between paints.
unique_hbitmap LoadArt(UINT id, SIZE& size) {
  unique_hbitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  BITMAP info{};
  if (bitmap && GetObjectW(bitmap.get(), sizeof(info), &info) == sizeof(info)) {
    size = {info.bmWidth, info.bmHeight};
  } else {
    size = {0, 0};
  }
  return bitmap;
}

void CopyPieces(HDC dc, HBITMAP bitmap, const std::vector<BitmapPiece>& pieces) {
  const unique_hdc memory(CreateCompatibleDC(dc));
  if (!memory) return;
  const unique_select_object select(memory.get(), bitmap);
  for (const BitmapPiece& p : pieces) {
    StretchBlt(dc, p.x, p.y, p.width, p.height, memory.get(), p.srcX, p.srcY, p.width, p.height, SRCCOPY);
  }
}

void DrawLine(HDC dc, PaintColour colour, int width, const PaintLine& line) {
  const unique_hpen pen(CreatePen(PS_SOLID, width, ToColorRef(colour)));
  if (!pen) return;
  const unique_select_object select(dc, pen.get());
  MoveToEx(dc, line.x0, line.y0, nullptr);
  LineTo(dc, line.x1, line.y1);
}

void UseTextColour(HDC dc) {
  SetTextColor(dc, ToColorRef(kPaintTextColour));
  SetBkMode(dc, TRANSPARENT);
}

}  // namespace

void CStandardDlg::DrawLoadingBackground(HDC dc, int w, int h) {
  const unique_hbrush fill(CreateSolidBrush(ToColorRef(kLoadingFillColour)));
  const RECT all{0, 0, w, h};
  if (fill) FillRect(dc, &all, fill.get());
  SIZE size{};
  const unique_hbitmap border = LoadArt(IDB_LOADING_BORDER, size);
  if (border) CopyPieces(dc, border.get(), LoadingBorderPieces(w, h, size.cx, size.cy));
}

void CStandardDlg::DrawTitleBand(HDC dc, int w, int h) {
  SIZE size{};
  const unique_hbitmap band = LoadArt(IDB_TITLE_BAND, size);
  if (!band) return;
  CopyPieces(dc, band.get(), TitleBandPieces(w, h, size.cx, size.cy));
  if (m_hIcon) {
    DrawIconEx(dc, kTitleIconX, kTitleIconY, m_hIcon.get(), kTitleIconSize, kTitleIconSize, 0, nullptr, DI_NORMAL);
  }
  const std::wstring title = g_Language.GetText(25);
  RECT rc{kTitleTextRect.left, kTitleTextRect.top, kTitleTextRect.right, kTitleTextRect.bottom};
  UseTextColour(dc);
  DrawTextW(dc, title.c_str(), -1, &rc, 0);
  for (const PaintLine& line : TitleSideLines(w, h, size.cy)) DrawLine(dc, kSideLineColour, kSideLineWidth, line);
}

void CStandardDlg::DrawLoadingBar(HDC dc, int w, int h) {
  const LoadingBar bar = LoadingBarFor(w, m_bPlaying != 0, m_nProgress, m_nProgressMax);
  DrawLine(dc, kBarBaseColour, 1, {0, bar.y, w, bar.y});
  if (bar.finished) {
    DrawLine(dc, kBarFinishedColour, 1, {bar.x0, bar.y, bar.e, bar.y});
  } else {
    const COLORREF running = ToColorRef(kBarRunningColour);
    for (const int x : bar.runningPixels) SetPixelV(dc, x, bar.y, running);
  }
  if (m_bPageDone) return;
  const LoadingDotsStep dots = StepLoadingDots(g_nLoadingDots);
  g_nLoadingDots = dots.drawn;
  const std::wstring text = LoadingText(dots.drawn);
  const PaintPoint at = LoadingTextOrigin(w, h);
  UseTextColour(dc);
  TextOutW(dc, at.x, at.y, text.c_str(), static_cast<int>(text.size()));
  g_nLoadingDots = dots.next;
}

// Both handlers draw with the window's own DC rather than the one the
// message brings: the bar must be drawn whole whatever was invalidated.
std::intptr_t CStandardDlg::OnEraseBkgnd(const framework::MessageArgs&, bool&) {
  const unique_hdc_window dc(m_hWnd);
  if (!dc) return 0;
  const RECT rc = ClientRect();
  if (m_bPlaying) DrawTitleBand(dc.get(), rc.right, rc.bottom);
  if (!m_bPageDone) DrawLoadingBackground(dc.get(), rc.right, rc.bottom);
  return 0;
}

std::intptr_t CStandardDlg::OnPaint(const framework::MessageArgs&, bool&) {
  // Begun first: a pending erase runs inside BeginPaint and would cover the bar.
  const unique_hdc_paint paint(m_hWnd);
  if (!HasLoadingBar(m_nProgressMax)) return 0;
  const unique_hdc_window dc(m_hWnd);
  if (!dc) return 0;
  const RECT rc = ClientRect();
  DrawLoadingBar(dc.get(), rc.right, rc.bottom);
  return 0;
}

}  // namespace ravelin
