// The game window's tool buttons, settings menu, hot key and tray icon, with
// the real frame and game window in this process and the stand-in controls.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "gamewnd/game_buttons_win.h"
#include "i18n/language_win.h"
#include "sound/sound_win.h"
#include "testkit/message_box_answer_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;

using namespace std::chrono_literals;
using ravelin::CStandardDlg;
using ravelin::CTranslucentDlg;
using ravelin::g_Language;
using ravelin::testkit::MessageBoxAnswerer;

RECT WindowRect(HWND w) {
  RECT rc{};
  GetWindowRect(w, &rc);
  return rc;
}

// Waits on its own thread for a pop-up menu of this process, notes where it
// opened and what its first item says, and closes it the way a click
// elsewhere would.
class PopupMenuWatcher {
 public:
  explicit PopupMenuWatcher(HWND owner) : m_thread([this, owner] { Run(owner); }) {}
  ~PopupMenuWatcher() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }

  struct Seen {
    RECT rect;
    std::wstring firstItem;
  };
  std::optional<Seen> Result() {
    if (m_thread.joinable()) m_thread.join();
    return m_seen;
  }

 private:
  static HWND FindPopup() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w != nullptr; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == GetCurrentProcessId() && IsWindowVisible(w)) return w;
    }
    return nullptr;
  }

  void Run(HWND owner) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    HWND popup = nullptr;
    while (!m_stop && popup == nullptr && std::chrono::steady_clock::now() < deadline) {
      popup = FindPopup();
      if (popup == nullptr) Sleep(20);
    }
    if (popup == nullptr) return;
    Seen seen{WindowRect(popup), {}};
    DWORD_PTR menu = 0;
    if (SendMessageTimeoutW(popup, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 2000, &menu) && menu != 0) {
      wchar_t text[128] = {};
      GetMenuStringW(reinterpret_cast<HMENU>(menu), 0, text, 128, MF_BYPOSITION);
      seen.firstItem = text;
    }
    m_seen = seen;
    PostMessageW(owner, WM_CANCELMODE, 0, 0);
    for (int i = 0; i < 50 && FindPopup() != nullptr; ++i) Sleep(20);
    if (HWND still = FindPopup()) PostMessageW(still, WM_KEYDOWN, VK_ESCAPE, 0);
  }

  std::atomic<bool> m_stop{false};
  std::optional<Seen> m_seen;
  std::thread m_thread;
};

// The menu's four items as (command, text).
std::vector<std::pair<UINT, std::wstring>> MenuItems(const wchar_t* resource) {
  std::vector<std::pair<UINT, std::wstring>> items;
  const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), resource);
  if (menu == nullptr) return items;
  const HMENU popup = GetSubMenu(menu, 0);
  for (int i = 0; popup != nullptr && i < GetMenuItemCount(popup); ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(popup, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    items.emplace_back(GetMenuItemID(popup, i), text);
  }
  DestroyMenu(menu);
  return items;
}

struct MenuCase {
  const wchar_t* resource;
  const wchar_t* texts[4];
};
const MenuCase kMenus[] = {
    {MAKEINTRESOURCEW(205), {L"清除缓存", L"隐藏/显示(F9)", L"升级程序", L"退出"}},
    {MAKEINTRESOURCEW(206), {L"Önbelleği Temizle", L"Göster/Gizle(F9)", L"Yükseltme İşlemi", L"Çıkış"}},
    {MAKEINTRESOURCEW(207), {L"Limpar Cache", L"Ocultar/Mostrar (F9)", L"Processo de atualização", L"Sair"}},
    {MAKEINTRESOURCEW(208), {L"Borrar caché", L"Mostrar/Ocultar (F9)", L"Proceso de actualización", L"Salir"}},
    {L"IDR_SETTEINGMENU_LP", {L"Wyczyść Cache", L"Ukryj/Pokaż [F9]", L"Aktualizacja Rejestratora", L"Wyjdź"}},
};

