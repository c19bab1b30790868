#include "browser/browser_control_win.h"

#include <exdispid.h>

#include <optional>

#include "browser/browser_module_win.h"
#include "browser/browser_page_win.h"
#include "common/standin_files_win.h"
#include "common/unique_gdi_win.h"
#include "common/unique_variant_win.h"

namespace ravelin::standin {
namespace {

using Microsoft::WRL::ComPtr;

constexpr HRESULT kInetUnknownProtocol = static_cast<HRESULT>(0x800C000DL);
constexpr HRESULT kInetResourceNotFound = static_cast<HRESULT>(0x800C0005L);
constexpr HRESULT kInetDownloadFailure = static_cast<HRESULT>(0x800C0008L);

constexpr UINT_PTR kTimerRefresh = 1;

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
         std::to_wstring(r.bottom - r.top);
}

}  // namespace

WebBrowser::WebBrowser() {
  ObjectCreated();
  m_messages = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  SetWindowLongPtrW(m_messages, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_messages, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageProc));
  Record(L"create");
}

WebBrowser::~WebBrowser() {
  m_fetch.Cancel();
  if (m_window != nullptr) DestroyWindow(m_window);
  if (m_messages != nullptr) DestroyWindow(m_messages);
  ObjectDestroyed();
}

// ---- IDispatch, IWebBrowser, IWebBrowserApp, IWebBrowser2 ----

STDMETHODIMP WebBrowser::GetTypeInfoCount(UINT* n) {
  if (n != nullptr) *n = 0;
  return S_OK;
}

STDMETHODIMP WebBrowser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (url == nullptr) return E_INVALIDARG;
  StartNavigation(url);
  return S_OK;
}

STDMETHODIMP WebBrowser::Refresh() {
  if (!m_location.empty()) StartNavigation(m_location);
  return S_OK;
}

STDMETHODIMP WebBrowser::Stop() {
  ++m_navigation;
  KillTimer(m_messages, kTimerRefresh);
  return S_OK;
}

STDMETHODIMP WebBrowser::get_Container(IDispatch** out) {
  if (out != nullptr) *out = nullptr;
  return S_OK;
}

STDMETHODIMP WebBrowser::get_Document(IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (m_document) m_document->QueryInterface(IID_PPV_ARGS(out));
  return S_OK;
}

STDMETHODIMP WebBrowser::get_LocationName(BSTR* out) {
  return Text(out, m_document ? TitleOf(m_document->Html()) : L"");
}

STDMETHODIMP WebBrowser::get_HWND(SHANDLE_PTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = reinterpret_cast<SHANDLE_PTR>(m_window);
  return S_OK;
}

STDMETHODIMP WebBrowser::put_Visible(VARIANT_BOOL value) {
  m_visible = value != VARIANT_FALSE;
  Record(std::wstring(L"visible ") + (m_visible ? L"1" : L"0"));
  return S_OK;
}

STDMETHODIMP WebBrowser::get_ToolBar(int* out) {
  if (out != nullptr) *out = 0;
  return S_OK;
}

STDMETHODIMP WebBrowser::Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (url == nullptr) return E_INVALIDARG;
  unique_variant text;
  if (FAILED(VariantChangeType(&text, url, 0, VT_BSTR))) return E_INVALIDARG;
  StartNavigation(text.bstrVal != nullptr ? text.bstrVal : L"");
  return S_OK;
}

STDMETHODIMP WebBrowser::get_ReadyState(READYSTATE* out) {
  if (out == nullptr) return E_POINTER;
  *out = m_busy ? READYSTATE_LOADING : READYSTATE_COMPLETE;
  return S_OK;
}

STDMETHODIMP WebBrowser::put_Silent(VARIANT_BOOL value) {
  m_silent = value != VARIANT_FALSE;
  Record(std::wstring(L"silent ") + (m_silent ? L"1" : L"0"));
  return S_OK;
}

// ---- IOleObject ----

STDMETHODIMP WebBrowser::SetClientSite(IOleClientSite* site) {
  m_site = site;
  return S_OK;
}

STDMETHODIMP WebBrowser::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = m_site.Get();
  if (*site != nullptr) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP WebBrowser::Close(DWORD) {
  Record(L"close");
  InPlaceDeactivate();
  Stop();
  m_fetch.Cancel();
  return S_OK;
}

