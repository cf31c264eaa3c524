// D3DXCreateTextureFromFileA: JPEG and PNG pictures as textures, with the
// parameters D3DX uses by default.
#include "d3dx9/texture_loader.h"

#include <d3dx9.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "crt/path_translate.h"

// Both stb libraries stay private to this file, so no other part of a
// program can clash with them.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

namespace standin {
namespace {

static_assert(STBI_MAX_DIMENSIONS == kMaxImageSide, "one limit for the header check and stb");

// Files larger than this are not pictures the show could use.
constexpr off_t kMaxFileBytes = off_t{256} << 20;

uint32_t ReadBe32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t Crc32(const unsigned char* data, size_t size) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

struct PngInfo {
  unsigned bitDepth = 0;
  bool hasTransparency = false;  // a tRNS chunk: the picture gets an alpha channel
};

// Walks the chunks up to IEND, checking every CRC as PNG decoders do: stb
// does not, and a damaged file must fail rather than show damaged pixels.
bool CheckPng(const unsigned char* data, size_t size, PngInfo* info, const char** error) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return *error = "not a PNG file", false;
  size_t pos = 8;
  bool first = true;
  for (;;) {
    if (size - pos < 12) return *error = "PNG file is truncated", false;
    const uint32_t length = ReadBe32(data + pos);
    if (length > 0x7FFFFFFFu || size - pos - 12 < length)
      return *error = "PNG file is truncated", false;
    const unsigned char* type = data + pos + 4;
    const unsigned char* body = type + 4;
    if (Crc32(type, length + 4) != ReadBe32(body + length))
      return *error = "PNG file is corrupt (chunk checksum)", false;
    if (first) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length != 13)
        return *error = "PNG file is corrupt (no header)", false;
      info->bitDepth = body[8];
      first = false;
    } else if (std::memcmp(type, "tRNS", 4) == 0) {
      info->hasTransparency = true;
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      return true;
    }
    pos += 12 + size_t{length};
  }
}

// A DHT segment's tables must describe codes that fit their lengths and at
// most 256 symbols: stb_image's table builder trusts both and writes past
// its arrays otherwise. `defined[class][id]` records each table seen.
bool CheckHuffmanTables(const unsigned char* p, size_t length, bool defined[2][4]) {
  while (length > 0) {
    if (length < 17 || (p[0] >> 4) > 1 || (p[0] & 15) > 3) return false;
    size_t symbols = 0;
    uint32_t codes = 0;
    for (int bits = 1; bits <= 16; ++bits) {
      codes += p[bits];
      symbols += p[bits];
      if (codes > (1u << bits)) return false;
      codes <<= 1;
    }
    if (symbols > 256 || length - 17 < symbols) return false;
    defined[p[0] >> 4][p[0] & 15] = true;
    p += 17 + symbols;
    length -= 17 + symbols;
  }
  return true;
}

// A scan may only use Huffman tables defined before it: stb_image decodes
// with whatever its never-cleared table memory holds otherwise. A DC scan
// that is not a refinement needs its DC table, any scan of AC
// coefficients its AC table.
bool CheckScanTables(const unsigned char* p, size_t length, const bool defined[2][4]) {
  if (length < 1) return false;
  const size_t components = p[0];
  if (components < 1 || components > 4 || length != 4 + 2 * components) return false;
  const unsigned char spectralStart = p[1 + 2 * components];
  const unsigned char spectralEnd = p[2 + 2 * components];
  const unsigned char approximationHigh = p[3 + 2 * components] >> 4;
  for (size_t c = 0; c < components; ++c) {
    const unsigned dc = p[2 + 2 * c] >> 4, ac = p[2 + 2 * c] & 15;
    if (dc > 3 || ac > 3) return false;
    if (spectralStart == 0 && approximationHigh == 0 && !defined[0][dc]) return false;
    if (spectralEnd > 0 && !defined[1][ac]) return false;
  }
  return true;
}