TEST(SettingsMenu, EachLanguagesMenuHoldsTheFourCommandsInOrder) {
  const UINT commands[4] = {32785, 32783, 32786, 32784};
  for (const MenuCase& m : kMenus) {
    const auto items = MenuItems(m.resource);
    ASSERT_EQ(items.size(), 4u) << m.texts[0];
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(items[i].first, commands[i]) << m.texts[0] << " item " << i;
      EXPECT_EQ(items[i].second, m.texts[i]) << m.texts[0] << " item " << i;
    }
  }
}

TEST(SettingsMenu, TheLanguagePicksTheMenuAndUnknownValuesGetChinese) {
  const struct {
    int language;
    const wchar_t* first;
  } cases[] = {
      {0, L"清除缓存"},      {1, L"Önbelleği Temizle"}, {2, L"Limpar Cache"}, {3, L"Borrar caché"},
      {4, L"Wyczyść Cache"}, {7, L"清除缓存"},          {-1, L"清除缓存"},    {5, L"清除缓存"},
  };
  for (const auto& c : cases) {
    const auto items = MenuItems(ravelin::SettingsMenuResource(static_cast<ravelin::UiLanguage>(c.language)));
    ASSERT_FALSE(items.empty()) << "language " << c.language;
    EXPECT_EQ(items[0].second, c.first) << "language " << c.language;
  }
}

TEST(TrayRecord, TipIsCutToWhatTheFieldHolds) {
  const std::wstring pair = L"\xD83D\xDE00";  // one character, two code units
  const struct {
    std::wstring tip;
    std::wstring expected;
  } cases[] = {
      {L"Dusk Vale", L"Dusk Vale"},
      {L"", L""},
      {std::wstring(127, L'a'), std::wstring(127, L'a')},
      {std::wstring(128, L'b'), std::wstring(127, L'b')},
      {std::wstring(5000, L'c'), std::wstring(127, L'c')},
      // The cut would fall inside the pair: the pair goes whole.
      {std::wstring(126, L'd') + pair + L"e", std::wstring(126, L'd')},
      {std::wstring(125, L'f') + pair + L"g", std::wstring(125, L'f') + pair},
  };
  const HWND window = reinterpret_cast<HWND>(0x1234);
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
  ASSERT_NE(icon, nullptr);
  for (const auto& c : cases) {
    NOTIFYICONDATAW data;
    memset(&data, 0xCC, sizeof(data));
    data = ravelin::MakeTrayIconRecord(window, icon, c.tip);
    EXPECT_EQ(std::wstring(data.szTip), c.expected) << c.tip.size();
    EXPECT_EQ(data.hWnd, window);
    EXPECT_EQ(data.uID, 128u);
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(data.uCallbackMessage, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(data.hIcon, icon);
  }
}

class GameButtons : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    // The movie plays silently and does not answer the exit question's call.
    ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(
        L"player.ini", L"[audio]\r\nenabled=0\r\n[answers]\r\ngetUnfinishedInfo=error\r\n"));
    ravelin::g_bSoundOn = 1;
    GameWindowTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(OpenFrame());
    PumpMessages(100ms);
  }

  CStandardDlg& Dlg() { return frame->m_dlgGame; }
  HWND Game() const { return frame->m_dlgGame.m_hWnd; }
  HWND Button(int id) const { return GetDlgItem(Game(), id); }

  // The play phase at the top-left of the screen, 1000 by 700, restored.
  void EnterPlayPhase() {
    Dlg().m_bPlaying = 1;
    ShowWindow(Game(), SW_SHOWNORMAL);
    SetWindowPos(Game(), HWND_TOP, 0, 0, 1000, 700, SWP_NOACTIVATE);
    PumpMessages(50ms);
  }

  void Click(int id) {
    SendMessageW(Button(id), BM_CLICK, 0, 0);
    PumpMessages(20ms);
  }
};

