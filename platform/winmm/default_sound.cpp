#include "winmm/default_sound.h"

#include <math.h>

namespace {

constexpr size_t kFrames = static_cast<size_t>(kDefaultSoundRate) * kDefaultSoundMs / 1000;
uint8_t g_Samples[kFrames * 2];
WavSound g_Sound;
bool g_Made = false;

// One struck bell-like note: a fundamental with two soft overtones, a quick
// attack and an exponential decay.
double Note(double t, double frequency) {
  if (t < 0.0) return 0.0;
  const double attack = t < 0.006 ? t / 0.006 : 1.0;
  const double decay = exp(-t / 0.14);
  const double w = 2.0 * M_PI * frequency * t;
  return attack * decay * (sin(w) + 0.22 * sin(2.0 * w) * exp(-t / 0.05) + 0.08 * sin(3.0 * w));
}

}  // namespace

const WavSound& DefaultSound() {
  if (!g_Made) {
    // A high note, then a lower one a sixth below: "ding-dong".
    const double fadeStart = (kDefaultSoundMs - 40) / 1000.0;
    for (size_t i = 0; i < kFrames; ++i) {
      const double t = static_cast<double>(i) / kDefaultSoundRate;
      double value = 0.30 * Note(t, 1046.5) + 0.30 * Note(t - 0.15, 659.25);
      if (t > fadeStart) value *= (kDefaultSoundMs / 1000.0 - t) / 0.04;  // end at exact silence
      const long sample = lround(value * 32767.0);
      const int16_t clamped = static_cast<int16_t>(sample > 32767 ? 32767 : (sample < -32768 ? -32768 : sample));
      g_Samples[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(clamped) & 0xFF);
      g_Samples[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(clamped) >> 8);
    }
    g_Sound.formatTag = 1;
    g_Sound.channels = 1;
    g_Sound.bitsPerSample = 16;
    g_Sound.blockAlign = 2;
    g_Sound.sampleRate = kDefaultSoundRate;
    g_Sound.samples = g_Samples;
    g_Sound.sampleBytes = sizeof g_Samples;
    g_Sound.frameCount = kFrames;
    g_Made = true;
  }
  return g_Sound;
}
