#include "player/player_events_win.h"

#include <olectl.h>

#include <new>
#include <utility>

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
class Enumerator final : public Interface {
 public:
  Enumerator(const IID& iid, std::vector<Item> items) : m_iid(iid), m_items(std::move(items)) { LockModule(); }
  ~Enumerator() { UnlockModule(); }
  Enumerator(const Enumerator&) = delete;
  Enumerator& operator=(const Enumerator&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, m_iid)) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

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
    auto* copy = new (std::nothrow) Enumerator(m_iid, m_items);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->m_pos = m_pos;
    *out = copy;
    return S_OK;
  }

 private:
  LONG m_refs = 1;
  IID m_iid;
  std::vector<Item> m_items;
  std::size_t m_pos = 0;
};

}  // namespace

std::vector<ComPtr<IDispatch>> EventConnectionPoint::Sinks() const {
  std::vector<ComPtr<IDispatch>> sinks;
  for (const auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
  return sinks;
}

STDMETHODIMP EventConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP EventConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = m_events;
  return S_OK;
}

STDMETHODIMP EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = m_owner;
  m_owner->AddRef();
  return S_OK;
}

STDMETHODIMP EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
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

STDMETHODIMP EventConnectionPoint::Unadvise(DWORD cookie) {
  return m_sinks.erase(cookie) == 1 ? S_OK : CONNECT_E_NOCONNECTION;
}

STDMETHODIMP EventConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  std::vector<ConnectionItem> items;
  for (const auto& [cookie, sink] : m_sinks) {
    ComPtr<IUnknown> unknown;
    sink.As(&unknown);
    items.push_back({unknown, cookie});
  }
  auto* e = new (std::nothrow)
      Enumerator<IEnumConnections, CONNECTDATA, ConnectionItem>(IID_IEnumConnections, std::move(items));
  if (e == nullptr) return E_OUTOFMEMORY;
  *connections = e;
  return S_OK;
}

HRESULT CreateConnectionPointEnum(IConnectionPoint* only, IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  auto* e = new (std::nothrow)
      Enumerator<IEnumConnectionPoints, IConnectionPoint*, PointItem>(IID_IEnumConnectionPoints, {PointItem{only}});
  if (e == nullptr) return E_OUTOFMEMORY;
  *out = e;
  return S_OK;
}

}  // namespace ravelin::standin