struct ButtonCase {
  int id;
  UINT bitmap;
  int width;
  int tip;
};
const ButtonCase kButtons[] = {
    {IDC_BTN_CLOSE, 233, 25, 16},   {IDC_BTN_RESTORE, 240, 27, 17}, {IDC_BTN_MIN, 238, 27, 18},
    {IDC_BTN_MAX, 237, 27, 19},     {IDC_BTN_TOOLS, 228, 27, 20},   {IDC_BTN_SOUNDOFF, 229, 27, 21},
    {IDC_BTN_SOUNDON, 231, 27, 22},
};

ravelin::framework::CBitmapButton& Member(CStandardDlg& dlg, int id) {
  switch (id) {
    case IDC_BTN_CLOSE:
      return dlg.m_btnClose;
    case IDC_BTN_RESTORE:
      return dlg.m_btnRestore;
    case IDC_BTN_MIN:
      return dlg.m_btnMin;
    case IDC_BTN_MAX:
      return dlg.m_btnMax;
    case IDC_BTN_TOOLS:
      return dlg.m_btnTools;
    case IDC_BTN_SOUNDOFF:
      return dlg.m_btnSoundOff;
    default:
      return dlg.m_btnSoundOn;
  }
}

std::wstring ToolTipText(HWND toolTip, HWND button) {
  wchar_t text[256] = {};
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = GetParent(button);
  info.uId = reinterpret_cast<UINT_PTR>(button);
  info.lpszText = text;
  SendMessageW(toolTip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&info));
  return text;
}

// The pixels of a width-by-30 area of `dc`, starting at column `left`.
std::vector<COLORREF> Pixels(HDC dc, int left, int width) {
  std::vector<COLORREF> pixels;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, left + x, y));
  }
  return pixels;
}

// Image `index` of a button bitmap, read straight from the resource.
std::vector<COLORREF> ResourceImage(UINT bitmap, int width, int index) {
  const HBITMAP bmp = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, bmp);
  auto pixels = Pixels(dc, index * width, width);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);
  return pixels;
}

// What the button draws of itself now.
std::vector<COLORREF> Drawn(HWND button, int width) {
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bmp = CreateCompatibleBitmap(screen, width, 30);
  const HGDIOBJ old = SelectObject(dc, bmp);
  SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  auto pixels = Pixels(dc, 0, width);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST_F(GameButtons, AreOwnerDrawnTakenOverSizedFromTheirImagesHiddenAndTipped) {
  // One tip control serves every button, each as a tool of its own.
  const HWND tips = Dlg().m_toolTips.Get();
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(GetWindow(tips, GW_OWNER), Dlg().m_hWnd);
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), static_cast<LRESULT>(std::size(kButtons)));
  for (const ButtonCase& c : kButtons) {
    SCOPED_TRACE(c.id);
    const HWND button = Button(c.id);
    ASSERT_NE(button, nullptr);
    ravelin::framework::CBitmapButton& member = Member(Dlg(), c.id);
    EXPECT_EQ(member.m_hWnd, button);
    EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    const RECT rc = WindowRect(button);
    EXPECT_EQ(rc.right - rc.left, c.width);
    EXPECT_EQ(rc.bottom - rc.top, 30);
    EXPECT_FALSE(IsWindowVisible(button)) << "shown in the login phase";
    EXPECT_EQ(member.GetToolTip(), tips);
    EXPECT_EQ(ToolTipText(tips, button), g_Language.GetText(c.tip));

    const auto normal = ResourceImage(c.bitmap, c.width, 0);
    ASSERT_NE(normal, ResourceImage(c.bitmap, c.width, 1)) << "the two images should differ";
    EXPECT_EQ(Drawn(button, c.width), normal) << "not image 0 of bitmap " << c.bitmap;
  }
}

