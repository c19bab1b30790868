// Sound control is not built yet: the switch is kept, nothing is muted.
#include "sound/sound_win.h"

namespace ravelin {

volatile unsigned char g_bSoundOn = 1;

void AudioSessionInit(bool /*soundOn*/) {}
void AudioSessionSetSound(bool /*soundOn*/) {}
void AudioSessionRelease() {}
bool InstallWaveOutHook() { return false; }
void RemoveWaveOutHook() {}

}  // namespace ravelin
