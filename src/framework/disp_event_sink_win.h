// Event sinks: an IDispatch that receives a control's events on one
// dispinterface and hands each to the first member handler listed for its
// dispatch id. A window object keeps a CDispEventSink as a member; the COM
// object the control holds belongs to that member, and once the member is
// unadvised or gone it passes no event on, however long the control keeps it.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <span>

#include "common/com_object_win.h"

namespace ravelin::framework {

template <class T>
class CDispEventSink {
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
    m_sink = MakeComObject<Sink>(m_owner, m_eventIid, m_map);
    hr = m_sink ? m_point->Advise(m_sink->Unknown(), &m_cookie) : E_OUTOFMEMORY;
    if (FAILED(hr)) {
      m_point.Reset();
      m_sink.Reset();
    }
    return hr;
  }

  void Unadvise() {
    if (m_point) {
      m_point->Unadvise(m_cookie);
      m_point.Reset();
      m_cookie = 0;
    }
    if (m_sink) {
      m_sink->Disconnect();
      m_sink.Reset();
    }
  }

  bool Connected() const { return static_cast<bool>(m_point); }

 private:
  class Sink final : public ComObject<Sink, IDispatch> {
   public:
    Sink(T* owner, const IID& eventIid, std::span<const Entry> map)
        : m_owner(owner), m_eventIid(eventIid), m_map(map) {}

    // The control connected for the event dispinterface asks by its IID.
    void* ExtraInterface(REFIID riid) { return riid == m_eventIid ? static_cast<IDispatch*>(this) : nullptr; }
    void Disconnect() { m_owner = nullptr; }

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
      if (m_owner == nullptr) return S_OK;
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
  };

  T* m_owner;
  IID m_eventIid;
  std::span<const Entry> m_map;
  Microsoft::WRL::ComPtr<IConnectionPoint> m_point;
  Microsoft::WRL::ComPtr<Sink> m_sink;
  DWORD m_cookie = 0;
};

}  // namespace ravelin::framework
