// The control's event connections (the event dispinterface) and the
// connection points and enumerators OLE asks for around them.
#pragma once

#include <ocidl.h>
#include <windows.h>

#include <wrl/client.h>

#include <map>
#include <vector>

namespace ravelin::standin {

// The sinks connected to the control's events. The control owns them; a
// connection point it hands out reaches them through the control, which the
// point holds for as long as it lives.
class EventSinks {
 public:
  explicit EventSinks(const IID& events) : m_events(events) {}
  EventSinks(const EventSinks&) = delete;
  EventSinks& operator=(const EventSinks&) = delete;

  const IID& Events() const { return m_events; }
  // Sinks at this moment, each held, so one may unadvise while called.
  std::vector<Microsoft::WRL::ComPtr<IDispatch>> Sinks() const;
  void DisconnectAll() { m_sinks.clear(); }

  HRESULT Advise(IUnknown* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);
  HRESULT EnumConnections(IEnumConnections** connections) const;

 private:
  IID m_events;
  DWORD m_nextCookie = 1;
  std::map<DWORD, Microsoft::WRL::ComPtr<IDispatch>> m_sinks;
};

// A connection point for `sinks`, a member of `container`.
HRESULT CreateConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks, IConnectionPoint** out);
HRESULT CreateConnectionPointEnum(IConnectionPoint* only, IEnumConnectionPoints** out);

}  // namespace ravelin::standin
