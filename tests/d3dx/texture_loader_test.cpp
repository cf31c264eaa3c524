// D3DXCreateTextureFromFileA on small generated pictures: sizes, formats,
// texels, the mip chain; and every way a file can be unusable.
#include <d3dx9.h>
#include <gtest/gtest.h>
#include <standin.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "d3dx9/texture_loader.h"
#include "d3dx_device.h"
#include "png_file.h"
#include "progressive_jpeg.h"
#include "support/temp_dir.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

using Bytes = std::vector<uint8_t>;

void AppendBytes(void* context, void* data, int size) {
  Bytes* out = static_cast<Bytes*>(context);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

// An RGB picture, each pixel from `pixel(x, y)` as 0xRRGGBB.
Bytes Jpeg(int w, int h, const std::function<uint32_t(int, int)>& pixel) {
  Bytes rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t c = pixel(x, y);
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(c >> 16);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c);
    }
  Bytes out;
  stbi_write_jpg_to_func(AppendBytes, &out, w, h, 3, rgb.data(), 100);
  return out;
}

// 8-bit samples, `channels` per pixel, from `sample(x, y, channel)`.
Bytes Png8(int w, int h, int channels, const std::function<uint8_t(int, int, int)>& sample) {
  static const pngfile::ColorType kTypes[] = {pngfile::kGrey, pngfile::kGreyAlpha, pngfile::kRgb,
                                              pngfile::kRgba};
  Bytes rows;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) rows.push_back(sample(x, y, c));
  return pngfile::Make(w, h, 8, kTypes[channels - 1], rows);
}

struct Texel {
  UINT level, x, y;
  DWORD argb;
  int tolerance;  // per channel; lossy JPEG gets a little
};

struct LoadCase {
  const char* name;
  std::function<Bytes()> file;
  UINT width, height, levels;
  D3DFORMAT format;
  std::vector<Texel> texels;
};

DWORD ReadTexel(IDirect3DTexture9* texture, UINT level, UINT x, UINT y) {
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
  const DWORD value = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) +
                                                     static_cast<size_t>(locked.Pitch) * y)[x];
  texture->UnlockRect(level);
  return value;
}

bool Near(DWORD a, DWORD b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

class TextureFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdir::Make("d3dx-textures");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { testdir::Remove(dir_); }

  std::string Write(const char* name, const Bytes& bytes) {
    const std::string path = dir_ + "/" + name;
    EXPECT_TRUE(testdir::WriteFile(path, bytes));
    return path;
  }

  std::string dir_;
};

