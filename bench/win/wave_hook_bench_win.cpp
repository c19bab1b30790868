// What the waveOut hook costs each waveOutWrite call: the same calls (an
// unprepared header, which the function refuses at once, so nothing is
// queued) timed without the hook, and with it while sound is on and while it
// is off (the buffer is zeroed first), several rounds each.
//
//   scripts/harness --build-dir build/win --wine -- build/win/bin/bench_wave_hook.exe [calls=2000000]
//
// Target: under 100 ns a call over the unhooked function with sound on.
#include <windows.h>

#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_report.h"
#include "sound/sound_win.h"

namespace {

// Nanoseconds a call, one sample per round.
std::vector<double> TimeCalls(HWAVEOUT device, WAVEHDR& header, long calls) {
  std::vector<double> samples;
  for (int round = 0; round < 7; ++round) {
    const double start = ravelin::bench::NowMs();
    for (long i = 0; i < calls; ++i) waveOutWrite(device, &header, sizeof(header));
    samples.push_back((ravelin::bench::NowMs() - start) * 1e6 / static_cast<double>(calls));
  }
  return samples;
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

  const ravelin::bench::Figure plain{"hook.unhooked", "waveOutWrite without the hook", "ns/call",
                                     TimeCalls(device, header, calls)};
  if (!ravelin::InstallWaveOutHook()) {
    std::fprintf(stderr, "the hook could not be installed\n");
    return 1;
  }
  ravelin::g_bSoundOn = 1;
  const ravelin::bench::Figure on{"hook.sound_on", "waveOutWrite hooked, sound on", "ns/call",
                                  TimeCalls(device, header, calls), &plain};
  ravelin::g_bSoundOn = 0;
  const ravelin::bench::Figure off{"hook.sound_off", "waveOutWrite hooked, sound off (4 KiB zeroed)", "ns/call",
                                   TimeCalls(device, header, calls), &plain};
  ravelin::g_bSoundOn = 1;
  ravelin::RemoveWaveOutHook();
  waveOutClose(device);

  ravelin::bench::Report({plain, on, off});
  const double cost = ravelin::bench::Summarise(on.samples).median - ravelin::bench::Summarise(plain.samples).median;
  std::printf("hook cost with sound on: %.1f ns/call (target < 100)\n", cost);
  return cost < 100.0 ? 0 : 2;
}
