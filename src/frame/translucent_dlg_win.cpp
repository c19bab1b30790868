#include "frame/translucent_dlg_win.h"

#include <objbase.h>
#include <wrl/client.h>
// GDI+ wants min and max from somewhere.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "common/startup_steps.h"
#include "common/unique_gdi_win.h"
#include "common/unique_handle_win.h"
#include "diag/diagnostics_win.h"
#include "frame/zorder_pass.h"
#include "framework/app_module_win.h"
#include "i18n/language_win.h"

namespace ravelin {

using framework::MessageArgs;
using framework::MessageMapEntry;
using framework::OnCommand;
using framework::OnMessage;

namespace {

// The frame's pictures in the program's resources.
constexpr UINT kPngFrame = IDR_PNG_FRAME;
constexpr UINT kPngCloseHighlight = IDR_PNG_CLOSE_HL;
constexpr UINT kPngMinimizeHighlight = IDR_PNG_MIN_HL;

constexpr wchar_t kTopWndClass[] = L"MN_TopWnd";
constexpr wchar_t kTopWndProp[] = L"MN_TopWnd";
constexpr wchar_t kKeepPlaceProp[] = L"SYN_ZORDER";

// A picture decoded from a copy of `size` bytes at `data`.
std::unique_ptr<Gdiplus::Image> DecodeImage(const void* data, std::size_t size) {
  unique_hglobal block(GlobalAlloc(GMEM_FIXED, size));
  if (!block) return nullptr;
  std::memcpy(block.get(), data, size);
  Microsoft::WRL::ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, &stream))) return nullptr;
  block.release();  // the stream frees it now
  std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromStream(stream.Get(), TRUE));
  if (image && image->GetLastStatus() != Gdiplus::Ok) image.reset();
  return image;
}

// A picture from the program's resources: type "PNG", else a bitmap.
std::unique_ptr<Gdiplus::Image> LoadPngImage(UINT id) {
  const HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (info == nullptr) info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));  // RT_BITMAP
  if (info == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, info);
  const void* data = LockResource(LoadResource(module, info));
  if (data == nullptr || size == 0) return nullptr;
  return DecodeImage(data, size);
}

// One transparent pixel: PNG, 8-bit RGBA.
constexpr unsigned char kOnePixelPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00,
    0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF,
    0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// Starting and ending GDI+ must not run on two threads at once (the frame's
// window thread and the warm-up thread may both do it at start-up): one lock
// orders them. A token of 0 means GDI+ did not start.
std::mutex g_gdiplusStartLock;

ULONG_PTR StartGdiplus() {
  const std::lock_guard<std::mutex> hold(g_gdiplusStartLock);
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread, codecs
  ULONG_PTR token = 0;
  return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok ? token : 0;
}

void EndGdiplus(ULONG_PTR token) {
  if (token == 0) return;
  const std::lock_guard<std::mutex> hold(g_gdiplusStartLock);
  Gdiplus::GdiplusShutdown(token);
}

// A copy of the window's client area.
unique_hbitmap CaptureClientBitmap(HWND window, RECT& client) {
  GetClientRect(window, &client);
  const unique_hdc_window source(window);
  if (!source) return {};
  const unique_hdc memory(CreateCompatibleDC(source.get()));
  unique_hbitmap bitmap(CreateCompatibleBitmap(source.get(), client.right - client.left, client.bottom - client.top));
  if (memory && bitmap) {
    const unique_select_object select(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, client.right - client.left, client.bottom - client.top, source.get(), client.left,
           client.top, SRCCOPY);
  }
  return bitmap;
}

LRESULT CALLBACK TopWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Messages of the creation itself, before the property marks the window
  // as complete, are answered 1.
  if (GetPropW(hwnd, kTopWndProp) == nullptr) return 1;
  if (message == WM_DESTROY) RemovePropW(hwnd, kTopWndProp);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The restacking pass on real windows.
