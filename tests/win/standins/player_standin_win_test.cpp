// The player control stand-in, driven only through its COM surface as the
// launcher's container drives it: registration, late-bound calls, events,
// stored properties, in-place hosting, its sound and its cleanup.
#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using Microsoft::WRL::ComPtr;
using ravelin::testkit::ClearStandinFile;
using ravelin::testkit::ExeDir;
using ravelin::testkit::ReadStandinLines;
using ravelin::testkit::RegisterStandin;
using ravelin::testkit::StandinFile;
using ravelin::testkit::WriteWholeFile;

GUID Guid(const wchar_t* text) {
  GUID g{};
  EXPECT_EQ(CLSIDFromString(text, &g), S_OK);
  return g;
}

const GUID kClsid = Guid(L"{D27CDB6E-AE6D-11CF-96B8-444553540000}");
const GUID kPlayerIid = Guid(L"{D27CDB6C-AE6D-11CF-96B8-444553540000}");
const GUID kEventsIid = Guid(L"{D27CDB6D-AE6D-11CF-96B8-444553540000}");
constexpr DISPID kReadyStateChange = -609;
constexpr wchar_t kDll[] = L"player_standin.dll";

// ---- Small helpers ----

// Runs the thread's messages until `done` or the time is up.
template <class Done>
bool PumpUntil(Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void Pump(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

VARIANT Bstr(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT Null() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_NULL;
  return v;
}

VARIANT ByRef(BSTR* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = text;
  return v;
}

std::wstring Text(const VARIANT& v) {
  return v.vt == VT_BSTR && v.bstrVal != nullptr ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<not text>";
}

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

struct CallResult {
  HRESULT hr = E_UNEXPECTED;
  Var result;
  EXCEPINFO exception{};
  UINT argError = 12345;
  ~CallResult() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
};

DISPID IdOf(IDispatch* d, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << Utf8(name);
  return id;
}

// Calls by id with arguments in their natural order (rgvarg is reversed);
// the arguments are cleared afterwards.
void InvokeId(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, CallResult& out,
              std::vector<DISPID> named = {}) {
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
  out.hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &out.result.v, &out.exception, &out.argError);
  for (VARIANT& v : args) VariantClear(&v);
}

HRESULT Method(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args = {}) {
  CallResult r;
  InvokeId(d, IdOf(d, name), DISPATCH_METHOD, std::move(args), r);
  return r.hr;
}

HRESULT Put(IDispatch* d, const wchar_t* name, VARIANT value) {
  CallResult r;
  InvokeId(d, IdOf(d, name), DISPATCH_PROPERTYPUT, {value}, r, {DISPID_PROPERTYPUT});
  return r.hr;
}

// The property's value as text ("true"/"false" for booleans).
std::wstring Get(IDispatch* d, const wchar_t* name) {
  CallResult r;
  InvokeId(d, IdOf(d, name), DISPATCH_PROPERTYGET, {}, r);
  EXPECT_EQ(r.hr, S_OK) << Utf8(name);
  switch (r.result.v.vt) {
    case VT_BSTR:
      return Text(r.result.v);
    case VT_I4:
      return std::to_wstring(r.result.v.lVal);
    case VT_BOOL:
      return r.result.v.boolVal ? L"true" : L"false";
    default:
      return L"<vt " + std::to_wstring(r.result.v.vt) + L">";
  }
}

std::wstring CallFunction(IDispatch* d, const wchar_t* request, HRESULT* hr = nullptr) {
  CallResult r;
  InvokeId(d, IdOf(d, L"CallFunction"), DISPATCH_METHOD, {Bstr(request)}, r);
  if (hr != nullptr) *hr = r.hr;
  return r.hr == S_OK ? Text(r.result.v) : L"";
}

std::vector<std::string> Log() { return ReadStandinLines(L"player.log"); }
std::vector<std::string> WaveLog() { return ReadStandinLines(L"waveout.log"); }

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& pattern) {
  std::vector<std::string> out;
  const std::regex re(pattern);
  for (const std::string& l : lines) {
    if (std::regex_match(l, re)) out.push_back(l);
  }
  return out;
}

void WritePlayerIni(const std::string& text) { ASSERT_TRUE(WriteWholeFile(StandinFile(L"player.ini"), text)); }

// ---- Test-side COM objects: event sink, property bag, in-place site ----

// A new object with its one reference. (MinGW's ComPtr::Attach adds a
// reference of its own, unlike Microsoft's, so it cannot adopt one.)
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  ComPtr<T> p;
  *p.GetAddressOf() = new T(std::forward<Args>(args)...);
  return p;
}

template <class Derived>
class RefCounted {
 public:
  ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG ReleaseImpl() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }
  LONG Refs() const { return m_refs; }

 private:
  LONG m_refs = 1;
};

class EventSink final : public IDispatch, public RefCounted<EventSink> {
 public:
  std::vector<LONG> states;
  std::vector<DWORD> threads;
  int malformed = 0;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kEventsIid)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == kReadyStateChange && (flags & DISPATCH_METHOD) && params != nullptr && params->cArgs == 1 &&
        params->cNamedArgs == 0 && params->rgvarg[0].vt == VT_I4) {
      states.push_back(params->rgvarg[0].lVal);
      threads.push_back(GetCurrentThreadId());
    } else {
      ++malformed;
    }
    return S_OK;
  }
};

class PropertyBag final : public IPropertyBag, public RefCounted<PropertyBag> {
 public:
  std::vector<std::wstring> asked;