const LoadCase kLoadCases[] = {
    {"JpegBaselineRoundsUpBothSides", [] { return Jpeg(24, 10, [](int, int) { return 0xC83C28u; }); },
     32, 16, 6, D3DFMT_X8R8G8B8,
     {{0, 0, 0, 0xFFC83C28, 3}, {0, 31, 15, 0xFFC83C28, 3}, {5, 0, 0, 0xFFC83C28, 3}}},
    {"JpegProgressive",
     [] { return Bytes(std::begin(kProgressiveJpeg), std::end(kProgressiveJpeg)); }, 16, 16, 5,
     D3DFMT_X8R8G8B8,
     {{0, 2, 2, 0xFFC83C28, 6},
      {0, 13, 2, 0xFF28A050, 6},
      {0, 2, 13, 0xFF3050C8, 6},
      {0, 13, 13, 0xFFF0F0F0, 6},
      {4, 0, 0, 0xFF84878C, 6}}},  // the four quadrants averaged
    {"PngGrey", [] { return Png8(16, 4, 1, [](int x, int y, int) { return uint8_t(x * 16 + y); }); },
     16, 4, 5, D3DFMT_X8R8G8B8, {{0, 0, 0, 0xFF000000, 0}, {0, 15, 3, 0xFFF3F3F3, 0}, {0, 5, 2, 0xFF525252, 0}}},
    {"PngRgb",
     [] {
       return Png8(8, 8, 3, [](int x, int y, int c) { return uint8_t(c == 0 ? x * 32 : c == 1 ? y * 32 : 77); });
     },
     8, 8, 4, D3DFMT_X8R8G8B8, {{0, 7, 1, 0xFFE0204D, 0}, {0, 0, 6, 0xFF00C04D, 0}}},
    {"PngRgbaKeepsAlpha",
     [] {
       return Png8(4, 4, 4, [](int x, int y, int c) { return uint8_t(c == 3 ? x * 60 + y : 200 - c * 50); });
     },
     4, 4, 3, D3DFMT_A8R8G8B8, {{0, 0, 0, 0x00C89664, 0}, {0, 3, 2, 0xB6C89664, 0}}},
    {"PngGreyAlpha",
     [] { return Png8(2, 2, 2, [](int x, int y, int c) { return uint8_t(c == 0 ? 90 : x * 100 + y); }); },
     2, 2, 2, D3DFMT_A8R8G8B8, {{0, 1, 1, 0x655A5A5A, 0}, {0, 0, 0, 0x005A5A5A, 0}}},
    {"PngPalette",
     [] {
       return pngfile::Make(4, 2, 8, pngfile::kPalette, {0, 1, 2, 1, 2, 2, 0, 0},
                            {10, 20, 30, 200, 100, 50, 0, 255, 0});
     },
     4, 2, 3, D3DFMT_X8R8G8B8,
     {{0, 0, 0, 0xFF0A141E, 0}, {0, 1, 0, 0xFFC86432, 0}, {0, 0, 1, 0xFF00FF00, 0}}},
    {"PngPaletteWithTransparency",
     [] {
       return pngfile::Make(4, 2, 8, pngfile::kPalette, {0, 1, 2, 1, 2, 2, 0, 0},
                            {10, 20, 30, 200, 100, 50, 0, 255, 0}, {0x00, 0x80});
     },
     4, 2, 3, D3DFMT_A8R8G8B8,
     {{0, 0, 0, 0x000A141E, 0}, {0, 1, 0, 0x80C86432, 0}, {0, 0, 1, 0xFF00FF00, 0}}},
    {"PngGreyWithTransparentValue",
     [] { return pngfile::Make(2, 1, 8, pngfile::kGrey, {0x40, 0x41}, {}, {0x00, 0x40}); }, 2, 1, 2,
     D3DFMT_A8R8G8B8, {{0, 0, 0, 0x00404040, 0}, {0, 1, 0, 0xFF414141, 0}}},
    {"PngGrey16RoundsToEightBits",
     // 0x01FF is 1.996 in 8 bits: rounded to 2, where dropping the low
     // byte would give 1.
     [] { return pngfile::Make(2, 1, 16, pngfile::kGrey, {0x01, 0xFF, 0xFF, 0xFF}); }, 2, 1, 2,
     D3DFMT_X8R8G8B8, {{0, 0, 0, 0xFF020202, 0}, {0, 1, 0, 0xFFFFFFFF, 0}}},
    {"PngRgba16",
     [] { return pngfile::Make(1, 1, 16, pngfile::kRgba, {0x80, 0x80, 0x00, 0x00, 0xFF, 0xFF, 0x40, 0x40}); },
     1, 1, 1, D3DFMT_A8R8G8B8, {{0, 0, 0, 0x408000FF, 0}}},
    {"FlatColourSurvivesResampling",
     [] { return Png8(5, 3, 3, [](int, int, int c) { return uint8_t(c == 0 ? 10 : c == 1 ? 200 : 90); }); },
     8, 4, 4, D3DFMT_X8R8G8B8,
     {{0, 0, 0, 0xFF0AC85A, 0}, {0, 7, 3, 0xFF0AC85A, 0}, {0, 4, 1, 0xFF0AC85A, 0}, {3, 0, 0, 0xFF0AC85A, 0}}},
    {"ScreenSizedPicture", [] { return Jpeg(1920, 1080, [](int, int) { return 0x3060A0u; }); }, 2048,
     2048, 12, D3DFMT_X8R8G8B8, {{0, 0, 0, 0xFF3060A0, 3}, {0, 2047, 2047, 0xFF3060A0, 3}, {11, 0, 0, 0xFF3060A0, 3}}},
    // 8192 x 4096 would pass the texel limit: the longer side is halved.
    {"OversizedTextureHalvesLongerSide", [] { return Jpeg(4100, 2100, [](int, int) { return 0x102030u; }); },
     4096, 4096, 13, D3DFMT_X8R8G8B8, {{0, 4095, 0, 0xFF102030, 3}}},
};

