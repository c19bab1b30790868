// Muting this process: the waveOut hook on the real waveOutWrite of Wine's
// winmm, and the game window's sound buttons with the stand-in player
// playing on the harness's null audio device.
#include <windows.h>

#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "frame/translucent_dlg_win.h"
#include "framework/ax_host_win.h"
#include "game_window_test_win.h"
#include "resource.h"
#include "sound/hook_transaction_win.h"
#include "sound/sound_win.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using namespace std::chrono_literals;
using Microsoft::WRL::ComPtr;
using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;
using ravelin::testkit::ReadStandinLines;

std::vector<unsigned char> EntryBytes() {
  const auto* entry = reinterpret_cast<const unsigned char*>(&::waveOutWrite);
  return std::vector<unsigned char>(entry, entry + 32);
}

bool AllZero(const std::vector<char>& data) {
  return std::all_of(data.begin(), data.end(), [](char c) { return c == 0; });
}

// One open device of the null audio output and its buffers.
class Device {
 public:
  explicit Device(int bits) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(bits == 8 ? 1 : 2);
    format.nSamplesPerSec = 22050;
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nBlockAlign = static_cast<WORD>(format.nChannels * bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    opened = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
  }
  ~Device() {
    if (opened != MMSYSERR_NOERROR) return;
    waveOutReset(device);
    for (auto& h : headers) waveOutUnprepareHeader(device, h.get(), sizeof(WAVEHDR));
    waveOutClose(device);
  }
  // A buffer of a sound-like pattern (never zero), prepared or not.
  WAVEHDR* Buffer(bool prepare) {
    data.emplace_back(4096);
    for (std::size_t i = 0; i < data.back().size(); ++i) data.back()[i] = static_cast<char>(0x21 + i % 90);
    headers.push_back(std::make_unique<WAVEHDR>());
    WAVEHDR* h = headers.back().get();
    h->lpData = data.back().data();
    h->dwBufferLength = static_cast<DWORD>(data.back().size());
    if (prepare) waveOutPrepareHeader(device, h, sizeof(WAVEHDR));
    if (!prepare) unprepared.push_back(h);
    return h;
  }
  std::vector<char>& DataOf(const WAVEHDR* h) {
    for (auto& d : data) {
      if (d.data() == h->lpData) return d;
    }
    return data.front();
  }
  HWAVEOUT device = nullptr;
  MMRESULT opened = MMSYSERR_ERROR;

 private:
  std::vector<std::vector<char>> data;
  std::vector<std::unique_ptr<WAVEHDR>> headers;
  std::vector<WAVEHDR*> unprepared;
};

class WaveHook : public testing::Test {
 protected:
  void TearDown() override {
    ravelin::g_bSoundOn = 1;
    RemoveWaveOutHookIfAny();
  }
  void RemoveWaveOutHookIfAny() {
    if (ravelin::g_pfnWaveOutWrite != &::waveOutWrite) ravelin::RemoveWaveOutHook();
  }
};

