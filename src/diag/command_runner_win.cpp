#include "diag/command_runner_win.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ansi_win.h"
#include "common/shared_thread_win.h"
#include "common/unique_handle_win.h"
#include "diag/diag_report.h"

namespace ravelin {
namespace {

constexpr DWORD kChunkBytes = 2000;
// After the child has ended its pipes close; a grandchild that inherited
// them is given this long before the readers are cut off, and much less when
// the program is on its way out.
constexpr DWORD kDrainAfterExitMs = 5000;
constexpr DWORD kDrainWhenStoppingMs = 300;
// How long a reader cut off is waited for before it is left behind.
constexpr DWORD kReaderCancelWaitMs = 500;
// How long an ended child is waited for.
constexpr DWORD kTerminateWaitMs = 2000;
constexpr DWORD kTerminateWaitWhenStoppingMs = 300;

// A pipe and the text read from it, shared by the reader thread and the
// runner: a reader that has to be left behind still has its own.
struct PipeReaderContext {
  unique_handle read;  // closed by the reader when the pipe ends
  std::mutex lock;
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

void ReadPipeText(PipeReaderContext& context) {
  const UINT codePage = ThreadAnsiCodePage();
  CPINFO info{};
  const bool doubleByte = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;

  // A character split between two reads waits here for its other bytes.
  std::string pending;
  std::array<char, kChunkBytes + 1> chunk{};
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(context.read.get(), chunk.data(), kChunkBytes, &got, nullptr) || got == 0) break;
    std::string_view bytes(chunk.data(), got);
    // Text ends at a zero byte; the rest of that chunk is not text.
    if (const std::size_t zero = bytes.find('\0'); zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    pending.append(bytes);
    const std::size_t complete = CompletePrefix(pending, codePage, doubleByte);
    const std::wstring text = FromThreadAnsi(std::string_view(pending).substr(0, complete));
    pending.erase(0, complete);
    const std::lock_guard<std::mutex> guard(context.lock);
    context.text += text;
  }
  const std::wstring rest = FromThreadAnsi(pending);
  const std::lock_guard<std::mutex> guard(context.lock);
  context.text += rest;
  context.read.reset();
}

bool StopRequested(const CaptureLimits& limits) {
  return limits.stopEvent != nullptr && WaitForSingleObject(limits.stopEvent, 0) == WAIT_OBJECT_0;
}

// One pipe whose write end is made inheritable for the child; the read end
// stays the parent's alone.
bool MakePipe(unique_handle& read, unique_handle& childWrite) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof(security);
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  unique_handle readEnd, write;
  if (!CreatePipe(readEnd.put(), write.put(), &security, 0)) return false;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  const HANDLE self = GetCurrentProcess();
  // DUPLICATE_CLOSE_SOURCE closes the write end whether or not the copy is made.
  if (!DuplicateHandle(self, write.release(), self, childWrite.put(), 0, TRUE,
                       DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE)) {
    return false;
  }
  read = std::move(readEnd);
  return true;
}

// Waits for the readers to reach the ends of their pipes: kDrainAfterExitMs,
// or kDrainWhenStoppingMs once the program is on its way out, which may
// happen while this waits. False when the time ran out.
bool WaitForReaders(const std::vector<HANDLE>& readers, const CaptureLimits& limits) {
  constexpr DWORD kSliceMs = 50;
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const ULONGLONG drain = StopRequested(limits) ? kDrainWhenStoppingMs : kDrainAfterExitMs;
    const ULONGLONG waited = GetTickCount64() - start;
    if (waited >= drain) return false;
    const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(kSliceMs, drain - waited));
    if (WaitForMultipleObjects(static_cast<DWORD>(readers.size()), readers.data(), TRUE, slice) != WAIT_TIMEOUT) {
      return true;
    }
  }
}

}  // namespace

void RunCommandCapture(const std::wstring& commandLine, std::wstring& out, const CaptureLimits& limits) {
  if (StopRequested(limits)) return;

  std::shared_ptr<PipeReaderContext> contexts[2] = {std::make_shared<PipeReaderContext>(),
                                                    std::make_shared<PipeReaderContext>()};
  unique_handle childOutput, childError;
  if (!MakePipe(contexts[0]->read, childOutput) || !MakePipe(contexts[1]->read, childError)) return;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = childOutput.get();
  startup.hStdError = childError.get();
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                      nullptr, &startup, &info);
  // The child holds its own copies now; without ours each reader sees the
  // end of its pipe when the child ends.
  childOutput.reset();
  childError.reset();
  if (!started) return;
  const unique_handle process(info.hProcess), primaryThread(info.hThread);

  WaitForInputIdle(process.get(), 5000);

  unique_handle readers[2];
  for (int i = 0; i < 2; ++i) {
    readers[i] = StartThreadSharing(contexts[i], &ReadPipeText);
    if (!readers[i]) {
      // Nobody reads this pipe: a child that fills it would block, so the
      // pipe is closed and the child sees a broken pipe instead.
      contexts[i]->read.reset();
    }
  }

  // The child runs until it ends, its ceiling passes or the program stops.
  HANDLE waits[2] = {process.get(), limits.stopEvent};
  const DWORD count = limits.stopEvent != nullptr ? 2 : 1;
  if (WaitForMultipleObjects(count, waits, FALSE, limits.ceilingMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), StopRequested(limits) ? kTerminateWaitWhenStoppingMs : kTerminateWaitMs);
  }

  std::vector<HANDLE> running;
  for (const unique_handle& reader : readers) {
    if (reader) running.push_back(reader.get());
  }
  if (!running.empty() && !WaitForReaders(running, limits)) {
    // Something else still holds a write end: stop waiting for it. A reader
    // that does not let go even then is left behind with its own context.
    for (HANDLE reader : running) CancelSynchronousIo(reader);
    WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE, kReaderCancelWaitMs);
  }

  // Standard error is drained so the child never blocks on it, then dropped.
  const std::lock_guard<std::mutex> guard(contexts[0]->lock);
  out = contexts[0]->text;
}

}  // namespace ravelin
