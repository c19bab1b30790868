// The game window's reaction to the browser and player events, its bridge
// to the game movie, the document host handler and the message filter.
#include <windows.h>

#include <mshtmhst.h>

#include <algorithm>
#include <vector>

#include "common/ansi_win.h"
#include "common/com_object_win.h"
#include "common/startup_steps.h"
#include "common/unique_variant_win.h"
#include "diag/diagnostics_win.h"
#include "gamewnd/page_bridge.h"
#include "gamewnd/standard_dlg_win.h"
#include "i18n/language_win.h"

namespace ravelin {

namespace {

const IID kIidCustomDoc = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr UINT kMsgForwardMsg = 0x037F;  // WM_FORWARDMSG

// Remaining reloads of the game address after navigation errors, for the
// whole process: the address is loaded at most seven times.
int g_nNavigateRetries = 5;
// Desktop notices that reached the movie.
int g_nDesktopNotices = 0;

// Hosting wishes for the browser's document: no context menu, no 3-D border;
// the browser's own behaviour for everything else.
class TDocHostUIHandlerImpl final : public ComObject<TDocHostUIHandlerImpl, IDocHostUIHandler> {
 public:
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (info != nullptr) info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP HideUI() override { return E_NOTIMPL; }
  STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
  STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  STDMETHODIMP GetExternal(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }
};

// The string in an event's address argument, up to its first NUL.
std::wstring UrlArgument(const DISPPARAMS* params, UINT indexFromFirst) {
  if (params == nullptr || indexFromFirst >= params->cArgs) return {};
  const VARIANTARG& arg = params->rgvarg[params->cArgs - 1 - indexFromFirst];
  const VARIANT* v = arg.vt == (VT_VARIANT | VT_BYREF) ? arg.pvarVal : &arg;
  if (v == nullptr) return {};
  if (v->vt == VT_BSTR && v->bstrVal != nullptr) return std::wstring(v->bstrVal);
  if (v->vt == (VT_BSTR | VT_BYREF) && v->pbstrVal != nullptr && *v->pbstrVal != nullptr) {
    return std::wstring(*v->pbstrVal);
  }
  return {};
}

long LongArgument(const DISPPARAMS* params, UINT indexFromFirst) {
  if (params == nullptr || indexFromFirst >= params->cArgs) return 0;
  const VARIANTARG& arg = params->rgvarg[params->cArgs - 1 - indexFromFirst];
  const VARIANT* v = arg.vt == (VT_VARIANT | VT_BYREF) ? arg.pvarVal : &arg;
  unique_variant converted;
  if (v == nullptr || FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_I4))) return 0;
  return converted.lVal;
}

// Calls a method of the player by name; failures come back as an HRESULT
// and never leave the event handler.
HRESULT CallPlayer(IDispatch* player, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
  if (player == nullptr) return E_POINTER;
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = player->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXCEPINFO exception{};
  hr = player->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &exception, nullptr);
  // Whatever the player describes a failure with is ours to free.
  const unique_bstr source(exception.bstrSource), description(exception.bstrDescription),
      helpFile(exception.bstrHelpFile);
  return hr;
}

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

void CStandardDlg::OnBeforeNavigate2(DISPPARAMS* params) {
  m_bLoading = 1;
  const std::wstring url = UrlArgument(params, 1);
  if (IsLoadGameAddress(url)) {
    m_strLoadGameUrl = url;
    m_bPlaying = 1;
    SetTimer(m_hWnd, kTimerLoadingBar, 50, nullptr);
    m_nProgress = 0;
    m_nProgressMax = 1000;
    const std::wstring movie = MovieAddressOf(url);
    m_bstrMovie = MakeBstr(movie.c_str());
    // Without an address there is nothing to load, and nothing to check.
    if (!movie.empty()) {
      VARIANT layer, address;  // the address only borrows the movie's string
      VariantInit(&layer);
      layer.vt = VT_I4;
      layer.lVal = 0;
      VariantInit(&address);
      address.vt = VT_BSTR;
      address.bstrVal = m_bstrMovie.get();
      unique_variant ignored;
      CallPlayer(m_FlashPtr.Get(), L"LoadMovie", {layer, address}, ignored.put());
      CallPlayer(m_FlashPtr.Get(), L"Play", {}, ignored.put());
      g_gameException.PostDiagCommand(m_hWnd, WM_DIAG_GAMEURL, movie);
    }
    AddTrayIcon();
    SetWindowTextW(m_hWnd, g_Language.GetText(25).c_str());
  }

  if (!m_pUIHandler && m_IEPtr) {
    Microsoft::WRL::ComPtr<IDispatch> document;
    if (SUCCEEDED(m_IEPtr->get_Document(&document)) && document) {
      Microsoft::WRL::ComPtr<ICustomDoc> custom;
      if (SUCCEEDED(document->QueryInterface(kIidCustomDoc, reinterpret_cast<void**>(custom.GetAddressOf())))) {
        const Microsoft::WRL::ComPtr<TDocHostUIHandlerImpl> handler = MakeComObject<TDocHostUIHandlerImpl>();
        m_pUIHandler = handler;
        custom->SetUIHandler(handler.Get());
      }
    }
  }
}

