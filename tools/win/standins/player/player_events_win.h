// The control's one connection point (the event dispinterface) and the
// enumerators OLE asks for around it.
#pragma once

#include <ocidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <map>
#include <vector>

namespace ravelin::standin {

// Lives inside the control and shares its lifetime: AddRef and Release go
// to the container object.
class EventConnectionPoint final : public IConnectionPoint {
 public:
  EventConnectionPoint(IConnectionPointContainer* owner, const IID& events) : m_owner(owner), m_events(events) {}
  EventConnectionPoint(const EventConnectionPoint&) = delete;
  EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

  // Sinks at this moment, each held, so one may unadvise while called.
  std::vector<Microsoft::WRL::ComPtr<IDispatch>> Sinks() const;
  void DisconnectAll() { m_sinks.clear(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

 private:
  IConnectionPointContainer* m_owner;
  IID m_events;
  DWORD m_nextCookie = 1;
  std::map<DWORD, Microsoft::WRL::ComPtr<IDispatch>> m_sinks;
};

HRESULT CreateConnectionPointEnum(IConnectionPoint* only, IEnumConnectionPoints** out);

}  // namespace ravelin::standin