  ~PropertyBag() {
    for (auto& [name, value] : m_values) VariantClear(&value);
  }
  void Set(const wchar_t* name, VARIANT value) { m_values[name] = value; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag)) {
      *ppv = static_cast<IPropertyBag*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    asked.push_back(name);
    const auto it = m_values.find(name);
    if (it == m_values.end()) return E_INVALIDARG;
    if (value->vt == VT_EMPTY) return VariantCopy(value, &it->second);
    return VariantChangeType(value, &it->second, 0, value->vt);
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::map<std::wstring, VARIANT> m_values;
};

class InPlaceSite final : public IOleClientSite, public IOleInPlaceSite, public RefCounted<InPlaceSite> {
 public:
  InPlaceSite(HWND parent, RECT pos) : m_parent(parent), m_pos(pos) {}
  std::vector<std::string> calls;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *ppv = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *ppv = static_cast<IOleInPlaceSite*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  STDMETHODIMP GetWindow(HWND* hwnd) override {
    calls.push_back("GetWindow");
    *hwnd = m_parent;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override {
    calls.push_back("CanInPlaceActivate");
    return S_OK;
  }
  STDMETHODIMP OnInPlaceActivate() override {
    calls.push_back("OnInPlaceActivate");
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override {
    calls.push_back("OnUIActivate");
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    calls.push_back("GetWindowContext");
    *frame = nullptr;
    *doc = nullptr;
    *pos = m_pos;
    *clip = m_pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_parent;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override {
    calls.push_back("OnUIDeactivate");
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivate() override {
    calls.push_back("OnInPlaceDeactivate");
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

 private:
  HWND m_parent;
  RECT m_pos;
};

// A plain top-level window to host the control in.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PlayerStandinTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClassW(&wc);
    m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                             900, 700, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~HostWindow() { DestroyWindow(m_hwnd); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND Get() const { return m_hwnd; }

 private:
  HWND m_hwnd;
};

RECT ChildRect(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool IsDark(COLORREF c) { return GetRValue(c) < 64 && GetGValue(c) < 64 && GetBValue(c) < 64; }
bool IsBright(COLORREF c) { return GetRValue(c) > 160 && GetGValue(c) > 160 && GetBValue(c) > 160; }

// Message-only windows of this thread (timers of a control live in one).
int MessageOnlyWindowsOfThisThread() {
  int count = 0;
  HWND w = nullptr;
  while ((w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) != nullptr) {
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) ++count;
  }
  return count;
}

// Replaces one import of a loaded module, the way a hook would, so the test
// can touch the buffers the control hands to waveOutWrite.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
      if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
          m_slot = reinterpret_cast<void**>(&slots->u1.Function);
        }
      }
    }
    if (m_slot == nullptr) return;
    m_original = Swap(replacement);
  }
  ~ImportPatch() {
    if (m_slot != nullptr) Swap(m_original);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  void* Original() const { return m_original; }

 private:
  void* Swap(void* value) {
    DWORD old = 0;
    VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
    void* previous = InterlockedExchangePointer(m_slot, value);
    VirtualProtect(m_slot, sizeof(void*), old, &old);
    return previous;
  }
  void** m_slot = nullptr;
  void* m_original = nullptr;
};

using WaveOutWriteFn = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);
WaveOutWriteFn g_realWaveOutWrite = nullptr;

// What a mute does: the data is silenced before the device gets it.
MMRESULT WINAPI ZeroingWaveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT size) {
  if (header != nullptr && header->lpData != nullptr) ZeroMemory(header->lpData, header->dwBufferLength);
  return g_realWaveOutWrite(device, header, size);
}

// ---- Fixture ----

class PlayerStandin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(RegisterStandin(kDll));
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    ASSERT_FALSE(StandinFile(L"player.log").empty()) << "RAVELIN_STANDIN_DIR is not set";
    ClearStandinFile(L"player.ini");
    ClearStandinFile(L"player.log");
    ClearStandinFile(L"waveout.log");
  }

  static ComPtr<IDispatch> Create() {
    ComPtr<IDispatch> player;
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kPlayerIid,
                               reinterpret_cast<void**>(player.GetAddressOf())),
              S_OK);
    return player;
  }

  static HRESULT CanUnloadNow() {
    using Fn = HRESULT(WINAPI*)();
    const auto fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(kDll), "DllCanUnloadNow")));
    return fn != nullptr ? fn() : E_FAIL;
  }

  // Connects a new sink to the control's event interface.
  static ComPtr<EventSink> Connect(IDispatch* player, DWORD* cookie, ComPtr<IConnectionPoint>* pointOut = nullptr) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(player->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(kEventsIid, &point), S_OK);
    ComPtr<EventSink> sink = MakeCom<EventSink>();
    EXPECT_EQ(point->Advise(sink.Get(), cookie), S_OK);
    if (pointOut != nullptr) *pointOut = point;
    return sink;
  }

  static bool WaitForBuffers(std::size_t count) {
    return PumpUntil([&] { return Matching(WaveLog(), "buffer \\d+ .*").size() >= count; }, 20s);
  }
};

// ---- Registration and identity ----

TEST_F(PlayerStandin, RegistersMachineWideInItsOwnPathAndUnregisters) {
  const std::wstring key = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32";
  const auto read = [&](const wchar_t* name) -> std::wstring {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
      return L"<missing>";
    }
    return data;
  };
  const std::wstring expected = ExeDir() + L"\\" + kDll;
  EXPECT_EQ(_wcsicmp(read(nullptr).c_str(), expected.c_str()), 0) << Utf8(read(nullptr));
  EXPECT_EQ(read(L"ThreadingModel"), L"Apartment");
  // Machine-wide: the per-user class tree is not where it went.
  HKEY user = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), 0, KEY_READ, &user),
            ERROR_SUCCESS);

  using Fn = HRESULT(WINAPI*)();
  const HMODULE module = GetModuleHandleW(kDll);
  ASSERT_NE(module, nullptr);
  const auto unregister = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  ASSERT_NE(unregister, nullptr);
  EXPECT_EQ(unregister(), S_OK);
  EXPECT_EQ(read(nullptr), L"<missing>");
  ComPtr<IUnknown> none;
  EXPECT_NE(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&none)), S_OK);
  ASSERT_TRUE(RegisterStandin(kDll));
  EXPECT_EQ(read(L"ThreadingModel"), L"Apartment");
}

