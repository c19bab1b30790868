// Registry records, shortcuts and the start address, in a throwaway prefix,
// called in the order the game window's start-up makes them.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "common/process_win.h"
#include "common/utf8.h"
#include "i18n/language_win.h"
#include "sysinfo/host_uid_win.h"
#include "sysinfo/product_records.h"
#include "sysinfo/product_records_win.h"
#include "sysinfo/system_info_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::ToUtf8;

const wchar_t kCorvane[] = L"SOFTWARE\\Wow6432Node\\Corvane";
const wchar_t kDownloadKey[] = L"SOFTWARE\\Wow6432Node\\Tessar software\\QXM";

std::optional<std::wstring> ReadValue(const wchar_t* key, const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  return std::wstring(data);
}

void SetValue(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, key, &h), ERROR_SUCCESS);
  RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

FILETIME LastWrite(const wchar_t* key) {
  FILETIME t{};
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) == ERROR_SUCCESS) {
    RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &t);
    RegCloseKey(h);
  }
  return t;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

struct Link {
  std::wstring target;
  std::wstring workingDir;
};

std::optional<Link> ReadLink(const std::wstring& path) {
  Microsoft::WRL::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) return {};
  Microsoft::WRL::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ))) return std::nullopt;
  Link result;
  wchar_t buffer[MAX_PATH] = {};
  link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
  result.target = buffer;
  buffer[0] = 0;
  link->GetWorkingDirectory(buffer, MAX_PATH);
  result.workingDir = buffer;
  return result;
}

class ProductRecords : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // Identifiers come from the volume of the current folder: the prefix's C:.
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCorvane);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Tessar software");
    desktopLink = ravelin::BuildShortcutPath(CSIDL_DESKTOPDIRECTORY, L"Dusk Vale");
    startMenuLink = ravelin::BuildShortcutPath(CSIDL_STARTMENU, L"Dusk Vale");
    ASSERT_FALSE(desktopLink.empty());
    ASSERT_FALSE(startMenuLink.empty());
    DeleteFileW(desktopLink.c_str());
    DeleteFileW(startMenuLink.c_str());
  }
  void TearDown() override { CoUninitialize(); }

  std::wstring desktopLink;
  std::wstring startMenuLink;
};

TEST_F(ProductRecords, WineIsA64BitSystemSoTheWow6432NodeFormsAreUsed) { EXPECT_TRUE(ravelin::IsOs64Bit()); }

TEST_F(ProductRecords, FirstStartRecordsEverythingAndTheSecondOnlyRewritesTheDesktopShortcut) {
  const std::wstring exe = *ravelin::GetRunningModulePath();
  ASSERT_EQ(ravelin::g_Language.GetText(25), L"Dusk Vale");

  // First start: initialisation, then the start-up tasks.
  const ravelin::StartAddress first = ravelin::BuildStartAddress();
  ravelin::CreateShortcutsAndRecords();

  EXPECT_TRUE(
      first.url.ends_with(L"&host_uid=" + first.hostUid + L"&sp_promote=tr;vorlan_tr;tr;client;officialwebsite"))
      << ToUtf8(first.url);
  EXPECT_EQ(ReadValue(kCorvane, L"Tessar_duskvale"), L"officialwebsite");
  EXPECT_EQ(ReadValue(kCorvane, L"DoRun_duskvale"), L"1");
  EXPECT_EQ(ReadValue(kDownloadKey, L"Download"), L"1");
  for (const std::wstring& path : {desktopLink, startMenuLink}) {
    const auto link = ReadLink(path);
    ASSERT_TRUE(link) << ToUtf8(path);
    EXPECT_EQ(_wcsicmp(link->target.c_str(), exe.c_str()), 0) << ToUtf8(link->target);
    EXPECT_EQ(_wcsicmp(link->workingDir.c_str(), ravelin::FolderOf(exe).c_str()), 0) << ToUtf8(link->workingDir);
  }

  // Second start: nothing written to the registry, only the desktop link made again.
  const FILETIME corvaneBefore = LastWrite(kCorvane);
  const FILETIME downloadBefore = LastWrite(kDownloadKey);
  ASSERT_TRUE(DeleteFileW(desktopLink.c_str()));
  ASSERT_TRUE(DeleteFileW(startMenuLink.c_str()));
  Sleep(50);

  const ravelin::StartAddress second = ravelin::BuildStartAddress();
  ravelin::CreateShortcutsAndRecords();

  // The identifier itself may differ: the processor signature carries the
  // APIC id of whichever processor ran the query.
  auto withoutUid = [](const ravelin::StartAddress& a) {
    std::wstring url = a.url;
    url.replace(url.find(a.hostUid), a.hostUid.size(), L"*");
    return url;
  };
  EXPECT_EQ(withoutUid(second), withoutUid(first));
  EXPECT_TRUE(SameTime(LastWrite(kCorvane), corvaneBefore));
  EXPECT_TRUE(SameTime(LastWrite(kDownloadKey), downloadBefore));
  EXPECT_TRUE(ReadLink(desktopLink));
  EXPECT_FALSE(ravelin::testkit::FileExists(startMenuLink));
}

