// The ordinary start: resources as the program reads them, the DLL search
// rules, and a start that shows the main window and ends with the quit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "app/dll_hardening_win.h"
#include "res/resource.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using ravelin::testkit::ExeDir;
using ravelin::testkit::FindMainWindow;
using ravelin::testkit::FindProcesses;
using ravelin::testkit::Process;
using ravelin::testkit::TempDir;
using ravelin::testkit::WaitFor;

std::wstring Launcher() { return ExeDir() + L"\\ravelin.exe"; }

// ravelin.exe opened as data, to read its resources as Windows stores them.
class LauncherImage {
 public:
  LauncherImage() : m_module(LoadLibraryExW(Launcher().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~LauncherImage() {
    if (m_module != nullptr) FreeLibrary(m_module);
  }
  LauncherImage(const LauncherImage&) = delete;
  LauncherImage& operator=(const LauncherImage&) = delete;

  HMODULE get() const { return m_module; }

  std::string Resource(const wchar_t* type, const wchar_t* name) const {
    const HRSRC info = FindResourceW(m_module, name, type);
    if (info == nullptr) return {};
    const HGLOBAL data = LoadResource(m_module, info);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(m_module, info));
  }

  std::wstring String(UINT id) const {
    wchar_t buffer[300] = {};
    const int n = LoadStringW(m_module, id, buffer, 300);
    return std::wstring(buffer, static_cast<std::size_t>(n));
  }

 private:
  HMODULE m_module;
};

// The fixed part of an extended dialog template.
#pragma pack(push, 1)
struct DialogTemplateEx {
  WORD dlgVer;
  WORD signature;
  DWORD helpID;
  DWORD exStyle;
  DWORD style;
  WORD cDlgItems;
  short x, y, cx, cy;
};
#pragma pack(pop)

TEST(Resources, DialogTemplatesCarryTheirStylesAndSizes) {
  LauncherImage image;
  ASSERT_NE(image.get(), nullptr);
  struct Expected {
    UINT id;
    DWORD style;
    WORD items;
    short cx, cy;
  };
  const Expected dialogs[] = {
      {IDD_GAME, 0x86800848, 9, 435, 214},
      {IDD_FRAME, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT | DS_FIXEDSYS, 0, 482, 311},
      {IDD_UPDATE, 0, 5, 226, 118},
  };
  for (const Expected& e : dialogs) {
    SCOPED_TRACE(testing::Message() << "dialog " << e.id);
    const std::string bytes = image.Resource(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(e.id));  // RT_DIALOG
    ASSERT_GE(bytes.size(), sizeof(DialogTemplateEx));
    DialogTemplateEx t;
    std::memcpy(&t, bytes.data(), sizeof(t));
    EXPECT_EQ(t.signature, 0xFFFF) << "not an extended template";
    if (e.style != 0) {
      EXPECT_EQ(t.style, e.style) << std::hex << t.style;
    }
    EXPECT_EQ(t.cDlgItems, e.items);
    EXPECT_EQ(t.cx, e.cx);
    EXPECT_EQ(t.cy, e.cy);
  }
}

TEST(Resources, StringTableVersionAndManifest) {
  LauncherImage image;
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image.String(IDS_LANGUAGE), L"1");
  EXPECT_EQ(image.String(IDS_DEFAULT_SOURCE), L"officialwebsite");

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(Launcher().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(Launcher().c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);

  const std::string manifest = image.Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));  // RT_MANIFEST
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);

  EXPECT_NE(LoadImageW(image.get(), MAKEINTRESOURCEW(IDI_RAVELIN), IMAGE_ICON, 48, 48, LR_DEFAULTCOLOR), nullptr);
}

TEST(DllSearch, AfterHardeningADllBesideTheProgramOrInTheCurrentFolderIsNotLoaded) {
  // ravelin_marker.dll sits beside this test program; a copy goes into the
  // current folder as well. Both are found by name before hardening only.
  TempDir temp;
  ASSERT_TRUE(CopyFileW((ExeDir() + L"\\ravelin_marker.dll").c_str(), temp.File(L"cwd_marker.dll").c_str(), FALSE));
  ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));

  for (const wchar_t* name : {L"ravelin_marker.dll", L"cwd_marker.dll"}) {
    const HMODULE before = LoadLibraryW(name);
    ASSERT_NE(before, nullptr) << "the test needs " << std::wstring(name).size() << "-char name to load first";
    FreeLibrary(before);
  }

  ravelin::HardenDllSearch();

  for (const wchar_t* name : {L"ravelin_marker.dll", L"cwd_marker.dll"}) {
    const HMODULE after = LoadLibraryW(name);
    EXPECT_EQ(after, nullptr);
    if (after != nullptr) FreeLibrary(after);
  }
  // System DLLs still load.
  const HMODULE system = LoadLibraryW(L"version.dll");
  EXPECT_NE(system, nullptr);
  if (system != nullptr) FreeLibrary(system);
  SetCurrentDirectoryW(ExeDir().c_str());
}

TEST(NormalStart, ShowsTheMainWindowAndEndsWithTheQuitCode) {
  auto launcher = Process::Start(Launcher(), L"\"" + Launcher() + L"\"");
  ASSERT_TRUE(launcher);

  const auto window = WaitFor(
      [&]() -> std::optional<ravelin::testkit::WindowInfo> {
        auto w = FindMainWindow({launcher->Id()});
        if (w && w->visible) return w;
        return std::nullopt;
      },
      30s);
  ASSERT_TRUE(window) << "no visible main window";
  EXPECT_EQ(window->className, L"#32770");

  PostMessageW(window->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const auto code = launcher->Wait(20s);
  if (!code) launcher->Kill();
  EXPECT_EQ(code, 1u);
}

TEST(NormalStart, ASystemCloseDoesNotQuitWithoutAsking) {
  auto launcher = Process::Start(Launcher(), L"\"" + Launcher() + L"\"");
  ASSERT_TRUE(launcher);
  const auto window = WaitFor([&] { return FindMainWindow({launcher->Id()}); }, 30s);
  ASSERT_TRUE(window);
  PostMessageW(window->hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(launcher->Wait(1500ms)) << "the launcher ended on WM_CLOSE";
  PostMessageW(window->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(launcher->Wait(20s), 1u);
}

}  // namespace
