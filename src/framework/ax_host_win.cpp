#include "framework/ax_host_win.h"

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstring>

#include "common/com_object_win.h"
#include "common/unique_gdi_win.h"
#include "common/unique_variant_win.h"

namespace ravelin::framework {

using Microsoft::WRL::ComPtr;

namespace {

UINT g_msgGetHost = 0;
UINT g_msgGetControl = 0;
// Posted by a host window made from a template to complete itself if its
// dialog did not (see AxApplyInitData).
constexpr UINT kMsgCompleteDefault = WM_APP + 0x3A1;
// Record type of our RT_DLGINIT entries: the control's property text.
constexpr WORD kDlgInitPropertyText = 0x0379;

// An IPropertyBag over stored properties, its own copy of them; each read
// converts to the type the control asks for.
class PropertyBag final : public ComObject<PropertyBag, IPropertyBag> {
 public:
  explicit PropertyBag(const AxInitData& data) : m_data(data) {}

  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog* /*log*/) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    for (const AxProperty& p : m_data) {
      if (_wcsicmp(p.name.c_str(), name) != 0) continue;
      unique_variant stored = unique_variant::Text(p.value.c_str());
      unique_variant typed;
      const HRESULT hr =
          VariantChangeTypeEx(&typed, &stored, MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0), 0, p.type);
      if (FAILED(hr)) return hr;
      const VARTYPE wanted = value->vt;
      VariantInit(value);
      if (wanted != VT_EMPTY && wanted != p.type) return VariantChangeType(value, &typed, 0, wanted);
      *value = typed.release();
      return S_OK;
    }
    return E_INVALIDARG;
  }
  STDMETHODIMP Write(LPCOLESTR /*name*/, VARIANT* /*value*/) override { return E_NOTIMPL; }

 private:
  const AxInitData m_data;
};

// The container side of one hosted control: its client site and in-place
// frame, and the host window that the control fills.
class AxSite final : public ComObject<AxSite, IOleClientSite, ComInterface<IOleInPlaceSite, IOleWindow>,
                                      ComInterface<IOleInPlaceFrame, IOleInPlaceUIWindow>, IOleControlSite, IDispatch> {
 public:
  explicit AxSite(HWND host) : m_host(host) {}

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the site and the frame)
  STDMETHODIMP GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = m_host;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    m_inPlace = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || doc == nullptr || position == nullptr || clip == nullptr) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    GetClientRect(m_host, position);
    *clip = *position;
    if (info != nullptr) {
      info->fMDIApp = FALSE;
      info->hwndFrame = GetAncestor(m_host, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    m_inPlace = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
    if (rect == nullptr) return E_POINTER;
    ComPtr<IOleInPlaceObject> inPlace;
    if (m_control && SUCCEEDED(m_control.As(&inPlace))) inPlace->SetObjectRects(rect, rect);
    return S_OK;
  }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: the host keeps no toolbars.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
    m_active = active;
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: ambient properties. The control runs in user mode.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || result == nullptr) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_USERMODE:
      case DISPID_AMBIENT_MESSAGEREFLECT:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_DISPLAYASDEFAULT:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_FALSE;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  // Creates the control; it is loaded and activated by Complete().
  HRESULT CreateControl(const CLSID& clsid) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&m_control));
    if (FAILED(hr)) return hr;
    ComPtr<IOleObject> ole;
    if (SUCCEEDED(m_control.As(&ole))) {
      DWORD status = 0;
      ole->GetMiscStatus(DVASPECT_CONTENT, &status);
      if (status & OLEMISC_SETCLIENTSITEFIRST) {
        ole->SetClientSite(this);
        m_siteSet = true;
      }
    }
    return S_OK;
  }

  HRESULT Complete(const AxInitData* init) {
    if (m_completed) return S_FALSE;
    if (!m_control) return E_FAIL;
    m_completed = true;

    HRESULT loaded = E_NOINTERFACE;
    if (init != nullptr) {
      ComPtr<IPersistPropertyBag> persistBag;
      if (SUCCEEDED(m_control.As(&persistBag))) {
        if (const ComPtr<PropertyBag> bag = MakeComObject<PropertyBag>(*init)) {
          loaded = persistBag->Load(bag.Get(), nullptr);
        }
      }
    }
    if (FAILED(loaded)) {
      ComPtr<IPersistStreamInit> persistStream;
      ComPtr<IPersistPropertyBag> persistBag;
      if (SUCCEEDED(m_control.As(&persistStream))) {
        persistStream->InitNew();
      } else if (SUCCEEDED(m_control.As(&persistBag))) {
        persistBag->InitNew();
      }
    }

    ComPtr<IOleObject> ole;
    if (FAILED(m_control.As(&ole))) return S_OK;  // a plain object: nothing to show
    if (!m_siteSet) {
      ole->SetClientSite(this);
      m_siteSet = true;
    }
    RECT rc;
    GetClientRect(m_host, &rc);
    int dpiX = 0, dpiY = 0;
    {
      const unique_hdc_window screen(nullptr);
      dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX);
      dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    SIZEL himetric{MulDiv(rc.right - rc.left, 2540, dpiX), MulDiv(rc.bottom - rc.top, 2540, dpiY)};
    ole->SetExtent(DVASPECT_CONTENT, &himetric);
    return ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_host, &rc);
  }

  void Resize(int width, int height) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (!m_inPlace || !m_control || FAILED(m_control.As(&inPlace))) return;
    const RECT rc{0, 0, width, height};
    inPlace->SetObjectRects(&rc, &rc);
  }

  void Close() {
    if (!m_control) return;
    ComPtr<IOleInPlaceObject> inPlace;
    if (m_inPlace && SUCCEEDED(m_control.As(&inPlace))) inPlace->InPlaceDeactivate();
    ComPtr<IOleObject> ole;
    if (SUCCEEDED(m_control.As(&ole))) {
      ole->Close(OLECLOSE_NOSAVE);
      ole->SetClientSite(nullptr);
    }
    m_active.Reset();
    m_control.Reset();
  }

  IUnknown* Control() const { return m_control.Get(); }
  bool Completed() const { return m_completed; }

 private:
  HWND m_host;
  ComPtr<IUnknown> m_control;
  ComPtr<IOleInPlaceActiveObject> m_active;
  bool m_siteSet = false;
  bool m_inPlace = false;
  bool m_completed = false;
};

