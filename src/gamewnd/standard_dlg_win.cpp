#include "gamewnd/standard_dlg_win.h"

#include <exdispid.h>
#include <shlobj.h>

#include "common/startup_steps.h"
#include "diag/diagnostics_win.h"
#include "framework/app_module_win.h"
#include "gamewnd/game_layout.h"
#include "i18n/language_win.h"
#include "sound/sound_win.h"
#include "sysinfo/product_records_win.h"

namespace ravelin {

using framework::MessageArgs;
using framework::MessageMapEntry;
using framework::OnCommand;
using framework::OnMessage;

namespace {

constexpr UINT_PTR kTimerStartup = 2;
constexpr UINT_PTR kTimerHourlyProbe = 3;
constexpr UINT_PTR kTimerHourlyUdp = 4;
constexpr UINT kOneHourMs = 3'600'000;

const IID kDiidWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
const IID kDiidFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kIidShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

constexpr DISPID kDispidReadyStateChange = -609;

// The interface a host window's control answers for `iid`.
template <class I>
HRESULT ControlInterface(HWND host, const IID& iid, Microsoft::WRL::ComPtr<I>& out) {
  const auto raw = reinterpret_cast<IUnknown*>(SendMessageW(host, framework::AxGetControlMessage(), 0, 0));
  if (raw == nullptr) return E_NOINTERFACE;
  return raw->QueryInterface(iid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

void Place(HWND window, const LayoutRect& r, bool shown) {
  SetWindowPos(window, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window, shown ? SW_SHOW : SW_HIDE);
}

}  // namespace

// Browser events; DocumentComplete is listed twice, and only the first entry
// is ever called.
const framework::CDispEventSink<CStandardDlg>::Entry CStandardDlg::kBrowserSinkMap[5] = {
    {DISPID_DOCUMENTCOMPLETE, &CStandardDlg::OnDocumentComplete},
    {DISPID_DOCUMENTCOMPLETE, &CStandardDlg::OnDocumentComplete},
    {DISPID_BEFORENAVIGATE2, &CStandardDlg::OnBeforeNavigate2},
    {DISPID_NAVIGATEERROR, &CStandardDlg::OnNavigateError},
    {DISPID_PROGRESSCHANGE, &CStandardDlg::ProgressChangeExplorer1},
};

const framework::CDispEventSink<CStandardDlg>::Entry CStandardDlg::kFlashSinkMap[1] = {
    {kDispidReadyStateChange, &CStandardDlg::OnFlashReadyStateChange},
};

CStandardDlg::CStandardDlg()
    : m_browserSink(this, kDiidWebBrowserEvents2, kBrowserSinkMap),
      m_flashSink(this, kDiidFlashEvents, kFlashSinkMap) {}

CStandardDlg::~CStandardDlg() = default;

std::span<const MessageMapEntry<CStandardDlg>> CStandardDlg::MessageMap() {
  using D = CStandardDlg;
  static const MessageMapEntry<D> kMap[] = {
      OnMessage<D>(WM_INITDIALOG, &D::OnInitDialog),
      OnMessage<D>(WM_DESTROY, &D::OnDestroy),
      OnMessage<D>(WM_MOUSEACTIVATE, &D::OnMouseActivate),
      OnMessage<D>(WM_SHOWWINDOW, &D::OnShowWindow),
      OnMessage<D>(WM_TIMER, &D::OnTimer),
      OnMessage<D>(WM_SIZE, &D::OnSize),
      OnMessage<D>(WM_TRAY_NOTIFY, &D::OnTrayNotify),
      OnMessage<D>(WM_HOTKEY, &D::OnHotKey),
      OnMessage<D>(WM_NCHITTEST, &D::OnNcHitTest),
      OnMessage<D>(WM_NCLBUTTONDBLCLK, &D::OnNcLButtonDblClk),
      OnMessage<D>(WM_UPDATE_AVAILABLE, &D::OnUpdateAvailable),
      OnMessage<D>(WM_NCACTIVATE, &D::OnNcActivate),
      OnMessage<D>(WM_ACTIVATEAPP, &D::OnActivateApp),
      OnMessage<D>(WM_PAINT, &D::OnPaint),
      OnMessage<D>(WM_ERASEBKGND, &D::OnEraseBkgnd),
      OnMessage<D>(WM_NCCALCSIZE, &D::OnNcCalcSize),
      OnMessage<D>(WM_GETMINMAXINFO, &D::OnGetMinMaxInfo),
      OnMessage<D>(WM_DIAG_SOCKET, &D::OnDiagSocket),
      OnCommand<D>(IDOK, &D::OnOK),
      OnCommand<D>(IDCANCEL, &D::OnCancel),
      OnCommand<D>(32783, &D::OnMenuCommand),
      OnCommand<D>(32784, &D::OnMenuCommand),
      OnCommand<D>(32785, &D::OnMenuCommand),
      OnCommand<D>(32786, &D::OnMenuCommand),
      OnCommand<D>(IDC_BTN_CLOSE, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_RESTORE, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_MIN, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_TOOLS, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_SOUNDOFF, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_MAX, &D::OnToolButton),
      OnCommand<D>(IDC_BTN_SOUNDON, &D::OnToolButton),
  };
  return kMap;
}

void CStandardDlg::AdviseSinks() {
  Microsoft::WRL::ComPtr<IUnknown> browser;
  if (SUCCEEDED(framework::AxGetControl(GetDlgItem(m_hWnd, IDC_EXPLORER), &browser))) {
    m_browserSink.Advise(browser.Get());
  }
  Microsoft::WRL::ComPtr<IUnknown> flash;
  if (SUCCEEDED(framework::AxGetControl(GetDlgItem(m_hWnd, IDC_FLASH), &flash))) {
    m_flashSink.AdviseDefault(flash.Get());
  }
}

void CStandardDlg::UnadviseSinks() {
  m_browserSink.Unadvise();
  m_flashSink.Unadvise();
}

void CStandardDlg::NavigateBrowser(const std::wstring& address) {
  if (!m_IEPtr) return;
  unique_variant empty;  // no flags, target frame, post data or headers
  const unique_bstr url = MakeBstr(address.c_str());
  m_IEPtr->Navigate(url.get(), &empty, &empty, &empty, &empty);
}

RECT CStandardDlg::ClientRect() const {
  RECT rc{};
  GetClientRect(m_hWnd, &rc);
  return rc;
}

std::intptr_t CStandardDlg::OnInitDialog(const MessageArgs&, bool&) {
  MarkStartupStep("game window and its two controls created");
  m_wndIE = GetDlgItem(m_hWnd, IDC_EXPLORER);
  ControlInterface(m_wndIE, IID_IWebBrowser2, m_IEPtr);
  m_wndFlash = GetDlgItem(m_hWnd, IDC_FLASH);
  ControlInterface(m_wndFlash, kIidShockwaveFlash, m_FlashPtr);

  m_hIcon.reset(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_RAVELIN), IMAGE_ICON, 48, 48, LR_DEFAULTCOLOR)));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.get()));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));

  const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
  SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  const LONG_PTR exStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
  const LONG_PTR newExStyle = (exStyle & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW;
  if (newExStyle != exStyle) SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, newExStyle);

  const StartAddress address = BuildStartAddress();
  MarkStartupStep("host identifier and start address");
  g_gameException.m_user = address.hostUid;
  g_gameException.m_hNotifyWnd = m_hWnd;
  NavigateBrowser(address.url);
  MarkStartupStep("navigation started");
  m_strUrl = address.url;

  m_bLoading = 1;
  ::ShowWindow(m_wndIE, SW_HIDE);
  ::ShowWindow(m_wndFlash, SW_HIDE);
  SetupButtons();
  MarkStartupStep("tool buttons set up");

  framework::JoinThreadLoop(this, this);
  InvalidateRect(m_hWnd, nullptr, FALSE);
  AudioSessionInit(true);
  MarkStartupStep("audio session");
  InstallWaveOutHook();
  MarkStartupStep("playback hook");
  SetTimer(m_hWnd, kTimerStartup, 50, nullptr);
  return FALSE;
}

