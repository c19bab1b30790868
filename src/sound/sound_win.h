// Muting the process: its audio sessions and its waveOut output.
#pragma once

namespace ravelin {

// Sound is on; switched by the sound buttons, never saved.
extern volatile unsigned char g_bSoundOn;

void AudioSessionInit(bool soundOn);
void AudioSessionSetSound(bool soundOn);
void AudioSessionRelease();
bool InstallWaveOutHook();
void RemoveWaveOutHook();

}  // namespace ravelin
