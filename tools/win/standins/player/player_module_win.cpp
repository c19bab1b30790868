// DLL entry points: class object, unload check and machine-wide
// registration (Wine 8 ignores per-user class registrations).
#include "player/player_module_win.h"

#include <objbase.h>
#include <olectl.h>

#include <string>

#include "common/com_object_win.h"
#include "common/unique_handle_win.h"
#include "player/player_control_win.h"
#include "player/player_ids_win.h"

namespace ravelin::standin {

HINSTANCE g_module = nullptr;

namespace {

LONG g_moduleLocks = 0;

// What a container would otherwise read from the object; some read the
// registry instead before they create it.
constexpr DWORD kMiscStatus =
    OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_RECOMPOSEONRESIZE;

std::wstring ClassKey() { return std::wstring(L"Software\\Classes\\CLSID\\") + kPlayerClsidText; }

// One for each request of the class object; while it is held the module
// stays loaded.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  ClassFactory() { LockModule(); }
  ~ClassFactory() { UnlockModule(); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const Microsoft::WRL::ComPtr<PlayerControl> control = MakeComObject<PlayerControl>();
    if (!control) return E_OUTOFMEMORY;
    return control->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }
};

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  unique_hkey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  return SetString(key.get(), name, value);
}

}  // namespace

void LockModule() { InterlockedIncrement(&g_moduleLocks); }
void UnlockModule() { InterlockedDecrement(&g_moduleLocks); }

}  // namespace ravelin::standin

using namespace ravelin::standin;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    PlayerControl::UnregisterWindowClasses();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, kPlayerClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  const Microsoft::WRL::ComPtr<ClassFactory> factory = ravelin::MakeComObject<ClassFactory>();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return InterlockedCompareExchange(&g_moduleLocks, 0, 0) == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return SELFREG_E_CLASS;
  const std::wstring key = ClassKey();
  const bool ok = WriteKey(key, nullptr, L"Player stand-in control") &&
                  WriteKey(key + L"\\InprocServer32", nullptr, std::wstring(path, n)) &&
                  WriteKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                  WriteKey(key + L"\\Control", nullptr, L"") && WriteKey(key + L"\\MiscStatus", nullptr, L"0") &&
                  WriteKey(key + L"\\MiscStatus\\1", nullptr, std::to_wstring(kMiscStatus));
  if (!ok) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey().c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
