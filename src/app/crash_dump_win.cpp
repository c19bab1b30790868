#include "app/crash_dump_win.h"

#include <windows.h>

#include <dbghelp.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "app/crash_dump_files.h"
#include "common/unique_handle_win.h"

namespace ravelin {
namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

struct ModuleTraits : detail::NullIsEmpty<HMODULE> {
  static void Close(HMODULE value) noexcept { FreeLibrary(value); }
};
using unique_hmodule = unique_any<ModuleTraits>;

// Stacks, the thread list with each thread's times and start address, and
// the modules; no heap and no data segments, so a dump stays small enough
// for a player to send.
constexpr auto kDumpType = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo);
// A writer that hangs must not keep a crashed process alive for good.
constexpr DWORD kWriteTimeoutMs = 60000;
constexpr std::wstring_view kProductFolder = L"\\Dusk Vale";
constexpr std::wstring_view kDumpFolder = L"\\CrashDumps\\";
constexpr std::wstring_view kDumpPattern = L"ravelin-*.dmp";

// A path in a fixed buffer: nothing to allocate once the process is broken,
// and a part that does not fit fails instead of being cut.
class PathBuffer {
 public:
  bool Append(std::wstring_view part) {
    if (part.size() >= m_text.size() - m_length) return false;
    std::copy(part.begin(), part.end(), m_text.begin() + static_cast<std::ptrdiff_t>(m_length));
    m_length += part.size();
    m_text[m_length] = L'\0';
    return true;
  }
  const wchar_t* CStr() const { return m_text.data(); }

 private:
  std::array<wchar_t, MAX_PATH + 64> m_text{};
  std::size_t m_length = 0;
};

// Made when the handler is installed and never destroyed: a crash can come
// while the process tears down its static objects.
struct CrashDumpState {
  unique_hmodule dbghelp;
  MiniDumpWriteDumpFn write = nullptr;
  PathBuffer productFolder;  // ...\Dusk Vale
  PathBuffer dumpFolder;     // ...\Dusk Vale\CrashDumps\ (with the backslash)
  PathBuffer dumpPattern;
  // The dump is written by a thread of its own, started at install: the
  // crashing thread's stack may be all but used up (a stack overflow), and
  // no thread has to be started in a broken process.
  unique_handle request;
  unique_handle done;
  unique_handle writer;
  DWORD writerId = 0;
  LONG claimed = 0;
  // The crash to write, set by the first thread that claims it.
  EXCEPTION_POINTERS* pointers = nullptr;
  DWORD threadId = 0;
};

CrashDumpState* g_state = nullptr;

template <class Visit>
void ForEachDump(const CrashDumpState& s, Visit visit) {
  WIN32_FIND_DATAW found;
  const unique_hfind find(FindFirstFileW(s.dumpPattern.CStr(), &found));
  if (!find) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) visit(std::wstring_view(found.cFileName));
  } while (FindNextFileW(find.get(), &found));
}

void DeleteOldDumps(const CrashDumpState& s, const DumpFileName& written) {
  DumpRetention retention(written.View());
  ForEachDump(s, [&](std::wstring_view name) { retention.Consider(name); });
  ForEachDump(s, [&](std::wstring_view name) {
    PathBuffer path = s.dumpFolder;
    if (retention.ShouldDelete(name) && path.Append(name)) DeleteFileW(path.CStr());
  });
}

void WriteDump(const CrashDumpState& s) {
  CreateDirectoryW(s.productFolder.CStr(), nullptr);
  CreateDirectoryW(s.dumpFolder.CStr(), nullptr);
  SYSTEMTIME now;
  GetSystemTime(&now);
  const DumpFileName name(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, GetCurrentProcessId());
  PathBuffer path = s.dumpFolder;
  if (!path.Append(name.View())) return;
  bool written = false;
  {
    const unique_hfile file(
        CreateFileW(path.CStr(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    MINIDUMP_EXCEPTION_INFORMATION exception{s.threadId, s.pointers, FALSE};
    written = s.write(GetCurrentProcess(), GetCurrentProcessId(), file.get(), kDumpType, &exception, nullptr,
                      nullptr) != FALSE;
  }
  // A dump cut short would only take the place of a whole one.
  if (!written) {
    DeleteFileW(path.CStr());
    return;
  }
  DeleteOldDumps(s, name);
}

unique_hmodule LoadSystemDbghelp() {
  // The system folder's copy only: a dbghelp.dll beside the program or in
  // the current folder is never loaded.
  unique_hmodule module(LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // Windows 7 without its loader update does not know the flag: the same
  // file by its full path, its own imports looked up from its folder.
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  PathBuffer path;
  if (length == 0 || length >= MAX_PATH || !path.Append({system, length}) || !path.Append(L"\\dbghelp.dll")) {
    return module;
  }
  module.reset(LoadLibraryExW(path.CStr(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  return module;
}

// What writing needs, made ready by the writer before it waits: the start
// of the program does not wait for dbghelp and the shell's folder lookup.
bool Prepare(CrashDumpState& s) {
  s.dbghelp = LoadSystemDbghelp();
  if (!s.dbghelp) return false;
  const FARPROC write = GetProcAddress(s.dbghelp.get(), "MiniDumpWriteDump");
  if (write == nullptr) return false;
  s.write = reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(write));

  wchar_t localAppData[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData))) return false;
  if (!s.productFolder.Append(localAppData) || !s.productFolder.Append(kProductFolder)) return false;
  s.dumpFolder = s.productFolder;
  if (!s.dumpFolder.Append(kDumpFolder)) return false;
  s.dumpPattern = s.dumpFolder;
  return s.dumpPattern.Append(kDumpPattern);
}

DWORD WINAPI DumpWriter(void* param) {
  CrashDumpState& s = *static_cast<CrashDumpState*>(param);
  const bool ready = Prepare(s);
  if (WaitForSingleObject(s.request.get(), INFINITE) == WAIT_OBJECT_0 && ready) WriteDump(s);
  SetEvent(s.done.get());
  return 0;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  CrashDumpState& s = *g_state;
  // The writer itself failing: there is nobody left to write.
  if (GetCurrentThreadId() == s.writerId) return EXCEPTION_CONTINUE_SEARCH;
  if (InterlockedCompareExchange(&s.claimed, 1, 0) == 0) {
    s.pointers = pointers;
    s.threadId = GetCurrentThreadId();
    SetEvent(s.request.get());
  }
  // Every crashing thread waits for the one dump, so that none ends the
  // process while it is written.
  const HANDLE ends[] = {s.done.get(), s.writer.get()};
  WaitForMultipleObjects(2, ends, FALSE, kWriteTimeoutMs);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool InstallCrashDumps() {
  if (g_state != nullptr) return true;
  auto state = std::make_unique<CrashDumpState>();
  CrashDumpState& s = *state;
  s.request.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  s.done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!s.request || !s.done) return false;
  s.writer.reset(CreateThread(nullptr, 0, &DumpWriter, &s, 0, &s.writerId));
  if (!s.writer) return false;

  g_state = state.release();  // for the life of the process
  SetUnhandledExceptionFilter(&OnUnhandledException);
  return true;
}

}  // namespace ravelin
