// The parts of the game window's settings menu, tray icon and cache clearing
// that stand on their own.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

#include "i18n/language.h"

namespace ravelin {

// The play window was maximised when it was last hidden.
extern int g_bWasZoomed;

inline constexpr UINT kTrayIconId = 128;
inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;

// The settings menu resource of a UI language: a number, or the Polish
// menu's name. Values outside 1..4 get the Chinese menu.
const wchar_t* SettingsMenuResource(UiLanguage language);

// The tray record for `window`: our id and callback, `icon`, and `tip` cut to
// what the fixed tip field holds.
NOTIFYICONDATAW MakeTrayIconRecord(HWND window, HICON icon, std::wstring_view tip);

// Where the Flash player keeps its local shared objects (the roaming
// application data's Macromedia\Flash Player\#SharedObjects); empty when the
// application data folder is unknown.
std::wstring FlashSharedObjectsFolder();

// Deletes every file named *.sol in `folder` and the folders below it,
// read-only ones included; links to other folders are not followed. Returns
// how many went.
int DeleteSolFiles(const std::wstring& folder);

}  // namespace ravelin