AxSite* SiteOf(HWND hwnd) { return reinterpret_cast<AxSite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

LRESULT CALLBACK AxHostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      // A control that cannot be created leaves an empty host rather than
      // failing the whole dialog: the rest of the window still works.
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      CLSID clsid;
      if (create->lpszName == nullptr || FAILED(CLSIDFromString(create->lpszName, &clsid))) return 0;
      ComPtr<AxSite> site = MakeComObject<AxSite>(hwnd);
      if (!site || FAILED(site->CreateControl(clsid))) return 0;
      // The window holds this reference until WM_DESTROY.
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site.Detach()));
      // A dialog completes its host windows in WM_INITDIALOG, before this
      // posted message is seen; a host nobody completes takes its defaults.
      PostMessageW(hwnd, kMsgCompleteDefault, 0, 0);
      return 0;
    }
    case WM_SIZE:
      if (AxSite* site = SiteOf(hwnd)) site->Resize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_ERASEBKGND:
      // The control paints the whole area once it is active.
      return SiteOf(hwnd) != nullptr && SiteOf(hwnd)->Completed() ? 1 : DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_DESTROY:
      if (AxSite* site = SiteOf(hwnd)) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        site->Close();
        site->Release();  // the window's, taken in WM_CREATE
      }
      return 0;
    default:
      break;
  }
  if (message == kMsgCompleteDefault) {
    if (AxSite* site = SiteOf(hwnd)) site->Complete(nullptr);
    return 0;
  }
  if (message == g_msgGetControl && g_msgGetControl != 0) {
    AxSite* site = SiteOf(hwnd);
    return reinterpret_cast<LRESULT>(site != nullptr ? site->Control() : nullptr);
  }
  if (message == g_msgGetHost && g_msgGetHost != 0) {
    AxSite* site = SiteOf(hwnd);
    return reinterpret_cast<LRESULT>(site != nullptr ? static_cast<IOleClientSite*>(site) : nullptr);
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool RegisterHostClass(HINSTANCE instance, const wchar_t* name) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, name, &existing)) return true;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &AxHostWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

