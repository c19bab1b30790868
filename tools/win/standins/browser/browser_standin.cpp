// A stand-in for the web-browser control, registered under its class id in
// test prefixes only. It loads pages over HTTP (WinINet), follows
// <meta http-equiv="refresh">, fires DWebBrowserEvents2 like the real
// control, and hands out a document that takes a UI handler.
//
// Settings, %RAVELIN_STANDIN_DIR%\browser.ini:
//   [document] accelerator=S_OK|S_FALSE   answer of the document's TranslateAccelerator (default S_FALSE)
// Recording, %RAVELIN_STANDIN_DIR%\browser.log, one line per step:
//   create | activate x,y,w,h | rects x,y,w,h | navigate URL
//   event BeforeNavigate2 URL cancel=0|1 | event ProgressChange P/MAX
//   event NavigateComplete2 URL | event DocumentComplete URL
//   event NavigateError URL status=N cancel=0|1
//   fetch URL status=N bytes=N | refresh SECONDS URL
//   uihandler hostinfo flags=0x... hr=0x... | uihandler contextmenu hr=0x...
//   accelerator message=0x... key=N hwnd=... hr=0x...
//   visible 0|1 | silent 0|1 | close
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>
#include <wininet.h>
#include <wrl/client.h>

#include <atomic>
#include <optional>
#include <cwctype>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/standin_files_win.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const IID kDiidEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
const IID kIidCustomDoc = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

constexpr HRESULT kInetUnknownProtocol = static_cast<HRESULT>(0x800C000DL);
constexpr HRESULT kInetResourceNotFound = static_cast<HRESULT>(0x800C0005L);
constexpr HRESULT kInetDownloadFailure = static_cast<HRESULT>(0x800C0008L);

constexpr UINT kMsgFetchProgress = WM_APP + 1;
constexpr UINT kMsgFetchDone = WM_APP + 2;
constexpr UINT_PTR kTimerRefresh = 1;

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

const wchar_t kLog[] = L"browser.log";

void AppendLine(const wchar_t* file, const std::wstring& line) {
  ravelin::standin::RecordLine(file, ravelin::standin::ToUtf8(line));
}

std::wstring Hex(unsigned long value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", value);
  return text;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring Widen(const std::string& bytes) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
         std::to_wstring(r.bottom - r.top);
}

// A page's refresh instruction: <meta http-equiv="refresh" content="N;url=...">.
struct Refresh {
  double seconds = 0;
  std::wstring url;
};

std::optional<Refresh> FindMetaRefresh(const std::wstring& html) {
  const std::wstring lower = Lower(html);
  std::size_t pos = 0;
  while ((pos = lower.find(L"<meta", pos)) != std::wstring::npos) {
    const std::size_t end = lower.find(L'>', pos);
    if (end == std::wstring::npos) break;
    const std::wstring tag = lower.substr(pos, end - pos);
    const std::wstring original = html.substr(pos, end - pos);
    pos = end;
    if (tag.find(L"http-equiv") == std::wstring::npos || tag.find(L"refresh") == std::wstring::npos) continue;
    const std::size_t content = tag.find(L"content=");
    if (content == std::wstring::npos) continue;
    std::size_t start = content + 8;
    const wchar_t quote = tag[start] == L'"' || tag[start] == L'\'' ? tag[start] : 0;
    if (quote != 0) ++start;
    const std::size_t stop = quote != 0 ? tag.find(quote, start) : tag.find_first_of(L" >", start);
    const std::wstring value = original.substr(start, (stop == std::wstring::npos ? tag.size() : stop) - start);
    Refresh r;
    r.seconds = _wtof(value.c_str());
    const std::size_t url = Lower(value).find(L"url=");
    if (url == std::wstring::npos) continue;
    r.url = value.substr(url + 4);
    return r;
  }
  return std::nullopt;
}

