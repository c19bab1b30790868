// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_RAVELIN 128

#define IDD_GAME 129
#define IDD_UPDATE 202
#define IDD_FRAME 210

// Game window controls.
#define IDC_EXPLORER 1000
#define IDC_FLASH 1001
#define IDC_BTN_CLOSE 1007
#define IDC_BTN_MIN 1008
#define IDC_BTN_TOOLS 1009
#define IDC_BTN_RESTORE 1010
#define IDC_BTN_SOUNDOFF 1011
#define IDC_BTN_MAX 1012
#define IDC_BTN_SOUNDON 1013

// Update dialog controls.
#define IDC_UPDATE_INFO 1002
#define IDC_UPDATE_PROGRESS 1011
#define IDC_UPDATE_STATUS 1013

// String table.
#define IDS_LANGUAGE 1
#define IDS_DEFAULT_SOURCE 2

// Artwork (res/art, drawn by tools/art/make_art.py).
#define IDB_LOADING_BORDER 224
#define IDB_TITLE_BAND 226
#define IDB_BTN_TOOLS 228
#define IDB_BTN_SOUNDOFF 229
#define IDB_BTN_SOUNDON 231
#define IDB_BTN_CLOSE 233
#define IDB_BTN_MAX 237
#define IDB_BTN_MIN 238
#define IDB_BTN_RESTORE 240
#define IDR_PNG_FRAME 252
#define IDR_PNG_CLOSE_HL 254
#define IDR_PNG_MIN_HL 255

// Settings menus, one per UI language; the Polish one is named
// "IDR_SETTEINGMENU_LP" rather than numbered.
#define IDR_MENU_CHINESE 205
#define IDR_MENU_TURKISH 206
#define IDR_MENU_PORTUGUESE 207
#define IDR_MENU_SPANISH 208
#define ID_MENU_SHOWHIDE 32783
#define ID_MENU_EXIT 32784
#define ID_MENU_CLEARCACHE 32785
#define ID_MENU_UPDATE 32786
