// Generated ring tones for the sample Windows folder.
#pragma once

#include <stdint.h>

#include <vector>

constexpr int kToneRate = 44100;
constexpr int kToneCount = 2;

// Tone `index` (0: a bright marimba ring, 1: a soft bell motif) as
// interleaved 16-bit stereo frames at kToneRate. Deterministic.
std::vector<int16_t> SynthesizeTone(int index);

// A complete RIFF/WAVE image (PCM, 16-bit, stereo) of `frames`.
std::vector<uint8_t> EncodeWav16Stereo(const std::vector<int16_t>& frames, int rate);