TEST_F(PlayerStandin, AnswersThePlayerInterfacesWithOneIdentity) {
  ComPtr<IDispatch> player = Create();
  ASSERT_TRUE(player);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(player->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);

  // The player interface and IDispatch are the same late-bound object.
  for (const IID& iid : {IID_IDispatch, kPlayerIid}) {
    ComPtr<IUnknown> p;
    ASSERT_EQ(player->QueryInterface(iid, reinterpret_cast<void**>(p.GetAddressOf())), S_OK);
    EXPECT_EQ(p.Get(), static_cast<IUnknown*>(player.Get()));
  }
  const IID hosting[] = {IID_IConnectionPointContainer,
                         IID_IProvideClassInfo,
                         IID_IProvideClassInfo2,
                         IID_IOleObject,
                         IID_IOleWindow,
                         IID_IOleInPlaceObject,
                         IID_IOleInPlaceActiveObject,
                         IID_IOleControl,
                         IID_IViewObject,
                         IID_IViewObject2,
                         IID_IPersist,
                         IID_IPersistStreamInit,
                         IID_IPersistPropertyBag};
  for (const IID& iid : hosting) {
    ComPtr<IUnknown> p;
    ASSERT_EQ(player->QueryInterface(iid, reinterpret_cast<void**>(p.GetAddressOf())), S_OK);
    ComPtr<IUnknown> back;
    ASSERT_EQ(p->QueryInterface(IID_PPV_ARGS(&back)), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
  }
  ComPtr<IUnknown> no;
  EXPECT_EQ(player->QueryInterface(kEventsIid, reinterpret_cast<void**>(no.GetAddressOf())), E_NOINTERFACE);
  EXPECT_EQ(player->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(no.GetAddressOf())), E_NOINTERFACE);

  UINT typeInfos = 99;
  EXPECT_EQ(player->GetTypeInfoCount(&typeInfos), S_OK);
  EXPECT_EQ(typeInfos, 0u);

  ComPtr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(player.As(&classInfo), S_OK);
  GUID source{};
  EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_TRUE(IsEqualGUID(source, kEventsIid));

  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(player.As(&persist), S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kClsid));
  EXPECT_EQ(persist->InitNew(), S_OK);

  ComPtr<IOleObject> ole;
  ASSERT_EQ(player.As(&ole), S_OK);
  DWORD misc = 0;
  EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  const DWORD wanted =
      OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_RECOMPOSEONRESIZE;
  EXPECT_EQ(misc & wanted, wanted);

  ComPtr<IOleControl> control;
  ASSERT_EQ(player.As(&control), S_OK);
  CONTROLINFO info{};
  info.cb = sizeof(info);
  EXPECT_EQ(control->GetControlInfo(&info), S_OK);

  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(player.As(&active), S_OK);
  MSG msg{};
  EXPECT_EQ(active->TranslateAccelerator(&msg), S_FALSE);
}

// ---- Late-bound calls ----

