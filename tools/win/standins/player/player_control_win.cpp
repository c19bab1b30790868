#include "player/player_control_win.h"

#include <olectl.h>

#include <cwchar>
#include <string_view>

#include "common/standin_files_win.h"
#include "common/unique_gdi_win.h"
#include "common/unique_variant_win.h"
#include "player/player_answers_win.h"
#include "player/player_ids_win.h"
#include "player/player_module_win.h"

namespace ravelin::standin {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kWindowClass[] = L"RavelinPlayerStandin";
constexpr wchar_t kNotifyClass[] = L"RavelinPlayerStandinNotify";
constexpr UINT_PTR kReadyTimer = 1;
constexpr UINT kReadyStepMs = 30;
constexpr DISPID kReadyStateChangeEvent = -609;
constexpr DWORD kMiscStatus =
    OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_RECOMPOSEONRESIZE;

enum : DISPID {
  kMovie = 101,
  kWMode,
  kQuality,
  kScaleMode,
  kAllowNetworking,
  kPlaying,
  kLoop,
  kMenu,
  kFullScreen,
  kReadyState = DISPID_READYSTATE,
  kLoadMovie = 201,
  kPlay,
  kCallFunction,
};

struct Member {
  const wchar_t* name;
  DISPID id;
};

constexpr Member kMembers[] = {
    {L"LoadMovie", kLoadMovie},
    {L"Play", kPlay},
    {L"CallFunction", kCallFunction},
    {L"Movie", kMovie},
    {L"WMode", kWMode},
    {L"Quality", kQuality},
    {L"ScaleMode", kScaleMode},
    {L"AllowNetworking", kAllowNetworking},
    {L"Playing", kPlaying},
    {L"Loop", kLoop},
    {L"Menu", kMenu},
    {L"FullScreen", kFullScreen},
    {L"ReadyState", kReadyState},
};

// The stored properties a container hands over through a property bag.
constexpr Member kBagProperties[] = {
    {L"Movie", kMovie},
    {L"WMode", kWMode},
    {L"Quality", kQuality},
    {L"ScaleMode", kScaleMode},
    {L"AllowNetworking", kAllowNetworking},
    {L"Play", kPlaying},
    {L"Loop", kLoop},
    {L"Menu", kMenu},
    {L"FullScreen", kFullScreen},
};

constexpr const wchar_t* kScaleModeNames[] = {L"ShowAll", L"NoBorder", L"ExactFit", L"NoScale"};

bool IsProperty(DISPID id) { return (id >= kMovie && id <= kFullScreen) || id == kReadyState; }
bool IsMethod(DISPID id) { return id >= kLoadMovie && id <= kCallFunction; }

const wchar_t* MemberName(DISPID id) {
  for (const Member& m : kMembers) {
    if (m.id == id) return m.name;
  }
  return L"?";
}

void Record(std::string_view line) { RecordLine(L"player.log", line); }

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

// Converts one argument the way late-bound callers expect: by-reference
// values are followed, and anything VariantChangeType can turn into the
// wanted type is taken.
HRESULT Convert(const VARIANT& in, VARTYPE type, VARIANT& out) {
  unique_variant direct;
  // VariantCopyInd only reads its source; MinGW declares it non-const.
  if (FAILED(VariantCopyInd(&direct, const_cast<VARIANT*>(&in)))) return DISP_E_TYPEMISMATCH;
  HRESULT hr = S_OK;
  if (type == VT_BOOL && direct.vt == VT_BSTR && direct.bstrVal != nullptr &&
      (_wcsicmp(direct.bstrVal, L"true") == 0 || _wcsicmp(direct.bstrVal, L"false") == 0)) {
    out.vt = VT_BOOL;
    out.boolVal = _wcsicmp(direct.bstrVal, L"true") == 0 ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    hr = VariantChangeType(&out, &direct, 0, type);
  }
  if (hr == DISP_E_OVERFLOW) return hr;
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT ToText(const VARIANT& in, std::wstring& text) {
  unique_variant v;
  const HRESULT hr = Convert(in, VT_BSTR, v);
  if (FAILED(hr)) return hr;
  text.assign(v.bstrVal != nullptr ? v.bstrVal : L"", SysStringLen(v.bstrVal));
  return S_OK;
}

HRESULT ToLong(const VARIANT& in, LONG& value) {
  unique_variant v;
  const HRESULT hr = Convert(in, VT_I4, v);
  if (SUCCEEDED(hr)) value = v.lVal;
  return hr;
}

HRESULT ToBool(const VARIANT& in, bool& value) {
  unique_variant v;
  const HRESULT hr = Convert(in, VT_BOOL, v);
  if (SUCCEEDED(hr)) value = v.boolVal != VARIANT_FALSE;
  return hr;
}

HRESULT ToScaleMode(const VARIANT& in, LONG& value) {
  std::wstring text;
  if (SUCCEEDED(ToText(in, text))) {
    for (LONG i = 0; i < 4; ++i) {
      if (_wcsicmp(text.c_str(), kScaleModeNames[i]) == 0) {
        value = i;
        return S_OK;
      }
    }
  }
  return ToLong(in, value);
}

void SetText(VARIANT* out, const std::wstring& text) {
  out->vt = VT_BSTR;
  out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SetBool(VARIANT* out, bool value) {
  out->vt = VT_BOOL;
  out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetLong(VARIANT* out, LONG value) {
  out->vt = VT_I4;
  out->lVal = value;
}

void EnsureWindowClasses(WNDPROC windowProc, WNDPROC notifyProc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(g_module, kWindowClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = g_module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
  }
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(g_module, kNotifyClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = notifyProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kNotifyClass;
    RegisterClassExW(&wc);
  }
}

PlayerControl* ControlOf(HWND hwnd) { return reinterpret_cast<PlayerControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

}  // namespace

PlayerControl::PlayerControl() {
  LockModule();
  EnsureWindowClasses(&PlayerControl::WindowProc, &PlayerControl::NotifyProc);
  m_notify = CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  if (m_notify != nullptr) SetWindowLongPtrW(m_notify, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Record("create");
}

PlayerControl::~PlayerControl() {
  if (m_notify != nullptr) {
    KillTimer(m_notify, kReadyTimer);
    SetWindowLongPtrW(m_notify, GWLP_USERDATA, 0);
    DestroyWindow(m_notify);
  }
  if (m_window != nullptr) {
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
  }
  StopSound();
  m_events.DisconnectAll();
  Record("destroy");
  UnlockModule();
}

void PlayerControl::UnregisterWindowClasses() {
  UnregisterClassW(kWindowClass, g_module);
  UnregisterClassW(kNotifyClass, g_module);
}

// ---- IDispatch ----

STDMETHODIMP PlayerControl::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP PlayerControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP PlayerControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  ids[0] = DISPID_UNKNOWN;
  for (const Member& m : kMembers) {
    if (names[0] != nullptr && _wcsicmp(names[0], m.name) == 0) ids[0] = m.id;
  }
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  // No member takes named arguments.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP PlayerControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  // A caller may drop its last reference from inside an event fired here.
  AddRef();
  const HRESULT hr = InvokeMember(id, flags, params, result, exception, argError);
  Release();
  return hr;
}

HRESULT PlayerControl::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                    UINT* argError) {
  const UINT argc = params->cArgs;
  // Arguments arrive right to left: rgvarg[argc - 1] is the first one.
  const auto convertArg = [&](UINT position, auto convert, auto& value) -> HRESULT {
    const UINT index = argc - 1 - position;
    const HRESULT hr = convert(params->rgvarg[index], value);
    if (FAILED(hr) && argError != nullptr) *argError = index;
    return hr;
  };

  if (IsMethod(id)) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    switch (id) {
      case kLoadMovie: {
        if (argc != 2) return DISP_E_BADPARAMCOUNT;
        LONG layer = 0;
        std::wstring url;
        HRESULT hr = convertArg(0, ToLong, layer);
        if (SUCCEEDED(hr)) hr = convertArg(1, ToText, url);
        if (FAILED(hr)) return hr;
        Record("LoadMovie " + std::to_string(layer) + " " + ToUtf8(url));
        m_movie = url;
        if (!url.empty()) StartLoad();
        Repaint();
        return S_OK;
      }
      case kPlay:
        if (argc != 0) return DISP_E_BADPARAMCOUNT;
        Record("Play");
        m_playing = true;
        StartSound();
        Repaint();
        return S_OK;
      case kCallFunction: {
        if (argc != 1) return DISP_E_BADPARAMCOUNT;
        std::wstring request;
        const HRESULT hr = convertArg(0, ToText, request);
        if (FAILED(hr)) return hr;
        return CallFunction(request, result, exception);
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  if (!IsProperty(id)) return DISP_E_MEMBERNOTFOUND;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (id == kReadyState) return DISP_E_MEMBERNOTFOUND;
    if (argc != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
      return DISP_E_PARAMNOTFOUND;
    }
    const HRESULT hr = PutProperty(id, params->rgvarg[0], true);
    if (FAILED(hr)) {
      if (argError != nullptr) *argError = 0;
      return hr;
    }
    Record("put " + ToUtf8(MemberName(id)) + "=" + PropertyText(id));
    return S_OK;
  }
  if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (argc != 0) return DISP_E_BADPARAMCOUNT;
    if (result == nullptr) return S_OK;
    return GetProperty(id, result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT PlayerControl::GetProperty(DISPID id, VARIANT* out) const {
  VariantInit(out);
  switch (id) {
    case kMovie:
      SetText(out, m_movie);
      break;
    case kWMode:
      SetText(out, m_wmode);
      break;
    case kQuality:
      SetText(out, m_quality);
      break;
    case kAllowNetworking:
      SetText(out, m_allowNetworking);
      break;
    case kScaleMode:
      SetLong(out, m_scaleMode);
      break;
    case kReadyState:
      SetLong(out, m_readyState);
      break;
    case kPlaying:
      SetBool(out, m_playing);
      break;
    case kLoop:
      SetBool(out, m_loop);
      break;
    case kMenu:
      SetBool(out, m_menu);
      break;
    case kFullScreen:
      SetBool(out, m_fullScreen);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return S_OK;
}

HRESULT PlayerControl::PutProperty(DISPID id, const VARIANT& value, bool withEffects) {
  HRESULT hr = DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case kMovie: {
      std::wstring movie;
      hr = ToText(value, movie);
      if (SUCCEEDED(hr)) {
        m_movie = movie;
        if (withEffects && !m_movie.empty()) StartLoad();
      }
      break;
    }
    case kWMode:
      hr = ToText(value, m_wmode);
      break;
    case kQuality:
      hr = ToText(value, m_quality);
      break;
    case kAllowNetworking:
      hr = ToText(value, m_allowNetworking);
      break;
    case kScaleMode:
      hr = ToScaleMode(value, m_scaleMode);
      break;
    case kPlaying: {
      bool playing = false;
      hr = ToBool(value, playing);
      if (SUCCEEDED(hr)) {
        m_playing = playing;
        if (withEffects && playing) StartSound();
        if (withEffects && !playing) StopSound();
      }
      break;
    }
    case kLoop:
      hr = ToBool(value, m_loop);
      break;
    case kMenu:
      hr = ToBool(value, m_menu);
      break;
    case kFullScreen:
      hr = ToBool(value, m_fullScreen);
      break;
    default:
      break;
  }
  if (SUCCEEDED(hr)) Repaint();
  return hr;
}

std::string PlayerControl::PropertyText(DISPID id) const {
  const auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
  switch (id) {
    case kMovie:
      return ToUtf8(m_movie);
    case kWMode:
      return ToUtf8(m_wmode);
    case kQuality:
      return ToUtf8(m_quality);
    case kAllowNetworking:
      return ToUtf8(m_allowNetworking);
    case kScaleMode:
      return std::to_string(m_scaleMode);
    case kReadyState:
      return std::to_string(m_readyState);
    case kPlaying:
      return flag(m_playing);
    case kLoop:
      return flag(m_loop);
    case kMenu:
      return flag(m_menu);
    case kFullScreen:
      return flag(m_fullScreen);
    default:
      return {};
  }
}

HRESULT PlayerControl::CallFunction(const std::wstring& request, VARIANT* result, EXCEPINFO* exception) {
  const std::wstring name = InvokeName(request);
  const int count = ++m_calls[name];
  const Answer answer = ChooseAnswer(Ini::Load(L"player.ini"), ToUtf8(name));
  std::string flat = ToUtf8(request);
  for (char& c : flat) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  Record("CallFunction " + ToUtf8(name) + " -> " + answer.kind + " count=" + std::to_string(count) +
         " request=" + flat);
  if (!answer.xml) {
    if (exception == nullptr) return E_FAIL;
    *exception = EXCEPINFO{};
    exception->scode = E_FAIL;
    exception->bstrSource = SysAllocString(L"Player stand-in");
    exception->bstrDescription = SysAllocString((L"CallFunction failed: " + name).c_str());
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr) {
    VariantInit(result);
    SetText(result, *answer.xml);
  }
  return S_OK;
}

// ---- Loading, events and sound ----

void PlayerControl::StartLoad() {
  m_readyState = 0;
  m_nextReadyState = 0;
  if (m_notify != nullptr) SetTimer(m_notify, kReadyTimer, kReadyStepMs, nullptr);
  if (m_playing) StartSound();
}

void PlayerControl::OnReadyTick() {
  if (m_freezeCount > 0) return;  // held back, not lost: the steps resume on thaw
  if (m_nextReadyState > 4) {
    KillTimer(m_notify, kReadyTimer);
    return;
  }
  const LONG state = m_nextReadyState++;
  m_readyState = state;
  if (state == 4) KillTimer(m_notify, kReadyTimer);
  Record("readystate " + std::to_string(state));
  Repaint();

  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = state;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  AddRef();
  for (const ComPtr<IDispatch>& sink : m_events.Sinks()) {
    sink->Invoke(kReadyStateChangeEvent, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
  }
  Release();  // may delete this; nothing follows
}

void PlayerControl::StartSound() {
  if (m_tone) return;
  m_tone = TonePlayer::Start();
  Record(m_tone ? "sound start bits=" + std::to_string(m_tone->Bits()) : std::string("sound disabled"));
}

void PlayerControl::StopSound() {
  if (!m_tone) return;
  m_tone.reset();
  Record("sound stop");
}

// ---- Windows ----

LRESULT CALLBACK PlayerControl::NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kReadyTimer) {
    if (PlayerControl* self = ControlOf(hwnd)) self->OnReadyTick();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PlayerControl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  PlayerControl* self = ControlOf(hwnd);
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const unique_hdc_paint dc(hwnd);
      RECT area;
      GetClientRect(hwnd, &area);
      if (self != nullptr) self->Paint(dc.get(), area);
      return 0;
    }
    case WM_NCDESTROY:
      // The parent may go first and take this window with it.
      if (self != nullptr && self->m_window == hwnd) self->m_window = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void PlayerControl::Paint(HDC dc, const RECT& area) const {
  const unique_hbrush background(CreateSolidBrush(RGB(16, 20, 32)));
  FillRect(dc, &area, background.get());
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, RGB(240, 240, 240));
  const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring lines[] = {
      L"Player stand-in",
      L"movie: " + (m_movie.empty() ? std::wstring(L"(none)") : m_movie),
      L"ready state: " + std::to_wstring(m_readyState),
      m_playing ? L"playing" : L"stopped",
  };
  int y = area.top + 12;
  for (const std::wstring& line : lines) {
    TextOutW(dc, area.left + 12, y, line.c_str(), static_cast<int>(line.size()));
    y += 20;
  }
  SelectObject(dc, oldFont);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
}

void PlayerControl::Repaint() const {
  if (m_window != nullptr) InvalidateRect(m_window, nullptr, FALSE);
}

HRESULT PlayerControl::ActivateInPlace(bool uiActivate, IOleClientSite* activeSite) {
  if (!m_inPlaceActive) {
    IOleClientSite* clientSite = m_clientSite ? m_clientSite.Get() : activeSite;
    if (clientSite == nullptr) return E_UNEXPECTED;
    ComPtr<IOleInPlaceSite> site;
    if (FAILED(clientSite->QueryInterface(IID_PPV_ARGS(&site)))) return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    if (FAILED(site->OnInPlaceActivate())) return E_FAIL;
    m_inPlaceSite = site;
    m_inPlaceActive = true;

    HWND parent = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> uiWindow;
    if (FAILED(site->GetWindow(&parent)) || parent == nullptr ||
        FAILED(site->GetWindowContext(&frame, &uiWindow, &pos, &clip, &frameInfo))) {
      InPlaceDeactivate();
      return E_FAIL;
    }
    m_frame = frame;
    m_uiWindow = uiWindow;
    m_window =
        CreateWindowExW(0, kWindowClass, L"Player stand-in", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, pos.left,
                        pos.top, pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, g_module, nullptr);
    if (m_window == nullptr) {
      InPlaceDeactivate();
      return E_FAIL;
    }
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(m_window, SW_SHOWNA);
    Record("activate");
    Record("rects " + RectText(pos));
  }
  if (uiActivate && !m_uiActive) {
    m_uiActive = true;
    m_inPlaceSite->OnUIActivate();
    if (m_window != nullptr) SetFocus(m_window);
    auto* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (m_frame) m_frame->SetActiveObject(active, L"Player stand-in");
    if (m_uiWindow) m_uiWindow->SetActiveObject(active, L"Player stand-in");
    if (m_frame) m_frame->SetBorderSpace(nullptr);
    Record("uiactivate");
  }
  return S_OK;
}

// ---- IConnectionPointContainer, IProvideClassInfo2 ----

STDMETHODIMP PlayerControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points == nullptr) return E_POINTER;
  ComPtr<IConnectionPoint> point;
  const HRESULT hr = CreateConnectionPoint(this, m_events, &point);
  return FAILED(hr) ? hr : CreateConnectionPointEnum(point.Get(), points);
}

STDMETHODIMP PlayerControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(riid, kPlayerEventsIid)) return CONNECT_E_NOCONNECTION;
  return CreateConnectionPoint(this, m_events, point);
}

STDMETHODIMP PlayerControl::GetClassInfo(ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PlayerControl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = kPlayerEventsIid;
  return S_OK;
}

// ---- IOleObject ----

STDMETHODIMP PlayerControl::SetClientSite(IOleClientSite* site) {
  m_clientSite = site;
  return S_OK;
}

STDMETHODIMP PlayerControl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = m_clientSite.Get();
  if (*site != nullptr) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP PlayerControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP PlayerControl::Close(DWORD) {
  InPlaceDeactivate();
  if (m_notify != nullptr) KillTimer(m_notify, kReadyTimer);
  m_nextReadyState = 5;
  StopSound();
  if (m_oleAdvise) m_oleAdvise->SendOnClose();
  Record("close");
  return S_OK;
}

STDMETHODIMP PlayerControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP PlayerControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PlayerControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP PlayerControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PlayerControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE: {
      const HRESULT hr = ActivateInPlace(false, activeSite);
      if (SUCCEEDED(hr) && m_window != nullptr && !IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_SHOWNA);
        Record("show");
      }
      return hr;
    }
    case OLEIVERB_UIACTIVATE: {
      const HRESULT hr = ActivateInPlace(true, activeSite);
      if (SUCCEEDED(hr) && m_window != nullptr && !IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_SHOWNA);
        Record("show");
      }
      return hr;
    }
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (m_window != nullptr && IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_HIDE);
        Record("hide");
      }
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    default:
      if (verb > 0) {
        const HRESULT hr = ActivateInPlace(false, activeSite);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
      }
      return E_NOTIMPL;
  }
}

