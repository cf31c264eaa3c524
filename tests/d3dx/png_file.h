// PNG files of any colour type and depth for the loader's tests, including
// the palette and 16-bit files stb_image_write cannot make. Image data goes
// uncompressed (stored deflate blocks); every chunk gets its CRC.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace pngfile {

enum ColorType : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

inline uint32_t Crc(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

inline void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(static_cast<uint8_t>(v >> s));
}

inline void Chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& body) {
  Put32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), body.begin(), body.end());
  Put32(out, Crc(out->data() + start, out->size() - start));
}

// `rows` holds the samples of each row (big-endian for 16 bits), without
// filter bytes.
inline std::vector<uint8_t> Make(uint32_t width, uint32_t height, uint8_t depth, ColorType type,
                                 const std::vector<uint8_t>& rows,
                                 const std::vector<uint8_t>& palette = {},
                                 const std::vector<uint8_t>& transparency = {}) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(&header, width);
  Put32(&header, height);
  header.insert(header.end(), {depth, type, 0, 0, 0});
  Chunk(&out, "IHDR", header);
  if (!palette.empty()) Chunk(&out, "PLTE", palette);
  if (!transparency.empty()) Chunk(&out, "tRNS", transparency);

  const size_t rowBytes = height ? rows.size() / height : 0;
  std::vector<uint8_t> raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rows.begin() + y * rowBytes, rows.begin() + (y + 1) * rowBytes);
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32(&z, (b << 16) | a);
  Chunk(&out, "IDAT", z);
  Chunk(&out, "IEND", {});
  return out;
}

}  // namespace pngfile