TEST_F(PlayerStandin, FindsEveryMemberByNameInAnyCase) {
  ComPtr<IDispatch> player = Create();
  const wchar_t* members[] = {L"LoadMovie", L"Play",    L"CallFunction", L"Movie",
                              L"WMode",     L"Quality", L"ScaleMode",    L"AllowNetworking",
                              L"Playing",   L"Loop",    L"Menu",         L"ReadyState"};
  std::vector<DISPID> ids;
  for (const wchar_t* name : members) {
    std::wstring lower = name, upper = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    std::transform(upper.begin(), upper.end(), upper.begin(), towupper);
    const DISPID id = IdOf(player.Get(), name);
    EXPECT_EQ(IdOf(player.Get(), lower.c_str()), id) << Utf8(name);
    EXPECT_EQ(IdOf(player.Get(), upper.c_str()), id) << Utf8(name);
    ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "two members share a dispatch id";

  for (const wchar_t* unknown : {L"GotoFrame", L"LoadMovies", L"", L"Movie "}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(unknown)};
    DISPID id = 0;
    EXPECT_EQ(player->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
  }
}

TEST_F(PlayerStandin, RejectsBadCallsWithTheDispatchErrors) {
  ComPtr<IDispatch> player = Create();
  IDispatch* p = player.Get();
  const DISPID loadMovie = IdOf(p, L"LoadMovie"), play = IdOf(p, L"Play"), call = IdOf(p, L"CallFunction");
  const DISPID readyState = IdOf(p, L"ReadyState"), wmode = IdOf(p, L"WMode");
  struct Case {
    const char* what;
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;
    std::vector<DISPID> named;
    HRESULT expected;
    UINT argError;  // rgvarg index, checked when not 12345
  };
  std::vector<Case> cases;
  cases.push_back(
      {"LoadMovie with one argument", loadMovie, DISPATCH_METHOD, {I4(0)}, {}, DISP_E_BADPARAMCOUNT, 12345});
  cases.push_back({"LoadMovie with three arguments",
                   loadMovie,
                   DISPATCH_METHOD,
                   {I4(0), Bstr(L"a"), I4(1)},
                   {},
                   DISP_E_BADPARAMCOUNT,
                   12345});
  cases.push_back({"Play with an argument", play, DISPATCH_METHOD, {I4(1)}, {}, DISP_E_BADPARAMCOUNT, 12345});
  cases.push_back({"CallFunction without the request", call, DISPATCH_METHOD, {}, {}, DISP_E_BADPARAMCOUNT, 12345});
  cases.push_back(
      {"LoadMovie with a null url", loadMovie, DISPATCH_METHOD, {I4(0), Null()}, {}, DISP_E_TYPEMISMATCH, 0});
  cases.push_back({"LoadMovie with a layer that is no number",
                   loadMovie,
                   DISPATCH_METHOD,
                   {Bstr(L"top"), Bstr(L"http://127.0.0.1/movie")},
                   {},
                   DISP_E_TYPEMISMATCH,
                   1});
  cases.push_back({"CallFunction with a null request", call, DISPATCH_METHOD, {Null()}, {}, DISP_E_TYPEMISMATCH, 0});
  cases.push_back({"LoadMovie with named arguments",
                   loadMovie,
                   DISPATCH_METHOD,
                   {I4(0), Bstr(L"a")},
                   {0, 1},
                   DISP_E_NONAMEDARGS,
                   12345});
  cases.push_back({"getting a method", play, DISPATCH_PROPERTYGET, {}, {}, DISP_E_MEMBERNOTFOUND, 12345});
  cases.push_back({"putting ReadyState",
                   readyState,
                   DISPATCH_PROPERTYPUT,
                   {I4(4)},
                   {DISPID_PROPERTYPUT},
                   DISP_E_MEMBERNOTFOUND,
                   12345});
  cases.push_back(
      {"getting a property with an argument", wmode, DISPATCH_PROPERTYGET, {I4(1)}, {}, DISP_E_BADPARAMCOUNT, 12345});
  cases.push_back({"putting without a value", wmode, DISPATCH_PROPERTYPUT, {}, {}, DISP_E_BADPARAMCOUNT, 12345});
  cases.push_back({"an unknown id", 7777, DISPATCH_METHOD, {}, {}, DISP_E_MEMBERNOTFOUND, 12345});
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    CallResult r;
    InvokeId(p, c.id, c.flags, std::move(c.args), r, c.named);
    EXPECT_EQ(r.hr, c.expected);
    if (c.argError != 12345) {
      EXPECT_EQ(r.argError, c.argError);
    }
  }
  DISPPARAMS none{};
  EXPECT_EQ(p->Invoke(play, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // None of the rejected calls reached the control.
  EXPECT_TRUE(Matching(Log(), "LoadMovie .*|Play|CallFunction .*").empty());
}

TEST_F(PlayerStandin, PropertiesStartWithDefaultsAndTakeValuesOfAnyConvertibleType) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  IDispatch* p = player.Get();
  EXPECT_EQ(Get(p, L"Movie"), L"");
  EXPECT_EQ(Get(p, L"WMode"), L"Window");
  EXPECT_EQ(Get(p, L"Quality"), L"High");
  EXPECT_EQ(Get(p, L"ScaleMode"), L"0");
  EXPECT_EQ(Get(p, L"AllowNetworking"), L"all");
  EXPECT_EQ(Get(p, L"Playing"), L"true");
  EXPECT_EQ(Get(p, L"Loop"), L"true");
  EXPECT_EQ(Get(p, L"Menu"), L"true");

  BSTR byRef = SysAllocString(L"Transparent");
  struct Case {
    const wchar_t* name;
    VARIANT value;
    const wchar_t* expected;
  } cases[] = {
      {L"WMode", ByRef(&byRef), L"Transparent"},
      {L"Quality", Bstr(L"Low"), L"Low"},
      {L"Quality", I4(1), L"1"},
      {L"ScaleMode", Bstr(L"NoScale"), L"3"},
      {L"ScaleMode", Bstr(L"2"), L"2"},
      {L"AllowNetworking", Bstr(L"internal"), L"internal"},
      {L"Loop", Bstr(L"false"), L"false"},
      {L"Menu", I4(0), L"false"},
      {L"Menu", Bool(true), L"true"},
      {L"Playing", Bstr(L"FALSE"), L"false"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(Utf8(c.name) + "=" + Utf8(c.expected));
    EXPECT_EQ(Put(p, c.name, c.value), S_OK);
    EXPECT_EQ(Get(p, c.name), c.expected);
  }
  SysFreeString(byRef);
  EXPECT_EQ(Put(p, L"Loop", Bstr(L"sometimes")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Get(p, L"Loop"), L"false");

  const auto log = Log();
  EXPECT_TRUE(Has(log, "put WMode=Transparent"));
  EXPECT_TRUE(Has(log, "put ScaleMode=3"));
  EXPECT_TRUE(Has(log, "put Playing=false"));
}

TEST_F(PlayerStandin, LoadMovieAndPlayAreRecordedWithTheirArguments) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  IDispatch* p = player.Get();
  BSTR url = SysAllocString(L"http://127.0.0.1/game/movie.swf?lang=tr&x=1");
  EXPECT_EQ(Method(p, L"LoadMovie", {Bstr(L"0"), ByRef(&url)}), S_OK);
  SysFreeString(url);
  EXPECT_EQ(Get(p, L"Movie"), L"http://127.0.0.1/game/movie.swf?lang=tr&x=1");
  EXPECT_EQ(Method(p, L"Play"), S_OK);
  EXPECT_EQ(Get(p, L"Playing"), L"true");
  const auto log = Log();
  ASSERT_GE(log.size(), 1u);
  EXPECT_EQ(log.front(), "create");
  EXPECT_TRUE(Has(log, "LoadMovie 0 http://127.0.0.1/game/movie.swf?lang=tr&x=1"));
  EXPECT_TRUE(Has(log, "Play"));
  EXPECT_TRUE(Has(log, "sound disabled"));
}

// ---- CallFunction ----

TEST_F(PlayerStandin, CallFunctionAnswersWhatTheSettingsSayForEachName) {
  WritePlayerIni(
      "[answers]\n"
      "SetIsDesktop=string:desk <ok> & \"fine\"\n"
      "getUnfinishedInfo=null\n"
      "Broken=error\n"
      "Flag=true\n"
      "Count=number:42\n"
      "Raw=xml:<object><property id=\"a\"><string>b</string></property></object>\n");
  ComPtr<IDispatch> player = Create();
  IDispatch* p = player.Get();
  const wchar_t desktop[] = L"<invoke name=\"SetIsDesktop\" returntype=\"xml\"><arguments><true/></arguments></invoke>";
  struct Case {
    const wchar_t* request;
    const wchar_t* answer;
  } cases[] = {
      {desktop, L"<string>desk &lt;ok&gt; &amp; \"fine\"</string>"},
      {L"<invoke name=\"getUnfinishedInfo\" returntype=\"xml\"><arguments></arguments></invoke>", L"<null/>"},
      {L"<invoke name='Flag' returntype='xml'><arguments/></invoke>", L"<true/>"},
      {L"<invoke name=\"Count\" returntype=\"xml\"/>", L"<number>42</number>"},
      {L"<invoke name=\"Raw\" returntype=\"xml\"/>",
       L"<object><property id=\"a\"><string>b</string></property></object>"},
      {L"<invoke name=\"NotConfigured\" returntype=\"xml\"/>", L"<null/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.request));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(CallFunction(p, c.request, &hr), c.answer);
    EXPECT_EQ(hr, S_OK);
  }

  CallResult failed;
  InvokeId(p, IdOf(p, L"CallFunction"), DISPATCH_METHOD, {Bstr(L"<invoke name=\"Broken\" returntype=\"xml\"/>")},
           failed);
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_TRUE(FAILED(failed.exception.scode));
  EXPECT_NE(failed.exception.bstrDescription, nullptr);

  // Settings are read at each call, and calls are counted per name.
  WritePlayerIni("[answers]\nSetIsDesktop=null\ndefault=false\n");
  EXPECT_EQ(CallFunction(p, desktop), L"<null/>");
  EXPECT_EQ(CallFunction(p, L"<invoke name=\"NotConfigured\" returntype=\"xml\"/>"), L"<false/>");

  const auto log = Log();
  EXPECT_TRUE(Has(log, "CallFunction SetIsDesktop -> string count=1 request=" + Utf8(desktop)));
  EXPECT_TRUE(Has(log, "CallFunction SetIsDesktop -> null count=2 request=" + Utf8(desktop)));
  EXPECT_TRUE(Has(log, "CallFunction Broken -> error count=1 request=<invoke name=\"Broken\" returntype=\"xml\"/>"));
  EXPECT_EQ(Matching(log, "CallFunction NotConfigured -> (null|false) count=\\d .*").size(), 2u);
  EXPECT_EQ(Matching(log, "CallFunction getUnfinishedInfo -> null count=1 .*").size(), 1u);
}

TEST_F(PlayerStandin, CallFunctionTakesUtf16SettingsAndKeepsTextBeyondAscii) {
  ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(
      L"player.ini", L"[answers]\r\ngetUnfinishedInfo=string:Oyun yarıda kaldı, devam?\r\n"));
  ComPtr<IDispatch> player = Create();
  EXPECT_EQ(CallFunction(player.Get(), L"<invoke name=\"getUnfinishedInfo\" returntype=\"xml\"><arguments/></invoke>"),
            L"<string>Oyun yarıda kaldı, devam?</string>");
}

// ---- Events ----

TEST_F(PlayerStandin, LoadMovieFiresReadyStatesUpToFourOnTheCreatingThread) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  DWORD cookie = 0;
  ComPtr<IConnectionPoint> point;
  ComPtr<EventSink> sink = Connect(player.Get(), &cookie, &point);
  EXPECT_NE(cookie, 0u);

  ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
  // Fired from the message loop, not from inside the call.
  EXPECT_TRUE(sink->states.empty());
  ASSERT_TRUE(PumpUntil([&] { return !sink->states.empty() && sink->states.back() == 4; }, 10s));
  EXPECT_EQ(sink->states, (std::vector<LONG>{0, 1, 2, 3, 4}));
  for (DWORD thread : sink->threads) EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_EQ(sink->malformed, 0);
  EXPECT_EQ(Get(player.Get(), L"ReadyState"), L"4");
  const auto log = Log();
  EXPECT_EQ(Matching(log, "readystate \\d").size(), 5u);

  // A second movie starts over; a sink that left hears nothing more.
  DWORD secondCookie = 0;
  ComPtr<EventSink> second = Connect(player.Get(), &secondCookie);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(&connections), S_OK);
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  connections->Next(4, data, &fetched);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/other.swf")}), S_OK);
  EXPECT_EQ(Get(player.Get(), L"ReadyState"), L"0");
  ASSERT_TRUE(PumpUntil([&] { return !second->states.empty() && second->states.back() == 4; }, 10s));
  EXPECT_EQ(second->states, (std::vector<LONG>{0, 1, 2, 3, 4}));
  EXPECT_EQ(sink->states.size(), 5u);
  EXPECT_EQ(point->Unadvise(secondCookie), S_OK);
}