STDMETHODIMP PlayerControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs != nullptr) *verbs = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PlayerControl::Update() { return S_OK; }
STDMETHODIMP PlayerControl::IsUpToDate() { return S_OK; }

STDMETHODIMP PlayerControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP PlayerControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type != nullptr) *type = nullptr;
  return OLE_S_USEREG;
}

STDMETHODIMP PlayerControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  m_extent = *size;
  return S_OK;
}

STDMETHODIMP PlayerControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = m_extent;
  return S_OK;
}

STDMETHODIMP PlayerControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!m_oleAdvise && FAILED(CreateOleAdviseHolder(&m_oleAdvise))) return E_OUTOFMEMORY;
  return m_oleAdvise->Advise(sink, connection);
}

STDMETHODIMP PlayerControl::Unadvise(DWORD connection) {
  return m_oleAdvise ? m_oleAdvise->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP PlayerControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  return m_oleAdvise ? m_oleAdvise->EnumAdvise(advise) : S_OK;
}

STDMETHODIMP PlayerControl::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

STDMETHODIMP PlayerControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject ----

STDMETHODIMP PlayerControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_window;
  return m_window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP PlayerControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP PlayerControl::InPlaceDeactivate() {
  if (!m_inPlaceActive) return S_OK;
  UIDeactivate();
  if (m_window != nullptr) {
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    m_window = nullptr;
  }
  m_inPlaceActive = false;
  const ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite);
  m_frame.Reset();
  m_uiWindow.Reset();
  Record("deactivate");
  if (site) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP PlayerControl::UIDeactivate() {
  if (!m_uiActive) return S_OK;
  m_uiActive = false;
  if (m_uiWindow) m_uiWindow->SetActiveObject(nullptr, nullptr);
  if (m_frame) m_frame->SetActiveObject(nullptr, nullptr);
  Record("uideactivate");
  if (m_inPlaceSite) m_inPlaceSite->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP PlayerControl::SetObjectRects(LPCRECT posRect, LPCRECT) {
  if (posRect == nullptr) return E_INVALIDARG;
  if (m_window != nullptr) {
    MoveWindow(m_window, posRect->left, posRect->top, posRect->right - posRect->left, posRect->bottom - posRect->top,
               TRUE);
  }
  Record("rects " + RectText(*posRect));
  return S_OK;
}

STDMETHODIMP PlayerControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP PlayerControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP PlayerControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP PlayerControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP PlayerControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP PlayerControl::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl ----

STDMETHODIMP PlayerControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP PlayerControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP PlayerControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP PlayerControl::FreezeEvents(BOOL freeze) {
  if (freeze) {
    ++m_freezeCount;
  } else if (m_freezeCount > 0) {
    --m_freezeCount;
  }
  return S_OK;
}

// ---- IViewObject2 ----

STDMETHODIMP PlayerControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds, LPCRECTL,
                                 BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (drawDc == nullptr || bounds == nullptr) return E_INVALIDARG;
  Paint(drawDc, RECT{bounds->left, bounds->top, bounds->right, bounds->bottom});
  return S_OK;
}

