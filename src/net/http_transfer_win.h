// The three HTTP operations of the program over WinINet: a text fetch (the
// update manifest), a download to file with progress (the new build) and a
// form post (the diagnostics upload). No state survives a call.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin {

// Set by the update dialog; the reading operations stop after the chunk in
// hand once they see 1.
extern std::atomic<int> g_cancelUpdate;
// Bytes received by the current DownloadToFile, from 0 when its body starts.
extern std::atomic<std::uint32_t> g_downloadedBytes;

// The whole body as text (up to its first NUL, from the ANSI code page),
// whatever the status; "Error" when nothing could be fetched or the host
// closed without answering.
std::wstring FetchText(const std::wstring& url);

// Stores the body at `path` and shows progress on `progressBar` and
// `statusWindow` (either may be null). 0 when the body was stored whole, and
// 0 after a cancellation too (file deleted); -1 on any failure, with no file
// left: no 200 status, no Content-Length, a failed read or write, or fewer
// bytes than declared.
int DownloadToFile(HWND progressBar, HWND statusWindow, const std::wstring& url, const std::wstring& path);

// Posts "info=<value>&check=md5pelrose" to http://host/object; `host` may
// carry ":port". 1 when the request went out and the host answered (with
// any status), 0 otherwise; the answer's body is not read. A non-zero
// `timeoutMs` bounds the connect, the send and the wait for the answer each.
int PostForm(const std::wstring& host, const std::wstring& object, const char* value, DWORD timeoutMs = 0);

// A fetched body as the program reads text from the network: up to the first
// NUL, converted from the thread's ANSI code page.
std::wstring BodyToText(std::string_view body);

}  // namespace ravelin