TEST_F(PlayerStandin, ConnectionPointsAreFoundByEnumerationOnlyForTheEventInterface) {
  ComPtr<IDispatch> player = Create();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(player.As(&container), S_OK);
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, &other), CONNECT_E_NOCONNECTION);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* found[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  IID iid{};
  EXPECT_EQ(found[0]->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualGUID(iid, kEventsIid));
  ComPtr<IConnectionPointContainer> back;
  EXPECT_EQ(found[0]->GetConnectionPointContainer(&back), S_OK);
  EXPECT_EQ(back.Get(), container.Get());
  found[0]->Release();

  EXPECT_EQ(points->Reset(), S_OK);
  ComPtr<IEnumConnectionPoints> clone;
  ASSERT_EQ(points->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(1, found, nullptr), S_OK);
  found[0]->Release();
}

TEST_F(PlayerStandin, FrozenEventsAreHeldBackAndDeliveredOnThaw) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  DWORD cookie = 0;
  ComPtr<EventSink> sink = Connect(player.Get(), &cookie);
  ComPtr<IOleControl> control;
  ASSERT_EQ(player.As(&control), S_OK);
  EXPECT_EQ(control->FreezeEvents(TRUE), S_OK);
  ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
  Pump(300ms);
  EXPECT_TRUE(sink->states.empty());
  EXPECT_EQ(control->FreezeEvents(FALSE), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !sink->states.empty() && sink->states.back() == 4; }, 10s));
  EXPECT_EQ(sink->states, (std::vector<LONG>{0, 1, 2, 3, 4}));
}