TEST_F(GameButtons, ThePointerOverAButtonShowsItsSecondImage) {
  EnterPlayPhase();
  const HWND close = Button(IDC_BTN_CLOSE);
  ASSERT_TRUE(IsWindowVisible(close));
  const RECT rc = WindowRect(close);
  SetCursorPos(rc.left + 10, rc.top + 15);
  EXPECT_TRUE(PumpUntil([&] { return Dlg().m_btnClose.IsHovering(); }));
  EXPECT_EQ(Drawn(close, 25), ResourceImage(233, 25, 1));

  SetCursorPos(rc.left - 300, rc.top + 300);
  EXPECT_TRUE(PumpUntil([&] { return !Dlg().m_btnClose.IsHovering(); })) << "no leave after the pointer went";
  EXPECT_EQ(Drawn(close, 25), ResourceImage(233, 25, 0));
}

TEST_F(GameButtons, MaximiseMinimiseAndRestoreActOnTheWindowAndSwapTheirButtons) {
  EnterPlayPhase();
  ASSERT_TRUE(IsWindowVisible(Button(IDC_BTN_MAX)));
  ASSERT_FALSE(IsWindowVisible(Button(IDC_BTN_RESTORE)));

  Click(IDC_BTN_MAX);
  EXPECT_TRUE(IsZoomed(Game()));
  EXPECT_TRUE(IsWindowVisible(Button(IDC_BTN_RESTORE)));
  EXPECT_FALSE(IsWindowVisible(Button(IDC_BTN_MAX)));

  Click(IDC_BTN_RESTORE);
  EXPECT_FALSE(IsZoomed(Game()));
  EXPECT_TRUE(IsWindowVisible(Button(IDC_BTN_MAX)));
  EXPECT_FALSE(IsWindowVisible(Button(IDC_BTN_RESTORE)));

  Click(IDC_BTN_MIN);
  EXPECT_TRUE(IsIconic(Game()));
  ShowWindow(Game(), SW_RESTORE);
}

TEST_F(GameButtons, SoundOffThenOnSwitchesTheFlagAndTheButtons) {
  EnterPlayPhase();
  const struct {
    int click;
    unsigned char soundOn;
    int shown, hidden;
  } steps[] = {
      {IDC_BTN_SOUNDOFF, 0, IDC_BTN_SOUNDON, IDC_BTN_SOUNDOFF},
      {IDC_BTN_SOUNDON, 1, IDC_BTN_SOUNDOFF, IDC_BTN_SOUNDON},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.click);
    Click(s.click);
    EXPECT_EQ(ravelin::g_bSoundOn, s.soundOn);
    EXPECT_TRUE(IsWindowVisible(Button(s.shown)));
    EXPECT_FALSE(IsWindowVisible(Button(s.hidden)));
    // A later layout agrees.
    SetWindowPos(Game(), nullptr, 0, 0, 1010, 700, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    EXPECT_TRUE(IsWindowVisible(Button(s.shown)));
    EXPECT_FALSE(IsWindowVisible(Button(s.hidden)));
  }
}

TEST_F(GameButtons, NotificationsOtherThanAClickAreLeftAlone) {
  EnterPlayPhase();
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(IDC_BTN_MAX, BN_SETFOCUS), reinterpret_cast<LPARAM>(Button(IDC_BTN_MAX)));
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(IDC_BTN_SOUNDOFF, BN_DOUBLECLICKED),
               reinterpret_cast<LPARAM>(Button(IDC_BTN_SOUNDOFF)));
  EXPECT_FALSE(IsZoomed(Game()));
  EXPECT_EQ(ravelin::g_bSoundOn, 1);
  MessageBoxAnswerer answer(IDCANCEL, 600ms);
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(IDC_BTN_CLOSE, BN_DOUBLECLICKED),
               reinterpret_cast<LPARAM>(Button(IDC_BTN_CLOSE)));
  EXPECT_FALSE(answer.Answered()) << "a double-click notification asked to exit";
}

std::wstring LanguageMenuFirstItem() {
  return MenuItems(ravelin::SettingsMenuResource(g_Language.Language())).at(0).second;
}