// Walks the markers and entropy-coded segments up to EOI. A JPEG cut short
// still decodes in stb (the missing data reads as zeros), so a missing end
// is how truncation shows.
bool CheckJpeg(const unsigned char* data, size_t size, const char** error) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return *error = "not a JPEG file", false;
  size_t pos = 2;
  bool defined[2][4] = {};
  for (;;) {
    if (pos >= size) return *error = "JPEG file is truncated", false;
    if (data[pos] != 0xFF) return *error = "JPEG file is corrupt (marker expected)", false;
    while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes
    if (pos >= size) return *error = "JPEG file is truncated", false;
    const unsigned char marker = data[pos++];
    if (marker == 0xD9) return true;  // EOI
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0x00 || marker == 0xD8) return *error = "JPEG file is corrupt", false;
    if (size - pos < 2) return *error = "JPEG file is truncated", false;
    const size_t length = (size_t{data[pos]} << 8) | data[pos + 1];
    if (length < 2) return *error = "JPEG file is corrupt (segment length)", false;
    if (size - pos < length) return *error = "JPEG file is truncated", false;
    if (marker == 0xC4 && !CheckHuffmanTables(data + pos + 2, length - 2, defined))
      return *error = "JPEG file is corrupt (Huffman table)", false;
    if (marker == 0xDA && !CheckScanTables(data + pos + 2, length - 2, defined))
      return *error = "JPEG file is corrupt (scan without its Huffman tables)", false;
    pos += length;
    if (marker != 0xDA) continue;
    // Entropy-coded data after SOS runs to the next marker that is neither
    // a stuffed zero nor a restart marker.
    for (;;) {
      if (pos + 1 >= size) return *error = "JPEG file is truncated", false;
      if (data[pos] == 0xFF && data[pos + 1] != 0x00 && data[pos + 1] != 0xFF &&
          (data[pos + 1] < 0xD0 || data[pos + 1] > 0xD7))
        break;
      ++pos;
    }
  }
}

struct StbFree {
  void operator()(void* p) const { stbi_image_free(p); }
};

unsigned RoundUpToPowerOfTwo(unsigned v) {
  unsigned p = 1;
  while (p < v) p <<= 1;
  return p;
}

// D3DX_FILTER_DITHER's 4 x 4 ordered dither, applied as filtered 16-bit
// values are rounded to 8 bits.
constexpr uint32_t kDither[4][4] = {
    {0, 8, 2, 10},
    {12, 4, 14, 6},
    {3, 11, 1, 9},
    {15, 7, 13, 5},
};

BYTE Dither(uint16_t v, UINT x, UINT y) {
  // v / 257 is the value in 8-bit units; the threshold (k + 0.5) / 16 of
  // the pattern decides which way its fraction goes.
  const uint32_t q = (uint32_t{v} * 32 + (kDither[y & 3][x & 3] * 2 + 1) * 257) / (257 * 32);
  return static_cast<BYTE>(q > 255 ? 255 : q);
}

BYTE Round16(uint16_t v) { return static_cast<BYTE>((uint32_t{v} * 255 + 32767) / 65535); }

// The decoded picture: 8-bit or 16-bit RGBA samples.
struct Picture {
  unsigned width = 0;
  unsigned height = 0;
  const unsigned char* rgba8 = nullptr;
  const uint16_t* rgba16 = nullptr;
};

void StoreTexel(BYTE* d, BYTE r, BYTE g, BYTE b, BYTE a, bool alpha) {
  d[0] = b;
  d[1] = g;
  d[2] = r;
  d[3] = alpha ? a : 0xFF;
}

// Level 0: a straight copy when the sizes agree, otherwise
// D3DX_FILTER_TRIANGLE (a tent filter widened for reduction, so every
// source pixel counts) with D3DX's default wrap at the edges, in 16 bits,
// dithered down to 8.
bool WriteLevel0(const Picture& p, bool alpha, BYTE* bits, INT pitch, unsigned tw, unsigned th) {
  const size_t pixels = size_t{p.width} * p.height;
  if (tw == p.width && th == p.height) {
    for (unsigned y = 0; y < th; ++y) {
      BYTE* d = bits + static_cast<size_t>(pitch) * y;
      const size_t row = size_t{y} * tw * 4;
      for (unsigned x = 0; x < tw; ++x, d += 4) {
        const size_t i = row + size_t{x} * 4;
        if (p.rgba16)
          StoreTexel(d, Round16(p.rgba16[i]), Round16(p.rgba16[i + 1]), Round16(p.rgba16[i + 2]),
                     Round16(p.rgba16[i + 3]), alpha);
        else
          StoreTexel(d, p.rgba8[i], p.rgba8[i + 1], p.rgba8[i + 2], p.rgba8[i + 3], alpha);
      }
    }
    return true;
  }
  // Both buffers are written whole before they are read: no need to clear
  // tens of megabytes first.
  std::unique_ptr<uint16_t[]> widened;
  const uint16_t* source = p.rgba16;
  if (!source) {
    widened.reset(new uint16_t[pixels * 4]);
    for (size_t i = 0; i < pixels * 4; ++i) widened[i] = static_cast<uint16_t>(p.rgba8[i] * 257);
    source = widened.get();
  }
  std::unique_ptr<uint16_t[]> scaled(new uint16_t[size_t{tw} * th * 4]);
  if (!stbir_resize_uint16_generic(source, static_cast<int>(p.width), static_cast<int>(p.height), 0,
                                   scaled.get(), static_cast<int>(tw), static_cast<int>(th), 0, 4,
                                   STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_WRAP,
                                   STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr))
    return false;
  widened.reset();
  for (unsigned y = 0; y < th; ++y) {
    const uint16_t* s = scaled.get() + size_t{y} * tw * 4;
    BYTE* d = bits + static_cast<size_t>(pitch) * y;
    for (unsigned x = 0; x < tw; ++x, s += 4, d += 4)
      StoreTexel(d, Dither(s[0], x, y), Dither(s[1], x, y), Dither(s[2], x, y), Dither(s[3], x, y),
                 alpha);
  }
  return true;
}

