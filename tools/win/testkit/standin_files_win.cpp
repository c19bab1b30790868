#include "testkit/standin_files_win.h"

#include <windows.h>

#include <wininet.h>

#include <regex>

#include "common/unique_net_win.h"
#include "testkit/testkit_win.h"

namespace ravelin::testkit {

bool RegisterStandin(const std::wstring& dll) {
  const HMODULE module = LoadLibraryW((ExeDir() + L"\\" + dll).c_str());
  if (module == nullptr) return false;
  using RegisterFn = HRESULT(WINAPI*)();
  const auto reg = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  return reg != nullptr && SUCCEEDED(reg());  // stays loaded: COM will use it
}

std::vector<std::string> ConsoleToolRuns() {
  std::vector<std::string> runs;
  const std::regex run(R"(^(ping|tracert) behaviour=\S+ target=(\S*))");
  std::smatch m;
  for (const std::string& line : ReadStandinLines(L"console.log")) {
    if (std::regex_search(line, m, run)) runs.push_back(m[1].str() + " " + m[2].str());
  }
  return runs;
}

std::wstring StandinFile(const std::wstring& name) {
  wchar_t dir[2048] = {};
  const DWORD n = GetEnvironmentVariableW(L"RAVELIN_STANDIN_DIR", dir, 2048);
  if (n == 0 || n >= 2048) return {};
  return std::wstring(dir) + L"\\" + name;
}

std::vector<std::string> ReadStandinLines(const std::wstring& name) {
  std::vector<std::string> lines;
  const std::wstring path = StandinFile(name);
  if (path.empty()) return lines;
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return lines;
  std::size_t pos = 0;
  while (pos < text->size()) {
    std::size_t end = text->find('\n', pos);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

bool WriteStandinSettings(const std::wstring& name, const std::wstring& text) {
  const std::wstring path = StandinFile(name);
  if (path.empty()) return false;
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return WriteWholeFile(path, bytes);
}

void ClearStandinFile(const std::wstring& name) {
  const std::wstring path = StandinFile(name);
  if (!path.empty()) DeleteFileW(path.c_str());
}

std::optional<std::string> ServiceRequest(const std::wstring& method, const std::wstring& path,
                                          const std::string& body) {
  std::optional<std::string> answer;
  const unique_hinternet session(InternetOpenW(L"ravelin-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return answer;
  const unique_hinternet connection(
      InternetConnectW(session.get(), L"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return answer;
  const unique_hinternet request(HttpOpenRequestW(connection.get(), method.c_str(), path.c_str(), nullptr, nullptr,
                                                  nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (request &&
      HttpSendRequestW(request.get(), nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
    DWORD status = 0, size = sizeof(status);
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (InternetReadFile(request.get(), buffer, sizeof(buffer), &got) && got > 0) text.append(buffer, got);
    if (status == 200) answer = text;
  }
  return answer;
}

}  // namespace ravelin::testkit