TEST_F(GameButtons, TheToolsMenuOpensThreePixelsBelowTheButtonsBottomLeft) {
  EnterPlayPhase();
  const RECT tools = WindowRect(Button(IDC_BTN_TOOLS));
  PopupMenuWatcher watcher(Game());
  Click(IDC_BTN_TOOLS);
  const auto seen = watcher.Result();
  ASSERT_TRUE(seen) << "no menu";
  EXPECT_EQ(seen->rect.left, tools.left);
  EXPECT_EQ(seen->rect.top, tools.bottom + 3);
  EXPECT_EQ(seen->firstItem, LanguageMenuFirstItem());
  EXPECT_TRUE(IsWindow(Game()));
}

TEST_F(GameButtons, TheTrayIconsRightButtonOpensTheMenuAtThePointer) {
  SetCursorPos(300, 200);
  PopupMenuWatcher watcher(Game());
  SendMessageW(Game(), WM_USER + 1, 128, WM_RBUTTONDOWN);
  const auto seen = watcher.Result();
  ASSERT_TRUE(seen) << "no menu";
  EXPECT_EQ(seen->rect.left, 300);
  EXPECT_EQ(seen->rect.top, 200);
  EXPECT_EQ(seen->firstItem, LanguageMenuFirstItem());
}

TEST_F(GameButtons, HotKeyInTheLoginPhaseHidesAndShowsTheFrameWithTheGameWindow) {
  for (const WPARAM id : {WPARAM{1001}, WPARAM{7}}) {
    SCOPED_TRACE(id);
    SendMessageW(Game(), WM_HOTKEY, id, MAKELPARAM(0, VK_F9));
    EXPECT_FALSE(IsWindowVisible(frame->m_hWnd));
    EXPECT_FALSE(IsWindowVisible(Game()));
    EXPECT_EQ(Dlg().m_bVisible, 0);
    SendMessageW(Game(), WM_HOTKEY, id, MAKELPARAM(0, VK_F9));
    EXPECT_TRUE(IsWindowVisible(frame->m_hWnd));
    EXPECT_TRUE(IsWindowVisible(Game()));
    EXPECT_EQ(Dlg().m_bVisible, 1);
  }
}

TEST_F(GameButtons, HotKeyInThePlayPhaseBringsTheWindowBackAsItWas) {
  EnterPlayPhase();
  for (const auto& [show, zoomed] :
       {std::pair{SW_SHOWMAXIMIZED, true}, std::pair{SW_RESTORE, false}, std::pair{SW_SHOWMAXIMIZED, true}}) {
    SCOPED_TRACE(show);
    ShowWindow(Game(), show);
    SendMessageW(Game(), WM_HOTKEY, 1001, 0);
    EXPECT_FALSE(IsWindowVisible(Game()));
    EXPECT_EQ(ravelin::g_bWasZoomed != 0, zoomed);
    SendMessageW(Game(), WM_HOTKEY, 1001, 0);
    EXPECT_TRUE(IsWindowVisible(Game()));
    EXPECT_EQ(IsZoomed(Game()) != FALSE, zoomed);
  }
  // The frame stays as it was in the play phase.
  EXPECT_TRUE(IsWindowVisible(frame->m_hWnd));
}

TEST_F(GameButtons, TrayNotificationsToggleOnlyOnALeftPressOfOurIcon) {
  const struct {
    WPARAM id;
    LPARAM mouse;
    bool toggles;
  } cases[] = {
      {128, WM_LBUTTONDOWN, true}, {128, WM_RBUTTONUP, false}, {128, WM_LBUTTONDBLCLK, false},
      {128, WM_LBUTTONUP, false},  {128, WM_MOUSEMOVE, false}, {127, WM_LBUTTONDOWN, false},
      {0, WM_LBUTTONDOWN, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << "/" << std::hex << c.mouse);
    SendMessageW(Game(), WM_USER + 1, c.id, c.mouse);
    EXPECT_EQ(IsWindowVisible(Game()) == FALSE, c.toggles);
    EXPECT_EQ(Dlg().m_bVisible == 0, c.toggles);
    if (c.toggles) SendMessageW(Game(), WM_USER + 1, c.id, c.mouse);
    EXPECT_TRUE(IsWindowVisible(Game()));
  }
}