class LoadsPicture : public TextureFiles, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadsPicture, WithDefaultParameters) {
  const LoadCase& c = GetParam();
  const std::string path = Write("picture", c.file());
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), &texture), D3D_OK);
  ASSERT_NE(texture, nullptr);
  D3DSURFACE_DESC desc;
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, c.width);
  EXPECT_EQ(desc.Height, c.height);
  EXPECT_EQ(desc.Format, c.format);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(texture->GetLevelCount(), c.levels);
  for (const Texel& t : c.texels) {
    const DWORD got = ReadTexel(texture, t.level, t.x, t.y);
    EXPECT_TRUE(Near(got, t.argb, t.tolerance))
        << "level " << t.level << " (" << t.x << ", " << t.y << "): 0x" << std::hex << got
        << ", expected 0x" << t.argb;
  }
  texture->Release();
}

INSTANTIATE_TEST_SUITE_P(Pictures, LoadsPicture, testing::ValuesIn(kLoadCases),
                         [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

// Each texel of a mip level is the rounded mean of the 2 x 2 block above
// it, down to 1 x 1; a side already at 1 averages pairs.
TEST_F(TextureFiles, MipChainAveragesBlocks) {
  const uint8_t values[4][4] = {{0, 10, 200, 201}, {20, 31, 100, 100}, {255, 255, 0, 1}, {255, 254, 7, 9}};
  const std::string square = Write("square.png", Png8(4, 4, 1, [&](int x, int y, int) { return values[y][x]; }));
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(TestDevice(), square.c_str(), &texture), D3D_OK);
  ASSERT_EQ(texture->GetLevelCount(), 3u);
  const int level1[2][2] = {{(0 + 10 + 20 + 31 + 2) / 4, (200 + 201 + 100 + 100 + 2) / 4},
                            {(255 + 255 + 255 + 254 + 2) / 4, (0 + 1 + 7 + 9 + 2) / 4}};
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 2; ++x)
      EXPECT_EQ(ReadTexel(texture, 1, x, y) & 0xFF, static_cast<DWORD>(level1[y][x])) << x << "," << y;
  const int level2 = (level1[0][0] + level1[0][1] + level1[1][0] + level1[1][1] + 2) / 4;
  EXPECT_EQ(ReadTexel(texture, 2, 0, 0) & 0xFF, static_cast<DWORD>(level2));
  texture->Release();

  const std::string row = Write("row.png", Png8(4, 1, 1, [](int x, int, int) { return uint8_t(x * 50); }));
  ASSERT_EQ(D3DXCreateTextureFromFileA(TestDevice(), row.c_str(), &texture), D3D_OK);
  ASSERT_EQ(texture->GetLevelCount(), 3u);
  EXPECT_EQ(ReadTexel(texture, 1, 0, 0) & 0xFF, 25u);   // (0 + 50) / 2
  EXPECT_EQ(ReadTexel(texture, 1, 1, 0) & 0xFF, 125u);  // (100 + 150) / 2
  EXPECT_EQ(ReadTexel(texture, 2, 0, 0) & 0xFF, 75u);
  texture->Release();
}

// Widening 3 to 4 with the triangle filter samples the source at 3/4-pixel
// steps from -1/8, between neighbours, the left edge wrapping to the right:
// 0.875 * 0 + 0.125 * 255, 0.625 * 128, 0.625 * 128 + 0.375 * 255,
// 0.875 * 255 + 0.125 * 0.
TEST_F(TextureFiles, ResamplingIsTriangleFilterWithWrap) {
  const uint8_t source[3] = {0, 128, 255};
  const std::string path = Write("ramp.png", Png8(3, 2, 1, [&](int x, int, int) { return source[x]; }));
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), &texture), D3D_OK);
  const int expected[4] = {32, 80, 176, 223};
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 4; ++x) {
      const int got = static_cast<int>(ReadTexel(texture, 0, x, y) & 0xFF);
      EXPECT_NEAR(got, expected[x], 1) << x << "," << y;
    }
  texture->Release();
}

