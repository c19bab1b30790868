#include "sysinfo/product_records_win.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>

#include "common/process_win.h"
#include "common/unique_handle_win.h"
#include "i18n/language_win.h"
#include "res/resource.h"
#include "sysinfo/host_uid_win.h"
#include "sysinfo/product_records.h"
#include "sysinfo/system_info_win.h"

namespace ravelin {
namespace {

// Queries a text value under HKLM with the records' 260-byte limit.
bool QueryRecord(const std::wstring& keyPath, const wchar_t* valueName, std::wstring& text) {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t data[260] = {};  // 520 bytes
  DWORD size = static_cast<DWORD>(kRecordReadLimitBytes);
  if (RegQueryValueExW(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return false;
  }
  text = TextFromRegistryData(data, size);
  return true;
}

void WriteRecord(const std::wstring& keyPath, const wchar_t* valueName, std::wstring_view value) {
  unique_hkey key;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.put()) != ERROR_SUCCESS) return;
  const std::wstring text = RecordValueText(value);
  RegSetValueExW(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring LoadResourceString(UINT id) {
  wchar_t buffer[260] = {};
  LoadStringW(GetModuleHandleW(nullptr), id, buffer, 260);
  return buffer;
}

}  // namespace

bool ReadPromotionSource(std::wstring& source) {
  return QueryRecord(CorvaneReadKey(IsOs64Bit()), kPromotionValue, source);
}

bool ReadPromotionSource(wchar_t* buffer, std::size_t capacity) {
  std::wstring source;
  if (!ReadPromotionSource(source) || capacity == 0) return false;
  const std::size_t n = std::min(source.size(), capacity - 1);
  source.copy(buffer, n);
  buffer[n] = L'\0';
  return true;
}

void WritePromotionSource(const std::wstring& source) {
  WriteRecord(CorvaneWriteKey(IsOs64Bit()), kPromotionValue, source);
}

bool CheckFirstRun(const wchar_t* valueName) {
  std::wstring ignored;
  if (QueryRecord(CorvaneReadKey(IsOs64Bit()), valueName, ignored)) return false;
  WriteRunMark(valueName);
  return true;
}

void WriteRunMark(const wchar_t* valueName) { WriteRecord(CorvaneWriteKey(IsOs64Bit()), valueName, L"1"); }

void WriteDownloadMark() { WriteRecord(DownloadMarkKey(IsOs64Bit()), kDownloadMarkValue, L"1"); }

std::wstring BuildShortcutPath(int folderId, const std::wstring& linkName) {
  unique_cotaskmem<PIDLIST_ABSOLUTE> items;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, items.put())) || !items) return {};
  wchar_t folder[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(items.get(), folder)) return {};
  return ShortcutPath(folder, linkName);
}

bool CreateShortcut(int folderId, const std::wstring& linkName, const std::wstring& target) {
  const std::wstring linkPath = BuildShortcutPath(folderId, linkName);
  if (linkPath.empty()) return false;
  const HRESULT com = CoInitialize(nullptr);
  if (FAILED(com)) return false;
  bool saved = false;
  {
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) {
      link->SetPath(target.c_str());
      link->SetWorkingDirectory(FolderOf(target).c_str());
      Microsoft::WRL::ComPtr<IPersistFile> file;
      if (SUCCEEDED(link.As(&file))) saved = SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
    }
  }
  CoUninitialize();
  return saved;
}

StartAddress BuildStartAddress() {
  StartAddress address;
  address.hostUid = ComputeHostUid().text;
  const std::wstring urlTemplate = g_Language.GetGameUrlTemplate();
  std::wstring source;
  const bool recorded = ReadPromotionSource(source);
  if (!recorded) source = LoadResourceString(IDS_DEFAULT_SOURCE);
  address.url = ComposeGameUrl(urlTemplate, address.hostUid, source);
  if (!recorded) WritePromotionSource(source);
  return address;
}

void CreateShortcutsAndRecords() {
  const std::optional<std::wstring> exe = GetRunningModulePath();
  if (!exe) return;
  const std::wstring name = g_Language.GetText(25);
  CreateShortcut(CSIDL_DESKTOPDIRECTORY, name, *exe);
  if (CheckFirstRun(kRunMarkValue)) {
    CreateShortcut(CSIDL_STARTMENU, name, *exe);
    SHAddToRecentDocs(SHARD_PATHW, exe->c_str());
    WriteDownloadMark();
  }
}

}  // namespace ravelin