TEST_F(GameButtons, TheMenusShowHideCommandToggles) {
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(32783, 0), 0);
  EXPECT_FALSE(IsWindowVisible(Game()));
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(32783, 0), 0);
  EXPECT_TRUE(IsWindowVisible(Game()));
}

bool Modifiable(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 128;
  data.uFlags = NIF_TIP;
  wcscpy_s(data.szTip, L"probe");
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST_F(GameButtons, TrayIconComesAndGoes) {
  ASSERT_FALSE(Modifiable(Game()));
  Dlg().AddTrayIcon();
  EXPECT_TRUE(Modifiable(Game()));
  Dlg().RemoveTrayIcon();
  EXPECT_FALSE(Modifiable(Game()));
}

TEST_F(GameButtons, ExitCommandAndCloseButtonAskTheExitQuestionAndCancelKeepsTheGame) {
  EnterPlayPhase();
  Dlg().AddTrayIcon();
  const struct {
    const char* what;
    WPARAM command;
    LPARAM from;
  } cases[] = {
      {"menu", MAKEWPARAM(32784, 0), 0},
      {"close button", MAKEWPARAM(IDC_BTN_CLOSE, BN_CLICKED), reinterpret_cast<LPARAM>(Button(IDC_BTN_CLOSE))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MessageBoxAnswerer answer(IDCANCEL);
    SendMessageW(Game(), WM_COMMAND, c.command, c.from);
    const auto box = answer.Answered();
    ASSERT_TRUE(box) << "no exit question";
    EXPECT_EQ(box->text, g_Language.GetText(13));
    EXPECT_EQ(box->caption, g_Language.GetText(25));
    EXPECT_TRUE(IsWindow(Game()));
    EXPECT_FALSE(frame->m_bShuttingDown);
    EXPECT_TRUE(Modifiable(Game())) << "the tray icon went although the player stayed";
  }
  Dlg().RemoveTrayIcon();
}

TEST_F(GameButtons, OkToTheExitQuestionTakesTheTrayIconAndEndsTheProgram) {
  EnterPlayPhase();
  const HWND game = Game();
  Dlg().AddTrayIcon();
  ASSERT_TRUE(Modifiable(game));
  MessageBoxAnswerer answer(IDOK);
  SendMessageW(game, WM_COMMAND, MAKEWPARAM(32784, 0), 0);
  ASSERT_TRUE(answer.Answered());
  EXPECT_FALSE(Modifiable(game));
  EXPECT_TRUE(frame->m_bShuttingDown);
  EXPECT_FALSE(IsWindow(game));
}

// A small file, with its folders; a read-only one from before is replaced.
bool MakeFile(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  return ravelin::testkit::WriteWholeFile(path, "TCSO");
}

std::wstring RoamingAppData() {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path))) result = path;
  CoTaskMemFree(path);
  return result;
}

