// The game window's tool buttons, settings menu, hot key and tray icon.
#include "gamewnd/game_buttons_win.h"

#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "common/unique_handle_win.h"
#include "gamewnd/standard_dlg_win.h"
#include "i18n/language_win.h"
#include "sound/sound_win.h"

namespace ravelin {

int g_bWasZoomed = 1;

namespace {

using framework::MessageArgs;

bool HasSolExtension(const std::wstring& name) {
  return name.size() >= 4 && _wcsicmp(name.c_str() + name.size() - 4, L".sol") == 0;
}

bool IsPlainFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Like "del /f": a read-only file goes too.
bool ForceDelete(const std::wstring& path, DWORD attributes) {
  if (DeleteFileW(path.c_str())) return true;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  return SetFileAttributesW(path.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL) &&
         DeleteFileW(path.c_str());
}

}  // namespace

const wchar_t* SettingsMenuResource(UiLanguage language) {
  switch (language) {
    case kLangTurkish:
      return MAKEINTRESOURCEW(IDR_MENU_TURKISH);
    case kLangPortuguese:
      return MAKEINTRESOURCEW(IDR_MENU_PORTUGUESE);
    case kLangSpanish:
      return MAKEINTRESOURCEW(IDR_MENU_SPANISH);
    case kLangPolish:
      return L"IDR_SETTEINGMENU_LP";
    default:
      return MAKEINTRESOURCEW(IDR_MENU_CHINESE);
  }
}

NOTIFYICONDATAW MakeTrayIconRecord(HWND window, HICON icon, std::wstring_view tip) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = icon;
  std::size_t length = std::min(tip.size(), std::size(data.szTip) - 1);
  // Never leave half of a surrogate pair at the cut.
  if (length < tip.size() && length > 0 && IS_HIGH_SURROGATE(tip[length - 1])) --length;
  std::copy_n(tip.data(), length, data.szTip);
  data.szTip[length] = L'\0';
  return data;
}

std::wstring FlashSharedObjectsFolder() {
  wchar_t appData[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)) || appData[0] == 0) {
    return {};
  }
  return std::wstring(appData) + L"\\Macromedia\\Flash Player\\#SharedObjects";
}

int DeleteSolFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return 0;
  int deleted = 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A junction could lead anywhere on the disk.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) deleted += DeleteSolFiles(path);
    } else if (HasSolExtension(name) && ForceDelete(path, found.dwFileAttributes)) {
      ++deleted;
    }
  } while (FindNextFileW(find.get(), &found));
  return deleted;
}

void CStandardDlg::SetupButtons() {
  SetupButton(m_btnClose, IDB_BTN_CLOSE, 25, IDC_BTN_CLOSE, g_Language.GetText(16));
  SetupButton(m_btnRestore, IDB_BTN_RESTORE, 27, IDC_BTN_RESTORE, g_Language.GetText(17));
  SetupButton(m_btnMin, IDB_BTN_MIN, 27, IDC_BTN_MIN, g_Language.GetText(18));
  SetupButton(m_btnMax, IDB_BTN_MAX, 27, IDC_BTN_MAX, g_Language.GetText(19));
  SetupButton(m_btnTools, IDB_BTN_TOOLS, 27, IDC_BTN_TOOLS, g_Language.GetText(20));
  SetupButton(m_btnSoundOff, IDB_BTN_SOUNDOFF, 27, IDC_BTN_SOUNDOFF, g_Language.GetText(21));
  SetupButton(m_btnSoundOn, IDB_BTN_SOUNDON, 27, IDC_BTN_SOUNDON, g_Language.GetText(22));
}

void CStandardDlg::SetupButton(CBitmapButton& button, UINT bitmapId, int imageWidth, int controlId,
                               const std::wstring& tooltip) {
  unique_himagelist images(ImageList_LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), imageWidth, 2,
                                                CLR_NONE, IMAGE_BITMAP, LR_CREATEDIBSECTION));
  // Sized from its image once; the play-phase layout places it from then on.
  button.SetBitmapButtonExtendedStyle(CBitmapButton::kAutoSize);
  button.SubclassWindow(GetDlgItem(m_hWnd, controlId));
  button.SetImageList(std::move(images));
  button.SetImages(0, 1);
  button.SetBitmapButtonExtendedStyle(CBitmapButton::kHover);
  button.SetToolTipText(m_toolTips, tooltip);
  ::ShowWindow(button.m_hWnd, SW_HIDE);
}

void CStandardDlg::ToggleVisible() {
  m_bVisible = !m_bVisible;
  if (m_bPlaying) {
    if (!m_bVisible) {
      g_bWasZoomed = IsZoomed(m_hWnd) != FALSE;
      ::ShowWindow(m_hWnd, SW_HIDE);
      return;
    }
    ::ShowWindow(m_hWnd, g_bWasZoomed ? SW_SHOWMAXIMIZED : SW_RESTORE);
    SetForegroundWindow(m_hWnd);
    SetActiveWindow(m_hWnd);
    return;
  }
  const int show = m_bVisible ? SW_SHOW : SW_HIDE;
  if (m_pFrame != nullptr) ::ShowWindow(m_pFrame->FrameWindow(), show);
  ::ShowWindow(m_hWnd, show);
}

