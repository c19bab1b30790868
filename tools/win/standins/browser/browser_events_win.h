// DWebBrowserEvents2: the sinks connected to the control, the events fired
// to them, and the connection point OLE reaches them through.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace ravelin::standin {

// The control owns its sinks; each event names `source` as its sender.
class BrowserEvents {
 public:
  explicit BrowserEvents(IDispatch* source) : m_source(source) {}
  BrowserEvents(const BrowserEvents&) = delete;
  BrowserEvents& operator=(const BrowserEvents&) = delete;

  HRESULT Advise(IUnknown* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);

  // True when a sink cancelled.
  bool FireBeforeNavigate2(const std::wstring& url);
  void FireUrlEvent(DISPID id, const wchar_t* name, const std::wstring& url);
  void FireProgress(LONG progress, LONG max);
  // True when a sink cancelled.
  bool FireNavigateError(const std::wstring& url, LONG status);

 private:
  struct Sink {
    DWORD cookie;
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
  };

  // Fires one event to every sink. `args` are in DISPPARAMS order (last
  // argument first).
  void Fire(DISPID id, std::vector<VARIANTARG>& args);
  VARIANTARG SourceArg() const;

  IDispatch* m_source;  // the control that owns this object, so not held
  std::vector<Sink> m_sinks;
  DWORD m_nextCookie = 0;
};

// A connection point for `events`, a member of `container`, which the point
// holds for as long as it lives.
HRESULT CreateEventPoint(IConnectionPointContainer* container, BrowserEvents& events, IConnectionPoint** out);

}  // namespace ravelin::standin