// ---- Stored properties ----

TEST_F(PlayerStandin, PropertyBagSuppliesStoredPropertiesAndMissingOnesKeepDefaults) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  ComPtr<PropertyBag> bag = MakeCom<PropertyBag>();
  bag->Set(L"WMode", Bstr(L"Opaque"));
  bag->Set(L"Quality", Bstr(L"Low"));
  bag->Set(L"ScaleMode", Bstr(L"ExactFit"));
  bag->Set(L"AllowNetworking", Bstr(L"internal"));
  bag->Set(L"Play", Bool(false));
  bag->Set(L"Loop", Bstr(L"0"));
  bag->Set(L"Menu", I4(0));

  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(player.As(&persist), S_OK);
  EXPECT_EQ(persist->InitNew(), S_OK);
  EXPECT_EQ(persist->Load(bag.Get(), nullptr), S_OK);

  for (const wchar_t* name :
       {L"Movie", L"WMode", L"Quality", L"ScaleMode", L"AllowNetworking", L"Play", L"Loop", L"Menu", L"FullScreen"}) {
    EXPECT_NE(std::find(bag->asked.begin(), bag->asked.end(), name), bag->asked.end()) << Utf8(name);
  }
  EXPECT_EQ(Get(player.Get(), L"WMode"), L"Opaque");
  EXPECT_EQ(Get(player.Get(), L"Quality"), L"Low");
  EXPECT_EQ(Get(player.Get(), L"ScaleMode"), L"2");
  EXPECT_EQ(Get(player.Get(), L"AllowNetworking"), L"internal");
  EXPECT_EQ(Get(player.Get(), L"Playing"), L"false");
  EXPECT_EQ(Get(player.Get(), L"Loop"), L"false");
  EXPECT_EQ(Get(player.Get(), L"Menu"), L"false");
  EXPECT_EQ(Get(player.Get(), L"Movie"), L"");
  EXPECT_EQ(Get(player.Get(), L"FullScreen"), L"false");

  const auto log = Log();
  for (const char* line :
       {"property WMode=Opaque", "property Quality=Low", "property ScaleMode=2", "property AllowNetworking=internal",
        "property Play=false", "property Loop=false", "property Menu=false"}) {
    EXPECT_TRUE(Has(log, line)) << line;
  }
  EXPECT_TRUE(Matching(log, "property (Movie|FullScreen)=.*").empty());
  // Nothing loads, nothing plays.
  Pump(200ms);
  EXPECT_TRUE(Matching(Log(), "readystate .*|sound .*").empty());
}

TEST_F(PlayerStandin, AStoredMovieLoadsWithoutALoadMovieCall) {
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  DWORD cookie = 0;
  ComPtr<EventSink> sink = Connect(player.Get(), &cookie);
  ComPtr<PropertyBag> bag = MakeCom<PropertyBag>();
  bag->Set(L"Movie", Bstr(L"http://127.0.0.1/stored.swf"));
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(player.As(&persist), S_OK);
  EXPECT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !sink->states.empty() && sink->states.back() == 4; }, 10s));
  EXPECT_TRUE(Has(Log(), "property Movie=http://127.0.0.1/stored.swf"));
  EXPECT_TRUE(Has(Log(), "sound disabled"));  // Play stayed on
}

// ---- Hosting ----