class Win32ZOrderOps final : public ZOrderOps {
 public:
  bool KeepsPlace(ZWindow window) override {
    return reinterpret_cast<INT_PTR>(GetPropW(Hwnd(window), kKeepPlaceProp)) == 1;
  }
  bool Answers(ZWindow window) override {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(Hwnd(window), WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 150, &result) != 0;
  }
  void PlaceBelow(ZWindow window, ZWindow after, bool async) override {
    SetWindowPos(Hwnd(window), Hwnd(after), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (async ? SWP_ASYNCWINDOWPOS : 0));
  }

 private:
  static HWND Hwnd(ZWindow w) { return reinterpret_cast<HWND>(w); }
};

}  // namespace

bool WarmUpPictureDecoder() {
  const ULONG_PTR token = StartGdiplus();
  if (token == 0) return false;
  const bool decoded = DecodeImage(kOnePixelPng, sizeof(kOnePixelPng)) != nullptr;
  EndGdiplus(token);
  return decoded;
}

CTranslucentDlg::CTranslucentDlg() : m_gdiplusToken(StartGdiplus()) {}

CTranslucentDlg::~CTranslucentDlg() { EndGdiplus(m_gdiplusToken); }

std::span<const MessageMapEntry<CTranslucentDlg>> CTranslucentDlg::MessageMap() {
  using D = CTranslucentDlg;
  static const MessageMapEntry<D> kMap[] = {
      OnMessage<D>(WM_INITDIALOG, &D::OnInitDialog),
      OnMessage<D>(WM_PAINT, &D::OnPaint),
      OnMessage<D>(WM_MOUSEMOVE, &D::OnMouseMove),
      OnMessage<D>(WM_LBUTTONDOWN, &D::OnLButtonDown),
      OnMessage<D>(WM_LBUTTONUP, &D::OnLButtonUp),
      OnMessage<D>(WM_NCLBUTTONUP, &D::OnLButtonUp),
      OnMessage<D>(WM_SYSCOMMAND, &D::OnSysCommand),
      OnMessage<D>(WM_SHOWWINDOW, &D::OnShowWindow),
      OnMessage<D>(WM_MOVE, &D::OnMove),
      OnMessage<D>(WM_SIZE, &D::OnMove),
      OnMessage<D>(WM_WINDOWPOSCHANGING, &D::OnWindowPosChanging),
      OnMessage<D>(WM_NCACTIVATE, &D::OnNcActivate),
      OnCommand<D>(IDOK, &D::OnOK),
      OnCommand<D>(IDCANCEL, &D::OnCancel),
      OnMessage<D>(WM_DESTROY, &D::OnDestroy),
  };
  return kMap;
}

bool CTranslucentDlg::PreTranslateMessage(MSG* /*msg*/) { return false; }

bool CTranslucentDlg::OnIdle() { return false; }

std::intptr_t CTranslucentDlg::OnInitDialog(const MessageArgs&, bool&) {
  framework::JoinThreadLoop(this, this);
  m_dlgGame.m_pFrame = this;
  MarkStartupStep("frame window created");
  m_dlgGame.Create(nullptr);
  MarkStartupStep("game window ready");

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto big = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_RAVELIN), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  const auto small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_RAVELIN), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  SetWindowTextW(m_hWnd, g_Language.GetText(25).c_str());

  const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE,
                    (style & ~static_cast<LONG_PTR>(WS_CAPTION)) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  const LONG_PTR exStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
  if (!(exStyle & WS_EX_LAYERED)) SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);

  DrawFrame();
  MarkStartupStep("first composition");
  CreateTopWnd();
  CenterOnWorkArea();
  MarkStartupStep("frame centred, game window placed");
  return TRUE;
}

