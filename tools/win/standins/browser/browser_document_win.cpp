#include "browser/browser_document_win.h"

#include <cwchar>
#include <utility>

#include "browser/browser_module_win.h"
#include "common/standin_files_win.h"

namespace ravelin::standin {

Document::Document(HWND window, std::wstring url, std::wstring html)
    : m_window(window), m_url(std::move(url)), m_html(std::move(html)) {
  ObjectCreated();
}

Document::~Document() { ObjectDestroyed(); }

STDMETHODIMP Document::GetTypeInfoCount(UINT* n) {
  if (n != nullptr) *n = 0;
  return S_OK;
}

STDMETHODIMP Document::SetUIHandler(IDocHostUIHandler* handler) {
  m_handler = handler;
  if (handler == nullptr) {
    Record(L"uihandler none");
    return S_OK;
  }
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof(info);
  const HRESULT hostInfo = handler->GetHostInfo(&info);
  Record(L"uihandler hostinfo flags=" + Hex(info.dwFlags) + L" hr=" + Hex(static_cast<ULONG>(hostInfo)));
  POINT pt{10, 10};
  const HRESULT menu = handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr);
  Record(L"uihandler contextmenu hr=" + Hex(static_cast<ULONG>(menu)));
  return S_OK;
}

STDMETHODIMP Document::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_window;
  return m_window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP Document::TranslateAccelerator(LPMSG msg) {
  if (msg == nullptr) return E_POINTER;
  const std::string answer = Ini::Load(L"browser.ini").Get("document", "accelerator", "S_FALSE");
  const HRESULT hr = answer == "S_OK" ? S_OK : S_FALSE;
  wchar_t hwnd[32];
  swprintf(hwnd, 32, L"%p", static_cast<void*>(msg->hwnd));
  Record(L"accelerator message=" + Hex(msg->message) + L" key=" + std::to_wstring(msg->wParam) + L" hwnd=" + hwnd +
         L" hr=" + Hex(static_cast<ULONG>(hr)));
  return hr;
}

}  // namespace ravelin::standin
