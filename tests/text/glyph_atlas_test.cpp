// The glyph atlas: what the bake leaves in the records and the bitmap, what
// reaches the texture, and what happens when the device will not cooperate.
#include "text/glyph_atlas.h"

#include <gtest/gtest.h>
#include <standin.h>
#include <string.h>

#include <string>

#include "app/build_config.h"
#include "gfx/device.h"
#include "text_device.h"

namespace {

// The embedded face's own figures; EmbeddedFont checks them against the file.
constexpr int kFontAscentToDescent = 2268;
constexpr int kFontSpaceAdvance = 512;

// The bake height each build is made for, in pixels.
constexpr float kBuildBakeHeight = kScreenHeight == 1080 ? 150.0f : 100.0f;

const stbtt_bakedchar& Record(int code) { return g_BakedChars[code - kFirstBakedChar]; }

std::string CodeName(int code) {
  return "code " + std::to_string(code) + " '" + std::string(1, static_cast<char>(code)) + "'";
}

TEST(EmbeddedFont, HasTheMetricsTheLayoutIsMadeFor) {
  stbtt_fontinfo font;
  ASSERT_TRUE(stbtt_InitFont(&font, g_FontData, 0));
  int ascent = 0, descent = 0, lineGap = 0;
  stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
  EXPECT_EQ(ascent - descent, kFontAscentToDescent);
  int advance = 0, bearing = 0;
  stbtt_GetCodepointHMetrics(&font, ' ', &advance, &bearing);
  EXPECT_EQ(advance, kFontSpaceAdvance);
  for (int code = 33; code <= 126; ++code)
    EXPECT_NE(stbtt_FindGlyphIndex(&font, code), 0) << CodeName(code);
}

TEST(GlyphAtlas, FontIsCopiedWholeToTheStartOfTheWorkBuffer) {
  ASSERT_GT(g_FontDataSize, 0u);
  ASSERT_LE(g_FontDataSize, kFontWorkBufferSize);
  EXPECT_EQ(memcmp(g_FontWorkBuffer, g_FontData, g_FontDataSize), 0);
  unsigned int firstNonZeroAfter = kFontWorkBufferSize;
  for (unsigned int i = g_FontDataSize; i < kFontWorkBufferSize; ++i) {
    if (g_FontWorkBuffer[i] != 0) {
      firstNonZeroAfter = i;
      break;
    }
  }
  EXPECT_EQ(firstNonZeroAfter, kFontWorkBufferSize) << "the rest of the buffer stays zero";
}

TEST(GlyphAtlas, EveryPrintableCodeIsBakedAndOnlyTheSpaceIsEmpty) {
  for (int code = 32; code <= 127; ++code) {
    const stbtt_bakedchar& r = Record(code);
    SCOPED_TRACE(CodeName(code));
    EXPECT_LE(r.x0, r.x1);
    EXPECT_LE(r.y0, r.y1);
    EXPECT_LE(r.x1, kAtlasSize);
    EXPECT_LE(r.y1, kAtlasSize);
    EXPECT_GT(r.xadvance, 0.0f);
    if (code == ' ') {
      EXPECT_EQ(r.x0, r.x1);
      EXPECT_EQ(r.y0, r.y1);
    } else {
      // 127 has no character of its own: it is the missing-glyph outline.
      EXPECT_LT(r.x0, r.x1);
      EXPECT_LT(r.y0, r.y1);
    }
  }
}

TEST(GlyphAtlas, SpaceAdvancesByTheFontsAdvanceAtTheBakeHeight) {
  const float expected =
      static_cast<float>(kFontSpaceAdvance) * kBuildBakeHeight / kFontAscentToDescent;
  EXPECT_NEAR(Record(' ').xadvance, expected, 1e-3f);  // 33.86 at 150, 22.57 at 100
  EXPECT_EQ(Record(' ').xoff, 0.0f);
}

// The records must be those of a bake at the build's height: each glyph's
// box and advance at that scale, as the font defines them.
TEST(GlyphAtlas, GlyphsHaveTheBuildsSize) {
  EXPECT_EQ(kBakePixelHeight, kBuildBakeHeight);
  stbtt_fontinfo font;
  ASSERT_TRUE(stbtt_InitFont(&font, g_FontData, 0));
  const float scale = kBuildBakeHeight / kFontAscentToDescent;
  for (int code = 32; code <= 126; ++code) {
    SCOPED_TRACE(CodeName(code));
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBox(&font, code, scale, scale, &x0, &y0, &x1, &y1);
    int advance, bearing;
    stbtt_GetCodepointHMetrics(&font, code, &advance, &bearing);
    const stbtt_bakedchar& r = Record(code);
    EXPECT_EQ(r.x1 - r.x0, x1 - x0);
    EXPECT_EQ(r.y1 - r.y0, y1 - y0);
    EXPECT_EQ(r.xoff, static_cast<float>(x0));
    EXPECT_EQ(r.yoff, static_cast<float>(y0));
    EXPECT_NEAR(r.xadvance, advance * scale, 1e-3f);
  }
}

// Linear filtering at a glyph's edge must blend only with zero texels.
TEST(GlyphAtlas, RectanglesKeepZeroTexelsBetweenThemAndFromTheTopAndLeftEdges) {
  for (int a = 32; a <= 127; ++a) {
    const stbtt_bakedchar& r = Record(a);
    if (r.x0 == r.x1) continue;
    EXPECT_GE(r.x0, 1) << CodeName(a);
    EXPECT_GE(r.y0, 1) << CodeName(a);
    for (int b = a + 1; b <= 127; ++b) {
      const stbtt_bakedchar& s = Record(b);
      if (s.x0 == s.x1) continue;
      const bool apart = r.x1 < s.x0 || s.x1 < r.x0 || r.y1 < s.y0 || s.y1 < r.y0;
      EXPECT_TRUE(apart) << CodeName(a) << " and " << CodeName(b) << " touch or overlap";
    }
  }
  // The texels between the rectangles are zero: no ink lies outside them.
  long ink = 0, stray = 0;
  for (int y = 0; y < kAtlasSize; ++y) {
    for (int x = 0; x < kAtlasSize; ++x) {
      if (g_AtlasPixels[static_cast<size_t>(y) * kAtlasSize + x] == 0) continue;
      ++ink;
      bool inside = false;
      for (int code = 33; code <= 127 && !inside; ++code) {
        const stbtt_bakedchar& r = Record(code);
        inside = x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1;
      }
      if (!inside) ++stray;
    }
  }
  EXPECT_GT(ink, 10000);
  EXPECT_EQ(stray, 0);
}

// Reads level 0 of the atlas and checks that each row's 2048 visible
// texels equal the bitmap's row.
void ExpectTextureHoldsTheBitmap() {
  ASSERT_NE(g_GlyphAtlas, nullptr);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(g_GlyphAtlas->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  int firstBadRow = -1;
  for (int row = 0; row < kAtlasSize && firstBadRow < 0; ++row) {
    const unsigned char* level =
        static_cast<const unsigned char*>(locked.pBits) + static_cast<size_t>(row) * locked.Pitch;
    if (memcmp(level, g_AtlasPixels + static_cast<size_t>(row) * kAtlasSize, kAtlasSize) != 0)
      firstBadRow = row;
  }
  g_GlyphAtlas->UnlockRect(0);
  EXPECT_EQ(firstBadRow, -1);
}

TEST(GlyphAtlas, TextureIsOneManagedL8LevelHoldingTheBitmap) {
  ASSERT_NE(g_GlyphAtlas, nullptr);
  EXPECT_EQ(g_GlyphAtlas->GetLevelCount(), 1u);
  D3DSURFACE_DESC desc;
  ASSERT_EQ(g_GlyphAtlas->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Format, D3DFMT_L8);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(desc.Usage, 0u);
  EXPECT_EQ(desc.Width, static_cast<UINT>(kAtlasSize));
  EXPECT_EQ(desc.Height, static_cast<UINT>(kAtlasSize));
  ExpectTextureHoldsTheBitmap();
}

class PaddedPitch : public testing::TestWithParam<UINT> {
 protected:
  void TearDown() override {
    StandinSetTexturePitchPadding(0);
    RebuildGlyphAtlas();
  }
};

TEST_P(PaddedPitch, VisibleColumnsOfEveryRowEqualTheBitmap) {
  StandinSetTexturePitchPadding(GetParam());
  RebuildGlyphAtlas();
  ASSERT_NE(g_GlyphAtlas, nullptr);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(g_GlyphAtlas->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, static_cast<INT>(kAtlasSize + GetParam()));
  g_GlyphAtlas->UnlockRect(0);
  ExpectTextureHoldsTheBitmap();
}

INSTANTIATE_TEST_SUITE_P(Bytes, PaddedPitch, testing::Values(1u, 64u, 2048u));

struct DeviceFailure {
  const char* name;
  StandinFailure failure;
};

void PrintTo(const DeviceFailure& failure, std::ostream* out) { *out << failure.name; }

class AtlasDeviceFailure : public testing::TestWithParam<DeviceFailure> {
 protected:
  void TearDown() override {
    StandinSetFailure(GetParam().failure, false);
    RebuildGlyphAtlas();
  }
};

// Nothing is written through a lock that failed, no texture is kept or
// leaked, and the records are baked all the same.
TEST_P(AtlasDeviceFailure, LeavesNoAtlasAndNoTexture) {
  if (g_GlyphAtlas) g_GlyphAtlas->Release();
  g_GlyphAtlas = nullptr;
  const ULONG referencesBefore = DeviceReferences();
  memset(g_BakedChars, 0, sizeof g_BakedChars);

  StandinSetFailure(GetParam().failure, true);
  BuildGlyphAtlas();

  EXPECT_EQ(g_GlyphAtlas, nullptr);
  EXPECT_EQ(DeviceReferences(), referencesBefore) << "a texture was made and kept";
  EXPECT_GT(Record('A').x1, Record('A').x0);
}

INSTANTIATE_TEST_SUITE_P(Cases, AtlasDeviceFailure,
                         testing::Values(DeviceFailure{"CreateTexture", kStandinFailCreateTexture},
                                         DeviceFailure{"LockRect", kStandinFailLockRect}),
                         [](const testing::TestParamInfo<DeviceFailure>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