// The show's paths are Windows paths: drive letter, backslashes and a case
// the files on disk need not have.
TEST_F(TextureFiles, FindsWindowsStylePath) {
  ASSERT_TRUE(testdir::MakeFolders(dir_ + "/web/screen"));
  Write("web/screen/img104.jpg", Jpeg(8, 8, [](int, int) { return 0x808080u; }));
  std::string windowsPath = "C:" + dir_ + "\\Web\\SCREEN\\IMG104.jpg";
  for (char& ch : windowsPath)
    if (ch == '/') ch = '\\';
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(TestDevice(), windowsPath.c_str(), &texture), D3D_OK);
  ASSERT_NE(texture, nullptr);
  texture->Release();
}

struct BadCase {
  const char* name;
  std::function<Bytes()> file;
};

Bytes GoodPng() { return Png8(8, 8, 3, [](int x, int y, int c) { return uint8_t(x + y + c); }); }
Bytes GoodJpeg() { return Jpeg(16, 16, [](int x, int y) { return uint32_t(x * 0x100000 + y * 0x10); }); }

Bytes Cut(Bytes b, size_t keep) {
  b.resize(keep);
  return b;
}

// A PNG whose header declares `w` x `h`, with a correct checksum, and no
// pixel data worth the name.
Bytes PngDeclaring(uint32_t w, uint32_t h) { return pngfile::Make(w, h, 8, pngfile::kRgb, {}); }

// GoodJpeg with its frame header's size replaced.
Bytes JpegDeclaring(uint16_t w, uint16_t h) {
  Bytes b = GoodJpeg();
  for (size_t i = 0; i + 8 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xC0) {
      b[i + 5] = static_cast<uint8_t>(h >> 8);
      b[i + 6] = static_cast<uint8_t>(h);
      b[i + 7] = static_cast<uint8_t>(w >> 8);
      b[i + 8] = static_cast<uint8_t>(w);
      break;
    }
  return b;
}

// GoodJpeg with its first Huffman table replaced by one of 300 symbols:
// more than a table can have, though the code lengths would fit.
Bytes JpegOversizedHuffmanTable() {
  const Bytes good = GoodJpeg();
  for (size_t i = 0; i + 4 < good.size(); ++i) {
    if (good[i] != 0xFF || good[i + 1] != 0xC4) continue;
    const size_t length = (size_t{good[i + 2]} << 8) | good[i + 3];
    Bytes table = {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 100};
    table.resize(table.size() + 300, 0x01);
    Bytes b(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(i));
    b.insert(b.end(), {0xFF, 0xC4, static_cast<uint8_t>((table.size() + 2) >> 8),
                       static_cast<uint8_t>(table.size() + 2)});
    b.insert(b.end(), table.begin(), table.end());
    b.insert(b.end(), good.begin() + static_cast<std::ptrdiff_t>(i + 2 + length), good.end());
    return b;
  }
  return good;
}

// GoodJpeg without its Huffman tables: its scans name tables never defined.
Bytes JpegWithoutHuffmanTables() {
  const Bytes good = GoodJpeg();
  Bytes b(good.begin(), good.begin() + 2);
  size_t i = 2;
  while (i + 4 <= good.size() && good[i] == 0xFF && good[i + 1] != 0xDA) {
    const size_t length = (size_t{good[i + 2]} << 8) | good[i + 3];
    if (good[i + 1] != 0xC4) b.insert(b.end(), good.begin() + i, good.begin() + i + 2 + length);
    i += 2 + length;
  }
  b.insert(b.end(), good.begin() + i, good.end());
  return b;
}