STDMETHODIMP WebBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
  if (site != nullptr && !m_site) m_site = site;
  switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_SHOW:
    case OLEIVERB_PRIMARY:
      return Activate(parent, rect);
    case OLEIVERB_HIDE:
      if (m_window != nullptr) ShowWindow(m_window, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

STDMETHODIMP WebBrowser::SetExtent(DWORD, SIZEL* size) {
  if (size != nullptr) m_extent = *size;
  return S_OK;
}

STDMETHODIMP WebBrowser::GetExtent(DWORD, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  *size = m_extent;
  return S_OK;
}

STDMETHODIMP WebBrowser::Advise(IAdviseSink*, DWORD* cookie) {
  if (cookie != nullptr) *cookie = 0;
  return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_RECOMPOSEONRESIZE |
            OLEMISC_CANTLINKINSIDE;
  return S_OK;
}

// ---- IOleWindow, IOleInPlaceObject, IOleControl ----

STDMETHODIMP WebBrowser::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_window;
  return m_window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP WebBrowser::InPlaceDeactivate() {
  if (m_window == nullptr) return S_OK;
  DestroyWindow(m_window);
  m_window = nullptr;
  if (m_document) m_document->SetWindow(nullptr);
  ComPtr<IOleInPlaceSite> site;
  if (m_site && SUCCEEDED(m_site.As(&site))) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP WebBrowser::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (pos == nullptr) return E_POINTER;
  m_pos = *pos;
  Record(L"rects " + RectText(m_pos));
  if (m_window != nullptr) {
    MoveWindow(m_window, m_pos.left, m_pos.top, m_pos.right - m_pos.left, m_pos.bottom - m_pos.top, TRUE);
  }
  return S_OK;
}

STDMETHODIMP WebBrowser::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

// ---- IPersistStreamInit, IConnectionPointContainer, IProvideClassInfo2 ----

STDMETHODIMP WebBrowser::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = kClsidWebBrowser;
  return S_OK;
}

STDMETHODIMP WebBrowser::GetSizeMax(ULARGE_INTEGER* size) {
  if (size != nullptr) size->QuadPart = 0;
  return S_OK;
}

STDMETHODIMP WebBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (riid != kDiidEvents2) return CONNECT_E_NOCONNECTION;
  return CreateEventPoint(this, m_events, point);
}

STDMETHODIMP WebBrowser::GetClassInfo(ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = kDiidEvents2;
  return S_OK;
}

// ---- Helpers, activation, navigation ----

HRESULT WebBrowser::Bool(VARIANT_BOOL* out, bool value) {
  if (out == nullptr) return E_POINTER;
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT WebBrowser::Long(LONG* out, LONG value) {
  if (out == nullptr) return E_POINTER;
  *out = value;
  return S_OK;
}

HRESULT WebBrowser::Text(BSTR* out, const std::wstring& value) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocString(value.c_str());
  return S_OK;
}

HRESULT WebBrowser::Self(IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<IWebBrowser2*>(this);
  AddRef();
  return S_OK;
}

HRESULT WebBrowser::Activate(HWND parent, LPCRECT rect) {
  if (m_window != nullptr) {
    ShowWindow(m_window, SW_SHOW);
    return S_OK;
  }
  ComPtr<IOleInPlaceSite> site;
  if (!m_site || FAILED(m_site.As(&site))) return E_UNEXPECTED;
  if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
  site->OnInPlaceActivate();
  HWND siteWindow = nullptr;
  site->GetWindow(&siteWindow);
  if (siteWindow == nullptr) siteWindow = parent;
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> doc;
  RECT pos = rect != nullptr ? *rect : RECT{0, 0, 100, 100};
  RECT clip = pos;
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof(info);
  if (SUCCEEDED(site->GetWindowContext(&frame, &doc, &pos, &clip, &info)) && rect != nullptr) pos = *rect;
  m_pos = pos;
  m_window = CreateWindowExW(0, kPageWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                             pos.right - pos.left, pos.bottom - pos.top, siteWindow, nullptr, g_module, this);
  if (m_window == nullptr) return E_FAIL;
  if (m_document) m_document->SetWindow(m_window);
  Record(L"activate " + RectText(pos));
  return S_OK;
}

