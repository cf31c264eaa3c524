#include "wav.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM {00000001-0000-0010-8000-00AA00389B71} as stored
// in the file (first three fields little-endian).
constexpr uint8_t kPcmSubformat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Fail(char* reason, const char* format, ...) __attribute__((format(printf, 2, 3)));

bool Fail(char* reason, const char* format, ...) {
  if (reason) {
    va_list args;
    va_start(args, format);
    vsnprintf(reason, kWavReasonSize, format, args);
    va_end(args);
  }
  return false;
}

// A chunk id as text for messages; non-printable bytes become '?'.
void ChunkName(const uint8_t* id, char out[5]) {
  for (int i = 0; i < 4; ++i) out[i] = (id[i] >= 0x20 && id[i] < 0x7F) ? static_cast<char>(id[i]) : '?';
  out[4] = '\0';
}

bool ParseFormat(const uint8_t* body, uint32_t size, WavSound* sound, char* reason) {
  if (size < 16) return Fail(reason, "fmt chunk too short (%u bytes, need 16)", size);
  const uint16_t tag = Le16(body);
  const uint16_t channels = Le16(body + 2);
  const uint32_t rate = Le32(body + 4);
  const uint16_t blockAlign = Le16(body + 12);
  const uint16_t bits = Le16(body + 14);

  if (tag == kFormatExtensible) {
    // cbSize (2), valid bits (2), channel mask (4), subformat GUID (16).
    if (size < 40) return Fail(reason, "extensible fmt chunk too short (%u bytes, need 40)", size);
    const uint16_t extra = Le16(body + 16);
    if (extra < 22) return Fail(reason, "extensible fmt chunk declares %u extra bytes, need 22", extra);
    const uint16_t validBits = Le16(body + 18);
    if (validBits > bits) {
      return Fail(reason, "extensible format has %u valid bits in a %u-bit sample", validBits, bits);
    }
    if (memcmp(body + 24, kPcmSubformat, sizeof kPcmSubformat) != 0) {
      return Fail(reason, "extensible format with a subformat other than PCM");
    }
  } else if (tag != kFormatPcm) {
    return Fail(reason, "unsupported format tag 0x%04x (only PCM is played)", tag);
  }
  if (channels != 1 && channels != 2) {
    return Fail(reason, "unsupported channel count %u (mono or stereo only)", channels);
  }
  if (bits != 8 && bits != 16) {
    return Fail(reason, "unsupported sample size %u bits (8 or 16 only)", bits);
  }
  if (rate < kWavMinSampleRate || rate > kWavMaxSampleRate) {
    return Fail(reason, "unsupported sample rate %u Hz", rate);
  }
  const uint16_t expectedAlign = static_cast<uint16_t>(channels * bits / 8);
  if (blockAlign != expectedAlign) {
    return Fail(reason, "block align %u does not match %u channel(s) of %u bits", blockAlign, channels,
                bits);
  }
  sound->formatTag = tag;
  sound->channels = channels;
  sound->bitsPerSample = bits;
  sound->blockAlign = blockAlign;
  sound->sampleRate = rate;
  return true;
}

}  // namespace

bool ParseWav(const uint8_t* data, size_t size, WavSound* sound, char* reason) {
  *sound = WavSound();
  if (reason) reason[0] = '\0';
  if (!data || size < 12) return Fail(reason, "file too short for a RIFF header (%zu bytes)", size);
  if (memcmp(data, "RIFF", 4) != 0) return Fail(reason, "not a RIFF file");
  if (memcmp(data + 8, "WAVE", 4) != 0) return Fail(reason, "RIFF file of a type other than WAVE");

  // Chunks are read up to the end the RIFF header declares, or the end of
  // the bytes held when the header claims more (a cut-off file is then
  // caught by the chunk that runs past the end). All offsets are 64-bit so
  // no 32-bit size from the file can wrap them.
  const uint64_t declaredEnd = static_cast<uint64_t>(Le32(data + 4)) + 8;
  const uint64_t end = (declaredEnd >= 12 && declaredEnd <= size) ? declaredEnd : size;

  bool haveFormat = false;
  const uint8_t* samples = nullptr;
  uint64_t sampleBytes = 0;
  bool haveData = false;

  // Each pass advances by at least the 8-byte chunk header, so the loop ends.
  uint64_t pos = 12;
  while (pos + 8 <= end) {
    const uint8_t* header = data + pos;
    const uint32_t chunkSize = Le32(header + 4);
    const uint64_t body = pos + 8;
    if (chunkSize > end - body) {
      // A cut-off chunk after the sound is whole (metadata at the end of a
      // truncated file) does not stop it from playing; anything else does.
      const bool soundChunk = memcmp(header, "fmt ", 4) == 0 || memcmp(header, "data", 4) == 0;
      if (!soundChunk && haveFormat && haveData) break;
      char name[5];
      ChunkName(header, name);
      return Fail(reason, "'%s' chunk of %u bytes runs past the end of the file (%llu bytes left)", name,
                  chunkSize, static_cast<unsigned long long>(end - body));
    }
    if (memcmp(header, "fmt ", 4) == 0) {
      if (!haveFormat) {
        if (!ParseFormat(data + body, chunkSize, sound, reason)) return false;
        haveFormat = true;
      }
    } else if (memcmp(header, "data", 4) == 0) {
      if (!haveData) {
        samples = data + body;
        sampleBytes = chunkSize;
        haveData = true;
      }
    }
    // Odd-sized chunks are followed by one pad byte, which may be missing at
    // the very end of a file.
    pos = body + chunkSize + (chunkSize & 1u);
  }

  if (!haveFormat) return Fail(reason, "no fmt chunk");
  if (!haveData) return Fail(reason, "no data chunk");
  // A trailing partial frame cannot be played; drop it.
  sound->frameCount = static_cast<size_t>(sampleBytes / sound->blockAlign);
  sound->sampleBytes = sound->frameCount * sound->blockAlign;
  sound->samples = samples;
  return true;
}

bool ReadWavFile(const char* path, std::vector<uint8_t>* bytes, WavSound* sound, char* reason) {
  *sound = WavSound();
  bytes->clear();
  if (reason) reason[0] = '\0';
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(reason, "cannot open: %s", strerror(errno));
  struct stat info;
  if (fstat(fd, &info) != 0) {
    const int error = errno;
    close(fd);
    return Fail(reason, "cannot examine: %s", strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return Fail(reason, "not a regular file");
  }
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > kWavMaxFileBytes) {
    close(fd);
    return Fail(reason, "file too large (%lld bytes, at most %zu)", static_cast<long long>(info.st_size),
                kWavMaxFileBytes);
  }
  // Read what is there, up to the limit: the file may change size under us.
  bytes->resize(static_cast<size_t>(info.st_size));
  size_t filled = 0;
  while (filled < bytes->size()) {
    const ssize_t got = read(fd, bytes->data() + filled, bytes->size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      bytes->clear();
      return Fail(reason, "read error: %s", strerror(error));
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  close(fd);
  bytes->resize(filled);
  return ParseWav(bytes->data(), bytes->size(), sound, reason);
}
