// The three HTTP operations of the program over WinINet: a text fetch (the
// update manifest), a download to file with progress (the new build) and a
// form post (the diagnostics upload). No state survives a call.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravelin {

// Set by the update dialog; the reading operations stop after the chunk in
// hand once they see 1.
extern std::atomic<int> g_cancelUpdate;
// Bytes received by the current DownloadToFile, from 0 when its body starts.
extern std::atomic<std::uint32_t> g_downloadedBytes;

// The cancel flag of one opening of the update dialog. A transfer given one
// stops when either it or g_cancelUpdate is set, so a later opening that
// clears g_cancelUpdate cannot bring an earlier, cancelled transfer back.
using CancelFlag = std::atomic<bool>;

// Bounds every GET keeps, so that a host that never answers, trickles or
// never ends cannot hold an update worker, or its memory, for ever. A read
// that blocks is bounded by the receive time-out, so a transfer ends at the
// latest one receive time-out after its own time limit.
inline constexpr DWORD kConnectTimeoutMs = 15'000;
inline constexpr DWORD kReceiveTimeoutMs = 30'000;  // without any byte
inline constexpr std::size_t kMaxManifestBytes = 64 * 1024;
inline constexpr ULONGLONG kManifestTimeLimitMs = 30'000;
inline constexpr std::uint64_t kMaxBuildBytes = 512ull * 1024 * 1024;
// 512 MiB in an hour needs about 150 KB/s; a build of a few MiB gets an
// hour even on a dial-up line.
inline constexpr ULONGLONG kBuildTimeLimitMs = 60 * 60 * 1000;

// The whole body as text (up to its first NUL, from the ANSI code page),
// whatever the status; "Error" when nothing could be fetched, the host
// closed without answering, the body passed kMaxManifestBytes or did not
// arrive within kManifestTimeLimitMs.
std::wstring FetchText(const std::wstring& url, const CancelFlag* cancel = nullptr);

// Stores the body at `path` and shows progress on `progressBar` and
// `statusWindow` (either may be null). 0 when the body was stored whole, and
// 0 after a cancellation too (file deleted); -1 on any failure, with no file
// left: no 200 status, no Content-Length, one past kMaxBuildBytes, a failed
// read or write, fewer bytes than declared, or more than kBuildTimeLimitMs.
int DownloadToFile(HWND progressBar, HWND statusWindow, const std::wstring& url, const std::wstring& path,
                   const CancelFlag* cancel = nullptr);

// A small file that must come whole with status 200, such as a build's
// signature: nothing when it cannot, when it is longer than `maxBytes`, or
// when the transfer is cancelled.
std::optional<std::string> FetchSmallFile(const std::wstring& url, std::size_t maxBytes,
                                          const CancelFlag* cancel = nullptr);

// Posts "info=<value>&check=md5pelrose" to http://host/object; `host` may
// carry ":port". 1 when the request went out and the host answered (with
// any status), 0 otherwise; the answer's body is not read. A non-zero
// `timeoutMs` bounds the connect, the send and the wait for the answer each.
int PostForm(const std::wstring& host, const std::wstring& object, const char* value, DWORD timeoutMs = 0);

// PostForm on a thread of its own, waited for at most `limitMs`, and not at
// all once `abandon` (an event; null for none) is set: name resolution and
// proxy detection come before any WinINet time-out applies, so only this
// bounds the wait. 0 when the post did not finish in time; it may still go
// out later, so a caller keeps what it posted and may send it again.
int PostFormWithin(const std::wstring& host, const std::wstring& object, const std::string& value, DWORD timeoutMs,
                   DWORD limitMs, HANDLE abandon);

// A fetched body as the program reads text from the network: up to the first
// NUL, converted from the thread's ANSI code page.
std::wstring BodyToText(std::string_view body);

}  // namespace ravelin
