// DLL entry points: class object, unload check and machine-wide
// registration (Wine 8 ignores per-user class registrations).
#include "browser/browser_module_win.h"

#include <objbase.h>
#include <olectl.h>

#include <atomic>
#include <cwchar>

#include "browser/browser_control_win.h"
#include "common/com_object_win.h"
#include "common/standin_files_win.h"
#include "common/unique_handle_win.h"

namespace ravelin::standin {

HMODULE g_module = nullptr;

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

const wchar_t kClsidKey[] = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}";

// One for each request of the class object.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  ClassFactory() { ObjectCreated(); }
  ~ClassFactory() { ObjectDestroyed(); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const Microsoft::WRL::ComPtr<WebBrowser> browser = MakeComObject<WebBrowser>();
    if (!browser) return E_OUTOFMEMORY;
    return browser->QueryInterface(riid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? ++g_locks : --g_locks;
    return S_OK;
  }
};

HRESULT SetKeyValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  unique_hkey h;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, h.put(), nullptr) !=
      ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  const LONG status = RegSetValueExW(h.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }

void Record(const std::wstring& line) { RecordLine(L"browser.log", ToUtf8(line)); }

std::wstring Hex(unsigned long value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", value);
  return text;
}

}  // namespace ravelin::standin

using namespace ravelin::standin;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PageWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = kPageWindowClass;
    RegisterClassExW(&wc);
  } else if (reason == DLL_PROCESS_DETACH) {
    UnregisterClassW(kPageWindowClass, instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != kClsidWebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
  const Microsoft::WRL::ComPtr<ClassFactory> factory = ravelin::MakeComObject<ClassFactory>();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

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
