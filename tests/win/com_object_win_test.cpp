// The COM object base: which pointer each IID gets, and when the object goes.
#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/com_object_win.h"

namespace ravelin {
namespace {

using Microsoft::WRL::ComPtr;

const IID kNamedDispIid = {0x5A1E0001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
const IID kRuntimeIid = {0x5A1E0002, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};

int g_deleted = 0;

class Probe final : public ComObject<Probe, ComInterface<IPersistStreamInit, IPersist>,
                                     ComInterface<IDispatch, ComIid<kNamedDispIid>>> {
 public:
  ~Probe() { ++g_deleted; }
  void* ExtraInterface(REFIID riid) { return riid == kRuntimeIid ? static_cast<IDispatch*>(this) : nullptr; }

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

TEST(ComObject, AnswersEachListedIidWithItsInterfaceAndNothingElse) {
  const ComPtr<Probe> probe = MakeComObject<Probe>();
  ASSERT_TRUE(probe);
  void* const persist = static_cast<IPersistStreamInit*>(probe.Get());
  void* const dispatch = static_cast<IDispatch*>(probe.Get());
  ASSERT_NE(persist, dispatch);
  const struct {
    const char* what;
    IID iid;
    void* expected;
  } cases[] = {
      {"IUnknown: the first interface", IID_IUnknown, persist},
      {"listed", IID_IPersistStreamInit, persist},
      {"base of a listed one", IID_IPersist, persist},
      {"second listed", IID_IDispatch, dispatch},
      {"an IID named for a listed one", kNamedDispIid, dispatch},
      {"known at run time", kRuntimeIid, dispatch},
      {"not implemented", IID_IOleObject, nullptr},
  };
  for (const auto& c : cases) {
    void* out = &g_deleted;
    const HRESULT hr = probe->QueryInterface(c.iid, &out);
    EXPECT_EQ(out, c.expected) << c.what;
    EXPECT_EQ(hr, c.expected != nullptr ? S_OK : E_NOINTERFACE) << c.what;
    if (SUCCEEDED(hr)) static_cast<IUnknown*>(out)->Release();
  }
  EXPECT_EQ(probe->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ComObject, IsDeletedExactlyWhenTheLastReferenceGoes) {
  g_deleted = 0;
  ComPtr<Probe> creator = MakeComObject<Probe>();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(creator.As(&dispatch), S_OK);
  ComPtr<IPersist> persist;
  ASSERT_EQ(dispatch.As(&persist), S_OK);

  // References taken and dropped from several threads at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([raw = dispatch.Get()] {
      for (int i = 0; i < 20000; ++i) {
        raw->AddRef();
        raw->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  creator.Reset();
  dispatch.Reset();
  EXPECT_EQ(g_deleted, 0);
  EXPECT_EQ(persist.Get()->AddRef(), 2u);
  EXPECT_EQ(persist.Get()->Release(), 1u);
  persist.Reset();
  EXPECT_EQ(g_deleted, 1);
}

}  // namespace
}  // namespace ravelin