void CStandardDlg::AddTrayIcon() {
  NOTIFYICONDATAW data = MakeTrayIconRecord(m_hWnd, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_RAVELIN)),
                                            g_Language.GetText(25));
  Shell_NotifyIconW(NIM_ADD, &data);
}

void CStandardDlg::RemoveTrayIcon() {
  NOTIFYICONDATAW data = MakeTrayIconRecord(m_hWnd, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_RAVELIN)),
                                            g_Language.GetText(25));
  Shell_NotifyIconW(NIM_DELETE, &data);
}

void CStandardDlg::ShowSettingsMenu(POINT at) {
  const unique_hmenu menu(LoadMenuW(GetModuleHandleW(nullptr), SettingsMenuResource(g_Language.Language())));
  if (!menu) return;
  // Without the foreground a click elsewhere would leave the menu open.
  SetForegroundWindow(m_hWnd);
  TrackPopupMenu(GetSubMenu(menu.get(), 0), TPM_LEFTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
  PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CStandardDlg::AskAndClearFlashCache() {
  const std::wstring text = g_Language.GetText(24);
  const std::wstring caption = g_Language.GetText(23);
  if (MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OKCANCEL) != IDOK) return;
  // Only the player's own store: never the folder we happen to run in.
  const std::wstring folder = FlashSharedObjectsFolder();
  if (!folder.empty() && IsPlainFolder(folder)) DeleteSolFiles(folder);
}

void CStandardDlg::SwitchSound(CBitmapButton& clicked, CBitmapButton& other) {
  g_bSoundOn = static_cast<unsigned char>(g_bSoundOn ? 0 : 1);
  ::ShowWindow(clicked.m_hWnd, SW_HIDE);
  ::ShowWindow(other.m_hWnd, SW_SHOW);
  AudioSessionSetSound(g_bSoundOn != 0);
}

std::intptr_t CStandardDlg::OnToolButton(const MessageArgs& args, bool& handled) {
  if (HIWORD(args.wParam) != BN_CLICKED) {
    handled = false;
    return 0;
  }
  switch (LOWORD(args.wParam)) {
    case IDC_BTN_CLOSE:
      ConfirmExit();
      break;
    case IDC_BTN_RESTORE:
      ::ShowWindow(m_hWnd, SW_RESTORE);
      break;
    case IDC_BTN_MIN:
      ::ShowWindow(m_hWnd, SW_MINIMIZE);
      break;
    case IDC_BTN_MAX:
      ::ShowWindow(m_hWnd, SW_SHOWMAXIMIZED);
      break;
    case IDC_BTN_TOOLS: {
      RECT rc{};
      GetWindowRect(m_btnTools.m_hWnd, &rc);
      ShowSettingsMenu({rc.left, rc.bottom + 3});
      break;
    }
    case IDC_BTN_SOUNDOFF:
      SwitchSound(m_btnSoundOff, m_btnSoundOn);
      break;
    case IDC_BTN_SOUNDON:
      SwitchSound(m_btnSoundOn, m_btnSoundOff);
      break;
    default:
      break;
  }
  return 0;
}

std::intptr_t CStandardDlg::OnMenuCommand(const MessageArgs& args, bool&) {
  switch (LOWORD(args.wParam)) {
    case ID_MENU_CLEARCACHE:
      AskAndClearFlashCache();
      break;
    case ID_MENU_SHOWHIDE:
      ToggleVisible();
      break;
    case ID_MENU_UPDATE:
      // The hand-over starts only once the player has agreed to leave, so a
      // declined exit leaves one program and no hand-over waiting for it.
      if (m_dlgUpdate.DoModal(GetActiveWindow()) == IDOK) ConfirmExit([this] { m_dlgUpdate.StartHandover(m_hWnd); });
      break;
    case ID_MENU_EXIT:
      ConfirmExit();
      break;
    default:
      break;
  }
  return 0;
}

std::intptr_t CStandardDlg::OnHotKey(const MessageArgs&, bool&) {
  ToggleVisible();
  return 0;
}

std::intptr_t CStandardDlg::OnTrayNotify(const MessageArgs& args, bool&) {
  if (args.wParam != kTrayIconId) return 0;
  if (args.lParam == WM_RBUTTONDOWN) {
    POINT cursor{};
    GetCursorPos(&cursor);
    ShowSettingsMenu(cursor);
  } else if (args.lParam == WM_LBUTTONDOWN) {
    ToggleVisible();
  }
  return 0;
}

}  // namespace ravelin