bool AtlAxWinInit(HINSTANCE instance) {
  g_msgGetHost = RegisterWindowMessageW(L"WM_ATLGETHOST");
  g_msgGetControl = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
  if (g_msgGetHost == 0 || g_msgGetControl == 0) return false;
  return RegisterHostClass(instance, kAxHostClass) && RegisterHostClass(instance, kAxHostLicClass);
}

UINT AxGetHostMessage() { return g_msgGetHost; }
UINT AxGetControlMessage() { return g_msgGetControl; }

HWND AxCreateControl(HWND parent, const wchar_t* clsidText, const RECT& rect, int id, const AxInitData* init) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!AtlAxWinInit(instance)) return nullptr;
  const HWND host = CreateWindowExW(0, kAxHostClass, clsidText, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                                    rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (host == nullptr) return nullptr;
  if (SiteOf(host) == nullptr || FAILED(AxApplyInitData(host, init))) {
    DestroyWindow(host);
    return nullptr;
  }
  return host;
}

HRESULT AxGetControl(HWND hostWindow, IUnknown** control) {
  if (control == nullptr) return E_POINTER;
  *control = nullptr;
  AxSite* site = hostWindow != nullptr ? SiteOf(hostWindow) : nullptr;
  if (site == nullptr || site->Control() == nullptr) return E_FAIL;
  return site->Control()->QueryInterface(IID_PPV_ARGS(control));
}

HRESULT AxApplyInitData(HWND hostWindow, const AxInitData* init) {
  AxSite* site = hostWindow != nullptr ? SiteOf(hostWindow) : nullptr;
  if (site == nullptr) return E_FAIL;
  return site->Complete(init);
}

AxInitData ParseAxProperties(std::wstring_view text) {
  AxInitData data;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring_view::npos) end = text.size();
    std::wstring_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    const std::size_t eq = line.find(L'=');
    if (eq == 0 || eq == std::wstring_view::npos) continue;
    const std::size_t colon = line.find(L':', eq + 1);
    if (colon == std::wstring_view::npos) continue;
    const std::wstring_view type = line.substr(eq + 1, colon - eq - 1);
    AxProperty p;
    p.name = std::wstring(line.substr(0, eq));
    p.value = std::wstring(line.substr(colon + 1));
    if (type == L"str") {
      p.type = VT_BSTR;
    } else if (type == L"bool") {
      p.type = VT_BOOL;
    } else if (type == L"i4") {
      p.type = VT_I4;
    } else {
      continue;
    }
    data.push_back(std::move(p));
  }
  return data;
}

std::map<int, AxInitData> LoadDialogInitData(HMODULE module, UINT dialogId) {
  std::map<int, AxInitData> result;
  const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(dialogId), MAKEINTRESOURCEW(240));
  if (info == nullptr) return result;
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
  const DWORD size = SizeofResource(module, info);
  if (data == nullptr) return result;

  // Records: WORD control id, WORD kind, DWORD length, then the bytes; a zero id ends the list.
  DWORD pos = 0;
  while (pos + 2 <= size) {
    WORD id = 0;
    std::memcpy(&id, data + pos, 2);
    if (id == 0 || pos + 8 > size) break;
    WORD kind = 0;
    DWORD length = 0;
    std::memcpy(&kind, data + pos + 2, 2);
    std::memcpy(&length, data + pos + 4, 4);
    pos += 8;
    if (length > size - pos) break;
    if (kind == kDlgInitPropertyText) {
      std::wstring text(length / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), data + pos, text.size() * sizeof(wchar_t));
      result[id] = ParseAxProperties(text);
    }
    pos += length;
  }
  return result;
}

void AxApplyDialogInitData(HWND dialog, UINT dialogId) {
  const std::map<int, AxInitData> data = LoadDialogInitData(GetModuleHandleW(nullptr), dialogId);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (SiteOf(child) == nullptr) continue;
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, kAxHostClass) != 0 && _wcsicmp(cls, kAxHostLicClass) != 0) continue;
    const auto it = data.find(GetDlgCtrlID(child));
    AxApplyInitData(child, it != data.end() ? &it->second : nullptr);
  }
}

}  // namespace ravelin::framework