void CStandardDlg::RunStartupTasks() {
  m_dlgUpdate.StartSilentCheck(m_hWnd, WM_UPDATE_AVAILABLE);
  RegisterHotKey(m_hWnd, kHotKeyId, 0, VK_F9);
  CreateShortcutsAndRecords();
  g_gameException.StartDiagWorker();
  SetTimer(m_hWnd, kTimerHourlyProbe, kOneHourMs, nullptr);
  SetTimer(m_hWnd, kTimerHourlyUdp, kOneHourMs, nullptr);
  KillTimer(m_hWnd, kTimerStartup);
}

std::intptr_t CStandardDlg::OnTimer(const MessageArgs& args, bool&) {
  switch (args.wParam) {
    case CStandardDlg::kTimerLoadingBar:
      OnLoadingBarTick();
      break;
    case kTimerStartup:
      RunStartupTasks();
      break;
    case kTimerHourlyProbe:
      g_gameException.PostDiagCommand(m_hWnd, WM_DIAG_PROBE, L"");
      g_gameException.PostDiagCommand(nullptr, WM_DIAG_UDP_SEND, L"");
      break;
    case kTimerHourlyUdp:
      g_gameException.PostDiagCommand(m_hWnd, WM_DIAG_UDP_REPORT, L"");
      break;
    default:
      break;
  }
  return 0;
}