std::wstring TitleOf(const std::wstring& html) {
  const std::wstring lower = Lower(html);
  const std::size_t start = lower.find(L"<title>");
  const std::size_t end = lower.find(L"</title>");
  if (start == std::wstring::npos || end == std::wstring::npos || end < start) return {};
  return html.substr(start + 7, end - start - 7);
}

// The text of a page without its tags, for painting.
std::wstring TextOf(const std::wstring& html) {
  std::wstring text;
  bool inTag = false;
  const std::wstring lower = Lower(html);
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (!inTag && lower.compare(i, 7, L"<title>") == 0) {
      const std::size_t end = lower.find(L"</title>", i);
      if (end != std::wstring::npos) {
        i = end + 7;
        continue;
      }
    }
    const wchar_t c = html[i];
    if (c == L'<') {
      inTag = true;
      if (!text.empty() && text.back() != L'\n') text.push_back(L'\n');
    } else if (c == L'>') {
      inTag = false;
    } else if (!inTag && c != L'\r' && !(c == L'\n' && (text.empty() || text.back() == L'\n'))) {
      text.push_back(c);
    }
  }
  return text;
}

// Resolves a refresh target against the page address (absolute, rooted or bare).
std::wstring Resolve(const std::wstring& base, const std::wstring& target) {
  if (target.find(L"://") != std::wstring::npos || target.rfind(L"about:", 0) == 0) return target;
  const std::size_t scheme = base.find(L"://");
  if (scheme == std::wstring::npos) return target;
  const std::size_t pathStart = base.find(L'/', scheme + 3);
  const std::wstring origin = pathStart == std::wstring::npos ? base : base.substr(0, pathStart);
  if (!target.empty() && target[0] == L'/') return origin + target;
  const std::size_t lastSlash = base.rfind(L'/');
  return (lastSlash != std::wstring::npos && lastSlash > scheme + 2 ? base.substr(0, lastSlash + 1) : origin + L"/") +
         target;
}

class WebBrowser;

// The page's document: takes a UI handler, answers TranslateAccelerator.
class Document final : public IDispatch, public ICustomDoc, public IOleInPlaceActiveObject {
 public:
  Document(HWND window, std::wstring url, std::wstring html)
      : m_window(window), m_url(std::move(url)), m_html(std::move(html)) {
    ++g_objects;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (riid == kIidCustomDoc) {
      *out = static_cast<ICustomDoc*>(this);
    } else if (riid == IID_IOleInPlaceActiveObject || riid == IID_IOleWindow) {
      *out = static_cast<IOleInPlaceActiveObject*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n != nullptr) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // ICustomDoc: the real control asks a new handler for its hosting wishes
  // and consults it before any context menu.
  STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override {
    m_handler = handler;
    if (handler == nullptr) {
      AppendLine(kLog, L"uihandler none");
      return S_OK;
    }
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    const HRESULT hostInfo = handler->GetHostInfo(&info);
    AppendLine(kLog, L"uihandler hostinfo flags=" + Hex(info.dwFlags) + L" hr=" + Hex(static_cast<ULONG>(hostInfo)));
    POINT pt{10, 10};
    const HRESULT menu = handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr);
    AppendLine(kLog, L"uihandler contextmenu hr=" + Hex(static_cast<ULONG>(menu)));
    return S_OK;
  }