void CStandardDlg::OnDocumentComplete(DISPPARAMS* /*params*/) {
  if (m_bPlaying) {
    if (m_pFrame != nullptr) ::ShowWindow(m_pFrame->FrameWindow(), SW_HIDE);
    ::ShowWindow(m_wndIE, SW_HIDE);
    ::ShowWindow(m_wndFlash, SW_SHOW);
    ::ShowWindow(m_hWnd, SW_HIDE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetWindowLongPtrW(m_hWnd, GWL_STYLE) | 0x060F0000);
    const LONG_PTR exStyle = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_APPWINDOW)) SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_APPWINDOW);
    UpdateWindow(m_hWnd);
    ::ShowWindow(m_hWnd, SW_SHOW);
    PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    return;
  }
  MarkStartupStep("login page shown");
  m_bPageDone = 1;
  m_bLoading = 0;
  m_nProgress = m_nProgressMax;
  const RECT corner{0, 0, 1, 1};
  InvalidateRect(m_hWnd, &corner, FALSE);
  ::ShowWindow(m_wndIE, SW_SHOW);
  SetFocus(m_wndIE);
  SetActiveWindow(m_wndIE);
  if (m_pFrame != nullptr) InvalidateRect(m_pFrame->FrameWindow(), nullptr, FALSE);
}

void CStandardDlg::OnNavigateError(DISPPARAMS* params) {
  const std::wstring failed = Lower(UrlArgument(params, 1));
  const long status = LongArgument(params, 3);
  m_strUrl = Lower(m_strUrl);
  if (failed != m_strUrl || status == 200) return;
  if (g_nNavigateRetries >= 0) {
    NavigateBrowser(m_strUrl);
    --g_nNavigateRetries;
    m_bLoading = 1;
    return;
  }
  MessageBoxW(m_hWnd, g_Language.GetText(15).c_str(), L"Error", MB_OK);
  if (m_pFrame != nullptr) PostMessageW(m_pFrame->FrameWindow(), WM_CLOSE, 0, 0);
}

void CStandardDlg::ProgressChangeExplorer1(DISPPARAMS* params) {
  const long progress = LongArgument(params, 0);
  const long progressMax = LongArgument(params, 1);
  if (!m_bPlaying && m_bLoading && progress > 0 && progressMax > 0) {
    m_nProgressMax = static_cast<int>(progressMax);
    m_nProgress = static_cast<int>(progress);
    InvalidateRect(m_hWnd, nullptr, FALSE);
  }
  if (m_pFrame != nullptr) InvalidateRect(m_pFrame->FrameWindow(), nullptr, FALSE);
}

void CStandardDlg::OnLoadingBarTick() {
  if (AdvanceLoadingBar(m_nProgress, m_nProgressMax)) {
    m_bLoading = 0;
    KillTimer(m_hWnd, kTimerLoadingBar);
  }
  const RECT corner{0, 0, 1, 1};
  InvalidateRect(m_hWnd, &corner, FALSE);
}

void CStandardDlg::OnFlashReadyStateChange(DISPPARAMS* params) {
  if (!m_bDesktopNotice || LongArgument(params, 0) != 4) return;
  const unique_variant request = unique_variant::Text(kDesktopNoticeRequest);
  unique_variant answer;
  // A failing call (no movie, no such function) is not counted.
  if (SUCCEEDED(CallPlayer(m_FlashPtr.Get(), L"CallFunction", {request}, &answer))) {
    if (++g_nDesktopNotices > kDesktopNoticeLimit) m_bDesktopNotice = 0;
  }
}

std::optional<std::wstring> CStandardDlg::AskUnfinishedInfo() {
  const std::wstring wide = FromThreadAnsi(kUnfinishedInfoRequest);
  const unique_variant request = unique_variant::Text(wide.c_str());
  unique_variant answer;
  const HRESULT hr = CallPlayer(m_FlashPtr.Get(), L"CallFunction", {request}, &answer);
  if (FAILED(hr)) return std::nullopt;
  const std::wstring text = answer.vt == VT_BSTR && answer.bstrVal != nullptr ? std::wstring(answer.bstrVal) : L"";
  return ExtractBridgeAnswer(text);
}

bool CStandardDlg::PreTranslateMessage(MSG* msg) {
  if (msg == nullptr) return false;
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_TAB || msg->wParam == VK_RETURN) && m_IEPtr) {
    Microsoft::WRL::ComPtr<IDispatch> document;
    Microsoft::WRL::ComPtr<IOleInPlaceActiveObject> active;
    if (SUCCEEDED(m_IEPtr->get_Document(&document)) && document && SUCCEEDED(document.As(&active))) {
      MSG copy = *msg;
      copy.hwnd = m_wndIE;
      return active->TranslateAccelerator(&copy) == S_OK;
    }
  }
  const bool keyboard = msg->message >= WM_KEYFIRST && msg->message <= 0x0109;
  const bool mouse = msg->message >= 0x0200 && msg->message <= 0x020D;
  if ((keyboard || mouse) && m_hWnd != nullptr && (msg->hwnd == m_hWnd || IsChild(m_hWnd, msg->hwnd))) {
    return SendMessageW(m_hWnd, kMsgForwardMsg, 0, reinterpret_cast<LPARAM>(msg)) != 0;
  }
  return false;
}

}  // namespace ravelin
