// Session mute on every active playback endpoint.
#include <windows.h>

#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <propidl.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "common/shared_thread_win.h"
#include "common/unique_handle_win.h"
#include "sound/sound_win.h"

namespace ravelin {

volatile unsigned char g_bSoundOn = 1;

namespace {

using Microsoft::WRL::ComPtr;

// {BCDE0395-E52F-467C-8E3D-C4579291692E}
constexpr CLSID kDeviceEnumeratorClass = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
// {A95664D2-9614-4F35-A746-DE8DB63617E6}
constexpr IID kDeviceEnumeratorInterface = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
// {BFA971F1-4D5E-40BB-935E-967039BFBEE4}
constexpr IID kSessionManagerInterface = {0xBFA971F1, 0x4D5E, 0x40BB, {0x93, 0x5E, 0x96, 0x70, 0x39, 0xBF, 0xBE, 0xE4}};
// The endpoint property whose presence admits an endpoint.
constexpr PROPERTYKEY kEndpointKey = {{0xB3F8FA53, 0x0004, 0x438E, {0x90, 0x03, 0x51, 0xA4, 0x6E, 0x13, 0x9B, 0xFC}},
                                      2};

struct AudioEndpoints {
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<IMMDeviceCollection> collection;
  UINT count = 0;
};

AudioEndpoints g_audio;
std::vector<ComPtr<IMMDevice>> g_audioEndpoints;
std::size_t g_lastApplied = 0;

// How long the session's first listing waits for the warm-up; and how long
// the warm-up keeps its apartment (and so the audio system loaded) for that
// listing to take over.
constexpr DWORD kWarmUpWaitMs = 5000;
constexpr DWORD kWarmUpKeepMs = 30000;

struct AudioWarmUp {
  unique_handle done;       // the audio system is loaded and its devices listed
  unique_handle takenOver;  // the session has its own objects: the warm-up may let go
  void (*meanwhile)() = nullptr;
};

// Shared with the warm-up thread, which may outlive the wait for it.
std::shared_ptr<AudioWarmUp> g_warmUp;

void WarmUpAudio(AudioWarmUp& warmUp) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDeviceCollection> collection;
    if (SUCCEEDED(CoCreateInstance(kDeviceEnumeratorClass, nullptr, CLSCTX_ALL, kDeviceEnumeratorInterface,
                                   reinterpret_cast<void**>(enumerator.GetAddressOf())))) {
      enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &collection);
    }
  }
  SetEvent(warmUp.done.get());
  if (warmUp.meanwhile != nullptr) warmUp.meanwhile();
  // Leaving the apartment now could unload what was just loaded before the
  // session's own apartment has it.
  WaitForSingleObject(warmUp.takenOver.get(), kWarmUpKeepMs);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace

void StartAudioWarmUp(void (*meanwhile)()) {
  if (g_warmUp) return;
  auto warmUp = std::make_shared<AudioWarmUp>();
  warmUp->meanwhile = meanwhile;
  warmUp->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  warmUp->takenOver.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!warmUp->done || !warmUp->takenOver) return;
  if (StartThreadSharing(warmUp, &WarmUpAudio)) g_warmUp = std::move(warmUp);
}

bool EndpointHasProperty(IMMDevice* endpoint) {
  ComPtr<IPropertyStore> store;
  if (FAILED(endpoint->OpenPropertyStore(STGM_READ, &store))) return false;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (FAILED(store->GetValue(kEndpointKey, &value)) || value.vt == VT_EMPTY) return false;
  PropVariantClear(&value);
  return true;
}

HRESULT AudioSessionInit(bool /*soundOn*/) {
  // The window thread is already a single-threaded apartment; this only
  // matters on a thread without COM.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  AudioSessionRelease();
  if (g_warmUp) WaitForSingleObject(g_warmUp->done.get(), kWarmUpWaitMs);
  const HRESULT created = CoCreateInstance(kDeviceEnumeratorClass, nullptr, CLSCTX_ALL, kDeviceEnumeratorInterface,
                                           reinterpret_cast<void**>(g_audio.enumerator.GetAddressOf()));
  if (g_warmUp) {
    SetEvent(g_warmUp->takenOver.get());
    g_warmUp.reset();
  }
  if (FAILED(created)) return E_FAIL;
  if (g_audio.enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &g_audio.collection) != S_OK) {
    return E_FAIL;
  }
  if (g_audio.collection->GetCount(&g_audio.count) != S_OK) return E_FAIL;
  for (UINT i = 0; i < g_audio.count; ++i) {
    ComPtr<IMMDevice> endpoint;
    if (g_audio.collection->Item(i, &endpoint) != S_OK) continue;
    if (EndpointHasProperty(endpoint.Get())) g_audioEndpoints.push_back(std::move(endpoint));
  }
  return S_OK;
}

HRESULT AudioSessionSetSound(bool soundOn) {
  g_lastApplied = 0;
  for (const ComPtr<IMMDevice>& endpoint : g_audioEndpoints) {
    ComPtr<IAudioSessionManager> manager;
    if (FAILED(endpoint->Activate(kSessionManagerInterface, CLSCTX_INPROC_SERVER, nullptr,
                                  reinterpret_cast<void**>(manager.GetAddressOf())))) {
      continue;
    }
    ComPtr<ISimpleAudioVolume> volume;
    if (FAILED(manager->GetSimpleAudioVolume(nullptr, 0, &volume))) continue;
    if (SUCCEEDED(volume->SetMute(soundOn ? FALSE : TRUE, nullptr))) ++g_lastApplied;
  }
  return S_OK;
}

HRESULT AudioSessionRelease() {
  g_audioEndpoints.clear();
  g_audio.collection.Reset();
  g_audio.enumerator.Reset();
  g_audio.count = 0;
  return S_OK;
}

std::size_t AudioSessionEndpointCount() { return g_audioEndpoints.size(); }

std::size_t AudioSessionLastAppliedCount() { return g_lastApplied; }

}  // namespace ravelin
