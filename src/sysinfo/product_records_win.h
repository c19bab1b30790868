// The product's registry records (promotion source, first-run and download
// marks) and its shortcuts. Every failure is silent.
#pragma once

#include <cstddef>
#include <string>

namespace ravelin {

// The recorded promotion source; false when the key or value is unreadable
// (missing, or longer than the 260-byte limit).
bool ReadPromotionSource(wchar_t* buffer, std::size_t capacity);
bool ReadPromotionSource(std::wstring& source);
void WritePromotionSource(const std::wstring& source);

// True on a first run: the mark was unreadable, and it has now been written.
bool CheckFirstRun(const wchar_t* valueName);
void WriteRunMark(const wchar_t* valueName);
void WriteDownloadMark();

// The link file in a special folder (CSIDL); empty when the folder is unknown.
std::wstring BuildShortcutPath(int folderId, const std::wstring& linkName);
// Saves a shell link to `target` (working directory: the target's folder).
bool CreateShortcut(int folderId, const std::wstring& linkName, const std::wstring& target);

// The start address and host identifier the game window opens with: the
// language's template filled with the identifier and the recorded promotion
// source, or "officialwebsite" from the string table, which is then recorded.
struct StartAddress {
  std::wstring url;
  std::wstring hostUid;
};
StartAddress BuildStartAddress();

// The records and shortcuts of the game window's start-up tasks, in order:
// desktop shortcut; on a first run the start-menu shortcut, the recent
// documents entry and the download mark.
void CreateShortcutsAndRecords();

}  // namespace ravelin