TEST_F(PlayerStandin, InPlaceActivationMakesAChildWindowAtTheSiteRectAndCloseRemovesIt) {
  WritePlayerIni("[audio]\nenabled=0\n");
  HostWindow host;
  ASSERT_NE(host.Get(), nullptr);
  const RECT pos{10, 20, 650, 500};
  ComPtr<InPlaceSite> site = MakeCom<InPlaceSite>(host.Get(), pos);
  ComPtr<IDispatch> player = Create();
  ComPtr<IOleObject> ole;
  ASSERT_EQ(player.As(&ole), S_OK);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(player.As(&inPlace), S_OK);

  ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
  ComPtr<IOleClientSite> gotSite;
  EXPECT_EQ(ole->GetClientSite(&gotSite), S_OK);
  EXPECT_EQ(gotSite.Get(), static_cast<IOleClientSite*>(site.Get()));
  gotSite.Reset();
  HWND none = nullptr;
  EXPECT_NE(inPlace->GetWindow(&none), S_OK);

  ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, host.Get(), &pos), S_OK);
  EXPECT_EQ(site->calls,
            (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindow", "GetWindowContext"}));
  HWND child = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&child), S_OK);
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(GetParent(child), host.Get());
  EXPECT_TRUE(GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD);
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(SameRect(ChildRect(child), pos));

  // It paints itself: dark, with light text on it.
  ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
  Pump(300ms);
  UpdateWindow(child);
  HDC dc = GetDC(child);
  EXPECT_TRUE(IsDark(GetPixel(dc, 2, 2))) << std::hex << GetPixel(dc, 2, 2);
  bool bright = false;
  for (int y = 0; y < 60 && !bright; ++y) {
    for (int x = 0; x < 200 && !bright; ++x) bright = IsBright(GetPixel(dc, x, y));
  }
  EXPECT_TRUE(bright) << "no text painted";
  ReleaseDC(child, dc);

  const RECT moved{0, 0, 320, 240};
  EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
  EXPECT_TRUE(SameRect(ChildRect(child), moved));

  site->calls.clear();
  EXPECT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site.Get(), 0, host.Get(), &moved), S_OK);
  EXPECT_EQ(site->calls, (std::vector<std::string>{"OnUIActivate"}));
  EXPECT_EQ(ole->DoVerb(OLEIVERB_HIDE, nullptr, site.Get(), 0, host.Get(), &moved), S_OK);
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_EQ(site->calls, (std::vector<std::string>{"OnUIActivate", "OnUIDeactivate"}));
  EXPECT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, site.Get(), 0, host.Get(), &moved), S_OK);
  EXPECT_TRUE(IsWindowVisible(child));

  site->calls.clear();
  EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(site->calls, (std::vector<std::string>{"OnInPlaceDeactivate"}));
  EXPECT_NE(inPlace->GetWindow(&none), S_OK);
  EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
  ole.Reset();
  inPlace.Reset();
  player.Reset();
  EXPECT_EQ(site->Refs(), 1) << "the control kept the site";

  const auto log = Log();
  const std::vector<std::string> hosting = Matching(log,
                                                    "activate|uiactivate|uideactivate|show|hide|deactivate|"
                                                    "rects .*|close|destroy");
  EXPECT_EQ(hosting, (std::vector<std::string>{"activate", "rects 10,20,650,500", "rects 0,0,320,240", "uiactivate",
                                               "uideactivate", "hide", "show", "deactivate", "close", "destroy"}));
}

TEST_F(PlayerStandin, InPlaceDeactivateReturnsTheSiteToItsOwnWindowOnly) {
  HostWindow host;
  const RECT pos{0, 0, 400, 300};
  ComPtr<InPlaceSite> site = MakeCom<InPlaceSite>(host.Get(), pos);
  ComPtr<IDispatch> player = Create();
  ComPtr<IOleObject> ole;
  ASSERT_EQ(player.As(&ole), S_OK);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(player.As(&inPlace), S_OK);
  ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
  ASSERT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, site.Get(), 0, host.Get(), &pos), S_OK);
  HWND child = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&child), S_OK);
  EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_TRUE(IsWindow(host.Get()));
  EXPECT_EQ(site->calls.back(), "OnInPlaceDeactivate");
  // And it can come back.
  ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, host.Get(), &pos), S_OK);
  ASSERT_EQ(inPlace->GetWindow(&child), S_OK);
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
  ole->SetClientSite(nullptr);
}

TEST_F(PlayerStandin, DrawPaintsTheSamePictureIntoAnyDeviceContext) {
  ComPtr<IDispatch> player = Create();
  ComPtr<IViewObject2> view;
  ASSERT_EQ(player.As(&view), S_OK);
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 320, 120);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 320, 120};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

  const RECTL bounds{0, 0, 320, 120};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  EXPECT_TRUE(IsDark(GetPixel(dc, 1, 1)));
  EXPECT_TRUE(IsDark(GetPixel(dc, 318, 118)));
  int bright = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 320; ++x) bright += IsBright(GetPixel(dc, x, y)) ? 1 : 0;
  }
  EXPECT_GT(bright, 20) << "no text drawn";
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), DV_E_DVASPECT);

  SIZEL extent{};
  EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
  EXPECT_GT(extent.cx, 0);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(player.As(&ole), S_OK);
  SIZEL wanted{10000, 5000};
  EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &wanted), S_OK);
  EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
  EXPECT_EQ(extent.cx, 10000);
  EXPECT_EQ(extent.cy, 5000);

  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// ---- Sound ----

TEST_F(PlayerStandin, PlayingWritesToneBuffersThroughWaveOutUntilClosed) {
  ComPtr<IDispatch> player = Create();
  ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
  ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
  ASSERT_TRUE(WaitForBuffers(3)) << "waveout.log has " << WaveLog().size() << " lines";

  std::vector<std::string> lines = WaveLog();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "open bits=16 channels=2 rate=44100 result=0");
  EXPECT_EQ(lines[1], "unprepared result=" + std::to_string(WAVERR_UNPREPARED));
  const std::vector<std::string> buffers = Matching(lines, "buffer .*");
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    EXPECT_EQ(buffers[i], "buffer " + std::to_string(i + 1) + " bits=16 zeroed=0 result=0");
  }
  EXPECT_EQ(Matching(Log(), "sound .*"), (std::vector<std::string>{"sound start bits=16"}));

  ComPtr<IOleObject> ole;
  ASSERT_EQ(player.As(&ole), S_OK);
  EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
  lines = WaveLog();
  EXPECT_EQ(lines.back(), "close");
  Pump(300ms);
  EXPECT_EQ(WaveLog().size(), lines.size()) << "buffers written after close";
  EXPECT_TRUE(Has(Log(), "sound stop"));
}

