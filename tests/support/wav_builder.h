// Builds RIFF/WAVE images chunk by chunk, well-formed or deliberately not,
// for the tests of the WAV reader and of PlaySoundA.
#pragma once

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <initializer_list>
#include <vector>

namespace wavtest {

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v & 0xFF));
  out->push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

inline void Put32(Bytes* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A chunk: id, size, body and, for an odd size, the pad byte. The declared
// size can be overridden to make a chunk lie about its length.
inline Bytes Chunk(const char* id, const Bytes& body, int64_t declaredSize = -1) {
  Bytes out(id, id + 4);
  Put32(&out, declaredSize >= 0 ? static_cast<uint32_t>(declaredSize) : static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2) out.push_back(0);
  return out;
}

// The body of a plain PCM fmt chunk (16 bytes, or 18 with a zero cbSize).
inline Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withExtraSize = false) {
  Bytes out;
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  Put16(&out, tag);
  Put16(&out, channels);
  Put32(&out, rate);
  Put32(&out, rate * align);
  Put16(&out, align);
  Put16(&out, bits);
  if (withExtraSize) Put16(&out, 0);
  return out;
}

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT as stored in a file.
inline const uint8_t* PcmGuid() {
  static const uint8_t guid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  return guid;
}
inline const uint8_t* FloatGuid() {
  static const uint8_t guid[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  return guid;
}

// The body of a WAVE_FORMAT_EXTENSIBLE fmt chunk (40 bytes).
inline Bytes ExtensibleBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t validBits,
                            const uint8_t* subformat) {
  Bytes out = FmtBody(0xFFFE, channels, rate, bits);
  Put16(&out, 22);
  Put16(&out, validBits);
  Put32(&out, channels == 1 ? 0x4 : 0x3);
  out.insert(out.end(), subformat, subformat + 16);
  return out;
}

// "RIFF" <size> "WAVE" followed by the chunks; the size is the true one
// unless overridden.
inline Bytes Riff(std::initializer_list<Bytes> chunks, int64_t declaredSize = -1) {
  Bytes body;
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes out = {'R', 'I', 'F', 'F'};
  Put32(&out, declaredSize >= 0 ? static_cast<uint32_t>(declaredSize) : static_cast<uint32_t>(4 + body.size()));
  out.insert(out.end(), {'W', 'A', 'V', 'E'});
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// `frames` sample frames of a quiet 440 Hz tone in the given format.
inline Bytes ToneSamples(uint16_t channels, uint32_t rate, uint16_t bits, size_t frames) {
  Bytes out;
  for (size_t i = 0; i < frames; ++i) {
    const double v = 0.25 * sin(2.0 * M_PI * 440.0 * static_cast<double>(i) / rate);
    for (uint16_t c = 0; c < channels; ++c) {
      if (bits == 8) {
        out.push_back(static_cast<uint8_t>(128 + lround(v * 127.0)));
      } else {
        Put16(&out, static_cast<uint16_t>(static_cast<int16_t>(lround(v * 32767.0))));
      }
    }
  }
  return out;
}

// A complete PCM file of `milliseconds` of tone.
inline Bytes ToneWav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t milliseconds) {
  const size_t frames = static_cast<size_t>(rate) * milliseconds / 1000;
  return Riff({Chunk("fmt ", FmtBody(1, channels, rate, bits)), Chunk("data", ToneSamples(channels, rate, bits, frames))});
}

}  // namespace wavtest
