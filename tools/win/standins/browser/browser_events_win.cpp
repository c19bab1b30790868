#include "browser/browser_events_win.h"

#include <exdispid.h>
#include <olectl.h>

#include "browser/browser_module_win.h"
#include "common/com_object_win.h"
#include "common/unique_variant_win.h"

namespace ravelin::standin {
namespace {

using Microsoft::WRL::ComPtr;

VARIANTARG ByRefVariant(VARIANT* target) {
  VARIANTARG v;
  VariantInit(&v);
  v.vt = VT_VARIANT | VT_BYREF;
  v.pvarVal = target;
  return v;
}

VARIANTARG LongArg(LONG value) {
  VARIANTARG v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANTARG ByRefBool(VARIANT_BOOL* target) {
  VARIANTARG v;
  VariantInit(&v);
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = target;
  return v;
}

// The one connection point, DWebBrowserEvents2.
class EventPoint final : public ComObject<EventPoint, IConnectionPoint> {
 public:
  EventPoint(IConnectionPointContainer* container, BrowserEvents& events) : m_container(container), m_events(events) {}

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (iid == nullptr) return E_POINTER;
    *iid = kDiidEvents2;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (out == nullptr) return E_POINTER;
    return m_container.CopyTo(out);
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override { return m_events.Advise(sink, cookie); }
  STDMETHODIMP Unadvise(DWORD cookie) override { return m_events.Unadvise(cookie); }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  ComPtr<IConnectionPointContainer> m_container;
  BrowserEvents& m_events;
};

}  // namespace

HRESULT BrowserEvents::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(kDiidEvents2, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  m_sinks.push_back({++m_nextCookie, dispatch});
  *cookie = m_nextCookie;
  return S_OK;
}

HRESULT BrowserEvents::Unadvise(DWORD cookie) {
  for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
    if (it->cookie == cookie) {
      m_sinks.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

void BrowserEvents::Fire(DISPID id, std::vector<VARIANTARG>& args) {
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  const std::vector<Sink> sinks = m_sinks;  // a handler may unadvise
  for (const Sink& sink : sinks) {
    sink.dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

VARIANTARG BrowserEvents::SourceArg() const {
  VARIANTARG v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = m_source;
  return v;
}

bool BrowserEvents::FireBeforeNavigate2(const std::wstring& url) {
  unique_variant vUrl = unique_variant::Text(url.c_str());
  unique_variant vFlags = unique_variant::Long(0);
  unique_variant vFrame = unique_variant::Text(L"");
  unique_variant vPost;
  unique_variant vHeaders = unique_variant::Text(L"");
  VARIANT_BOOL cancel = VARIANT_FALSE;
  std::vector<VARIANTARG> args = {
      ByRefBool(&cancel),    ByRefVariant(&vHeaders), ByRefVariant(&vPost), ByRefVariant(&vFrame),
      ByRefVariant(&vFlags), ByRefVariant(&vUrl),     SourceArg()};
  Fire(DISPID_BEFORENAVIGATE2, args);
  Record(L"event BeforeNavigate2 " + url + L" cancel=" + (cancel != VARIANT_FALSE ? L"1" : L"0"));
  return cancel != VARIANT_FALSE;
}

void BrowserEvents::FireUrlEvent(DISPID id, const wchar_t* name, const std::wstring& url) {
  unique_variant vUrl = unique_variant::Text(url.c_str());
  std::vector<VARIANTARG> args = {ByRefVariant(&vUrl), SourceArg()};
  Fire(id, args);
  Record(std::wstring(L"event ") + name + L" " + url);
}

void BrowserEvents::FireProgress(LONG progress, LONG max) {
  std::vector<VARIANTARG> args = {LongArg(max), LongArg(progress)};
  Fire(DISPID_PROGRESSCHANGE, args);
  Record(L"event ProgressChange " + std::to_wstring(progress) + L"/" + std::to_wstring(max));
}

bool BrowserEvents::FireNavigateError(const std::wstring& url, LONG status) {
  unique_variant vUrl = unique_variant::Text(url.c_str());
  unique_variant vFrame = unique_variant::Text(L"");
  unique_variant vStatus = unique_variant::Long(status);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  std::vector<VARIANTARG> args = {ByRefBool(&cancel), ByRefVariant(&vStatus), ByRefVariant(&vFrame),
                                  ByRefVariant(&vUrl), SourceArg()};
  Fire(DISPID_NAVIGATEERROR, args);
  Record(L"event NavigateError " + url + L" status=" + std::to_wstring(status) + L" cancel=" +
         (cancel != VARIANT_FALSE ? L"1" : L"0"));
  return cancel != VARIANT_FALSE;
}

HRESULT CreateEventPoint(IConnectionPointContainer* container, BrowserEvents& events, IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  auto point = MakeComObject<EventPoint>(container, events);
  if (!point) return E_OUTOFMEMORY;
  *out = point.Detach();
  return S_OK;
}

}  // namespace ravelin::standin
