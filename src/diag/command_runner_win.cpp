#include "diag/command_runner_win.h"

#include <array>
#include <string_view>
#include <vector>

#include "common/ansi_win.h"
#include "diag/diag_report.h"

namespace ravelin {
namespace {

constexpr DWORD kChunkBytes = 2000;
// After the child has ended its pipes close; a grandchild that inherited
// them is given this long before the readers are cut off.
constexpr DWORD kDrainAfterExitMs = 5000;

struct PipeReaderContext {
  HANDLE read = nullptr;
  std::wstring text;
};

UINT ThreadAnsiCodePage() {
  UINT codePage = 0;
  if (GetLocaleInfoW(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(wchar_t)) == 0 ||
      codePage == 0) {
    codePage = GetACP();
  }
  return codePage;
}

bool IsLeadByteOf(unsigned char byte, void* codePage) {
  return IsDBCSLeadByteEx(*static_cast<UINT*>(codePage), byte) != FALSE;
}

// How much of `bytes` ends on a character boundary of the code page.
std::size_t CompletePrefix(std::string_view bytes, UINT codePage, bool doubleByte) {
  if (codePage == CP_UTF8) return CompleteUtf8Prefix(bytes);
  if (doubleByte) return CompleteDoubleBytePrefix(bytes, &IsLeadByteOf, &codePage);
  return bytes.size();
}

DWORD WINAPI ReadPipeText(LPVOID parameter) {
  auto* context = static_cast<PipeReaderContext*>(parameter);
  const UINT codePage = ThreadAnsiCodePage();
  CPINFO info{};
  const bool doubleByte = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;

  // A character split between two reads waits here for its other bytes.
  std::string pending;
  std::array<char, kChunkBytes + 1> chunk{};
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(context->read, chunk.data(), kChunkBytes, &got, nullptr) || got == 0) break;
    std::string_view bytes(chunk.data(), got);
    // Text ends at a zero byte; the rest of that chunk is not text.
    if (const std::size_t zero = bytes.find('\0'); zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    pending.append(bytes);
    const std::size_t complete = CompletePrefix(pending, codePage, doubleByte);
    context->text += FromThreadAnsi(std::string_view(pending).substr(0, complete));
    pending.erase(0, complete);
  }
  context->text += FromThreadAnsi(pending);
  CloseHandle(context->read);
  context->read = nullptr;
  return 0;
}

bool StopRequested(const CaptureLimits& limits) {
  return limits.stopEvent != nullptr && WaitForSingleObject(limits.stopEvent, 0) == WAIT_OBJECT_0;
}

// One pipe whose write end is made inheritable for the child; the read end
// stays the parent's alone.
bool MakePipe(HANDLE& read, HANDLE& childWrite) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof(security);
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &security, 0)) return false;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, write, self, &childWrite, 0, TRUE, DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE)) {
    CloseHandle(read);
    read = nullptr;
    return false;
  }
  return true;
}

}  // namespace

void RunCommandCapture(const std::wstring& commandLine, std::wstring& out, const CaptureLimits& limits) {
  if (StopRequested(limits)) return;

  PipeReaderContext contexts[2];
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;

  if (!MakePipe(contexts[0].read, startup.hStdOutput)) return;
  if (!MakePipe(contexts[1].read, startup.hStdError)) {
    CloseHandle(contexts[0].read);
    CloseHandle(startup.hStdOutput);
    return;
  }

  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                      nullptr, &startup, &process);
  // The child holds its own copies now; without ours each reader sees the
  // end of its pipe when the child ends.
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (!started) {
    CloseHandle(contexts[0].read);
    CloseHandle(contexts[1].read);
    return;
  }

  WaitForInputIdle(process.hProcess, 5000);
  CloseHandle(process.hThread);

  HANDLE readers[2] = {};
  for (int i = 0; i < 2; ++i) {
    readers[i] = CreateThread(nullptr, 0, &ReadPipeText, &contexts[i], 0, nullptr);
    if (readers[i] == nullptr) {
      // Nobody reads this pipe: a child that fills it would block, so the
      // pipe is closed and the child sees a broken pipe instead.
      CloseHandle(contexts[i].read);
      contexts[i].read = nullptr;
    }
  }

  // The child runs until it ends, its ceiling passes or the program stops.
  HANDLE waits[2] = {process.hProcess, limits.stopEvent};
  const DWORD count = limits.stopEvent != nullptr ? 2 : 1;
  if (WaitForMultipleObjects(count, waits, FALSE, limits.ceilingMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hProcess);

  std::vector<HANDLE> running;
  for (HANDLE reader : readers) {
    if (reader != nullptr) running.push_back(reader);
  }
  if (!running.empty() &&
      WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE, kDrainAfterExitMs) ==
          WAIT_TIMEOUT) {
    // Something else still holds a write end: stop waiting for it.
    for (HANDLE reader : running) CancelSynchronousIo(reader);
    WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE, INFINITE);
  }
  for (HANDLE reader : running) CloseHandle(reader);

  // Standard error is drained so the child never blocks on it, then dropped.
  out = std::move(contexts[0].text);
}

}  // namespace ravelin
