// What the waveOut hook costs each waveOutWrite call while sound is on: the
// same calls (an unprepared header, which the function refuses at once, so
// nothing is queued) timed without and with the hook, several rounds each.
//
//   scripts/harness --build-dir build/win --wine -- build/win/bin/bench_wave_hook.exe [calls=2000000]
//
// Target: under 100 ns a call over the unhooked function.
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sound/sound_win.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e9 / static_cast<double>(f.QuadPart);
}

// Nanoseconds a call, the best of five rounds.
double TimeCalls(HWAVEOUT device, WAVEHDR& header, long calls) {
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    const double start = Now();
    for (long i = 0; i < calls; ++i) waveOutWrite(device, &header, sizeof(header));
    best = std::min(best, (Now() - start) / static_cast<double>(calls));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 2000000;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = 44100 * 4;
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    std::fprintf(stderr, "no waveOut device\n");
    return 1;
  }
  std::vector<char> data(4096, 0x21);
  WAVEHDR header{};
  header.lpData = data.data();
  header.dwBufferLength = static_cast<DWORD>(data.size());
  if (waveOutWrite(device, &header, sizeof(header)) != WAVERR_UNPREPARED) {
    std::fprintf(stderr, "an unprepared header was not refused\n");
    return 1;
  }

  const double plain = TimeCalls(device, header, calls);
  if (!ravelin::InstallWaveOutHook()) {
    std::fprintf(stderr, "the hook could not be installed\n");
    return 1;
  }
  ravelin::g_bSoundOn = 1;
  const double hooked = TimeCalls(device, header, calls);
  ravelin::RemoveWaveOutHook();
  waveOutClose(device);

  std::printf("waveOutWrite unhooked: %.1f ns/call\n", plain);
  std::printf("waveOutWrite hooked, sound on: %.1f ns/call\n", hooked);
  std::printf("hook cost: %.1f ns/call (target < 100)\n", hooked - plain);
  return hooked - plain < 100.0 ? 0 : 2;
}
