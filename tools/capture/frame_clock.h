// The fixed frame rate of a capture as an exact fraction, and the show time
// of each frame: frame i is drawn at floor(i * 1000 / fps) milliseconds,
// worked out in integers so that 29.97 frames a second never drifts.
#pragma once

#include <stdint.h>

#include <string>

struct FrameRate {
  uint32_t num = 60;  // frames ...
  uint32_t den = 1;   // ... per this many seconds
};

// Highest rate accepted: beyond one frame a millisecond, frames would repeat
// show times.
constexpr uint32_t kMaxFramesPerSecond = 1000;
// Decimal places accepted in a rate such as "29.97".
constexpr int kMaxRateDecimals = 6;

// Parses "60", "29.97" or "30000/1001" into a reduced fraction greater than
// 0 and at most kMaxFramesPerSecond. Returns false, with a reason, otherwise.
bool ParseFrameRate(const char* text, FrameRate* rate, std::string* reason);

// The rate as people write it: "60", "29.97", "30000/1001".
std::string FormatFrameRate(FrameRate rate);

// Milliseconds from the start of the timeline to frame `index`, rounded down.
uint64_t FrameTimeMs(FrameRate rate, uint64_t index);

// The first frame whose time is at or after `ms`.
uint64_t FirstFrameAtOrAfter(FrameRate rate, uint64_t ms);

// Sample position (at `sampleRate` a second) of the exact start of frame
// `index`, rounded down.
int64_t FrameStartSample(FrameRate rate, uint64_t index, uint32_t sampleRate);
