// libFuzzer target: the WAV reader on arbitrary bytes. Beyond not crashing
// or reading out of bounds (AddressSanitizer), an accepted file must
// describe samples that lie inside the input in a format the player knows.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "winmm/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WavSound sound;
  char reason[kWavReasonSize];
  memset(reason, 0x7F, sizeof reason);
  if (ParseWav(data, size, &sound, reason)) {
    if (sound.channels != 1 && sound.channels != 2) __builtin_trap();
    if (sound.bitsPerSample != 8 && sound.bitsPerSample != 16) __builtin_trap();
    if (sound.blockAlign != sound.channels * sound.bitsPerSample / 8) __builtin_trap();
    if (sound.sampleRate < kWavMinSampleRate || sound.sampleRate > kWavMaxSampleRate) __builtin_trap();
    if (sound.sampleBytes != sound.frameCount * sound.blockAlign) __builtin_trap();
    if (sound.sampleBytes > 0 && (sound.samples < data || sound.samples + sound.sampleBytes > data + size)) {
      __builtin_trap();
    }
  } else if (memchr(reason, '\0', sizeof reason) == nullptr || reason[0] == '\0') {
    __builtin_trap();  // every rejection says why
  }
  return 0;
}