HRESULT Fail(HRESULT hr, const char** error, const char* text) {
  if (error) *error = text;
  return hr;
}

}  // namespace

HRESULT FillMipChain(IDirect3DTexture9* texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  const DWORD levels = texture->GetLevelCount();
  for (DWORD level = 1; level < levels; ++level) {
    D3DSURFACE_DESC from, to;
    if (FAILED(texture->GetLevelDesc(level - 1, &from)) ||
        FAILED(texture->GetLevelDesc(level, &to)))
      return D3DERR_INVALIDCALL;
    if (from.Format != D3DFMT_A8R8G8B8 && from.Format != D3DFMT_X8R8G8B8)
      return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT src, dst;
    if (FAILED(texture->LockRect(level - 1, &src, nullptr, D3DLOCK_READONLY)))
      return D3DERR_INVALIDCALL;
    if (FAILED(texture->LockRect(level, &dst, nullptr, 0))) {
      texture->UnlockRect(level - 1);
      return D3DERR_INVALIDCALL;
    }
    // Each texel of the smaller level averages the 2 x 2 block (or the
    // pair, where the larger level is one texel across) it covers.
    const UINT stepX = from.Width > 1 ? 2 : 1;
    const UINT stepY = from.Height > 1 ? 2 : 1;
    const UINT count = stepX * stepY;
    for (UINT y = 0; y < to.Height; ++y) {
      BYTE* d = static_cast<BYTE*>(dst.pBits) + static_cast<size_t>(dst.Pitch) * y;
      const BYTE* row0 = static_cast<const BYTE*>(src.pBits) + static_cast<size_t>(src.Pitch) * y * stepY;
      const BYTE* row1 = row0 + (stepY == 2 ? src.Pitch : 0);
      for (UINT x = 0; x < to.Width; ++x) {
        const BYTE* a = row0 + x * stepX * 4;
        const BYTE* b = row1 + x * stepX * 4;
        for (int c = 0; c < 4; ++c) {
          UINT sum = a[c] + (stepX == 2 ? a[4 + c] : 0u);
          if (stepY == 2) sum += b[c] + (stepX == 2 ? b[4 + c] : 0u);
          d[x * 4 + c] = static_cast<BYTE>((sum + count / 2) / count);
        }
      }
    }
    texture->UnlockRect(level);
    texture->UnlockRect(level - 1);
  }
  return D3D_OK;
}

