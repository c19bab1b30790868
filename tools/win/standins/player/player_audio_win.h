// The player's sound: a sine tone written through waveOut on a worker thread,
// so the launcher's muting can be checked on the very buffers it touched.
//
// Settings, %RAVELIN_STANDIN_DIR%\player.ini (read when playing starts):
//   [audio]
//   enabled=1     0 plays nothing (no device is opened)
//   format=16     16: 44.1 kHz 16-bit stereo; 8: 44.1 kHz 8-bit mono
//
// Recording, %RAVELIN_STANDIN_DIR%\waveout.log (UTF-8, LF), in this order:
//   open bits=16 channels=2 rate=44100 result=0   waveOutOpen(WAVE_MAPPER) result
//   unprepared result=34                          waveOutWrite of a header that
//                                                 was never prepared (WAVERR_UNPREPARED, 34)
//   buffer 1 bits=16 zeroed=0 result=0            one line per write that came
//   buffer 2 bits=16 zeroed=0 result=0            back (WHDR_DONE), N counting
//   ...                                           from 1: zeroed=1 when every byte
//                                                 of the buffer handed to
//                                                 waveOutWrite is 0x00 afterwards
//                                                 (8-bit silence would be 0x80, but
//                                                 a mute zeroes the bytes), result
//                                                 = what that waveOutWrite returned.
//                                                 A write that fails is recorded at
//                                                 once and retried 100 ms later.
//   close                                         device reset and closed
// The tone itself never contains a buffer of only zero bytes.
#pragma once

#include <windows.h>

#include <memory>

#include "common/unique_handle_win.h"

namespace ravelin::standin {

class TonePlayer {
 public:
  // Starts the worker, or returns nothing when sound is disabled.
  static std::unique_ptr<TonePlayer> Start();
  // Stops the tone, closes the device and ends the worker before returning.
  ~TonePlayer();
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

  int Bits() const { return m_bits; }

 private:
  explicit TonePlayer(int bits);
  static DWORD WINAPI ThreadMain(void* self);
  void Run();

  int m_bits;
  unique_handle m_stop;
  unique_handle m_thread;
};

}  // namespace ravelin::standin
