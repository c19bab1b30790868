#include "testkit/testkit_win.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace ravelin::testkit {
namespace {

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return s;
}

std::wstring FileName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::wstring ProcessImagePath(DWORD pid) {
  const unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  std::vector<wchar_t> buffer(32768);
  DWORD size = static_cast<DWORD>(buffer.size());
  std::wstring path;
  if (QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size)) path.assign(buffer.data(), size);
  return path;
}

std::vector<DWORD> FindProcesses(const std::wstring& imageName) {
  std::vector<DWORD> pids;
  const unique_hfile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return pids;
  const std::wstring wanted = Lower(imageName);
  const bool fullPath = wanted.find(L'\\') != std::wstring::npos;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    const std::wstring image = Lower(ProcessImagePath(entry.th32ProcessID));
    if (image.empty()) continue;
    if (fullPath ? image == wanted : FileName(image) == wanted) pids.push_back(entry.th32ProcessID);
  }
  return pids;
}

std::vector<WindowInfo> TopLevelWindows(const std::vector<DWORD>& pids) {
  struct Search {
    const std::vector<DWORD>* pids;
    std::vector<WindowInfo> found;
  } search{&pids, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (std::find(s->pids->begin(), s->pids->end(), pid) == s->pids->end()) return TRUE;
        WindowInfo info;
        info.hwnd = hwnd;
        info.pid = pid;
        wchar_t text[512] = {};
        GetClassNameW(hwnd, text, 512);
        info.className = text;
        text[0] = 0;
        InternalGetWindowText(hwnd, text, 512);  // sends nothing: safe from any thread
        info.title = text;
        info.visible = IsWindowVisible(hwnd) != FALSE;
        info.layered = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
        info.owned = GetWindow(hwnd, GW_OWNER) != nullptr;
        s->found.push_back(info);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

namespace {

bool HasChildOfClass(HWND hwnd, int id, const wchar_t* cls) {
  const HWND child = GetDlgItem(hwnd, id);
  if (child == nullptr) return false;
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  return _wcsicmp(name, cls) == 0;
}

}  // namespace

WindowKind KindOf(const WindowInfo& w) {
  if (w.className != L"#32770") return WindowKind::Other;
  if (HasChildOfClass(w.hwnd, 1000, L"AtlAxWin100")) return WindowKind::Game;
  if (HasChildOfClass(w.hwnd, 0xFFFF, L"Static")) return WindowKind::MessageBox;
  if (HasChildOfClass(w.hwnd, 1011, L"msctls_progress32")) return WindowKind::Update;
  if (!w.owned && w.layered && GetWindow(w.hwnd, GW_CHILD) == nullptr) return WindowKind::Main;
  return WindowKind::Other;
}

const wchar_t* KindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::Main:
      return L"main";
    case WindowKind::Game:
      return L"game";
    case WindowKind::Update:
      return L"update";
    case WindowKind::MessageBox:
      return L"msgbox";
    case WindowKind::Other:
      break;
  }
  return L"other";
}

std::optional<WindowInfo> FindMainWindow(const std::vector<DWORD>& pids) {
  for (const WindowInfo& w : TopLevelWindows(pids)) {
    if (KindOf(w) == WindowKind::Main) return w;
  }
  return std::nullopt;
}

std::optional<Process> Process::Start(const std::wstring& application, const std::wstring& commandLine,
                                      const std::wstring& currentDir) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &info)) {
    return std::nullopt;
  }
  const unique_handle thread(info.hThread);
  Process p;
  p.m_process.reset(info.hProcess);
  p.m_pid = info.dwProcessId;
  return p;
}

std::optional<Process> Process::Open(DWORD pid) {
  Process p;
  p.m_process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
  if (!p.m_process) return std::nullopt;
  p.m_pid = pid;
  return p;
}

std::optional<DWORD> Process::Wait(std::chrono::milliseconds timeout) const {
  if (!m_process) return std::nullopt;
  if (WaitForSingleObject(m_process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(m_process.get(), &code)) return std::nullopt;
  return code;
}

void Process::Kill() const {
  if (m_process) TerminateProcess(m_process.get(), 255);
}

CapturedRun RunCaptured(const std::wstring& application, const std::wstring& commandLine,
                        std::chrono::milliseconds timeout) {
  CapturedRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  unique_handle readEnd, writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 1 << 16)) return run;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  // Only the pipe goes to the child, so nothing else keeps it open.
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attributeBytes(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBytes.data());
  bool haveList = InitializeProcThreadAttributeList(attributes, 1, 0, &size) != FALSE;
  HANDLE writeHandle = writeEnd.get();
  if (haveList) {
    // The list points at this copy until the child is created; &writeEnd
    // would lend out the holder's slot instead.
    haveList = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &writeHandle,
                                         sizeof(writeHandle), nullptr, nullptr) != FALSE;
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = nullptr;
  startup.StartupInfo.hStdOutput = writeEnd.get();
  startup.StartupInfo.hStdError = writeEnd.get();
  if (haveList) startup.lpAttributeList = attributes;
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION info{};
  const DWORD flags = CREATE_NO_WINDOW | (haveList ? EXTENDED_STARTUPINFO_PRESENT : 0);
  run.started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                               &startup.StartupInfo, &info) != FALSE;
  if (haveList) DeleteProcThreadAttributeList(attributes);
  writeEnd.reset();
  if (!run.started) return run;
  const unique_handle process(info.hProcess), thread(info.hThread);

  const auto drain = [&] {
    DWORD available = 0;
    while (PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      std::vector<char> buffer(available);
      DWORD got = 0;
      if (!ReadFile(readEnd.get(), buffer.data(), available, &got, nullptr) || got == 0) break;
      run.output.append(buffer.data(), got);
    }
  };
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    drain();
    if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      TerminateProcess(process.get(), 255);
      run.killed = WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0;
      break;
    }
  }
  drain();
  DWORD code = 0;
  if (!run.killed && GetExitCodeProcess(process.get(), &code)) run.exitCode = code;
  return run;
}

TempDir::TempDir(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring base = temp;
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  for (unsigned attempt = 0;; ++attempt) {
    m_path = base + L"\\" + prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
    if (CreateDirectoryW(m_path.c_str(), nullptr)) break;
    // Only a name that is taken is worth another try; a missing or closed
    // parent folder leaves the object without a folder.
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt >= 1000) {
      m_path.clear();
      break;
    }
  }
}

TempDir::~TempDir() {
  if (!m_path.empty()) RemoveTree(m_path);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const unique_hfile file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  if (const unique_hfind find{FindFirstFileW((path + L"\\*").c_str(), &data)}) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find.get(), &data));
  }
  return RemoveDirectoryW(path.c_str()) != FALSE || !FileExists(path);
}

std::wstring ExeDir() {
  std::vector<wchar_t> buffer(32768);
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::wstring path(buffer.data(), n);
  return path.substr(0, path.find_last_of(L'\\'));
}

long LiveGdiObjects() {
  // Windows counts them; Wine's GetGuiResources answers 0, but its handle
  // table takes a bare slot index, so every slot is asked.
  if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); counted != 0) return counted;
  long live = 0;
  for (ULONG_PTR slot = 1; slot <= 0xFFFF; ++slot) live += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
  return live;
}

}  // namespace ravelin::testkit
