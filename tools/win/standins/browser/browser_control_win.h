// The control itself: the browser's vtable interfaces, OLE in-place hosting,
// navigation and the page window.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "browser/browser_document_win.h"
#include "browser/browser_events_win.h"
#include "browser/browser_fetch_win.h"
#include "common/com_object_win.h"

namespace ravelin::standin {

class WebBrowser final
    : public ComObject<WebBrowser, ComInterface<IWebBrowser2, IDispatch, IWebBrowserApp, IWebBrowser>, IOleObject,
                       ComInterface<IOleInPlaceObject, IOleWindow>, IOleControl,
                       ComInterface<IPersistStreamInit, IPersist>, IConnectionPointContainer,
                       ComInterface<IProvideClassInfo2, IProvideClassInfo>> {
 public:
  WebBrowser();
  ~WebBrowser();

  // IDispatch (the control is reached through its vtable)
  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IWebBrowser
  STDMETHODIMP GoBack() override { return E_NOTIMPL; }
  STDMETHODIMP GoForward() override { return E_NOTIMPL; }
  STDMETHODIMP GoHome() override { return E_NOTIMPL; }
  STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
  STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  STDMETHODIMP Refresh() override;
  STDMETHODIMP Refresh2(VARIANT*) override { return Refresh(); }
  STDMETHODIMP Stop() override;
  STDMETHODIMP get_Application(IDispatch** out) override { return Self(out); }
  STDMETHODIMP get_Parent(IDispatch** out) override { return Self(out); }
  STDMETHODIMP get_Container(IDispatch** out) override;
  STDMETHODIMP get_Document(IDispatch** out) override;
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* out) override { return Bool(out, true); }
  STDMETHODIMP get_Type(BSTR* out) override { return Text(out, L"HTML Document"); }
  STDMETHODIMP get_Left(LONG* out) override { return Long(out, m_pos.left); }
  STDMETHODIMP put_Left(LONG) override { return S_OK; }
  STDMETHODIMP get_Top(LONG* out) override { return Long(out, m_pos.top); }
  STDMETHODIMP put_Top(LONG) override { return S_OK; }
  STDMETHODIMP get_Width(LONG* out) override { return Long(out, m_pos.right - m_pos.left); }
  STDMETHODIMP put_Width(LONG) override { return S_OK; }
  STDMETHODIMP get_Height(LONG* out) override { return Long(out, m_pos.bottom - m_pos.top); }
  STDMETHODIMP put_Height(LONG) override { return S_OK; }
  STDMETHODIMP get_LocationName(BSTR* out) override;
  STDMETHODIMP get_LocationURL(BSTR* out) override { return Text(out, m_location); }
  STDMETHODIMP get_Busy(VARIANT_BOOL* out) override { return Bool(out, m_busy); }

  // IWebBrowserApp
  STDMETHODIMP Quit() override { return E_NOTIMPL; }
  STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Name(BSTR* out) override { return Text(out, L"Browser stand-in"); }
  STDMETHODIMP get_HWND(SHANDLE_PTR* out) override;
  STDMETHODIMP get_FullName(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP get_Path(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP get_Visible(VARIANT_BOOL* out) override { return Bool(out, m_visible); }
  STDMETHODIMP put_Visible(VARIANT_BOOL value) override;
  STDMETHODIMP get_StatusBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_StatusText(BSTR* out) override { return Text(out, L""); }
  STDMETHODIMP put_StatusText(BSTR) override { return S_OK; }
  STDMETHODIMP get_ToolBar(int* out) override;
  STDMETHODIMP put_ToolBar(int) override { return S_OK; }
  STDMETHODIMP get_MenuBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_FullScreen(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return S_OK; }

  // IWebBrowser2
  STDMETHODIMP Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_ReadyState(READYSTATE* out) override;
  STDMETHODIMP get_Offline(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_Offline(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_Silent(VARIANT_BOOL* out) override { return Bool(out, m_silent); }
  STDMETHODIMP put_Silent(VARIANT_BOOL value) override;
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_TheaterMode(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_AddressBar(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return S_OK; }
  STDMETHODIMP get_Resizable(VARIANT_BOOL* out) override { return Bool(out, false); }
  STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return S_OK; }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  STDMETHODIMP SetExtent(DWORD, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override;
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(LPMSG) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
  STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override { return S_OK; }

  // IConnectionPointContainer: one point, DWebBrowserEvents2.
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // The visible page: its title, its text without tags, and its address.
  void Paint(HWND hwnd);

 private:
  static HRESULT Bool(VARIANT_BOOL* out, bool value);
  static HRESULT Long(LONG* out, LONG value);
  static HRESULT Text(BSTR* out, const std::wstring& value);
  HRESULT Self(IDispatch** out);
  HRESULT Activate(HWND parent, LPCRECT rect);

  void StartNavigation(const std::wstring& url);
  void CompletePage(const std::wstring& url, const std::wstring& html);
  void FailPage(const std::wstring& url, LONG status);
  void OnFetchDone(std::unique_ptr<FetchResult> result);
  static LRESULT CALLBACK MessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  BrowserEvents m_events{static_cast<IWebBrowser2*>(this)};
  HWND m_messages = nullptr;
  HWND m_window = nullptr;
  RECT m_pos{};
  SIZEL m_extent{};
  Microsoft::WRL::ComPtr<IOleClientSite> m_site;
  Microsoft::WRL::ComPtr<Document> m_document;
  std::wstring m_location;
  std::wstring m_refreshUrl;
  unsigned m_navigation = 0;
  bool m_busy = false;
  bool m_visible = true;
  bool m_silent = false;
  PageFetch m_fetch;
};

// The window procedure of the page window class.
LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ravelin::standin