TEST_F(ProductRecords, ARecordedPromotionSourceIsUsedAndLeftAlone) {
  SetValue(kCorvane, L"Tessar_duskvale", L"partnersite");
  const FILETIME before = LastWrite(kCorvane);
  Sleep(50);
  const ravelin::StartAddress address = ravelin::BuildStartAddress();
  EXPECT_TRUE(address.url.ends_with(L";client;partnersite")) << ToUtf8(address.url);
  EXPECT_EQ(ReadValue(kCorvane, L"Tessar_duskvale"), L"partnersite");
  EXPECT_TRUE(SameTime(LastWrite(kCorvane), before));
}

TEST_F(ProductRecords, AnOverLongStoredSourceFallsBackToTheDefaultAndIsOverwritten) {
  SetValue(kCorvane, L"Tessar_duskvale", std::wstring(200, L'p'));
  const ravelin::StartAddress address = ravelin::BuildStartAddress();
  EXPECT_TRUE(address.url.ends_with(L";client;officialwebsite")) << ToUtf8(address.url);
  EXPECT_EQ(ReadValue(kCorvane, L"Tessar_duskvale"), L"officialwebsite");
}

TEST_F(ProductRecords, WritesAreCutToFortyNineCharacters) {
  ravelin::WritePromotionSource(std::wstring(60, L'q'));
  EXPECT_EQ(ReadValue(kCorvane, L"Tessar_duskvale"), std::wstring(49, L'q'));
}

TEST(HostIdentifier, UnderWineIsTheFallbackFormWithThePrefixVolumeSerial) {
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
  // One processor, so both reads see the same APIC id in EBX.
  const DWORD_PTR previous = SetThreadAffinityMask(GetCurrentThread(), 1);
  const ravelin::HostUid uid = ravelin::ComputeHostUid();
  EXPECT_EQ(uid.form, ravelin::HostUidForm::CpuSignature);
  EXPECT_TRUE(std::regex_match(ToUtf8(uid.text), std::regex(R"(\d+_\d+_\d+_\d+_5CA1AB1E)"))) << ToUtf8(uid.text);

  wchar_t buffer[1024];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  ravelin::GetHostUid(buffer, 1024);
  EXPECT_EQ(std::wstring(buffer), uid.text);
  EXPECT_EQ(buffer[1023], L'\0');  // the buffer is cleared before it is written
  SetThreadAffinityMask(GetCurrentThread(), previous);
}

TEST(OsClassOnWine, IsWindows7SixtyFourBitWithTheLanguageBit) {
  DWORD code = 0, build = 0;
  ASSERT_TRUE(ravelin::GetOsClass(&code, &build));
  EXPECT_EQ(code, 0x91600u) << std::hex << code;
  EXPECT_EQ(build, 7601u);
  EXPECT_TRUE(ravelin::GetOsClass(nullptr, nullptr));
}

TEST(Exports, FindExportByNameMatchesGetProcAddressIgnoringCase) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  for (const char* name : {"RtlGetVersion", "NtClose", "RtlGetNtProductType"}) {
    EXPECT_EQ(ravelin::FindExportByName(ntdll, name), reinterpret_cast<void*>(GetProcAddress(ntdll, name))) << name;
  }
  EXPECT_NE(ravelin::FindExportByName(ntdll, "rtlgetversion"), nullptr);
  EXPECT_EQ(ravelin::FindExportByName(ntdll, "NoSuchExportAnywhere"), nullptr);
  EXPECT_EQ(ravelin::FindExportByName(nullptr, "RtlGetVersion"), nullptr);
}

TEST(RegistryReads, MachineGuidIsReadThroughThe64BitView) {
  wchar_t guid[260] = {};
  ASSERT_TRUE(ravelin::ReadRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", guid,
                                     sizeof(guid) - sizeof(wchar_t)));
  EXPECT_EQ(std::wstring(guid).size(), 36u);
  EXPECT_FALSE(ravelin::ReadRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NoSuchKey", L"x", guid, sizeof(guid)));
}

TEST(CpuSignature, BoundedByTheCallersBuffer) {
  wchar_t full[520] = {};
  ASSERT_TRUE(ravelin::GetCpuSignature(full, 520));
  wchar_t small[6];
  std::fill(std::begin(small), std::end(small), L'#');
  ASSERT_TRUE(ravelin::GetCpuSignature(small, 5));
  EXPECT_EQ(std::wstring(small), std::wstring(full).substr(0, 4));
}

}  // namespace