  // IOleWindow / IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = m_window;
    return m_window != nullptr ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override {
    if (msg == nullptr) return E_POINTER;
    const std::string answer =
        ravelin::standin::Ini::Load(L"browser.ini").Get("document", "accelerator", "S_FALSE");
    const HRESULT hr = answer == "S_OK" ? S_OK : S_FALSE;
    wchar_t hwnd[32];
    swprintf(hwnd, 32, L"%p", static_cast<void*>(msg->hwnd));
    AppendLine(kLog, L"accelerator message=" + Hex(msg->message) + L" key=" + std::to_wstring(msg->wParam) +
                         L" hwnd=" + hwnd + L" hr=" + Hex(static_cast<ULONG>(hr)));
    return hr;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  const std::wstring& Url() const { return m_url; }
  const std::wstring& Html() const { return m_html; }
  void SetWindow(HWND window) { m_window = window; }

 private:
  ~Document() {
    --g_objects;
  }

  LONG m_refs = 1;
  HWND m_window;
  std::wstring m_url;
  std::wstring m_html;
  ComPtr<IDocHostUIHandler> m_handler;
};

struct FetchResult {
  unsigned navigation = 0;
  std::wstring url;
  DWORD status = 0;          // HTTP status, 0 when no answer
  DWORD error = 0;           // WinINet error when there was no answer
  std::string body;
};

class WebBrowser final : public IWebBrowser2,
                         public IOleObject,
                         public IOleInPlaceObject,
                         public IOleControl,
                         public IPersistStreamInit,
                         public IConnectionPointContainer,
                         public IProvideClassInfo2 {
 public:
  WebBrowser() {
    ++g_objects;
    m_messages = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
    SetWindowLongPtrW(m_messages, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_messages, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageProc));
    AppendLine(kLog, L"create");
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser2 || riid == IID_IWebBrowserApp ||
        riid == IID_IWebBrowser) {
      *out = static_cast<IWebBrowser2*>(this);
    } else if (riid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
      *out = static_cast<IOleInPlaceObject*>(this);
    } else if (riid == IID_IOleControl) {
      *out = static_cast<IOleControl*>(this);
    } else if (riid == IID_IPersistStreamInit || riid == IID_IPersist) {
      *out = static_cast<IPersistStreamInit*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
      *out = static_cast<IProvideClassInfo2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
  }

