#include "update/update_check_win.h"

#include <vector>

#include "app/handover.h"
#include "app/handover_win.h"
#include "i18n/language_win.h"
#include "res/resource.h"
#include "update/manifest.h"
#include "update/update_dlg_win.h"
#include "update/update_files.h"

namespace ravelin {

namespace {

// The offered build's file, read whole to be checked before it is kept.
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31)) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()) {
      bytes.clear();
    }
  }
  CloseHandle(file);
  return bytes;
}

void SetText(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

}  // namespace

std::wstring GetModulePath() {
  const std::optional<std::wstring> path = GetRunningModulePath();
  return path ? *path : std::wstring(kFetchError);
}

std::wstring GetLocalVersionString(const std::wstring& modulePath) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(modulePath.c_str(), &ignored);
  if (size == 0) return std::wstring(kDefaultLocalVersion);
  std::vector<std::uint8_t> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoW(modulePath.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr) {
    return std::wstring(kDefaultLocalVersion);
  }
  return FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

DWORD WINAPI SilentCheckThreadProc(LPVOID param) {
  auto* dialog = static_cast<CUpdateDlg*>(param);
  const std::wstring local = GetLocalVersionString(GetModulePath());
  const std::wstring text = FetchText(g_Language.GetUpdateManifestUrl());
  if (!IsUsableManifest(text)) return 0;
  if (IsDifferentVersion(local, ParseUpdateManifest(text).version)) {
    PostMessageW(dialog->SilentTarget(), dialog->SilentMessage(), 0, 0);
  }
  return 0;
}

DWORD WINAPI CheckThreadProc(LPVOID param) {
  auto* dialog = static_cast<CUpdateDlg*>(param);
  const HWND window = dialog->m_hWnd;
  const std::wstring module = GetModulePath();
  const std::wstring target = UpdateTargetPath(module);
  dialog->SetTargetPath(target);
  const std::wstring local = GetLocalVersionString(module);
  const std::wstring url = g_Language.GetUpdateManifestUrl();
  SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(7));

  const std::wstring text = FetchText(url);
  WPARAM result = 1;
  if (!IsUsableManifest(text)) {
    MessageBoxW(window, g_Language.GetText(11).c_str(), nullptr, MB_OK);
  } else {
    const UpdateManifest manifest = ParseUpdateManifest(text);
    if (IsDifferentVersion(local, manifest.version)) {
      ShowWindow(window, SW_SHOW);
      SetForegroundWindow(window);
      EnableWindow(GetDlgItem(window, IDOK), TRUE);
      SetText(window, IDC_UPDATE_INFO, manifest.notes);
      SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(14));
      WaitForSingleObject(g_updateGoEvent, INFINITE);
      if (g_cancelUpdate) return 0;
      int downloaded = DownloadToFile(dialog->ProgressBar(), GetDlgItem(window, IDC_UPDATE_STATUS), manifest.http,
                                      target);
      // A file that is not a whole program of ours is never installed.
      if (downloaded != -1 && !g_cancelUpdate && !IsAcceptableBuild(ReadFileBytes(target))) {
        DeleteFileW(target.c_str());
        downloaded = -1;
      }
      if (downloaded == -1) {
        MessageBoxW(window, g_Language.GetText(9).c_str(), nullptr, MB_OK);
        result = 1;
      } else {
        result = 0;
      }
    } else {
      SetText(window, IDC_UPDATE_INFO, g_Language.GetText(10));
      SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(10));
      MessageBoxW(window, g_Language.GetText(10).c_str(), nullptr, MB_OK);
    }
  }
  if (!g_cancelUpdate) PostMessageW(window, WM_UPDATE_CHECK_DONE, result, 0);
  return 0;
}

bool StartHandover(const std::wstring& downloadedBuild) {
  const std::wstring module = GetModulePath();
  const std::wstring copy = TempCopyPath(module);
  if (!CopyFileW(module.c_str(), copy.c_str(), FALSE)) return false;
  Win32HandoverOps ops;
  ops.Start(copy, BuildUpdateCommandLine(module, downloadedBuild), StartWindow::Hidden);
  return true;
}

}  // namespace ravelin
