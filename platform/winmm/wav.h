// RIFF/WAVE reader of the stand-in WinMM: uncompressed PCM only (8 or 16
// bit, mono or stereo), plain or WAVE_FORMAT_EXTENSIBLE headers.
//
// Every size read from the file is checked against the bytes actually held
// before it is used, so a truncated or hostile file is rejected with a reason
// and never read past its end.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct WavSound {
  uint16_t formatTag = 0;      // 1 (PCM) or 0xFFFE (extensible with the PCM subformat)
  uint16_t channels = 0;       // 1 or 2
  uint16_t bitsPerSample = 0;  // 8 (unsigned) or 16 (signed little-endian)
  uint16_t blockAlign = 0;     // bytes per sample frame
  uint32_t sampleRate = 0;     // frames per second
  const uint8_t* samples = nullptr;  // points into the parsed buffer
  size_t sampleBytes = 0;            // whole frames only
  size_t frameCount = 0;
};

// Longest reason string written by the reader, with its NUL.
constexpr size_t kWavReasonSize = 128;

// Limits of what the reader accepts.
constexpr uint32_t kWavMinSampleRate = 1000;
constexpr uint32_t kWavMaxSampleRate = 384000;
constexpr size_t kWavMaxFileBytes = 64u * 1024u * 1024u;

// Parses a WAV image held in memory. On success fills `sound` (its samples
// point into `data`, which must outlive it) and returns true; on failure
// writes a one-line reason into `reason` (kWavReasonSize bytes) and returns
// false. `reason` may be null.
bool ParseWav(const uint8_t* data, size_t size, WavSound* sound, char* reason);

// Reads the file at a Linux path into `bytes` and parses it as ParseWav does.
// Files that are not regular files or are larger than kWavMaxFileBytes are
// rejected.
bool ReadWavFile(const char* path, std::vector<uint8_t>* bytes, WavSound* sound, char* reason);