void WebBrowser::StartNavigation(const std::wstring& url) {
  const unsigned navigation = ++m_navigation;
  KillTimer(m_messages, kTimerRefresh);
  Record(L"navigate " + url);
  if (m_events.FireBeforeNavigate2(url)) return;
  if (navigation != m_navigation) return;  // a handler navigated elsewhere
  m_busy = true;
  m_events.FireProgress(0, 10000);

  const std::wstring lower = Lower(url);
  if (lower == L"about:blank") {
    CompletePage(url, L"<html><body></body></html>");
    return;
  }
  if (lower.rfind(L"http://", 0) != 0 && lower.rfind(L"https://", 0) != 0) {
    FailPage(url, kInetUnknownProtocol);
    return;
  }
  m_fetch.Start(m_messages, navigation, url);
}

void WebBrowser::CompletePage(const std::wstring& url, const std::wstring& html) {
  m_busy = false;
  m_location = url;
  m_events.FireUrlEvent(DISPID_NAVIGATECOMPLETE2, L"NavigateComplete2", url);
  m_document = MakeComObject<Document>(m_window, url, html);
  if (m_window != nullptr) InvalidateRect(m_window, nullptr, TRUE);
  m_events.FireProgress(10000, 10000);
  m_events.FireUrlEvent(DISPID_DOCUMENTCOMPLETE, L"DocumentComplete", url);
  m_events.FireProgress(-1, 10000);
  if (const std::optional<PageRefresh> refresh = FindMetaRefresh(html)) {
    m_refreshUrl = Resolve(url, refresh->url);
    const auto ms = static_cast<UINT>(refresh->seconds > 0 ? refresh->seconds * 1000.0 : 0.0);
    Record(L"refresh " + std::to_wstring(ms) + L"ms " + m_refreshUrl);
    SetTimer(m_messages, kTimerRefresh, ms == 0 ? 1 : ms, nullptr);
  }
}

void WebBrowser::FailPage(const std::wstring& url, LONG status) {
  if (m_events.FireNavigateError(url, status)) {
    m_busy = false;
    return;
  }
  // Like the real control: an error page of its own, completed as a document.
  const std::wstring page =
      L"<html><head><title>Navigation failed</title></head><body>This page cannot be "
      L"displayed: " +
      url + L" (" + std::to_wstring(status) + L")</body></html>";
  CompletePage(L"about:navigationfailure", page);
}

void WebBrowser::OnFetchDone(std::unique_ptr<FetchResult> result) {
  m_fetch.Finish();
  Record(L"fetch " + result->url + L" status=" + std::to_wstring(result->status) + L" bytes=" +
         std::to_wstring(result->body.size()));
  if (result->navigation != m_navigation) return;
  if (result->status == 0) {
    const bool noAnswer =
        result->error == ERROR_INTERNET_CANNOT_CONNECT || result->error == ERROR_INTERNET_NAME_NOT_RESOLVED;
    FailPage(result->url, noAnswer ? kInetResourceNotFound : kInetDownloadFailure);
    return;
  }
  if (result->status >= 400) {
    FailPage(result->url, static_cast<LONG>(result->status));
    return;
  }
  CompletePage(result->url, FromUtf8(result->body));
}

LRESULT CALLBACK WebBrowser::MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case kMsgFetchProgress:
        if (static_cast<unsigned>(wParam) == self->m_navigation) {
          self->m_events.FireProgress(static_cast<LONG>(lParam), 10000);
        }
        return 0;
      case kMsgFetchDone:
        self->OnFetchDone(std::unique_ptr<FetchResult>(reinterpret_cast<FetchResult*>(lParam)));
        return 0;
      case WM_TIMER:
        if (wParam == kTimerRefresh) {
          KillTimer(hwnd, kTimerRefresh);
          const std::wstring target = self->m_refreshUrl;
          self->StartNavigation(target);
        }
        return 0;
      default:
        break;
    }
  }
  if (message == kMsgFetchDone) delete reinterpret_cast<FetchResult*>(lParam);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void WebBrowser::Paint(HWND hwnd) {
  const unique_hdc_paint paint(hwnd);
  const HDC dc = paint.get();
  RECT rc;
  GetClientRect(hwnd, &rc);
  {
    const unique_hbrush background(CreateSolidBrush(RGB(250, 246, 238)));
    FillRect(dc, &rc, background.get());
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(60, 40, 20));
  std::wstring text = L"Browser stand-in\n";
  if (m_document) {
    text += TitleOf(m_document->Html()) + L"\n\n" + TextOf(m_document->Html()) + L"\n\n" + m_document->Url();
  } else {
    text += L"(no document)";
  }
  InflateRect(&rc, -12, -12);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* browser = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_PAINT && browser != nullptr) {
    browser->Paint(hwnd);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ravelin::standin
