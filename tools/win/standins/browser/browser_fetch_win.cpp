#include "browser/browser_fetch_win.h"

#include <memory>

namespace ravelin::standin {

void PageFetch::Start(HWND notify, unsigned navigation, const std::wstring& url) {
  Cancel();
  m_cancelled = false;
  m_thread = std::thread(&PageFetch::Run, this, notify, navigation, url);
}

void PageFetch::Cancel() {
  m_cancelled = true;
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_session.reset();
  }
  Finish();
}

void PageFetch::Finish() {
  if (m_thread.joinable()) m_thread.join();
}

void PageFetch::Run(HWND notify, unsigned navigation, std::wstring url) {
  auto result = std::make_unique<FetchResult>();
  result->navigation = navigation;
  result->url = url;
  HINTERNET session = nullptr;
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_session.reset(InternetOpenW(L"RavelinBrowserStandin", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    session = m_session.get();
  }
  if (session != nullptr && !m_cancelled) {
    const unique_hinternet request(
        InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0));
    if (!request) {
      result->error = GetLastError();
    } else {
      DWORD status = 0, size = sizeof(status);
      HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
      result->status = status;
      DWORD length = 0;
      size = sizeof(length);
      HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr);
      char buffer[4096];
      DWORD got = 0;
      while (!m_cancelled && InternetReadFile(request.get(), buffer, sizeof(buffer), &got) && got > 0) {
        result->body.append(buffer, got);
        if (length > 0) {
          PostMessageW(
              notify, kMsgFetchProgress, navigation,
              static_cast<LPARAM>(MulDiv(static_cast<int>(result->body.size()), 10000, static_cast<int>(length))));
        }
      }
    }
  }
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_session.reset();
  }
  if (!m_cancelled) PostMessageW(notify, kMsgFetchDone, 0, reinterpret_cast<LPARAM>(result.release()));
}

}  // namespace ravelin::standin
