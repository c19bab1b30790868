// The page's document: takes a UI handler, answers TranslateAccelerator.
#pragma once

#include <windows.h>

#include <mshtmhst.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <string>

#include "common/com_object_win.h"

namespace ravelin::standin {

class Document final
    : public ComObject<Document, IDispatch, ICustomDoc, ComInterface<IOleInPlaceActiveObject, IOleWindow>> {
 public:
  Document(HWND window, std::wstring url, std::wstring html);
  ~Document();

  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // ICustomDoc: the real control asks a new handler for its hosting wishes
  // and consults it before any context menu.
  STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override;

  // IOleWindow / IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  const std::wstring& Url() const { return m_url; }
  const std::wstring& Html() const { return m_html; }
  void SetWindow(HWND window) { m_window = window; }

 private:
  HWND m_window;
  std::wstring m_url;
  std::wstring m_html;
  Microsoft::WRL::ComPtr<IDocHostUIHandler> m_handler;
};

}  // namespace ravelin::standin