const BadCase kBadCases[] = {
    {"Empty", [] { return Bytes(); }},
    {"NotAPicture", [] { return Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}; }},
    {"BmpIsNotRead", [] { return Bytes{'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0}; }},
    {"PngCutInHalf", [] { Bytes b = GoodPng(); return Cut(b, b.size() / 2); }},
    {"PngWithoutEnd", [] { Bytes b = GoodPng(); return Cut(b, b.size() - 12); }},
    {"PngSignatureOnly", [] { return Cut(GoodPng(), 8); }},
    {"PngDamagedData",
     [] {
       Bytes b = GoodPng();
       b[b.size() - 30] ^= 0x40;  // inside the image data
       return b;
     }},
    {"PngZeroSize", [] { return PngDeclaring(0, 5); }},
    {"PngHugeSide", [] { return PngDeclaring(100000, 4); }},
    {"PngTooManyPixels", [] { return PngDeclaring(16000, 16000); }},
    {"JpegCutShort", [] { Bytes b = GoodJpeg(); return Cut(b, b.size() * 2 / 3); }},
    {"JpegWithoutEnd", [] { Bytes b = GoodJpeg(); return Cut(b, b.size() - 2); }},
    {"JpegStartOnly", [] { return Bytes{0xFF, 0xD8, 0xFF}; }},
    {"JpegZeroWidth", [] { return JpegDeclaring(0, 16); }},
    {"JpegHugeSides", [] { return JpegDeclaring(60000, 60000); }},
    {"JpegOversizedHuffmanTable", JpegOversizedHuffmanTable},
    {"JpegScanWithoutHuffmanTables", JpegWithoutHuffmanTables},
    {"JpegGarbageAfterStart",
     [] {
       Bytes b = {0xFF, 0xD8};
       for (int i = 0; i < 200; ++i) b.push_back(static_cast<uint8_t>(i * 37 + 11));
       return b;
     }},
};

class RefusesFile : public TextureFiles, public testing::WithParamInterface<BadCase> {};

TEST_P(RefusesFile, WithNullTextureAndFailure) {
  const std::string path = Write("bad", GetParam().file());
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
  EXPECT_EQ(D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), &texture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, RefusesFile, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) { return info.param.name; });

// stb_image writes past its arrays on an oversized Huffman table, and
// decodes with whatever its uncleared memory holds for a table never
// defined, before it notices anything wrong: the loader refuses both first.
TEST(TextureMemory, BadHuffmanTablesAreRefusedBeforeDecoding) {
  const struct {
    Bytes (*file)();
    const char* why;
  } kCases[] = {{JpegOversizedHuffmanTable, "Huffman table"},
                {JpegWithoutHuffmanTables, "scan without its Huffman tables"}};
  for (const auto& c : kCases) {
    const Bytes file = c.file();
    IDirect3DTexture9* texture = nullptr;
    const char* error = nullptr;
    EXPECT_EQ(standin::CreateTextureFromFileInMemory(TestDevice(), file.data(), file.size(), &texture, &error),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error).find(c.why), std::string::npos) << error;
  }
}

TEST_F(TextureFiles, MissingFileOrFolderFails) {
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
  EXPECT_EQ(D3DXCreateTextureFromFileA(TestDevice(), (dir_ + "/none.jpg").c_str(), &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
  EXPECT_EQ(D3DXCreateTextureFromFileA(TestDevice(), dir_.c_str(), &texture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

TEST_F(TextureFiles, BadArgumentsFail) {
  const std::string path = Write("ok.png", GoodPng());
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
  EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, path.c_str(), &texture), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, nullptr);
  EXPECT_EQ(D3DXCreateTextureFromFileA(TestDevice(), nullptr, &texture), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), nullptr), D3DERR_INVALIDCALL);
}

TEST_F(TextureFiles, DeviceFailureIsPassedOn) {
  const std::string path = Write("ok.png", GoodPng());
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
  StandinSetFailure(kStandinFailCreateTexture, true);
  const HRESULT hr = D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), &texture);
  StandinSetFailure(kStandinFailCreateTexture, false);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(texture, nullptr);
}

// Rows of a texture with a padded pitch are written row by row.
TEST_F(TextureFiles, HonoursPaddedPitch) {
  StandinSetTexturePitchPadding(12);
  const std::string path = Write("rgb.png", Png8(8, 8, 3, [](int x, int y, int c) { return uint8_t(x * 30 + y * 3 + c); }));
  IDirect3DTexture9* texture = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileA(TestDevice(), path.c_str(), &texture);
  StandinSetTexturePitchPadding(0);
  ASSERT_EQ(hr, D3D_OK);
  EXPECT_EQ(ReadTexel(texture, 0, 5, 7), 0xFF000000u | (171u << 16) | (172u << 8) | 173u);
  EXPECT_EQ(ReadTexel(texture, 1, 0, 0) & 0xFF, (2u + 32 + 5 + 35 + 2) / 4);
  texture->Release();
}

}  // namespace