TEST_F(WaveHook, SoundOffZeroesEveryBufferInPlaceAndResultsPassThrough) {
  const auto before = EntryBytes();
  ASSERT_TRUE(ravelin::InstallWaveOutHook());
  EXPECT_NE(EntryBytes(), before) << "the entry is patched";
  EXPECT_NE(ravelin::g_pfnWaveOutWrite, &::waveOutWrite) << "the pointer leads to the unpatched function";

  for (int bits : {16, 8}) {
    SCOPED_TRACE(bits);
    Device out(bits);
    ASSERT_EQ(out.opened, MMSYSERR_NOERROR);

    ravelin::g_bSoundOn = 0;
    WAVEHDR* muted = out.Buffer(true);
    EXPECT_EQ(waveOutWrite(out.device, muted, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_TRUE(AllZero(out.DataOf(muted))) << "the caller's buffer is left zeroed";
    WAVEHDR* loose = out.Buffer(false);
    EXPECT_EQ(waveOutWrite(out.device, loose, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_TRUE(AllZero(out.DataOf(loose)));

    ravelin::g_bSoundOn = 1;
    WAVEHDR* heard = out.Buffer(true);
    const std::vector<char> copy = out.DataOf(heard);
    EXPECT_EQ(waveOutWrite(out.device, heard, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(out.DataOf(heard), copy);
    loose = out.Buffer(false);
    EXPECT_EQ(waveOutWrite(out.device, loose, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_FALSE(AllZero(out.DataOf(loose)));
  }

  ravelin::RemoveWaveOutHook();
  EXPECT_EQ(EntryBytes(), before) << "removal restores the entry exactly";
  EXPECT_EQ(ravelin::g_pfnWaveOutWrite, &::waveOutWrite);
  Device out(16);
  ravelin::g_bSoundOn = 0;
  WAVEHDR* after = out.Buffer(true);
  EXPECT_EQ(waveOutWrite(out.device, after, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_FALSE(AllZero(out.DataOf(after))) << "no hook, no silence";
}

TEST_F(WaveHook, CallersOnOtherThreadsSurviveRepeatedInstallAndRemoval) {
  const auto before = EntryBytes();
  ravelin::g_bSoundOn = 0;
  // A device for each caller, so that they do not wait on each other's
  // lock, and headers that are not prepared, which the function refuses at
  // once: the loops stay tight, so that a caller is often in the bytes being
  // rewritten, and nothing queues.
  std::array<Device, 4> devices{Device(16), Device(16), Device(16), Device(16)};
  WAVEHDR probe{};
  std::array<char, 16> probeData{};
  probe.lpData = probeData.data();
  probe.dwBufferLength = static_cast<DWORD>(probeData.size());
  for (const Device& device : devices) ASSERT_EQ(device.opened, MMSYSERR_NOERROR);
  const MMRESULT unpatched = waveOutWrite(devices[0].device, &probe, sizeof(WAVEHDR));
  ASSERT_EQ(unpatched, WAVERR_UNPREPARED);

  // stage % 4: 0 no hook, 1 being installed, 2 hook in place, 3 being removed.
  std::atomic<unsigned> stage{0};
  struct Caller {
    std::atomic<unsigned> lastChecked{~0u};  // the stage of its last call made wholly within one stage
    long calls = 0, wrongResults = 0, hookedNotZeroed = 0, unhookedZeroed = 0;  // read after the join
  };
  std::array<Caller, 4> callers;
  std::vector<std::jthread> threads;
  for (std::size_t i = 0; i < callers.size(); ++i) {
    threads.emplace_back(
        [&stage, &caller = callers[i], device = devices[i].device, unpatched](std::stop_token stopping) {
          WAVEHDR header{};
          std::array<char, 16> data{};
          header.lpData = data.data();
          header.dwBufferLength = static_cast<DWORD>(data.size());
          while (!stopping.stop_requested()) {
            data.fill(0x5A);
            const unsigned from = stage.load(std::memory_order_acquire);
            const MMRESULT result = waveOutWrite(device, &header, sizeof(WAVEHDR));
            const unsigned to = stage.load(std::memory_order_acquire);
            ++caller.calls;
            caller.wrongResults += result != unpatched;
            if (from != to || from % 2 != 0) continue;
            const bool zeroed = std::all_of(data.begin(), data.end(), [](char c) { return c == 0; });
            caller.hookedNotZeroed += from % 4 == 2 && !zeroed;
            caller.unhookedZeroed += from % 4 == 0 && zeroed;
            if (caller.lastChecked.load(std::memory_order_relaxed) != from) {
              caller.lastChecked.store(from, std::memory_order_release);
            }
          }
        });
  }
  // Each stage lasts until every caller has made a whole call within it.
  const auto everyCallerChecked = [&callers](unsigned now) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (const Caller& caller : callers) {
      while (caller.lastChecked != now) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
      }
    }
    return true;
  };

  constexpr int kCycles = 500;
  std::vector<void*> trampolines;
  std::vector<DWORD> trampolineProtections;
  int cycles = 0;
  for (; cycles < kCycles; ++cycles) {
    const auto base = static_cast<unsigned>(cycles) * 4;
    stage = base + 1;
    const bool installed = ravelin::InstallWaveOutHook();
    stage = base + 2;
    if (!installed) break;
    // A caller may still be inside the trampoline of an earlier cycle.
    trampolines.push_back(reinterpret_cast<void*>(ravelin::g_pfnWaveOutWrite));
    MEMORY_BASIC_INFORMATION page{};
    VirtualQuery(trampolines.back(), &page, sizeof(page));
    trampolineProtections.push_back(page.Protect);
    if (!everyCallerChecked(base + 2)) break;
    stage = base + 3;
    ravelin::RemoveWaveOutHook();
    stage = base + 4;
    if (!everyCallerChecked(base + 4)) break;
  }
  for (auto& thread : threads) thread.request_stop();
  threads.clear();

  EXPECT_EQ(cycles, kCycles) << "each install succeeds and every caller goes on calling";
  for (const Caller& caller : callers) {
    EXPECT_GT(caller.calls, 2 * kCycles);
    EXPECT_EQ(caller.wrongResults, 0) << "every call returns the unpatched function's result";
    EXPECT_EQ(caller.hookedNotZeroed, 0) << "with the hook in place and sound off every buffer is zeroed";
    EXPECT_EQ(caller.unhookedZeroed, 0) << "without the hook buffers pass untouched";
  }
  std::sort(trampolines.begin(), trampolines.end());
  EXPECT_EQ(std::adjacent_find(trampolines.begin(), trampolines.end()), trampolines.end())
      << "a retired trampoline is never handed out again";
  EXPECT_EQ(std::count(trampolineProtections.begin(), trampolineProtections.end(), PAGE_EXECUTE_READ), cycles)
      << "trampolines are read-and-execute once written";
  EXPECT_EQ(EntryBytes(), before);
  EXPECT_EQ(ravelin::g_pfnWaveOutWrite, &::waveOutWrite);
}

TEST_F(WaveHook, AFailedInstallLeavesWaveOutWriteUnpatchedAndWorking) {
  // Entry code the hook cannot move (a loop instruction first) makes the
  // install fail; the real bytes come back before anything calls it.
  auto* entry = reinterpret_cast<unsigned char*>(&::waveOutWrite);
  const auto real = EntryBytes();
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(entry, 32, PAGE_EXECUTE_READWRITE, &old));
  const unsigned char unmovable[] = {0xE2, 0xFE, 0x90, 0x90, 0x90, 0x90};
  std::memcpy(entry, unmovable, sizeof(unmovable));
  const auto planted = EntryBytes();

  EXPECT_FALSE(ravelin::InstallWaveOutHook());
  EXPECT_EQ(EntryBytes(), planted) << "nothing was written";
  EXPECT_EQ(ravelin::g_pfnWaveOutWrite, &::waveOutWrite);

  std::memcpy(entry, real.data(), real.size());
  DWORD ignored = 0;
  VirtualProtect(entry, 32, old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), entry, 32);

  Device out(16);
  ASSERT_EQ(out.opened, MMSYSERR_NOERROR);
  ravelin::g_bSoundOn = 0;
  WAVEHDR* buffer = out.Buffer(true);
  EXPECT_EQ(waveOutWrite(out.device, buffer, sizeof(WAVEHDR)), MMSYSERR_NOERROR) << "playing goes on";
  EXPECT_FALSE(AllZero(out.DataOf(buffer))) << "unhooked: the session mute is all there is";
}

TEST_F(WaveHook, ARefusedHookLeavesTheFunctionAndPointerAsTheyWere) {
  // A function that returns at once is too short to patch.
  auto* code =
      static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(code, nullptr);
  std::memset(code, 0xCC, 4096);
  code[0] = 0x31;  // xor eax, eax
  code[1] = 0xC0;
  code[2] = 0xC3;  // ret
  void* pointer = code;
  using namespace ravelin::hook;
  ASSERT_EQ(TransactionBegin(), NO_ERROR);
  TransactionUpdateThread(GetCurrentThread());
  TransactionSetIgnoreTooSmall(false);
  TransactionAttach(&pointer, reinterpret_cast<void*>(&ravelin::HookedWaveOutWrite));
  EXPECT_NE(TransactionCommit(), NO_ERROR);
  void** failed = nullptr;
  TransactionCommitEx(&failed);
  EXPECT_EQ(failed, &pointer) << "the failed pointer can be asked for";
  EXPECT_EQ(pointer, code);
  EXPECT_EQ(code[0], 0x31);
  EXPECT_EQ(code[1], 0xC0);
  EXPECT_EQ(code[2], 0xC3);
  EXPECT_EQ(code[3], 0xCC);
  // Ignoring functions that are too small makes the same commit succeed
  // without touching anything.
  ASSERT_EQ(TransactionBegin(), NO_ERROR);
  TransactionSetIgnoreTooSmall(true);
  TransactionAttach(&pointer, reinterpret_cast<void*>(&ravelin::HookedWaveOutWrite));
  EXPECT_EQ(TransactionCommit(), NO_ERROR);
  EXPECT_EQ(pointer, code);
  EXPECT_EQ(code[2], 0xC3);
  VirtualFree(code, 0, MEM_RELEASE);
}

class SoundButtons : public ravelin::testkit::GameWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/reset"));
    for (const wchar_t* f : {L"browser.log", L"player.log", L"waveout.log"}) ravelin::testkit::ClearStandinFile(f);
    GameWindowTest::SetUp();
  }
  void TearDown() override {
    GameWindowTest::TearDown();
    ravelin::g_bSoundOn = 1;
  }
  void Play(const wchar_t* format) {
    ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(
        L"player.ini", std::wstring(L"[audio]\r\nenabled=1\r\nformat=") + format + L"\r\n"));
    ASSERT_NO_FATAL_FAILURE(Start(R"({"mode":"normal","loadgame_delay_ms":0})"));
    ASSERT_TRUE(PumpUntil([] { return BufferLines().size() >= 3; }, 20s)) << "the player plays";
  }
  void Click(int id) {
    HWND button = GetDlgItem(frame->m_dlgGame.m_hWnd, id);
    SendMessageW(frame->m_dlgGame.m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
  // "zeroed" of each buffer the player saw come back, in order.
  static std::vector<bool> BufferLines() {
    std::vector<bool> zeroed;
    const std::regex buffer(R"(^buffer \d+ bits=\d+ zeroed=([01]) result=0$)");
    std::smatch m;
    for (const std::string& line : ReadStandinLines(L"waveout.log")) {
      if (std::regex_match(line, m, buffer)) zeroed.push_back(m[1] == "1");
    }
    return zeroed;
  }
  // Waits for `count` buffers written after now and says whether they were
  // all zeroed (1), none was (0) or they were mixed (-1). The player keeps
  // kQueued buffers at the device: those come back first, written before.
  static int NextBuffers(std::size_t count) {
    constexpr std::size_t kQueued = 4;
    const std::size_t from = BufferLines().size() + kQueued + 1;
    if (!PumpUntil([&] { return BufferLines().size() >= from + count; }, 20s)) return -2;
    const auto all = BufferLines();
    const auto n = std::count(all.begin() + static_cast<long>(from), all.end(), true);
    return n == static_cast<long>(all.size() - from) ? 1 : n == 0 ? 0 : -1;
  }
};

TEST_F(SoundButtons, TheButtonsSilenceThePlayersBuffersAndSetTheSessionMute) {
  for (const wchar_t* format : {L"16", L"8"}) {
    SCOPED_TRACE(testing::Message() << (format[0] == L'1' ? "16-bit" : "8-bit"));
    Play(format);
    EXPECT_EQ(NextBuffers(3), 0) << "sound on at start";
    // Wine makes a new session for every request of the default one, so the
    // mute cannot be read back from outside; what the program can see is
    // that the null endpoint is listed and took each setting.
    EXPECT_EQ(ravelin::AudioSessionEndpointCount(), 1u) << "the null endpoint is listed";

    Click(IDC_BTN_SOUNDOFF);
    EXPECT_EQ(ravelin::g_bSoundOn, 0);
    EXPECT_EQ(ravelin::AudioSessionLastAppliedCount(), 1u);
    EXPECT_EQ(NextBuffers(3), 1) << "every buffer written after the switch is silent";

    Click(IDC_BTN_SOUNDON);
    EXPECT_EQ(ravelin::g_bSoundOn, 1);
    EXPECT_EQ(ravelin::AudioSessionLastAppliedCount(), 1u);
    EXPECT_EQ(NextBuffers(3), 0);

    // The player's own unprepared write came back with the function's error.
    bool refused = false;
    for (const std::string& line : ReadStandinLines(L"waveout.log")) refused |= line == "unprepared result=34";
    EXPECT_TRUE(refused);

    frame->CloseAll();
    PumpMessages(50ms);
    frame.reset();
    EXPECT_EQ(ravelin::g_pfnWaveOutWrite, &::waveOutWrite) << "the window's end takes the hook off";
    EXPECT_EQ(ravelin::AudioSessionEndpointCount(), 0u);
    ravelin::testkit::ClearStandinFile(L"waveout.log");
  }
}

}  // namespace

namespace {

std::size_t OwnThreadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  std::size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

// Loading the audio system early on a thread of its own changes nothing the
// session lists, and that thread goes once the session has taken over.
TEST(AudioWarmUp, TheSessionListsTheSameEndpointsAndTheWarmUpThreadEnds) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  // A first listing without the warm-up: the endpoints to expect, and any
  // thread the audio system keeps for itself already counted.
  ASSERT_EQ(ravelin::AudioSessionInit(true), S_OK);
  const std::size_t endpoints = ravelin::AudioSessionEndpointCount();
  EXPECT_EQ(endpoints, 1u) << "the harness's null endpoint";
  ravelin::AudioSessionRelease();
  const std::size_t threads = OwnThreadCount();

  ravelin::StartAudioWarmUp();
  EXPECT_EQ(ravelin::AudioSessionInit(true), S_OK);
  EXPECT_EQ(ravelin::AudioSessionEndpointCount(), endpoints);
  EXPECT_TRUE(PumpUntil([&] { return OwnThreadCount() == threads; }, 5s)) << "the warm-up thread stayed";
  ravelin::AudioSessionRelease();
  CoUninitialize();
}

}  // namespace
