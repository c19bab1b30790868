#include "player/player_audio_win.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/standin_files_win.h"

namespace ravelin::standin {
namespace {

constexpr DWORD kRate = 44100;
constexpr DWORD kFramesPerBuffer = kRate / 10;
constexpr int kBuffers = 4;
constexpr double kToneHz = 440.0;
constexpr double kPi = 3.14159265358979323846;

void Record(const std::string& line) { RecordLine(L"waveout.log", line); }

// Fills with the tone, continuing its phase from `frame`. Samples are kept
// away from zero so a buffer that reads all-zero was zeroed by someone else.
void FillTone(std::vector<char>& buffer, int bits, int channels, unsigned long long& frame) {
  const std::size_t frameBytes = static_cast<std::size_t>(bits / 8 * channels);
  const std::size_t frames = buffer.size() / frameBytes;
  for (std::size_t i = 0; i < frames; ++i, ++frame) {
    const double s = std::sin(2.0 * kPi * kToneHz * static_cast<double>(frame) / kRate);
    for (int c = 0; c < channels; ++c) {
      char* at = buffer.data() + i * frameBytes + static_cast<std::size_t>(c) * (bits / 8);
      if (bits == 8) {
        *at = static_cast<char>(static_cast<unsigned char>(128 + static_cast<int>(std::lround(s * 48.0))));
      } else {
        auto sample = static_cast<short>(std::lround(s * 8000.0));
        if (sample == 0) sample = 1;
        at[0] = static_cast<char>(sample & 0xFF);
        at[1] = static_cast<char>((sample >> 8) & 0xFF);
      }
    }
  }
}

bool AllZero(const std::vector<char>& buffer) {
  return std::all_of(buffer.begin(), buffer.end(), [](char b) { return b == 0; });
}

}  // namespace

std::unique_ptr<TonePlayer> TonePlayer::Start() {
  const Ini ini = Ini::Load(L"player.ini");
  if (ini.Get("audio", "enabled", "1") == "0") return nullptr;
  const int bits = ini.Get("audio", "format", "16") == "8" ? 8 : 16;
  std::unique_ptr<TonePlayer> player(new TonePlayer(bits));
  player->m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!player->m_stop) return nullptr;
  player->m_thread.reset(CreateThread(nullptr, 0, &TonePlayer::ThreadMain, player.get(), 0, nullptr));
  if (!player->m_thread) return nullptr;
  return player;
}

TonePlayer::TonePlayer(int bits) : m_bits(bits) {}

TonePlayer::~TonePlayer() {
  if (m_thread) {
    SetEvent(m_stop.get());
    WaitForSingleObject(m_thread.get(), INFINITE);
  }
}

DWORD WINAPI TonePlayer::ThreadMain(void* self) {
  static_cast<TonePlayer*>(self)->Run();
  return 0;
}

void TonePlayer::Run() {
  const int channels = m_bits == 8 ? 1 : 2;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = static_cast<WORD>(m_bits);
  format.nBlockAlign = static_cast<WORD>(channels * m_bits / 8);
  format.nAvgBytesPerSec = kRate * format.nBlockAlign;

  const unique_handle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HWAVEOUT device = nullptr;
  const MMRESULT opened =
      waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(done.get()), 0, CALLBACK_EVENT);
  Record("open bits=" + std::to_string(m_bits) + " channels=" + std::to_string(channels) +
         " rate=" + std::to_string(kRate) + " result=" + std::to_string(opened));
  if (opened != MMSYSERR_NOERROR) return;

  // A header that was never prepared must be refused; if a hook let it
  // through, the reset below takes it back before `loose` goes away.
  std::vector<char> looseData(format.nBlockAlign * 64u, 0x11);
  WAVEHDR loose{};
  loose.lpData = looseData.data();
  loose.dwBufferLength = static_cast<DWORD>(looseData.size());
  Record("unprepared result=" + std::to_string(waveOutWrite(device, &loose, sizeof(loose))));

  std::vector<std::vector<char>> data(kBuffers, std::vector<char>(kFramesPerBuffer * format.nBlockAlign));
  WAVEHDR headers[kBuffers] = {};
  MMRESULT lastWrite[kBuffers] = {};
  bool prepared[kBuffers] = {};
  unsigned long long frame = 0;
  unsigned long count = 0;

  const auto write = [&](int i) {
    FillTone(data[i], m_bits, channels, frame);
    headers[i].dwFlags &= ~WHDR_DONE;
    lastWrite[i] = waveOutWrite(device, &headers[i], sizeof(WAVEHDR));
  };
  const auto recordBuffer = [&](int i) {
    ++count;
    Record("buffer " + std::to_string(count) + " bits=" + std::to_string(m_bits) +
           " zeroed=" + (AllZero(data[i]) ? "1" : "0") + " result=" + std::to_string(lastWrite[i]));
  };

  for (int i = 0; i < kBuffers; ++i) {
    headers[i].lpData = data[i].data();
    headers[i].dwBufferLength = static_cast<DWORD>(data[i].size());
    prepared[i] = waveOutPrepareHeader(device, &headers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    if (!prepared[i]) continue;
    write(i);
    if (lastWrite[i] != MMSYSERR_NOERROR) recordBuffer(i);
  }

  const HANDLE waits[2] = {m_stop.get(), done.get()};
  for (;;) {
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 100);
    if (woke == WAIT_OBJECT_0) break;
    for (int i = 0; i < kBuffers; ++i) {
      if (!prepared[i]) continue;
      const bool failed = lastWrite[i] != MMSYSERR_NOERROR;
      if (failed) {
        if (woke != WAIT_TIMEOUT) continue;  // retry failed writes only on the 100 ms tick
        write(i);
        recordBuffer(i);
      } else if (headers[i].dwFlags & WHDR_DONE) {
        recordBuffer(i);
        write(i);
        if (lastWrite[i] != MMSYSERR_NOERROR) recordBuffer(i);
      }
    }
  }

  waveOutReset(device);
  for (int i = 0; i < kBuffers; ++i) {
    if (prepared[i]) waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
  }
  waveOutClose(device);
  Record("close");
}

}  // namespace ravelin::standin
