// Ring tones made from struck-bar and bell voices, with a short stereo
// echo, normalised to a comfortable level.
#include "tones.h"

#include <math.h>

namespace {

struct Note {
  double start;      // seconds
  double frequency;  // Hz
  double pan;        // -1 left .. 1 right
};

// A marimba-like bar: fundamental plus the bar's high fourth partial, which
// dies away quickly, over a soft mallet attack.
double Marimba(double t, double f) {
  if (t < 0.0) return 0.0;
  const double attack = t < 0.003 ? t / 0.003 : 1.0;
  const double w = 2.0 * M_PI * f * t;
  return attack * (sin(w) * exp(-t / 0.32) + 0.35 * sin(3.93 * w) * exp(-t / 0.06) +
                   0.12 * sin(9.2 * w) * exp(-t / 0.015));
}

// A bell from frequency modulation: a brightness that fades faster than the
// tone itself.
double Bell(double t, double f) {
  if (t < 0.0) return 0.0;
  const double attack = t < 0.008 ? t / 0.008 : 1.0;
  const double index = 2.2 * exp(-t / 0.35);
  const double w = 2.0 * M_PI * f * t;
  return attack * exp(-t / 0.9) * sin(w + index * sin(1.4 * w));
}

double Midi(int note) { return 440.0 * pow(2.0, (note - 69) / 12.0); }

}  // namespace

std::vector<int16_t> SynthesizeTone(int index) {
  std::vector<Note> notes;
  double length;
  const bool marimba = index == 0;
  if (marimba) {
    // Two bursts of a rising and falling arpeggio in E major.
    static const int kPattern[] = {76, 80, 83, 88, 83, 80, 76, 83};
    for (int burst = 0; burst < 2; ++burst) {
      for (int i = 0; i < 8; ++i) {
        notes.push_back({burst * 1.75 + i * 0.14, Midi(kPattern[i]), (i % 2 ? 0.35 : -0.35)});
      }
    }
    length = 4.2;
  } else {
    // A slow four-note motif, answered a fifth lower.
    static const int kPattern[] = {79, 76, 72, 74, 72, 67};
    static const double kTimes[] = {0.0, 0.38, 0.76, 1.14, 1.9, 2.28};
    for (int i = 0; i < 6; ++i) notes.push_back({kTimes[i], Midi(kPattern[i]), (i % 2 ? 0.25 : -0.25)});
    length = 4.0;
  }

  const size_t frames = static_cast<size_t>(length * kToneRate);
  std::vector<double> left(frames, 0.0), right(frames, 0.0);
  for (const Note& note : notes) {
    const size_t first = static_cast<size_t>(note.start * kToneRate);
    const double gainLeft = sqrt((1.0 - note.pan) / 2.0), gainRight = sqrt((1.0 + note.pan) / 2.0);
    for (size_t i = first; i < frames; ++i) {
      const double t = static_cast<double>(i - first) / kToneRate;
      if (t > 3.0) break;
      const double v = marimba ? Marimba(t, note.frequency) : Bell(t, note.frequency);
      left[i] += v * gainLeft;
      right[i] += v * gainRight;
    }
  }
  // A short cross-fed echo gives the dry voices some room.
  const size_t delayLeft = kToneRate * 113 / 1000, delayRight = kToneRate * 137 / 1000;
  for (size_t i = frames; i-- > 0;) {
    if (i >= delayLeft) left[i] += 0.22 * right[i - delayLeft];
    if (i >= delayRight) right[i] += 0.22 * left[i - delayRight];
  }
  double peak = 1e-9;
  for (size_t i = 0; i < frames; ++i) peak = fmax(peak, fmax(fabs(left[i]), fabs(right[i])));
  const double scale = 0.7 * 32767.0 / peak;
  // The last 80 ms fade to silence so the tone loops without a click.
  const size_t fade = kToneRate * 80 / 1000;
  std::vector<int16_t> out(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double envelope = i + fade >= frames ? static_cast<double>(frames - i) / fade : 1.0;
    out[2 * i] = static_cast<int16_t>(lround(left[i] * scale * envelope));
    out[2 * i + 1] = static_cast<int16_t>(lround(right[i] * scale * envelope));
  }
  return out;
}

std::vector<uint8_t> EncodeWav16Stereo(const std::vector<int16_t>& frames, int rate) {
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  auto tag = [&](const char* id) { out.insert(out.end(), id, id + 4); };
  const uint32_t dataBytes = static_cast<uint32_t>(frames.size() * 2);
  tag("RIFF");
  u32(4 + 8 + 16 + 8 + dataBytes);
  tag("WAVE");
  tag("fmt ");
  u32(16);
  u16(1);  // PCM
  u16(2);  // stereo
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate) * 4);
  u16(4);
  u16(16);
  tag("data");
  u32(dataBytes);
  for (int16_t sample : frames) u16(static_cast<uint16_t>(sample));
  return out;
}