void CTranslucentDlg::CenterOnWorkArea() {
  RECT window;
  GetWindowRect(m_hWnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;

  RECT area;
  const HWND owner = GetWindow(m_hWnd, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &info);
    area = info.rcWork;
  }
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  // Keep it inside the area: right and bottom first, then left and top.
  x = std::min(x, static_cast<int>(area.right) - width);
  y = std::min(y, static_cast<int>(area.bottom) - height);
  x = std::max(x, static_cast<int>(area.left));
  y = std::max(y, static_cast<int>(area.top));
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTranslucentDlg::DrawFrame() {
  RECT window;
  GetWindowRect(m_hWnd, &window);

  const unique_hdc_paint paint(m_hWnd);
  const unique_hdc memory(CreateCompatibleDC(paint.get()));
  const unique_hbitmap canvas(CreateCompatibleBitmap(paint.get(), kFrameWidth, kFrameHeight));
  const unique_select_object selectCanvas(memory.get(), canvas.get());
  {
    Gdiplus::Graphics graphics(memory.get());
    RECT client;
    GetClientRect(m_hWnd, &client);

    if (const auto background = LoadPngImage(kPngFrame)) {
      graphics.DrawImage(background.get(), static_cast<INT>(client.left), static_cast<INT>(client.top),
                         kFramePictureWidth, kFramePictureHeight);
    }

    const FrameHighlight highlight = FrameHighlightFor(m_ptMouse, m_bMinimizedOnce);
    if (highlight != FrameHighlight::None) {
      const bool close = highlight == FrameHighlight::Close;
      const FrameRect& r = close ? m_rcCloseBtn : m_rcMinBtn;
      if (const auto image = LoadPngImage(close ? kPngCloseHighlight : kPngMinimizeHighlight)) {
        graphics.DrawImage(image.get(), r.left, r.top, r.right - r.left, r.bottom - r.top);
      }
    }

    if (m_dlgGame.m_hWnd != nullptr) {
      RECT gameClient;
      const unique_hbitmap snapshot = CaptureClientBitmap(m_dlgGame.m_hWnd, gameClient);
      if (snapshot) {
        Gdiplus::Bitmap copy(snapshot.get(), nullptr);
        graphics.DrawImage(&copy, static_cast<INT>(client.left + kGameOffsetX),
                           static_cast<INT>(client.top + kGameOffsetY));
      }
    }
  }

  POINT destination{window.left, window.top};
  SIZE size{kFrameWidth, kFrameHeight};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(m_hWnd, paint.get(), &destination, &size, memory.get(), &source, 0, &blend, ULW_ALPHA);
}

std::intptr_t CTranslucentDlg::OnPaint(const MessageArgs&, bool&) {
  DrawFrame();
  const unique_hdc_paint validate(m_hWnd);
  return 0;
}

std::intptr_t CTranslucentDlg::OnMouseMove(const MessageArgs& args, bool&) {
  m_ptMouse.x = static_cast<int>(args.lParam & 0xFFFF);
  m_ptMouse.y = static_cast<int>((args.lParam >> 16) & 0xFFFF);
  InvalidateRect(m_hWnd, nullptr, FALSE);
  return 0;
}

std::intptr_t CTranslucentDlg::OnLButtonDown(const MessageArgs&, bool&) {
  if (FrameClickAt(m_ptMouse) != FrameClick::None) return 0;
  SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
  SendMessageW(m_hWnd, WM_SYSCOMMAND, 0xF012, 0);  // move by the caption
  return 0;
}

std::intptr_t CTranslucentDlg::OnLButtonUp(const MessageArgs&, bool&) {
  switch (FrameClickAt(m_ptMouse)) {
    case FrameClick::Close:
      ConfirmClose();
      break;
    case FrameClick::Minimize:
      PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case FrameClick::None:
      break;
  }
  return 0;
}

std::intptr_t CTranslucentDlg::OnSysCommand(const MessageArgs& args, bool&) {
  if (args.wParam == SC_MINIMIZE) m_bMinimizedOnce = true;
  return DefWindowProcW(m_hWnd, args.message, args.wParam, args.lParam);
}

void CTranslucentDlg::PlaceGameWindow(bool restack) {
  RECT frame;
  GetWindowRect(m_hWnd, &frame);
  const HWND game = m_dlgGame.m_hWnd;
  if (game == nullptr || !::IsWindow(game) || m_dlgGame.m_bPlaying) return;
  if (restack && m_bShuttingDown) return;
  if (restack) SetWindowPos(m_hWnd, m_hTopWnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(game, m_hWnd, frame.left + kGameOffsetX, frame.top + kGameOffsetY, kGameWidth, kGameHeight,
               SWP_SHOWWINDOW);
  if (restack) m_bGamePlaced = true;
}

std::intptr_t CTranslucentDlg::OnShowWindow(const MessageArgs&, bool&) {
  // Placing the game window activates it, and its activation shows the
  // frame again while the frame is still being shown: that nested show is
  // left to this one, which places the game window the same way. Without
  // it each placing starts another, until the system cuts the recursion.
  if (m_bPlacingOnShow) return 0;
  m_bPlacingOnShow = true;
  PlaceGameWindow(true);
  m_bPlacingOnShow = false;
  return 0;
}

std::intptr_t CTranslucentDlg::OnMove(const MessageArgs&, bool&) {
  PlaceGameWindow(false);
  return 0;
}

std::intptr_t CTranslucentDlg::OnWindowPosChanging(const MessageArgs& args, bool& handled) {
  auto* pos = reinterpret_cast<WINDOWPOS*>(args.lParam);
  if (!m_bShuttingDown && pos != nullptr) pos->hwndInsertAfter = m_dlgGame.m_hWnd;
  handled = false;
  return 0;
}

std::intptr_t CTranslucentDlg::OnNcActivate(const MessageArgs& args, bool& handled) {
  if (m_bShuttingDown || !m_bGamePlaced) return TRUE;
  const LRESULT result = DefWindowProcW(m_hWnd, args.message, args.wParam, args.lParam);
  if (args.wParam) SyncZOrder();
  (void)handled;
  return result;
}

std::intptr_t CTranslucentDlg::OnOK(const MessageArgs&, bool&) {
  DestroyWindow();
  PostQuitMessage(1);
  return 0;
}

std::intptr_t CTranslucentDlg::OnCancel(const MessageArgs&, bool&) {
  ConfirmClose();
  return 0;
}

void CTranslucentDlg::ConfirmClose() {
  const std::wstring text = g_Language.GetText(13);
  const std::wstring caption = g_Language.GetText(25);
  if (MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OKCANCEL) == IDOK) CloseAll();
}

void CTranslucentDlg::CloseAll() {
  m_bShuttingDown = true;
  m_dlgGame.m_bClosing = 1;
  ::ShowWindow(m_hWnd, SW_HIDE);
  if (m_dlgGame.m_hWnd != nullptr) ::ShowWindow(m_dlgGame.m_hWnd, SW_HIDE);
  g_gameException.StopDiagWorker();
  if (m_dlgGame.m_hWnd != nullptr) m_dlgGame.CloseDialog(1);
  if (m_hTopWnd != nullptr) {
    ::DestroyWindow(m_hTopWnd);
    m_hTopWnd = nullptr;
  }
  DestroyWindow();
  PostQuitMessage(1);
}

void CTranslucentDlg::CreateTopWnd() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &TopWndProc;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kTopWndClass;
  RegisterClassExW(&wc);

  m_hTopWnd = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kTopWndClass, L"SPY++",
                              WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, -10000, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (m_hTopWnd == nullptr) return;
  SetPropW(m_hTopWnd, kTopWndProp, this);
  ::ShowWindow(m_hTopWnd, SW_SHOWNA);
}

void CTranslucentDlg::SyncZOrder() {
  if (m_hTopWnd == nullptr) return;
  SetWindowPos(m_hTopWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const ZWindow windows[] = {reinterpret_cast<ZWindow>(m_hTopWnd), reinterpret_cast<ZWindow>(m_dlgGame.m_hWnd),
                             reinterpret_cast<ZWindow>(m_hWnd)};
  Win32ZOrderOps ops;
  RunZOrderPass(windows, ops);
}

std::intptr_t CTranslucentDlg::OnDestroy(const MessageArgs&, bool& handled) {
  framework::LeaveThreadLoop(this, this);
  handled = false;
  return 0;
}

}  // namespace ravelin
