#include "update/update_check_win.h"

#include <memory>
#include <vector>

#include "common/error_text.h"
#include "common/process_win.h"
#include "common/unique_handle_win.h"
#include "i18n/language_win.h"
#include "ravelin_update_key.h"
#include "res/resource.h"
#include "update/build_signature.h"
#include "update/manifest.h"
#include "update/signature_win.h"
#include "update/update_dlg_win.h"
#include "update/update_files.h"

namespace ravelin {

namespace {

// The offered build must be a whole program of ours: its headers come from
// the start of the file, its sections must lie within the file.
bool IsAcceptableBuildFile(const std::wstring& path) {
  const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<LONGLONG>(size.QuadPart, kBuildHeadBytes)));
  DWORD got = 0;
  if (!ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr) || got != head.size()) {
    return false;
  }
  return CheckBuildFile(head, static_cast<std::uint64_t>(size.QuadPart)) == BuildFileCheck::Ok;
}

// Signed by the key this program was built with, byte for byte.
bool IsSignedBuild(const std::wstring& path, const std::wstring& url, const CancelFlag& cancelled) {
  const std::optional<std::string> text = FetchSmallFile(SignatureUrl(url), kMaxSignatureFileBytes, &cancelled);
  if (!text) return false;
  const std::optional<RawP256Signature> signature = ParseSignatureFile(*text);
  return signature && VerifyFileSignature(path, *signature, kUpdatePublicKey);
}

void SetText(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

// A box of this opening's; none once the opening has ended.
void ShowBox(UpdateRun& run, int textId) {
  if (!run.Cancelled()) MessageBoxW(run.Dialog(), g_Language.GetText(textId).c_str(), nullptr, MB_OK);
}

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
  const std::unique_ptr<SilentCheckTarget> target(static_cast<SilentCheckTarget*>(param));
  const std::wstring local = GetLocalVersionString(GetModulePath());
  const std::wstring text = FetchText(g_Language.GetUpdateManifestUrl());
  if (!IsUsableManifest(text)) return 0;
  if (IsDifferentVersion(local, ParseUpdateManifest(text).version)) {
    PostMessageW(target->window, target->message, 0, 0);
  }
  return 0;
}

UpdateRun::UpdateRun(HWND dialog, HWND progressBar, std::uint32_t opening)
    : m_dialog(dialog),
      m_progressBar(progressBar),
      m_opening(opening),
      m_goEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

UpdateRun::~UpdateRun() = default;

void UpdateRun::Go() const { SetEvent(m_goEvent.get()); }

void UpdateRun::Cancel() {
  {
    const std::lock_guard<std::mutex> lock(m_stepLock);
    m_cancelled = true;
  }
  SetEvent(m_goEvent.get());
}

void UpdateRun::WaitForChoice() const { WaitForSingleObject(m_goEvent.get(), INFINITE); }

bool UpdateRun::WhileCurrent(const std::function<void()>& step) {
  const std::lock_guard<std::mutex> lock(m_stepLock);
  if (m_cancelled) return false;
  step();
  return true;
}

DownloadOutcome DownloadVerifiedBuild(UpdateRun& run, const std::wstring& url, const std::wstring& target) {
  // As a download to the target would: whatever an earlier attempt left
  // there goes first.
  if (!run.WhileCurrent([&] { DeleteFileW(target.c_str()); })) return DownloadOutcome::Cancelled;
  const std::wstring partial = PartialDownloadPath(target, GetCurrentProcessId(), run.Opening());
  const int result =
      DownloadToFile(run.ProgressBar(), GetDlgItem(run.Dialog(), IDC_UPDATE_STATUS), url, partial, &run.Cancelled());
  if (run.Cancelled()) {
    DeleteFileW(partial.c_str());
    return DownloadOutcome::Cancelled;
  }
  if (result == -1) return DownloadOutcome::Failed;

  if (!IsSignedBuild(partial, url, run.Cancelled()) || !IsAcceptableBuildFile(partial)) {
    DeleteFileW(partial.c_str());
    return run.Cancelled() ? DownloadOutcome::Cancelled : DownloadOutcome::Failed;
  }
  bool moved = false;
  const bool current = run.WhileCurrent([&] {
    moved = MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  });
  if (!moved) DeleteFileW(partial.c_str());
  if (!current) return DownloadOutcome::Cancelled;
  return moved ? DownloadOutcome::Installed : DownloadOutcome::Failed;
}

void RunUpdateCheck(UpdateRun& run) {
  const HWND window = run.Dialog();
  const std::wstring module = GetModulePath();
  const std::wstring target = UpdateTargetPath(module);
  const std::wstring local = GetLocalVersionString(module);
  const std::wstring url = g_Language.GetUpdateManifestUrl();
  SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(7));

  const std::wstring text = FetchText(url, &run.Cancelled());
  if (run.Cancelled()) return;
  WPARAM result = 1;
  if (!IsUsableManifest(text)) {
    ShowBox(run, 11);
  } else {
    const UpdateManifest manifest = ParseUpdateManifest(text);
    if (IsDifferentVersion(local, manifest.version)) {
      ShowWindow(window, SW_SHOW);
      SetForegroundWindow(window);
      EnableWindow(GetDlgItem(window, IDOK), TRUE);
      SetText(window, IDC_UPDATE_INFO, manifest.notes);
      SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(14));
      run.WaitForChoice();
      if (run.Cancelled()) return;
      switch (DownloadVerifiedBuild(run, manifest.http, target)) {
        case DownloadOutcome::Installed:
          result = 0;
          break;
        case DownloadOutcome::Failed:
          ShowBox(run, 9);
          break;
        case DownloadOutcome::Cancelled:
          return;
      }
    } else {
      SetText(window, IDC_UPDATE_INFO, g_Language.GetText(10));
      SetText(window, IDC_UPDATE_STATUS, g_Language.GetText(10));
      ShowBox(run, 10);
    }
  }
  run.WhileCurrent([&] { PostMessageW(window, WM_UPDATE_CHECK_DONE, result, 0); });
}

bool StartHandover(const std::wstring& downloadedBuild) {
  const std::wstring module = GetModulePath();
  const std::wstring copy = TempCopyPath(module);
  if (!CopyFileW(module.c_str(), copy.c_str(), FALSE)) return false;
  StartProgram(copy, BuildUpdateCommandLine(module, downloadedBuild), /*hidden=*/true);
  return true;
}

}  // namespace ravelin
