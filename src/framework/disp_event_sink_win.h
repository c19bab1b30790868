// Event sinks: an IDispatch that receives a control's events on one
// dispinterface and hands each to the first member handler listed for its
// dispatch id. Embedded in the window object that owns it (no heap
// lifetime of its own: it lives exactly as long as its owner).
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <span>

namespace ravelin::framework {

template <class T>
class CDispEventSink final : public IDispatch {
 public:
  using Handler = void (T::*)(DISPPARAMS* params);
  struct Entry {
    DISPID id;
    Handler handler;
  };

  CDispEventSink(T* owner, const IID& eventIid, std::span<const Entry> map)
      : m_owner(owner), m_eventIid(eventIid), m_map(map) {}
  ~CDispEventSink() { Unadvise(); }
  CDispEventSink(const CDispEventSink&) = delete;
  CDispEventSink& operator=(const CDispEventSink&) = delete;

  // Connects to the control's default event interface as the control names
  // it (IProvideClassInfo2), keeping the constructor's interface otherwise.
  HRESULT AdviseDefault(IUnknown* control) {
    if (control == nullptr) return E_POINTER;
    Microsoft::WRL::ComPtr<IProvideClassInfo2> info;
    IID source;
    if (SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&info))) &&
        SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source))) {
      m_eventIid = source;
    }
    return Advise(control);
  }

  // Connects to the control's connection point for the event interface.
  HRESULT Advise(IUnknown* control) {
    if (control == nullptr) return E_POINTER;
    Unadvise();
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = control->QueryInterface(IID_PPV_ARGS(&container));
    if (FAILED(hr)) return hr;
    hr = container->FindConnectionPoint(m_eventIid, &m_point);
    if (FAILED(hr)) return hr;
    hr = m_point->Advise(static_cast<IDispatch*>(this), &m_cookie);
    if (FAILED(hr)) m_point.Reset();
    return hr;
  }

  void Unadvise() {
    if (m_point) {
      m_point->Unadvise(m_cookie);
      m_point.Reset();
      m_cookie = 0;
    }
  }

  bool Connected() const { return static_cast<bool>(m_point); }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_eventIid) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    for (const Entry& entry : m_map) {
      if (entry.id != id) continue;
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      (m_owner->*entry.handler)(params != nullptr ? params : &none);
      return S_OK;  // one handler call per event
    }
    return S_OK;
  }

 private:
  T* m_owner;
  IID m_eventIid;
  std::span<const Entry> m_map;
  Microsoft::WRL::ComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};

}  // namespace ravelin::framework