HRESULT CreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, size_t size,
                                      IDirect3DTexture9** texture, const char** error) {
  if (!texture) return Fail(D3DERR_INVALIDCALL, error, "no texture pointer");
  *texture = nullptr;
  if (!device || !data) return Fail(D3DERR_INVALIDCALL, error, "no device or data");
  if (size > static_cast<size_t>(kMaxFileBytes))
    return Fail(D3DXERR_INVALIDDATA, error, "file is too large");
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  const char* why = "unknown picture format (JPEG and PNG are read)";
  PngInfo png;
  bool isPng = false;
  if (size >= 8 && bytes[0] == 0x89) {
    if (!CheckPng(bytes, size, &png, &why)) return Fail(D3DXERR_INVALIDDATA, error, why);
    isPng = true;
  } else if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
    if (!CheckJpeg(bytes, size, &why)) return Fail(D3DXERR_INVALIDDATA, error, why);
  } else {
    return Fail(D3DXERR_INVALIDDATA, error, why);
  }
  const int length = static_cast<int>(size);

  // The declared size decides before any pixel memory is taken.
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, length, &w, &h, &channels) || w <= 0 || h <= 0)
    return Fail(D3DXERR_INVALIDDATA, error, "picture header is corrupt");
  if (static_cast<unsigned>(w) > kMaxImageSide || static_cast<unsigned>(h) > kMaxImageSide ||
      size_t(w) * size_t(h) > kMaxImagePixels)
    return Fail(D3DXERR_INVALIDDATA, error, "picture is too large");

  int dw = 0, dh = 0, dc = 0;
  std::unique_ptr<unsigned char, StbFree> rgba8;
  std::unique_ptr<stbi_us, StbFree> rgba16;
  if (isPng && png.bitDepth == 16)
    rgba16.reset(stbi_load_16_from_memory(bytes, length, &dw, &dh, &dc, 4));
  else
    rgba8.reset(stbi_load_from_memory(bytes, length, &dw, &dh, &dc, 4));
  if ((!rgba8 && !rgba16) || dw != w || dh != h)
    return Fail(D3DXERR_INVALIDDATA, error, "picture data is corrupt");
  Picture picture;
  picture.width = static_cast<unsigned>(w);
  picture.height = static_cast<unsigned>(h);
  picture.rgba8 = rgba8.get();
  picture.rgba16 = rgba16.get();

  const bool alpha = channels == 2 || channels == 4 || png.hasTransparency;
  unsigned tw = RoundUpToPowerOfTwo(picture.width);
  unsigned th = RoundUpToPowerOfTwo(picture.height);
  if (tw > kMaxTextureSide) tw = kMaxTextureSide;
  if (th > kMaxTextureSide) th = kMaxTextureSide;
  while (size_t{tw} * th > kMaxTextureTexels) {
    if (tw >= th)
      tw /= 2;
    else
      th /= 2;
  }

  IDirect3DTexture9* created = nullptr;
  HRESULT hr = device->CreateTexture(tw, th, 0, 0, alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8,
                                     D3DPOOL_MANAGED, &created, nullptr);
  if (FAILED(hr) || !created) return Fail(FAILED(hr) ? hr : E_FAIL, error, "texture creation failed");
  D3DLOCKED_RECT locked;
  hr = created->LockRect(0, &locked, nullptr, 0);
  if (FAILED(hr)) {
    created->Release();
    return Fail(hr, error, "texture could not be locked");
  }
  const bool written =
      WriteLevel0(picture, alpha, static_cast<BYTE*>(locked.pBits), locked.Pitch, tw, th);
  created->UnlockRect(0);
  rgba8.reset();
  rgba16.reset();
  if (!written || FAILED(FillMipChain(created))) {
    created->Release();
    return Fail(E_OUTOFMEMORY, error, "picture could not be scaled");
  }
  *texture = created;
  return D3D_OK;
}

}  // namespace standin

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile,
                                          LPDIRECT3DTEXTURE9* texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (!device || !srcFile) return D3DERR_INVALIDCALL;

  char path[kStandinMaxPath];
  if (!StandinTranslatePath(srcFile, path, sizeof path)) {
    std::fprintf(stderr, "D3DXCreateTextureFromFileA: path too long: %s\n", srcFile);
    return D3DXERR_INVALIDDATA;
  }
  // Plain POSIX calls: the path is already translated, and fopen is the C
  // runtime's, which would translate it again.
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "D3DXCreateTextureFromFileA: cannot open %s: %s\n", srcFile,
                 std::strerror(errno));
    return D3DXERR_INVALIDDATA;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      info.st_size > standin::kMaxFileBytes) {
    close(fd);
    std::fprintf(stderr, "D3DXCreateTextureFromFileA: %s is not a readable picture file\n", srcFile);
    return D3DXERR_INVALIDDATA;
  }
  std::vector<unsigned char> data(static_cast<size_t>(info.st_size));
  size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (got != data.size()) {
    std::fprintf(stderr, "D3DXCreateTextureFromFileA: cannot read %s\n", srcFile);
    return D3DXERR_INVALIDDATA;
  }
  const char* error = nullptr;
  const HRESULT hr =
      standin::CreateTextureFromFileInMemory(device, data.data(), data.size(), texture, &error);
  if (FAILED(hr))
    std::fprintf(stderr, "D3DXCreateTextureFromFileA: %s: %s\n", srcFile, error ? error : "failed");
  return hr;
}
