// PlaySoundA on SDL2's audio: one sound at a time, started from a file, a
// WAV image in memory or a system alias, played on SDL's audio thread.
//
// The request is resolved and decoded before PlaySoundA returns (so a
// missing file is known at once, and the caller's name buffer is not needed
// afterwards); the samples, converted to the device's format, are then
// handed to the audio callback, which is the only code that runs on the
// audio thread.
#include <mmsystem.h>
#include <standin.h>

#include <SDL.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <limits.h>
#include <mutex>
#include <string>
#include <vector>

#include "crt/path_translate.h"
#include "winmm/default_sound.h"
#include "winmm/wav.h"

namespace {

// What the audio callback plays; guarded by SDL_LockAudioDevice.
struct Playback {
  Uint8* data = nullptr;  // SDL_malloc'ed, in the device's format
  size_t bytes = 0;       // whole device frames
  size_t position = 0;
  bool loop = false;
  bool active = false;
  uint64_t serial = 0;  // which request this is
};
Playback g_Playback;
uint64_t g_BytesPlayed = 0;  // also guarded by the device lock

SDL_AudioDeviceID g_Device = 0;
SDL_AudioSpec g_DeviceSpec;
size_t g_DeviceFrameBytes = 0;
bool g_DeviceTried = false;
bool g_OutputEnabled = true;

// The last sound started, as the caller asked for it.
struct Current {
  bool active = false;  // started and neither stopped nor replaced
  bool loop = false;
  bool isDefault = false;
  std::string name;
  DWORD startTick = 0;
  DWORD durationMs = 0;
  uint64_t serial = 0;
};
Current g_Current;
uint64_t g_NextSerial = 1;

std::vector<StandinSoundCallRecord> g_Log;

// PlaySoundA may be called from any thread, as on Windows.
std::recursive_mutex g_Mutex;

void SDLCALL FillAudio(void*, Uint8* stream, int length) {
  const size_t wanted = length > 0 ? static_cast<size_t>(length) : 0;
  size_t filled = 0;
  Playback& p = g_Playback;
  // Each pass copies at least one byte or ends the sound, so this ends.
  while (filled < wanted && p.active) {
    if (p.position >= p.bytes) {
      if (p.loop && p.bytes > 0) {
        p.position = 0;
        continue;
      }
      p.active = false;
      break;
    }
    size_t count = p.bytes - p.position;
    if (count > wanted - filled) count = wanted - filled;
    memcpy(stream + filled, p.data + p.position, count);
    p.position += count;
    filled += count;
    g_BytesPlayed += count;
  }
  memset(stream + filled, g_DeviceSpec.silence, wanted - filled);
}

// Opens the default output device on first use. A machine without one
// (or with output switched off) plays nothing, and that is not an error for
// the caller; it is said once on standard error.
bool EnsureDevice() {
  if (g_Device) return true;
  if (g_DeviceTried || !g_OutputEnabled) return false;
  g_DeviceTried = true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    fprintf(stderr, "PlaySoundA: no audio (%s); sounds will not be heard\n", SDL_GetError());
    return false;
  }
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = FillAudio;
  g_Device = SDL_OpenAudioDevice(nullptr, 0, &want, &g_DeviceSpec,
                                 SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_FORMAT_CHANGE |
                                     SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (!g_Device) {
    fprintf(stderr, "PlaySoundA: no audio device (%s); sounds will not be heard\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  g_DeviceFrameBytes = static_cast<size_t>(SDL_AUDIO_BITSIZE(g_DeviceSpec.format) / 8) * g_DeviceSpec.channels;
  SDL_PauseAudioDevice(g_Device, 0);
  return true;
}

// Converts decoded PCM to the device's format into an SDL_malloc'ed buffer.
bool ConvertForDevice(const WavSound& sound, Uint8** out, size_t* outBytes, char* reason) {
  *out = nullptr;
  *outBytes = 0;
  SDL_AudioCVT cvt;
  const SDL_AudioFormat source = sound.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  const int built = SDL_BuildAudioCVT(&cvt, source, static_cast<Uint8>(sound.channels),
                                      static_cast<int>(sound.sampleRate), g_DeviceSpec.format,
                                      g_DeviceSpec.channels, g_DeviceSpec.freq);
  if (built < 0) {
    snprintf(reason, kWavReasonSize, "cannot convert to the device format: %s", SDL_GetError());
    return false;
  }
  if (sound.sampleBytes == 0) return true;
  const size_t multiple = cvt.len_mult > 0 ? static_cast<size_t>(cvt.len_mult) : 1;
  if (sound.sampleBytes > static_cast<size_t>(INT_MAX) / multiple) {
    snprintf(reason, kWavReasonSize, "too long to convert (%zu bytes)", sound.sampleBytes);
    return false;
  }
  Uint8* buffer = static_cast<Uint8*>(SDL_malloc(sound.sampleBytes * multiple));
  if (!buffer) {
    snprintf(reason, kWavReasonSize, "out of memory for %zu bytes", sound.sampleBytes * multiple);
    return false;
  }
  memcpy(buffer, sound.samples, sound.sampleBytes);
  size_t bytes = sound.sampleBytes;
  if (built == 1) {
    cvt.buf = buffer;
    cvt.len = static_cast<int>(sound.sampleBytes);
    if (SDL_ConvertAudio(&cvt) != 0) {
      snprintf(reason, kWavReasonSize, "conversion failed: %s", SDL_GetError());
      SDL_free(buffer);
      return false;
    }
    bytes = static_cast<size_t>(cvt.len_cvt);
  }
  *out = buffer;
  *outBytes = bytes - bytes % g_DeviceFrameBytes;
  return true;
}

bool IsPlaying() {
  if (!g_Current.active) return false;
  if (g_Device) {
    SDL_LockAudioDevice(g_Device);
    const bool active = g_Playback.active && g_Playback.serial == g_Current.serial;
    SDL_UnlockAudioDevice(g_Device);
    return active;
  }
  return g_Current.loop || static_cast<DWORD>(GetTickCount() - g_Current.startTick) < g_Current.durationMs;
}

// Hands `data` (or nothing) to the callback; frees what it played before.
void SwapPlayback(Uint8* data, size_t bytes, bool loop, uint64_t serial) {
  if (!g_Device) {
    SDL_free(data);
    return;
  }
  SDL_LockAudioDevice(g_Device);
  Uint8* old = g_Playback.data;
  g_Playback.data = data;
  g_Playback.bytes = bytes;
  g_Playback.position = 0;
  g_Playback.loop = loop;
  g_Playback.active = data != nullptr && bytes > 0;
  g_Playback.serial = serial;
  SDL_UnlockAudioDevice(g_Device);
  SDL_free(old);
}

void Stop() {
  g_Current.active = false;
  SwapPlayback(nullptr, 0, false, 0);
}

bool IsSystemAlias(const char* name) {
  static const char* const kAliases[] = {".Default",       "SystemAsterisk", "SystemDefault",
                                         "SystemExclamation", "SystemExit",  "SystemHand",
                                         "SystemQuestion",   "SystemStart",  "SystemNotification"};
  for (const char* alias : kAliases) {
    if (strcasecmp(name, alias) == 0) return true;
  }
  return false;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The name as text: a memory image or an alias number is not a string.
std::string NameForLog(LPCSTR name, DWORD flags) {
  if ((flags & SND_RESOURCE) == SND_RESOURCE) return "(resource)";
  if (flags & SND_MEMORY) return "(memory)";
  if ((flags & SND_ALIAS_ID) == SND_ALIAS_ID) return "(alias id)";
  return name;
}

// Finds and decodes the requested sound. `isSystemSound` is set when the
// request names a system sound, which is the stand-in's chime.
bool LoadRequested(LPCSTR name, DWORD flags, std::vector<uint8_t>* bytes, WavSound* sound,
                   bool* isSystemSound, char* reason) {
  *isSystemSound = false;
  if ((flags & SND_RESOURCE) == SND_RESOURCE) {
    snprintf(reason, kWavReasonSize, "sounds in module resources are not supported");
    return false;
  }
  if (flags & SND_MEMORY) {
    // A WAV image in the caller's memory: its RIFF header gives its size.
    const uint8_t* image = reinterpret_cast<const uint8_t*>(name);
    if (memcmp(image, "RIFF", 4) != 0) {
      snprintf(reason, kWavReasonSize, "memory image is not a RIFF file");
      return false;
    }
    const uint64_t size = static_cast<uint64_t>(Le32(image + 4)) + 8;
    if (size > kWavMaxFileBytes) {
      snprintf(reason, kWavReasonSize, "memory image too large (%llu bytes)", static_cast<unsigned long long>(size));
      return false;
    }
    return ParseWav(image, static_cast<size_t>(size), sound, reason);
  }
  // System sounds are the stand-in's chime. Without SND_FILENAME a name is
  // first taken as an alias, as Windows does.
  const bool aliasId = (flags & SND_ALIAS_ID) == SND_ALIAS_ID;
  const bool fileOnly = (flags & SND_FILENAME) && !(flags & SND_ALIAS);
  if (aliasId || (!fileOnly && IsSystemAlias(name))) {
    *sound = DefaultSound();
    *isSystemSound = true;
    return true;
  }
  if ((flags & SND_ALIAS) && !(flags & SND_FILENAME)) {
    snprintf(reason, kWavReasonSize, "unknown sound alias");
    return false;
  }
  char path[kStandinMaxPath];
  if (!StandinTranslatePath(name, path, sizeof path)) {
    snprintf(reason, kWavReasonSize, "path too long");
    return false;
  }
  return ReadWavFile(path, bytes, sound, reason);
}

// Everything PlaySoundA does up to the wait of a synchronous call. Returns
// its result; `waitSerial` is set to the sound to wait for, or 0.
BOOL Play(LPCSTR name, DWORD flags, uint64_t* waitSerial) {
  *waitSerial = 0;
  if (!name || (flags & SND_PURGE)) {
    Stop();
    return TRUE;
  }
  if ((flags & SND_NOSTOP) && IsPlaying()) return FALSE;
  // A new request ends whatever is playing, whether or not it succeeds.
  Stop();

  std::vector<uint8_t> bytes;
  WavSound sound;
  bool isDefault = false;
  char reason[kWavReasonSize] = "";
  if (!LoadRequested(name, flags, &bytes, &sound, &isDefault, reason)) {
    const std::string shown = NameForLog(name, flags);
    if (flags & SND_NODEFAULT) {
      fprintf(stderr, "PlaySoundA: %s: %s\n", shown.c_str(), reason);
      return FALSE;
    }
    fprintf(stderr, "PlaySoundA: %s: %s; playing the default sound\n", shown.c_str(), reason);
    sound = DefaultSound();
    isDefault = true;
  }

  // A loop must be asynchronous: a synchronous call plays the sound once.
  const bool async = (flags & SND_ASYNC) != 0;
  const bool loop = async && (flags & SND_LOOP);
  const uint64_t serial = g_NextSerial++;
  g_Current.active = true;
  g_Current.loop = loop;
  g_Current.isDefault = isDefault;
  g_Current.name = NameForLog(name, flags);
  g_Current.startTick = GetTickCount();
  g_Current.durationMs = static_cast<DWORD>(static_cast<uint64_t>(sound.frameCount) * 1000 / sound.sampleRate);
  g_Current.serial = serial;

  if (EnsureDevice()) {
    Uint8* data = nullptr;
    size_t dataBytes = 0;
    if (ConvertForDevice(sound, &data, &dataBytes, reason)) {
      SwapPlayback(data, dataBytes, loop, serial);
      if (!async) *waitSerial = serial;
    } else {
      // Decoded but not playable here: nothing is heard, as without a device.
      fprintf(stderr, "PlaySoundA: %s: %s\n", g_Current.name.c_str(), reason);
    }
  }
  return TRUE;
}

}  // namespace

BOOL WINAPI PlaySoundA(LPCSTR pszSound, HMODULE, DWORD fdwSound) {
  uint64_t waitSerial = 0;
  DWORD durationMs = 0;
  BOOL result;
  {
    std::lock_guard<std::recursive_mutex> lock(g_Mutex);
    StandinSoundCallRecord record;
    record.nameIsNull = pszSound == nullptr;
    if (pszSound) record.name = NameForLog(pszSound, fdwSound);
    record.flags = fdwSound;
    record.tick = GetTickCount();
    result = Play(pszSound, fdwSound, &waitSerial);
    durationMs = g_Current.durationMs;
    record.result = result;
    g_Log.push_back(std::move(record));
  }
  if (waitSerial) {
    // A synchronous sound: wait for the device to play it out, but never
    // much longer than it lasts should the device stall.
    const Uint32 deadline = SDL_GetTicks() + durationMs + 2000;
    for (;;) {
      {
        std::lock_guard<std::recursive_mutex> lock(g_Mutex);
        if (!g_Device) break;
        SDL_LockAudioDevice(g_Device);
        const bool active = g_Playback.active && g_Playback.serial == waitSerial;
        SDL_UnlockAudioDevice(g_Device);
        if (!active) break;
      }
      if (static_cast<Sint32>(SDL_GetTicks() - deadline) >= 0) break;
      SDL_Delay(5);
    }
  }
  return result;
}

size_t StandinSoundCallCount() {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  return g_Log.size();
}

StandinSoundCallRecord StandinSoundCall(size_t index) {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  if (index >= g_Log.size()) return StandinSoundCallRecord();
  return g_Log[index];
}

void StandinClearSoundLog() {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  g_Log.clear();
}

StandinSoundState StandinCurrentSound() {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  StandinSoundState state;
  state.playing = IsPlaying();
  state.looping = g_Current.loop;
  state.isDefaultSound = g_Current.isDefault;
  state.name = g_Current.name;
  state.startTick = g_Current.startTick;
  state.durationMs = g_Current.durationMs;
  return state;
}

bool StandinSoundDeviceOpen() {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  return g_Device != 0;
}

uint64_t StandinSoundFramesPlayed() {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  if (!g_Device || g_DeviceFrameBytes == 0) return 0;
  SDL_LockAudioDevice(g_Device);
  const uint64_t bytes = g_BytesPlayed;
  SDL_UnlockAudioDevice(g_Device);
  return bytes / g_DeviceFrameBytes;
}

void StandinSetSoundOutputEnabled(bool enabled) {
  std::lock_guard<std::recursive_mutex> lock(g_Mutex);
  g_OutputEnabled = enabled;
}