TEST_F(GameButtons, ClearingTheCacheDeletesOnlyThePlayersStoredObjects) {
  const std::wstring macromedia = RoamingAppData() + L"\\Macromedia";
  ASSERT_GT(macromedia.size(), 12u);
  const std::wstring store = macromedia + L"\\Flash Player\\#SharedObjects";
  ravelin::testkit::TempDir cwd(L"cachecwd");
  const std::wstring inCwd = cwd.File(L"here.sol");

  const struct {
    std::wstring path;
    bool goesOnOk;
  } files[] = {
      {store + L"\\x\\y.sol", true},
      {store + L"\\TOP.SOL", true},
      {store + L"\\x\\z\\deep.sol", true},
      {store + L"\\x\\readonly.sol", true},
      {store + L"\\x\\keep.sola", false},
      {store + L"\\x\\keep.sol.txt", false},
      {macromedia + L"\\Flash Player\\beside.sol", false},
      {inCwd, false},
  };
  for (const int answerWith : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answerWith == IDOK ? "OK" : "Cancel");
    for (const auto& f : files) ASSERT_TRUE(MakeFile(f.path));
    SetFileAttributesW((store + L"\\x\\readonly.sol").c_str(), FILE_ATTRIBUTE_READONLY);
    SetCurrentDirectoryW(cwd.Path().c_str());

    MessageBoxAnswerer answer(answerWith);
    SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(32785, 0), 0);
    const auto box = answer.Answered();
    ASSERT_TRUE(box) << "no question";
    EXPECT_EQ(box->text, g_Language.GetText(24));
    EXPECT_EQ(box->caption, g_Language.GetText(23));
    for (const auto& f : files) {
      const bool gone = answerWith == IDOK && f.goesOnOk;
      EXPECT_EQ(ravelin::testkit::FileExists(f.path), !gone) << std::string(f.path.begin(), f.path.end());
    }
  }
  SetCurrentDirectoryW(L"C:\\");
  ravelin::testkit::RemoveTree(macromedia);
}

TEST_F(GameButtons, ClearingTheCacheWithoutAStoreDeletesNothing) {
  const std::wstring macromedia = RoamingAppData() + L"\\Macromedia";
  ravelin::testkit::RemoveTree(macromedia);
  ravelin::testkit::TempDir cwd(L"cachecwd");
  ASSERT_TRUE(MakeFile(cwd.File(L"sub\\here.sol")));
  SetCurrentDirectoryW(cwd.Path().c_str());
  MessageBoxAnswerer answer(IDOK);
  SendMessageW(Game(), WM_COMMAND, MAKEWPARAM(32785, 0), 0);
  ASSERT_TRUE(answer.Answered());
  EXPECT_TRUE(ravelin::testkit::FileExists(cwd.File(L"sub\\here.sol")));
  EXPECT_TRUE(IsWindow(Game()));
  SetCurrentDirectoryW(L"C:\\");
}

}  // namespace

// Buttons sharing a tip control: each is one tool, a new text replaces the
// old one, a button given back takes its tool with it, and the control goes
// with the window that owns it.
TEST(ToolTipGroup, HoldsOneToolPerButtonAndGoesWithItsOwner) {
  const HWND parent = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  const auto makeButton = [&](int id) {
    return CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_PUSHBUTTON, 0, 0, 20, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  };
  const HWND first = makeButton(1);
  const HWND second = makeButton(2);
  ravelin::framework::CToolTipGroup group;
  {
    ravelin::framework::CBitmapButton a, b;
    ASSERT_TRUE(a.SubclassWindow(first));
    ASSERT_TRUE(b.SubclassWindow(second));
    ASSERT_TRUE(a.SetToolTipText(group, L"first"));
    ASSERT_TRUE(b.SetToolTipText(group, L"second"));
    const HWND tips = group.Get();
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(a.GetToolTip(), tips);
    EXPECT_EQ(b.GetToolTip(), tips);
    EXPECT_EQ(GetWindow(tips, GW_OWNER), parent);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 2);

    ASSERT_TRUE(a.SetToolTipText(group, L"first, again"));
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
    EXPECT_EQ(ToolTipText(tips, first), L"first, again");
    EXPECT_EQ(ToolTipText(tips, second), L"second");

    a.UnsubclassWindow();
    EXPECT_EQ(a.GetToolTip(), nullptr);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_EQ(ToolTipText(tips, second), L"second");
  }  // b goes with its window still there: its tool goes too
  const HWND tips = group.Get();
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 0);
  DestroyWindow(parent);
  EXPECT_FALSE(IsWindow(tips)) << "the tip control outlived its owner";
}