  // IDispatch (the control is reached through its vtable)
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n != nullptr) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IWebBrowser
  STDMETHODIMP GoBack() override { return E_NOTIMPL; }
  STDMETHODIMP GoForward() override { return E_NOTIMPL; }
  STDMETHODIMP GoHome() override { return E_NOTIMPL; }
  STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
  STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    if (url == nullptr) return E_INVALIDARG;
    StartNavigation(url);
    return S_OK;
  }
  STDMETHODIMP Refresh() override {
    if (!m_location.empty()) StartNavigation(m_location);
    return S_OK;
  }
  STDMETHODIMP Refresh2(VARIANT*) override { return Refresh(); }
  STDMETHODIMP Stop() override {
    ++m_navigation;
    KillTimer(m_messages, kTimerRefresh);
    return S_OK;
  }
  STDMETHODIMP get_Application(IDispatch** out) override { return Self(out); }
  STDMETHODIMP get_Parent(IDispatch** out) override { return Self(out); }
  STDMETHODIMP get_Container(IDispatch** out) override {
    if (out != nullptr) *out = nullptr;
    return S_OK;
  }
  STDMETHODIMP get_Document(IDispatch** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (m_document) m_document->QueryInterface(IID_PPV_ARGS(out));
    return S_OK;
  }
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* out) override { return Bool(out, true); }
  STDMETHODIMP get_Type(BSTR* out) override { return Text(out, L"HTML Document"); }
  STDMETHODIMP get_Left(LONG* out) override { return Long(out, m_pos.left); }
  STDMETHODIMP put_Left(LONG) override { return S_OK; }
  STDMETHODIMP get_Top(LONG* out) override { return Long(out, m_pos.top); }
  STDMETHODIMP put_Top(LONG) override { return S_OK; }
  STDMETHODIMP get_Width(LONG* out) override { return Long(out, m_pos.right - m_pos.left); }
  STDMETHODIMP put_Width(LONG) override { return S_OK; }
  STDMETHODIMP get_Height(LONG* out) override { return Long(out, m_pos.bottom - m_pos.top); }
  STDMETHODIMP put_Height(LONG) override { return S_OK; }
  STDMETHODIMP get_LocationName(BSTR* out) override {
    return Text(out, m_document ? TitleOf(static_cast<Document*>(m_document.Get())->Html()) : L"");
  }
  STDMETHODIMP get_LocationURL(BSTR* out) override { return Text(out, m_location); }
  STDMETHODIMP get_Busy(VARIANT_BOOL* out) override { return Bool(out, m_busy); }

  // IWebBrowserApp
  STDMETHODIMP Quit() override { return E_NOTIMPL; }
  STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Name(BSTR* out) override { return Text(out, L"Browser stand-in"); }
  STDMETHODIMP get_HWND(SHANDLE_PTR* out) override {
    if (out == nullptr) return E_POINTER;
    *out = reinterpret_cast<SHANDLE_PTR>(m_window);
    return S_OK;
  }
  STDMETHODIMP get_FullName(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP get_Path(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP get_Visible(VARIANT_BOOL* out) override { return Bool(out, m_visible); }
  STDMETHODIMP put_Visible(VARIANT_BOOL value) override {
    m_visible = value != VARIANT_FALSE;
    AppendLine(kLog, std::wstring(L"visible ") + (m_visible ? L"1" : L"0"));
    return S_OK;
  }
  STDMETHODIMP get_StatusBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_StatusText(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP put_StatusText(BSTR) override { return S_OK; }
  STDMETHODIMP get_ToolBar(int* out) override {
    if (out != nullptr) *out = 0;
    return S_OK;
  }
  STDMETHODIMP put_ToolBar(int) override { return S_OK; }
  STDMETHODIMP get_MenuBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_FullScreen(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return S_OK; }

  // IWebBrowser2
  STDMETHODIMP Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    if (url == nullptr) return E_INVALIDARG;
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, url, 0, VT_BSTR))) return E_INVALIDARG;
    StartNavigation(text.bstrVal != nullptr ? text.bstrVal : L"");
    VariantClear(&text);
    return S_OK;
  }
  STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_ReadyState(READYSTATE* out) override {
    if (out == nullptr) return E_POINTER;
    *out = m_busy ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    return S_OK;
  }
  STDMETHODIMP get_Offline(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_Offline(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_Silent(VARIANT_BOOL* out) override { return Bool(out, m_silent); }
  STDMETHODIMP put_Silent(VARIANT_BOOL value) override {
    m_silent = value != VARIANT_FALSE;
    AppendLine(kLog, std::wstring(L"silent ") + (m_silent ? L"1" : L"0"));
    return S_OK;
  }
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_TheaterMode(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_AddressBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_Resizable(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return S_OK; }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    m_site = site;
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override {
    if (site == nullptr) return E_POINTER;
    *site = m_site.Get();
    if (*site != nullptr) (*site)->AddRef();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    AppendLine(kLog, L"close");
    InPlaceDeactivate();
    Stop();
    CancelFetch();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override {
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
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  STDMETHODIMP SetExtent(DWORD, SIZEL* size) override {
    if (size != nullptr) m_extent = *size;
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD, SIZEL* size) override {
    if (size == nullptr) return E_POINTER;
    *size = m_extent;
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override {
    if (cookie != nullptr) *cookie = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
    if (status == nullptr) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = m_window;
    return m_window != nullptr ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    if (m_window == nullptr) return S_OK;
    DestroyWindow(m_window);
    m_window = nullptr;
    if (m_document) static_cast<Document*>(m_document.Get())->SetWindow(nullptr);
    ComPtr<IOleInPlaceSite> site;
    if (m_site && SUCCEEDED(m_site.As(&site))) site->OnInPlaceDeactivate();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
    if (pos == nullptr) return E_POINTER;
    m_pos = *pos;
    AppendLine(kLog, L"rects " + RectText(m_pos));
    if (m_window != nullptr) {
      MoveWindow(m_window, m_pos.left, m_pos.top, m_pos.right - m_pos.left, m_pos.bottom - m_pos.top, TRUE);
    }
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
    if (info == nullptr) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
  }
  STDMETHODIMP OnMnemonic(LPMSG) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = kClsidWebBrowser;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
  STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (size != nullptr) size->QuadPart = 0;
    return S_OK;
  }
  STDMETHODIMP InitNew() override { return S_OK; }

  // IConnectionPointContainer: one point, DWebBrowserEvents2.
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (riid != kDiidEvents2) return CONNECT_E_NOCONNECTION;
    *point = &m_point;
    AddRef();
    return S_OK;
  }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    if (guid == nullptr) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = kDiidEvents2;
    return S_OK;
  }

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };

  // The one connection point, DWebBrowserEvents2; it shares the control's lifetime.
  class EventPoint final : public IConnectionPoint {
   public:
    explicit EventPoint(WebBrowser* owner) : m_owner(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
      if (out == nullptr) return E_POINTER;
      if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
      }
      *out = nullptr;
      return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override {
      if (iid == nullptr) return E_POINTER;
      *iid = kDiidEvents2;
      return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override {
      if (out == nullptr) return E_POINTER;
      *out = static_cast<IConnectionPointContainer*>(m_owner);
      AddRef();
      return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
      if (sink == nullptr || cookie == nullptr) return E_POINTER;
      ComPtr<IDispatch> dispatch;
      if (FAILED(sink->QueryInterface(kDiidEvents2, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
          FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch)))) {
        return CONNECT_E_CANNOTCONNECT;
      }
      m_owner->m_sinks.push_back({++m_owner->m_nextCookie, dispatch});
      *cookie = m_owner->m_nextCookie;
      return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
      auto& sinks = m_owner->m_sinks;
      for (auto it = sinks.begin(); it != sinks.end(); ++it) {
        if (it->cookie == cookie) {
          sinks.erase(it);
          return S_OK;
        }
      }
      return CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

   private:
    WebBrowser* m_owner;
  };


  ~WebBrowser() {
    CancelFetch();
    if (m_window != nullptr) DestroyWindow(m_window);
    if (m_messages != nullptr) DestroyWindow(m_messages);
    --g_objects;
  }

  static HRESULT Bool(VARIANT_BOOL* out, bool value) {
    if (out == nullptr) return E_POINTER;
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  static HRESULT Long(LONG* out, LONG value) {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
  }
  static HRESULT Text(BSTR* out, const std::wstring& value) {
    if (out == nullptr) return E_POINTER;
    *out = SysAllocString(value.c_str());
    return S_OK;
  }
  HRESULT Self(IDispatch** out) {
    if (out == nullptr) return E_POINTER;
    *out = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
  }

  HRESULT Activate(HWND parent, LPCRECT rect) {
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
    m_window = CreateWindowExW(0, L"RavelinBrowserStandin", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left,
                               pos.top, pos.right - pos.left, pos.bottom - pos.top, siteWindow, nullptr, g_module,
                               this);
    if (m_window == nullptr) return E_FAIL;
    if (m_document) static_cast<Document*>(m_document.Get())->SetWindow(m_window);
    AppendLine(kLog, L"activate " + RectText(pos));
    return S_OK;
  }

  // Fires one DWebBrowserEvents2 event to every sink. `args` are in
  // DISPPARAMS order (last argument first).
  void Fire(DISPID id, std::vector<VARIANTARG>& args) {
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    const std::vector<Sink> sinks = m_sinks;  // a handler may unadvise
    for (const Sink& sink : sinks) {
      sink.dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  }

  static VARIANTARG ByRefVariant(VARIANT* target) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_VARIANT | VT_BYREF;
    v.pvarVal = target;
    return v;
  }
  VARIANTARG DispatchArg() {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = static_cast<IWebBrowser2*>(this);
    return v;
  }

  bool FireBeforeNavigate2(const std::wstring& url) {
    VARIANT vUrl, vFlags, vFrame, vPost, vHeaders;
    VariantInit(&vUrl);
    vUrl.vt = VT_BSTR;
    vUrl.bstrVal = SysAllocString(url.c_str());
    VariantInit(&vFlags);
    vFlags.vt = VT_I4;
    vFlags.lVal = 0;
    VariantInit(&vFrame);
    vFrame.vt = VT_BSTR;
    vFrame.bstrVal = SysAllocString(L"");
    VariantInit(&vPost);
    VariantInit(&vHeaders);
    vHeaders.vt = VT_BSTR;
    vHeaders.bstrVal = SysAllocString(L"");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG vCancel;
    VariantInit(&vCancel);
    vCancel.vt = VT_BOOL | VT_BYREF;
    vCancel.pboolVal = &cancel;
    std::vector<VARIANTARG> args = {vCancel,          ByRefVariant(&vHeaders), ByRefVariant(&vPost),
                                    ByRefVariant(&vFrame), ByRefVariant(&vFlags), ByRefVariant(&vUrl),
                                    DispatchArg()};
    Fire(DISPID_BEFORENAVIGATE2, args);
    VariantClear(&vUrl);
    VariantClear(&vFrame);
    VariantClear(&vHeaders);
    AppendLine(kLog, L"event BeforeNavigate2 " + url + L" cancel=" + (cancel != VARIANT_FALSE ? L"1" : L"0"));
    return cancel != VARIANT_FALSE;
  }

  void FireUrlEvent(DISPID id, const wchar_t* name, const std::wstring& url) {
    VARIANT vUrl;
    VariantInit(&vUrl);
    vUrl.vt = VT_BSTR;
    vUrl.bstrVal = SysAllocString(url.c_str());
    std::vector<VARIANTARG> args = {ByRefVariant(&vUrl), DispatchArg()};
    Fire(id, args);
    VariantClear(&vUrl);
    AppendLine(kLog, std::wstring(L"event ") + name + L" " + url);
  }

  void FireProgress(LONG progress, LONG max) {
    VARIANTARG p, m;
    VariantInit(&p);
    p.vt = VT_I4;
    p.lVal = progress;
    VariantInit(&m);
    m.vt = VT_I4;
    m.lVal = max;
    std::vector<VARIANTARG> args = {m, p};
    Fire(DISPID_PROGRESSCHANGE, args);
    AppendLine(kLog, L"event ProgressChange " + std::to_wstring(progress) + L"/" + std::to_wstring(max));
  }

  bool FireNavigateError(const std::wstring& url, LONG status) {
    VARIANT vUrl, vFrame, vStatus;
    VariantInit(&vUrl);
    vUrl.vt = VT_BSTR;
    vUrl.bstrVal = SysAllocString(url.c_str());
    VariantInit(&vFrame);
    vFrame.vt = VT_BSTR;
    vFrame.bstrVal = SysAllocString(L"");
    VariantInit(&vStatus);
    vStatus.vt = VT_I4;
    vStatus.lVal = status;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG vCancel;
    VariantInit(&vCancel);
    vCancel.vt = VT_BOOL | VT_BYREF;
    vCancel.pboolVal = &cancel;
    std::vector<VARIANTARG> args = {vCancel, ByRefVariant(&vStatus), ByRefVariant(&vFrame), ByRefVariant(&vUrl),
                                    DispatchArg()};
    Fire(DISPID_NAVIGATEERROR, args);
    VariantClear(&vUrl);
    VariantClear(&vFrame);
    AppendLine(kLog, L"event NavigateError " + url + L" status=" + std::to_wstring(status) + L" cancel=" +
                         (cancel != VARIANT_FALSE ? L"1" : L"0"));
    return cancel != VARIANT_FALSE;
  }

  void StartNavigation(const std::wstring& url) {
    const unsigned navigation = ++m_navigation;
    KillTimer(m_messages, kTimerRefresh);
    AppendLine(kLog, L"navigate " + url);
    if (FireBeforeNavigate2(url)) return;
    if (navigation != m_navigation) return;  // a handler navigated elsewhere
    m_busy = true;
    FireProgress(0, 10000);

    const std::wstring lower = Lower(url);
    if (lower == L"about:blank") {
      CompletePage(url, L"<html><body></body></html>");
      return;
    }
    if (lower.rfind(L"http://", 0) != 0 && lower.rfind(L"https://", 0) != 0) {
      FailPage(url, kInetUnknownProtocol);
      return;
    }
    CancelFetch();
    m_fetchCancelled = false;
    m_fetch = std::thread(&WebBrowser::FetchThread, this, navigation, url);
  }

  void CompletePage(const std::wstring& url, const std::wstring& html) {
    m_busy = false;
    m_location = url;
    FireUrlEvent(DISPID_NAVIGATECOMPLETE2, L"NavigateComplete2", url);
    // MinGW's ComPtr::Attach adds a reference: take the new object's own
    // reference over by assignment and drop it.
    auto* document = new Document(m_window, url, html);
    m_document = static_cast<IDispatch*>(document);
    document->Release();
    if (m_window != nullptr) InvalidateRect(m_window, nullptr, TRUE);
    FireProgress(10000, 10000);
    FireUrlEvent(DISPID_DOCUMENTCOMPLETE, L"DocumentComplete", url);
    FireProgress(-1, 10000);
    if (const std::optional<::Refresh> refresh = FindMetaRefresh(html)) {
      m_refreshUrl = Resolve(url, refresh->url);
      const auto ms = static_cast<UINT>(refresh->seconds > 0 ? refresh->seconds * 1000.0 : 0.0);
      AppendLine(kLog, L"refresh " + std::to_wstring(ms) + L"ms " + m_refreshUrl);
      SetTimer(m_messages, kTimerRefresh, ms == 0 ? 1 : ms, nullptr);
    }
  }

  void FailPage(const std::wstring& url, LONG status) {
    if (FireNavigateError(url, status)) {
      m_busy = false;
      return;
    }
    // Like the real control: an error page of its own, completed as a document.
    const std::wstring page = L"<html><head><title>Navigation failed</title></head><body>This page cannot be "
                              L"displayed: " + url + L" (" + std::to_wstring(status) + L")</body></html>";
    CompletePage(L"about:navigationfailure", page);
  }

  void FetchThread(unsigned navigation, std::wstring url) {
    auto result = std::make_unique<FetchResult>();
    result->navigation = navigation;
    result->url = url;
    const HINTERNET session = InternetOpenW(L"RavelinBrowserStandin", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    {
      std::lock_guard<std::mutex> lock(m_fetchLock);
      m_session = session;
    }
    if (session != nullptr && !m_fetchCancelled) {
      const HINTERNET request =
          InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0);
      if (request == nullptr) {
        result->error = GetLastError();
      } else {
        DWORD status = 0, size = sizeof(status);
        HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        result->status = status;
        DWORD length = 0;
        size = sizeof(length);
        HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr);
        char buffer[4096];
        DWORD got = 0;
        while (!m_fetchCancelled && InternetReadFile(request, buffer, sizeof(buffer), &got) && got > 0) {
          result->body.append(buffer, got);
          if (length > 0) {
            PostMessageW(m_messages, kMsgFetchProgress, navigation,
                         static_cast<LPARAM>(MulDiv(static_cast<int>(result->body.size()), 10000,
                                                    static_cast<int>(length))));
          }
        }
        InternetCloseHandle(request);
      }
    }
    {
      std::lock_guard<std::mutex> lock(m_fetchLock);
      m_session = nullptr;
    }
    if (session != nullptr) InternetCloseHandle(session);
    if (!m_fetchCancelled) PostMessageW(m_messages, kMsgFetchDone, 0, reinterpret_cast<LPARAM>(result.release()));
  }

  void CancelFetch() {
    m_fetchCancelled = true;
    {
      std::lock_guard<std::mutex> lock(m_fetchLock);
      if (m_session != nullptr) InternetCloseHandle(m_session);  // aborts a blocking read
      m_session = nullptr;
    }
    if (m_fetch.joinable()) m_fetch.join();
    // Results already posted are dropped by their navigation number.
  }

  void OnFetchDone(std::unique_ptr<FetchResult> result) {
    if (m_fetch.joinable()) m_fetch.join();
    AppendLine(kLog, L"fetch " + result->url + L" status=" + std::to_wstring(result->status) + L" bytes=" +
                         std::to_wstring(result->body.size()));
    if (result->navigation != m_navigation) return;
    if (result->status == 0) {
      const bool noAnswer = result->error == ERROR_INTERNET_CANNOT_CONNECT ||
                            result->error == ERROR_INTERNET_NAME_NOT_RESOLVED;
      FailPage(result->url, noAnswer ? kInetResourceNotFound : kInetDownloadFailure);
      return;
    }
    if (result->status >= 400) {
      FailPage(result->url, static_cast<LONG>(result->status));
      return;
    }
    CompletePage(result->url, Widen(result->body));
  }

  static LRESULT CALLBACK MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr) {
      switch (message) {
        case kMsgFetchProgress:
          if (static_cast<unsigned>(wParam) == self->m_navigation) {
            self->FireProgress(static_cast<LONG>(lParam), 10000);
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

 public:
  // The visible page: its title, its text without tags, and its address.
  void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HBRUSH background = CreateSolidBrush(RGB(250, 246, 238));
    FillRect(dc, &rc, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(60, 40, 20));
    std::wstring text = L"Browser stand-in\n";
    if (m_document) {
      const auto* doc = static_cast<Document*>(m_document.Get());
      text += TitleOf(doc->Html()) + L"\n\n" + TextOf(doc->Html()) + L"\n\n" + doc->Url();
    } else {
      text += L"(no document)";
    }
    InflateRect(&rc, -12, -12);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    EndPaint(hwnd, &ps);
  }

 private:
  LONG m_refs = 1;
  EventPoint m_point{this};
  HWND m_messages = nullptr;
  HWND m_window = nullptr;
  RECT m_pos{};
  SIZEL m_extent{};
  ComPtr<IOleClientSite> m_site;
  std::vector<Sink> m_sinks;
  DWORD m_nextCookie = 0;
  ComPtr<IDispatch> m_document;
  std::wstring m_location;
  std::wstring m_refreshUrl;
  unsigned m_navigation = 0;
  bool m_busy = false;
  bool m_visible = true;
  bool m_silent = false;
  std::thread m_fetch;
  std::mutex m_fetchLock;
  HINTERNET m_session = nullptr;
  std::atomic<bool> m_fetchCancelled{false};
};

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

class ClassFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* browser = new WebBrowser();
    const HRESULT hr = browser->QueryInterface(riid, out);
    browser->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? ++g_locks : --g_locks;
    return S_OK;
  }
};

ClassFactory g_factory;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PageWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = L"RavelinBrowserStandin";
    RegisterClassExW(&wc);
  } else if (reason == DLL_PROCESS_DETACH) {
    UnregisterClassW(L"RavelinBrowserStandin", instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != kClsidWebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

namespace {

const wchar_t kClsidKey[] = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}";

HRESULT SetKeyValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
      ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  const LONG status = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(g_module, path, MAX_PATH);
  const std::wstring server = std::wstring(kClsidKey) + L"\\InprocServer32";
  // Replaces whatever served this class before, in this prefix only.
  RegDeleteTreeW(HKEY_CLASSES_ROOT, server.c_str());
  HRESULT hr = SetKeyValue(kClsidKey, nullptr, L"Browser stand-in");
  if (SUCCEEDED(hr)) hr = SetKeyValue(server, nullptr, path);
  if (SUCCEEDED(hr)) hr = SetKeyValue(server, L"ThreadingModel", L"Apartment");
  return hr;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
