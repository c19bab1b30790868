// A stand-in for the web-browser control, registered under its class id in
// test prefixes only. It loads pages over HTTP (WinINet), follows
// <meta http-equiv="refresh">, fires DWebBrowserEvents2 like the real
// control, and hands out a document that takes a UI handler.
//
// Settings, %RAVELIN_STANDIN_DIR%\browser.ini:
//   [document] accelerator=S_OK|S_FALSE   answer of the document's TranslateAccelerator (default S_FALSE)
// Recording, %RAVELIN_STANDIN_DIR%\browser.log, one line per step:
//   create | activate x,y,w,h | rects x,y,w,h | navigate URL
//   event BeforeNavigate2 URL cancel=0|1 | event ProgressChange P/MAX
//   event NavigateComplete2 URL | event DocumentComplete URL
//   event NavigateError URL status=N cancel=0|1
//   fetch URL status=N bytes=N | refresh SECONDS URL
//   uihandler hostinfo flags=0x... hr=0x... | uihandler contextmenu hr=0x...
//   accelerator message=0x... key=N hwnd=... hr=0x...
//   visible 0|1 | silent 0|1 | close
//
// This file: what the whole DLL shares (its identity, module, live objects
// and the recording).
#pragma once

#include <windows.h>

#include <string>

namespace ravelin::standin {

inline constexpr CLSID kClsidWebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
inline constexpr IID kDiidEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
// The window class of the page the control shows.
inline constexpr wchar_t kPageWindowClass[] = L"RavelinBrowserStandin";

extern HMODULE g_module;

// Objects alive, class objects among them; DllCanUnloadNow waits for none.
void ObjectCreated();
void ObjectDestroyed();

// One line of browser.log.
void Record(const std::wstring& line);
std::wstring Hex(unsigned long value);

}  // namespace ravelin::standin