TEST_F(PlayerStandin, EightBitMonoWhenAskedAndNothingWhenSoundIsOff) {
  WritePlayerIni("[audio]\nformat=8\n");
  {
    ComPtr<IDispatch> player = Create();
    ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
    ASSERT_TRUE(WaitForBuffers(2));
  }
  const std::vector<std::string> lines = WaveLog();
  EXPECT_EQ(lines.front(), "open bits=8 channels=1 rate=44100 result=0");
  for (const std::string& line : Matching(lines, "buffer .*")) {
    EXPECT_TRUE(std::regex_match(line, std::regex("buffer \\d+ bits=8 zeroed=0 result=0"))) << line;
  }
  EXPECT_EQ(lines.back(), "close");  // the last release stopped it

  ClearStandinFile(L"waveout.log");
  WritePlayerIni("[audio]\nenabled=0\n");
  ComPtr<IDispatch> player = Create();
  ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
  Pump(300ms);
  EXPECT_TRUE(WaveLog().empty());
  EXPECT_TRUE(Has(Log(), "sound disabled"));
}

TEST_F(PlayerStandin, PlayingOffStopsTheToneAndPlayStartsItAgain) {
  ComPtr<IDispatch> player = Create();
  ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
  ASSERT_TRUE(WaitForBuffers(1));
  ASSERT_EQ(Put(player.Get(), L"Playing", Bool(false)), S_OK);
  EXPECT_EQ(WaveLog().back(), "close");
  ClearStandinFile(L"waveout.log");
  ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
  ASSERT_TRUE(WaitForBuffers(1));
  EXPECT_EQ(Matching(Log(), "sound .*"),
            (std::vector<std::string>{"sound start bits=16", "sound stop", "sound start bits=16"}));
}

TEST_F(PlayerStandin, BuffersSilencedOnTheirWayToTheDeviceAreReportedZeroed) {
  for (const char* format : {"16", "8"}) {
    SCOPED_TRACE(format);
    ClearStandinFile(L"waveout.log");
    WritePlayerIni(std::string("[audio]\nformat=") + format + "\n");
    ImportPatch patch(GetModuleHandleW(kDll), "winmm.dll", "waveOutWrite",
                      reinterpret_cast<void*>(&ZeroingWaveOutWrite));
    ASSERT_NE(patch.Original(), nullptr) << "the control does not import waveOutWrite";
    g_realWaveOutWrite = reinterpret_cast<WaveOutWriteFn>(patch.Original());
    {
      ComPtr<IDispatch> player = Create();
      ASSERT_EQ(Method(player.Get(), L"Play"), S_OK);
      ASSERT_TRUE(WaitForBuffers(3));
    }  // released, so the worker is done before the patch goes
    const std::vector<std::string> lines = WaveLog();
    EXPECT_TRUE(Has(lines, "unprepared result=" + std::to_string(WAVERR_UNPREPARED)));
    const std::vector<std::string> buffers = Matching(lines, "buffer .*");
    ASSERT_GE(buffers.size(), 3u);
    for (const std::string& line : buffers) {
      EXPECT_TRUE(std::regex_match(line, std::regex(std::string("buffer \\d+ bits=") + format + " zeroed=1 result=0")))
          << line;
    }
  }
}

// ---- Lifetime ----

TEST_F(PlayerStandin, ReleasingEverythingLeavesNoWindowsOrSoundAndLetsTheDllUnload) {
  HostWindow host;
  const int messageWindowsBefore = MessageOnlyWindowsOfThisThread();
  const int hostChildrenBefore = [&] {
    int n = 0;
    for (HWND w = GetWindow(host.Get(), GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) ++n;
    return n;
  }();
  EXPECT_EQ(CanUnloadNow(), S_OK);
  {
    const RECT pos{0, 0, 320, 240};
    ComPtr<InPlaceSite> site = MakeCom<InPlaceSite>(host.Get(), pos);
    ComPtr<IDispatch> player = Create();
    DWORD cookie = 0;
    ComPtr<IConnectionPoint> point;
    ComPtr<EventSink> sink = Connect(player.Get(), &cookie, &point);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(player.As(&ole), S_OK);
    ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, host.Get(), &pos), S_OK);
    ASSERT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
    ASSERT_TRUE(WaitForBuffers(1));
    ComPtr<IEnumConnectionPoints> points;
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(player.As(&container), S_OK);
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    player.Reset();
    ole.Reset();
    container.Reset();
    // Outstanding enumerators and connection points keep the DLL in use.
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    points.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    point->Unadvise(cookie);
    point.Reset();  // the last reference: no Close, no SetClientSite(nullptr)
    EXPECT_EQ(sink->Refs(), 1) << "the control kept the sink";
    EXPECT_EQ(site->Refs(), 1) << "the control kept the site";
  }
  EXPECT_EQ(CanUnloadNow(), S_OK);
  EXPECT_EQ(MessageOnlyWindowsOfThisThread(), messageWindowsBefore);
  int hostChildren = 0;
  for (HWND w = GetWindow(host.Get(), GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) ++hostChildren;
  EXPECT_EQ(hostChildren, hostChildrenBefore);
  EXPECT_EQ(WaveLog().back(), "close");
  EXPECT_EQ(Log().back(), "destroy");

  // A class object held without a lock still counts.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  factory.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(PlayerStandin, WithoutTheSettingsFolderItWorksAndRecordsNothing) {
  wchar_t saved[2048] = {};
  GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", saved, 2048);
  SetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", nullptr);
  {
    ComPtr<IDispatch> player = Create();
    DWORD cookie = 0;
    ComPtr<EventSink> sink = Connect(player.Get(), &cookie);
    EXPECT_EQ(Method(player.Get(), L"LoadMovie", {I4(0), Bstr(L"http://127.0.0.1/movie.swf")}), S_OK);
    EXPECT_EQ(CallFunction(player.Get(), L"<invoke name=\"SetIsDesktop\" returntype=\"xml\"/>"), L"<null/>");
    EXPECT_TRUE(PumpUntil([&] { return sink->states.size() == 5; }, 10s));
  }
  SetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", saved);
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(WaveLog().empty());
}

}  // namespace