std::intptr_t CStandardDlg::OnSize(const MessageArgs&, bool&) {
  const RECT rc = ClientRect();
  const int w = rc.right, h = rc.bottom;
  if (::IsWindow(m_wndIE) && !m_bPlaying) {
    const ControlPlacement p = BrowserPlacement(w, h, m_bLoading != 0);
    Place(m_wndIE, p.rect, p.shown);
  }
  if (::IsWindow(m_wndFlash)) {
    const ControlPlacement p = FlashPlacement(w, h, m_bPlaying != 0);
    Place(m_wndFlash, p.rect, p.shown);
  }
  if (m_bPlaying) {
    const auto layout = PlayButtonLayout(w, IsZoomed(m_hWnd) != FALSE, g_bSoundOn != 0);
    const std::pair<CBitmapButton*, ToolButton> order[] = {
        {&m_btnClose, kBtnClose}, {&m_btnRestore, kBtnRestore},   {&m_btnMax, kBtnMax},
        {&m_btnMin, kBtnMin},     {&m_btnSoundOff, kBtnSoundOff}, {&m_btnSoundOn, kBtnSoundOn},
    };
    for (const auto& [button, which] : order) {
      const ButtonPlacement& b = layout[which];
      SetWindowPos(button->m_hWnd, nullptr, b.rect.x, b.rect.y, b.rect.width, b.rect.height,
                   SWP_NOZORDER | SWP_NOACTIVATE | (b.shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
    const ButtonPlacement& tools = layout[kBtnTools];
    SetWindowPos(m_btnTools.m_hWnd, nullptr, tools.rect.x, tools.rect.y, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_FRAMECHANGED | SWP_NOSIZE);
    for (CBitmapButton* b :
         {&m_btnClose, &m_btnRestore, &m_btnMax, &m_btnMin, &m_btnTools, &m_btnSoundOff, &m_btnSoundOn}) {
      InvalidateRect(b->m_hWnd, nullptr, TRUE);
    }
  }
  InvalidateRect(m_hWnd, nullptr, TRUE);
  if (m_bPlaying) {
    const LONG_PTR exStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_APPWINDOW)) SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_APPWINDOW);
    UpdateWindow(m_hWnd);
  }
  return 0;
}

std::intptr_t CStandardDlg::OnShowWindow(const MessageArgs&, bool&) {
  const RECT rc = ClientRect();
  const int w = rc.right, h = rc.bottom;
  if (::IsWindow(m_wndIE) && !m_bPlaying) Place(m_wndIE, BrowserPlacement(w, h, false).rect, true);
  if (::IsWindow(m_wndFlash)) {
    const ControlPlacement p = FlashPlacement(w, h, m_bPlaying != 0);
    if (m_bPlaying) {
      Place(m_wndFlash, p.rect, true);
    } else {
      ::ShowWindow(m_wndFlash, SW_HIDE);
    }
  }
  return 0;
}

std::intptr_t CStandardDlg::OnNcCalcSize(const MessageArgs& args, bool&) {
  if (args.wParam == 0) return 1;  // the client area stays the whole window
  // The client area is the whole window; the rectangles shift down by one.
  auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(args.lParam);
  params->rgrc[2] = params->rgrc[1];
  params->rgrc[1] = params->rgrc[0];
  return 1;
}

std::intptr_t CStandardDlg::OnNcHitTest(const MessageArgs&, bool&) {
  POINT pt{};
  GetCursorPos(&pt);
  ScreenToClient(m_hWnd, &pt);
  const RECT rc = ClientRect();
  return GameHitTest(m_bPlaying != 0, pt.x, pt.y, rc.right, rc.bottom);
}

