// What the update download's progress costs: DownloadToFile (cleared 64 KiB
// buffer, progress bar and status line on a pumping UI thread) against a
// plain WinINet loop of the same 16 KiB reads writing the same file. Needs
// the game service:
//
//   scripts/harness --build-dir build/win-local --xvfb --services --wine --
//       build/win-local/bin/bench_download.exe [MiB=64] [rounds=5]
#include <windows.h>

#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_report.h"
#include "net/http_transfer_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

constexpr wchar_t kUrl[] = L"http://127.0.0.1/bench/MyClient.exe";

// Runs `work` on a worker while this thread pumps, as the update dialog
// does; seconds.
double TimeOnWorker(const std::function<bool()>& work, bool& ok) {
  const double start = ravelin::bench::NowMs();
  ravelin::testkit::RunWhilePumping([&] { ok = work(); });
  return (ravelin::bench::NowMs() - start) / 1000.0;
}

bool PlainDownload(const std::wstring& path, std::size_t expected) {
  const HINTERNET session = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0);
  const HINTERNET request =
      session == nullptr
          ? nullptr
          : InternetOpenUrlW(session, kUrl, L"Accept: */*\r\n\r\n", 15,
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_ALL, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::size_t total = 0;
  bool ok = request != nullptr && file != INVALID_HANDLE_VALUE;
  std::vector<char> buffer(16384);
  while (ok) {
    DWORD got = 0, written = 0;
    if (!InternetReadFile(request, buffer.data(), 16384, &got)) ok = false;
    if (!ok || got == 0) break;
    total += got;
    ok = WriteFile(file, buffer.data(), got, &written, nullptr) && written == got;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (request != nullptr) InternetCloseHandle(request);
  if (session != nullptr) InternetCloseHandle(session);
  return ok && total == expected;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::size_t size = mib << 20;

  std::string build(size, '\0');
  std::uint32_t seed = 1;
  for (char& c : build) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  if (!ravelin::testkit::ServiceRequest(L"PUT", L"/_standin/build?path=/bench/MyClient.exe&mode=correct", build)) {
    std::fputs("the game service did not take the build (run under the harness with --services)\n", stderr);
    return 1;
  }
  build.clear();

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  const HWND parent = CreateWindowExW(0, L"STATIC", L"update", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 120,
                                      nullptr, nullptr, nullptr, nullptr);
  const HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, parent, nullptr,
                                   nullptr, nullptr);
  const HWND status =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 40, 200, 20, parent, nullptr, nullptr, nullptr);

  ravelin::testkit::TempDir dir(L"bench");
  const std::wstring target = dir.File(L"MyClient.exe");
  std::vector<double> withProgress, plain;
  for (int i = 0; i < rounds; ++i) {
    bool ok = false;
    withProgress.push_back(TimeOnWorker([&] { return ravelin::DownloadToFile(bar, status, kUrl, target) == 0; }, ok));
    if (!ok) {
      std::fputs("DownloadToFile failed\n", stderr);
      return 1;
    }
    plain.push_back(TimeOnWorker([&] { return PlainDownload(target, size); }, ok));
    if (!ok) {
      std::fputs("plain download failed\n", stderr);
      return 1;
    }
  }
  DestroyWindow(parent);

  // Throughput of each round, MiB/s.
  const auto throughput = [&](const std::vector<double>& seconds) {
    std::vector<double> rates;
    for (const double t : seconds) rates.push_back(static_cast<double>(mib) / t);
    return rates;
  };
  const ravelin::bench::Figure plainFigure{"download.plain_wininet", "a plain WinINet loop of 16 KiB reads", "MiB/s",
                                           throughput(plain)};
  ravelin::bench::Report({plainFigure,
                          {"download.throughput", "DownloadToFile with its progress bar and status line", "MiB/s",
                           throughput(withProgress), &plainFigure}});
  return 0;
}