STDMETHODIMP PlayerControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors != nullptr) *colors = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PlayerControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP PlayerControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP PlayerControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  m_viewAspects = aspects;
  m_viewFlags = flags;
  m_viewSink = sink;
  return S_OK;
}

STDMETHODIMP PlayerControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = m_viewAspects;
  if (flags != nullptr) *flags = m_viewFlags;
  if (sink != nullptr) {
    *sink = m_viewSink.Get();
    if (*sink != nullptr) (*sink)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP PlayerControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

// ---- IPersist, IPersistStreamInit, IPersistPropertyBag ----

STDMETHODIMP PlayerControl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = kPlayerClsid;
  return S_OK;
}

STDMETHODIMP PlayerControl::IsDirty() { return S_FALSE; }

STDMETHODIMP PlayerControl::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  Record("load stream");
  return S_OK;
}

STDMETHODIMP PlayerControl::Save(IStream* stream, BOOL) { return stream == nullptr ? E_POINTER : S_OK; }

STDMETHODIMP PlayerControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

STDMETHODIMP PlayerControl::InitNew() {
  Record("initnew");
  return S_OK;
}

STDMETHODIMP PlayerControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  Record("load bag");
  for (const Member& p : kBagProperties) {
    unique_variant value;  // VT_EMPTY: the bag answers in its own type
    if (SUCCEEDED(bag->Read(p.name, &value, log)) && value.vt != VT_EMPTY) {
      if (SUCCEEDED(PutProperty(p.id, value, false))) {
        Record("property " + ToUtf8(p.name) + "=" + PropertyText(p.id));
      } else {
        Record("property " + ToUtf8(p.name) + " rejected");
      }
    }
  }
  if (!m_movie.empty()) StartLoad();
  return S_OK;
}

STDMETHODIMP PlayerControl::Save(IPropertyBag* bag, BOOL, BOOL) {
  if (bag == nullptr) return E_POINTER;
  for (const Member& p : kBagProperties) {
    unique_variant value;
    if (SUCCEEDED(GetProperty(p.id, &value))) {
      const HRESULT hr = bag->Write(p.name, &value);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

}  // namespace ravelin::standin
