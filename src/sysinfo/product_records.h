// Where the product keeps its records and shortcuts. The registry and shell
// calls are in product_records_win; the names and limits are here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ravelin {

inline constexpr wchar_t kPromotionValue[] = L"Tessar_duskvale";
inline constexpr wchar_t kRunMarkValue[] = L"DoRun_duskvale";
inline constexpr wchar_t kDownloadMarkValue[] = L"Download";

// Values are written from a 50-character buffer: at most 49 characters.
inline constexpr std::size_t kRecordValueMaxChars = 49;
// Values are read with a 260-byte limit: longer ones count as unreadable.
inline constexpr std::size_t kRecordReadLimitBytes = 260;

// The record key as read ("Software\...") and as written ("SOFTWARE\..."),
// in its Wow6432Node form on a 64-bit system.
std::wstring CorvaneReadKey(bool is64);
std::wstring CorvaneWriteKey(bool is64);
std::wstring DownloadMarkKey(bool is64);

// The text a record write stores: cut to 49 characters.
std::wstring RecordValueText(std::wstring_view text);

// REG_SZ data as text: up to the first NUL, or all of it.
std::wstring TextFromRegistryData(const wchar_t* data, std::size_t bytes);

// Folder + "\" + name + ".lnk"; empty when the folder is unknown.
std::wstring ShortcutPath(std::wstring_view folder, std::wstring_view linkName);

// The folder part of a program path (no trailing backslash, except a root).
std::wstring FolderOf(std::wstring_view path);

}  // namespace ravelin
