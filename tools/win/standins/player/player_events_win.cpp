#include "player/player_events_win.h"

#include <olectl.h>

#include <utility>

#include "common/com_object_win.h"
#include "player/player_module_win.h"

namespace ravelin::standin {
namespace {

using Microsoft::WRL::ComPtr;

// What the enumerators hand out: each element is AddRef'ed for the caller.
struct PointItem {
  ComPtr<IConnectionPoint> point;
  void Give(IConnectionPoint** out) const {
    *out = point.Get();
    point->AddRef();
  }
};
struct ConnectionItem {
  ComPtr<IUnknown> sink;
  DWORD cookie;
  void Give(CONNECTDATA* out) const {
    out->pUnk = sink.Get();
    sink->AddRef();
    out->dwCookie = cookie;
  }
};

template <class Interface, class Element, class Item>
class Enumerator final : public ComObject<Enumerator<Interface, Element, Item>, Interface> {
 public:
  explicit Enumerator(std::vector<Item> items) : m_items(std::move(items)) { LockModule(); }
  ~Enumerator() { UnlockModule(); }

  STDMETHODIMP Next(ULONG count, Element* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_items.size()) m_items[m_pos++].Give(&out[n++]);
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const std::size_t left = m_items.size() - m_pos;
    m_pos += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_pos = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    if (out == nullptr) return E_POINTER;
    ComPtr<Enumerator> copy = MakeComObject<Enumerator>(m_items);
    if (!copy) return E_OUTOFMEMORY;
    copy->m_pos = m_pos;
    *out = copy.Detach();
    return S_OK;
  }

 private:
  std::vector<Item> m_items;
  std::size_t m_pos = 0;
};

// Held by whoever asked for it; it holds the control its sinks belong to.
class EventConnectionPoint final : public ComObject<EventConnectionPoint, IConnectionPoint> {
 public:
  EventConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks)
      : m_container(container), m_sinks(sinks) {}

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (iid == nullptr) return E_POINTER;
    *iid = m_sinks.Events();
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (container == nullptr) return E_POINTER;
    return m_container.CopyTo(container);
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override { return m_sinks.Advise(sink, cookie); }
  STDMETHODIMP Unadvise(DWORD cookie) override { return m_sinks.Unadvise(cookie); }
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override { return m_sinks.EnumConnections(connections); }

 private:
  ComPtr<IConnectionPointContainer> m_container;
  EventSinks& m_sinks;
};

}  // namespace

std::vector<ComPtr<IDispatch>> EventSinks::Sinks() const {
  std::vector<ComPtr<IDispatch>> sinks;
  for (const auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
  return sinks;
}

HRESULT EventSinks::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // Events are delivered through IDispatch::Invoke; sinks that only answer
  // IDispatch (common for late-bound hosts) are taken too.
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(m_events, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  *cookie = m_nextCookie++;
  m_sinks.emplace(*cookie, std::move(dispatch));
  return S_OK;
}

HRESULT EventSinks::Unadvise(DWORD cookie) { return m_sinks.erase(cookie) == 1 ? S_OK : CONNECT_E_NOCONNECTION; }

HRESULT EventSinks::EnumConnections(IEnumConnections** connections) const {
  if (connections == nullptr) return E_POINTER;
  std::vector<ConnectionItem> items;
  for (const auto& [cookie, sink] : m_sinks) {
    ComPtr<IUnknown> unknown;
    sink.As(&unknown);
    items.push_back({unknown, cookie});
  }
  auto e = MakeComObject<Enumerator<IEnumConnections, CONNECTDATA, ConnectionItem>>(std::move(items));
  if (!e) return E_OUTOFMEMORY;
  *connections = e.Detach();
  return S_OK;
}

HRESULT CreateConnectionPoint(IConnectionPointContainer* container, EventSinks& sinks, IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  auto point = MakeComObject<EventConnectionPoint>(container, sinks);
  if (!point) return E_OUTOFMEMORY;
  *out = point.Detach();
  return S_OK;
}

HRESULT CreateConnectionPointEnum(IConnectionPoint* only, IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  auto e = MakeComObject<Enumerator<IEnumConnectionPoints, IConnectionPoint*, PointItem>>(
      std::vector<PointItem>{PointItem{only}});
  if (!e) return E_OUTOFMEMORY;
  *out = e.Detach();
  return S_OK;
}

}  // namespace ravelin::standin