std::intptr_t CStandardDlg::OnGetMinMaxInfo(const MessageArgs& args, bool&) {
  auto* info = reinterpret_cast<MINMAXINFO*>(args.lParam);
  info->ptMinTrackSize = {kMinTrackWidth, kMinTrackHeight};
  const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (MonitorFromWindow(taskbar, MONITOR_DEFAULTTONEAREST) == MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST)) {
    info->ptMaxPosition = {0, 0};
    info->ptMaxSize = {GetSystemMetrics(SM_CXFULLSCREEN) + GetSystemMetrics(SM_CXDLGFRAME),
                       GetSystemMetrics(SM_CYFULLSCREEN) + GetSystemMetrics(SM_CYCAPTION)};
  }
  return 0;
}

std::intptr_t CStandardDlg::OnNcLButtonDblClk(const MessageArgs&, bool&) {
  ::ShowWindow(m_hWnd, IsZoomed(m_hWnd) ? SW_RESTORE : SW_SHOWMAXIMIZED);
  return 0;
}

std::intptr_t CStandardDlg::OnNcActivate(const MessageArgs& args, bool&) {
  if (m_bClosing) return 0;
  if (args.wParam == 1 && !m_bPageDone && m_bVisible && m_pFrame != nullptr) {
    ::ShowWindow(m_pFrame->FrameWindow(), SW_SHOW);
    ::ShowWindow(m_hWnd, SW_SHOW);
  }
  return 1;
}

void CStandardDlg::RestackFrame() {
  if (m_pFrame == nullptr) return;
  m_pFrame->SyncZOrder();
  InvalidateRect(m_pFrame->FrameWindow(), nullptr, FALSE);
}

std::intptr_t CStandardDlg::OnActivateApp(const MessageArgs& args, bool&) {
  if (args.wParam) RestackFrame();
  return 1;
}

std::intptr_t CStandardDlg::OnMouseActivate(const MessageArgs&, bool&) {
  RestackFrame();
  return 1;
}

std::intptr_t CStandardDlg::OnUpdateAvailable(const MessageArgs&, bool&) {
  SetActiveWindow(m_hWnd);
  UpdateWindow(m_hWnd);
  if (m_dlgUpdate.DoModal(GetActiveWindow()) == IDOK) {
    m_dlgUpdate.StartHandover(m_hWnd);
    if (m_pFrame != nullptr) m_pFrame->CloseAll();
  }
  return 0;
}

std::intptr_t CStandardDlg::OnDiagSocket(const MessageArgs& args, bool&) {
  g_gameException.UdpOnReadable(LOWORD(args.lParam));
  return 0;
}

std::intptr_t CStandardDlg::OnOK(const MessageArgs&, bool&) { return 0; }

std::intptr_t CStandardDlg::OnCancel(const MessageArgs&, bool&) {
  ConfirmExit();
  return 0;
}

void CStandardDlg::ConfirmExit(const std::function<void()>& beforeClosing) {
  if (m_dlgUpdate.m_hWnd != nullptr) SendMessageW(m_dlgUpdate.m_hWnd, WM_CLOSE, 0, 0);
  const std::optional<std::wstring> unfinished = AskUnfinishedInfo();
  const std::wstring text = unfinished ? *unfinished : g_Language.GetText(13);
  const std::wstring caption = g_Language.GetText(25);
  if (MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OKCANCEL) != IDOK) return;
  RemoveTrayIcon();
  if (beforeClosing) beforeClosing();
  if (m_pFrame != nullptr) m_pFrame->CloseAll();
}

void CStandardDlg::CloseDialog(int exitCode) {
  m_bClosing = 1;
  ::ShowWindow(m_hWnd, SW_HIDE);
  DestroyWindow();
  PostQuitMessage(exitCode);
}

std::intptr_t CStandardDlg::OnDestroy(const MessageArgs&, bool&) {
  AudioSessionRelease();
  RemoveWaveOutHook();
  UnregisterHotKey(m_hWnd, kHotKeyId);
  m_IEPtr.Reset();
  m_FlashPtr.Reset();
  if (m_wndFlash != nullptr && ::DestroyWindow(m_wndFlash)) m_wndFlash = nullptr;
  if (m_wndIE != nullptr && ::DestroyWindow(m_wndIE)) m_wndIE = nullptr;
  framework::LeaveThreadLoop(this, this);
  return 0;
}

bool CStandardDlg::OnIdle() { return false; }

}  // namespace ravelin
