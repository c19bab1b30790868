// Muting the process: its audio sessions and its waveOut output. Both follow
// one switch.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <cstddef>

struct IMMDevice;

namespace ravelin {

// Sound is on; switched by the sound buttons, never saved. Read by the
// waveOut hook on whatever thread plays.
extern volatile unsigned char g_bSoundOn;

// Session mute through Core Audio: the active playback endpoints are listed
// once; setting the sound mutes or unmutes this process's default session on
// each of them and never touches the volume level.
HRESULT AudioSessionInit(bool soundOn);
// The audio system's first use in a process loads its driver and lists its
// devices (tens of milliseconds under Wine). Started early on a thread of its
// own, that first use overlaps the rest of the start; AudioSessionInit then
// waits for it (a bounded wait) before it lists the endpoints itself. It
// changes nothing: no session is touched and nothing is kept. `meanwhile`,
// when given, runs on that thread once the audio system is loaded, in its
// multithreaded apartment: another first use to get out of the way.
void StartAudioWarmUp(void (*meanwhile)() = nullptr);
HRESULT AudioSessionSetSound(bool soundOn);
HRESULT AudioSessionRelease();
bool EndpointHasProperty(IMMDevice* endpoint);
// How many endpoints the session mute acts on, and on how many the last
// setting was accepted.
std::size_t AudioSessionEndpointCount();
std::size_t AudioSessionLastAppliedCount();

// The waveOut hook: while sound is off every buffer handed to waveOutWrite
// is zeroed in place before it goes on.
using WaveOutWriteFn = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);
extern WaveOutWriteFn g_pfnWaveOutWrite;
MMRESULT WINAPI HookedWaveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT headerSize);
bool InstallWaveOutHook();
void RemoveWaveOutHook();

}  // namespace ravelin
