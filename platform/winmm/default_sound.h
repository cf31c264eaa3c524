// The stand-in's own default sound, played when a requested sound cannot be
// found: a soft two-tone chime, synthesised on first use.
#pragma once

#include "winmm/wav.h"

constexpr uint32_t kDefaultSoundRate = 44100;
constexpr uint32_t kDefaultSoundMs = 600;

// The chime as 16-bit mono PCM at kDefaultSoundRate, in static storage.
const WavSound& DefaultSound();
