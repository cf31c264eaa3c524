// Atlas text: where glyphs are placed, what is drawn for them, the state
// the operations leave behind, and bytes that have no glyph.
#include "text/atlas_text.h"

#include <gtest/gtest.h>
#include <standin.h>

#include <string>

#include "app/build_config.h"
#include "gfx/device.h"
#include "gfx/shaders.h"
#include "support/atlas_text_model.h"
#include "text/glyph_atlas.h"
#include "text_device.h"

namespace {

// Not grey, so no pixel that a glyph rectangle writes (L, L, L) can match it.
constexpr D3DCOLOR kBackdrop = 0xFF3C6E14;

const stbtt_bakedchar& Record(int code) { return g_BakedChars[code - kFirstBakedChar]; }

class AtlasText : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!g_TextureShader.pConstantTable) {
      g_ColorShader = CompilePixelShader("ColorPS");
      g_TextureShader = CompilePixelShader("TexturePS");
    }
  }

  // Opens a scene on a cleared back buffer; blending off, as between steps.
  void BeginFrame(D3DCOLOR clear) {
    g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
    g_pDevice->BeginScene();
    g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  }

  StandinFrame EndFrame() {
    g_pDevice->EndScene();
    StandinFrame frame{};
    EXPECT_TRUE(StandinBackBuffer(&frame));
    return frame;
  }

  static void AdditiveBlending() {
    g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    g_pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    g_pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  }

  static DWORD RenderState(D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEADBEEF;
    g_pDevice->GetRenderState(state, &value);
    return value;
  }
};

// The bounding box of the pixels that differ from `clear`, and how many differ.
struct Changed {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  long count = 0;
};

Changed ChangedPixels(const StandinFrame& frame, D3DCOLOR clear) {
  Changed c;
  c.left = static_cast<int>(frame.width);
  c.top = static_cast<int>(frame.height);
  for (int y = 0; y < static_cast<int>(frame.height); ++y) {
    for (int x = 0; x < static_cast<int>(frame.width); ++x) {
      if (frame.pixels[static_cast<size_t>(y) * frame.width + x] == clear) continue;
      ++c.count;
      c.left = std::min(c.left, x);
      c.top = std::min(c.top, y);
      c.right = std::max(c.right, x + 1);
      c.bottom = std::max(c.bottom, y + 1);
    }
  }
  return c;
}

// --- Placement --------------------------------------------------------------

struct PlacementCase {
  const char* name;
  float penPlusOffset;  // pen x plus the glyph's offset; 300 more on y
  float corner;         // the quad's x0; 300 more for y0
  int drawnLeft;        // the drawn rectangle's left pixel
  int drawnTop;         // and its top pixel, with y 300 pixels further down
};

void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

const PlacementCase kPlacements[] = {
    {"RoundsDownTo100", 100.3f, 99.5f, 99, 399},
    {"HalfRoundsUpTo100", 99.5f, 99.5f, 99, 399},
    {"JustBelowHalfRoundsTo99", 99.49f, 98.5f, 98, 398},
    // Near zero x truncates the other way; y, at 300 and 297, does not.
    {"Zero", 0.2f, -0.5f, 0, 299},
    {"MinusThree", -3.2f, -3.5f, -3, 296},
};

class GlyphPlacement : public AtlasText, public testing::WithParamInterface<PlacementCase> {};

TEST_P(GlyphPlacement, QuadIsThePixelRoundedPenLessHalfAPixel) {
  const PlacementCase& c = GetParam();
  const stbtt_bakedchar& r = Record('V');
  float penX = c.penPlusOffset - r.xoff;
  float penY = c.penPlusOffset + 300.0f - r.yoff;
  const float startX = penX, startY = penY;
  stbtt_aligned_quad q;
  GetGlyphQuad('V', penX, penY, q);

  EXPECT_EQ(q.x0, c.corner);
  EXPECT_EQ(q.y0, c.corner + 300.0f);
  EXPECT_EQ(q.x1 - q.x0, static_cast<float>(r.x1 - r.x0));
  EXPECT_EQ(q.y1 - q.y0, static_cast<float>(r.y1 - r.y0));
  EXPECT_EQ(q.s0, r.x0 / 2048.0f);
  EXPECT_EQ(q.t0, r.y0 / 2048.0f);
  EXPECT_EQ(q.s1, r.x1 / 2048.0f);
  EXPECT_EQ(q.t1, r.y1 / 2048.0f);
  EXPECT_EQ(penX, startX + r.xadvance);
  EXPECT_EQ(penY, startY) << "the baseline never moves";
}

// Drawn with blending off, the rectangle replaces exactly the pixels it
// covers: its corner truncated toward zero, its size the record's.
TEST_P(GlyphPlacement, DrawnRectangleStartsAtTheTruncatedCorner) {
  const PlacementCase& c = GetParam();
  const stbtt_bakedchar& r = Record('V');
  float penX = c.penPlusOffset - r.xoff;
  float penY = c.penPlusOffset + 300.0f - r.yoff;
  stbtt_aligned_quad q;
  GetGlyphQuad('V', penX, penY, q);

  BeginFrame(kBackdrop);
  BeginAtlasText();
  DrawGlyphQuad(q);
  const StandinFrame frame = EndFrame();

  const int left = c.drawnLeft, top = c.drawnTop;
  const int width = r.x1 - r.x0, height = r.y1 - r.y0;
  const Changed changed = ChangedPixels(frame, kBackdrop);
  EXPECT_EQ(changed.left, std::max(left, 0));
  EXPECT_EQ(changed.right, left + width);
  EXPECT_EQ(changed.top, top);
  EXPECT_EQ(changed.bottom, top + height);
  EXPECT_EQ(changed.count, static_cast<long>(changed.right - changed.left) * height);
}

INSTANTIATE_TEST_SUITE_P(Cases, GlyphPlacement, testing::ValuesIn(kPlacements),
                         [](const testing::TestParamInfo<PlacementCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(AtlasText, SpaceIsEmptyAndAdvancesThePen) {
  float penX = 40.0f, penY = 60.0f;
  stbtt_aligned_quad q;
  GetGlyphQuad(' ', penX, penY, q);
  EXPECT_EQ(q.x1, q.x0);
  EXPECT_EQ(q.y1, q.y0);
  EXPECT_EQ(penX, 40.0f + Record(' ').xadvance);
  EXPECT_GT(penX, 40.0f);
}

// --- Bytes without a record ---------------------------------------------------

class ByteWithoutRecord : public AtlasText, public testing::WithParamInterface<int> {};

TEST_P(ByteWithoutRecord, GivesAnEmptyQuadAndLeavesThePen) {
  float penX = 123.0f, penY = 45.0f;
  stbtt_aligned_quad q;
  q.x0 = q.y0 = q.x1 = q.y1 = q.s0 = q.t0 = q.s1 = q.t1 = 7.0f;
  GetGlyphQuad(static_cast<unsigned char>(GetParam()), penX, penY, q);
  EXPECT_EQ(penX, 123.0f);
  EXPECT_EQ(penY, 45.0f);
  EXPECT_EQ(q.x1 - q.x0, 0.0f);
  EXPECT_EQ(q.y1 - q.y0, 0.0f);
}

TEST_P(ByteWithoutRecord, IsSkippedInAString) {
  const char with[] = {'A', static_cast<char>(GetParam()), 'B', 0};

  BeginFrame(kBackdrop);
  DrawAtlasText("AB", 100.0f, 200.0f);
  const StandinFrame plain = EndFrame();
  const std::vector<DWORD> expected(plain.pixels, plain.pixels + plain.width * plain.height);

  BeginFrame(kBackdrop);
  DrawAtlasText(with, 100.0f, 200.0f);
  const StandinFrame skipped = EndFrame();
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), skipped.pixels));
  EXPECT_GT(ChangedPixels(skipped, kBackdrop).count, 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, ByteWithoutRecord, testing::Values(1, 31, 128, 200, 255));

// --- Strings ------------------------------------------------------------------

// The pen start is given in 720-line units and scaled while drawing.
TEST_F(AtlasText, StringStartsAtTheScaledPenAndAddsItsGlyphs) {
  const float startX = kScreenHeight == 1080 ? 525.0f : 350.0f;
  const float startY = kScreenHeight == 1080 ? 150.0f : 100.0f;
  atlasmodel::Image expected;
  expected.AddText("VELMORANDIQUE", startX, startY, 1.0f);

  BeginFrame(0xFF000000);
  AdditiveBlending();
  DrawAtlasText("VELMORANDIQUE", 350.0f, 100.0f);
  const StandinFrame frame = EndFrame();

  const atlasmodel::Comparison result = atlasmodel::Compare(frame, expected);
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
  EXPECT_GT(result.inkPixels, 1000);
  EXPECT_TRUE(result.greyOnly);
}

TEST_F(AtlasText, EmptyStringBindsTheAtlasDrawsNothingAndEndsWithBlendingOff) {
  BeginFrame(kBackdrop);
  g_pDevice->SetTexture(0, nullptr);
  g_pDevice->SetPixelShader(nullptr);
  AdditiveBlending();
  DrawAtlasText("", 350.0f, 100.0f);

  IDirect3DBaseTexture9* texture = nullptr;
  g_pDevice->GetTexture(0, &texture);
  EXPECT_EQ(texture, g_GlyphAtlas);
  if (texture) texture->Release();
  IDirect3DPixelShader9* shader = nullptr;
  g_pDevice->GetPixelShader(&shader);
  EXPECT_EQ(shader, g_TextureShader.pShader);
  if (shader) shader->Release();
  IDirect3DVertexShader9* vertexShader = reinterpret_cast<IDirect3DVertexShader9*>(1);
  g_pDevice->GetVertexShader(&vertexShader);
  EXPECT_EQ(vertexShader, nullptr);
  EXPECT_EQ(RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
  EXPECT_EQ(RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(RenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ONE));

  EXPECT_EQ(ChangedPixels(EndFrame(), kBackdrop).count, 0);
}

// Blending is off after a string, so a second one without its own blend
// set-up replaces what lies under its rectangles.
TEST_F(AtlasText, SecondStringWithoutBlendSetUpIsOpaque) {
  BeginFrame(kBackdrop);
  AdditiveBlending();
  DrawAtlasText("I", 100.0f, 200.0f);
  DrawAtlasText("I", 300.0f, 200.0f);
  const StandinFrame frame = EndFrame();
  // A pixel of the glyph's rectangle where the atlas holds no ink: the
  // first glyph adds nothing there, the second one paints it black.
  const stbtt_bakedchar& r = Record('I');
  int inkFreeI = -1, inkFreeJ = -1;
  for (int j = 0; j < r.y1 - r.y0 && inkFreeI < 0; ++j)
    for (int i = 0; i < r.x1 - r.x0 && inkFreeI < 0; ++i)
      if (atlasmodel::AtlasTexel(r.x0 + i - 1, r.y0 + j - 1) + atlasmodel::AtlasTexel(r.x0 + i, r.y0 + j - 1) +
              atlasmodel::AtlasTexel(r.x0 + i - 1, r.y0 + j) + atlasmodel::AtlasTexel(r.x0 + i, r.y0 + j) ==
          0.0f) {
        inkFreeI = i;
        inkFreeJ = j;
      }
  ASSERT_GE(inkFreeI, 0);
  const float scale = kScreenHeight / 720.0f;
  const int y = atlasmodel::DrawnEdge(200.0f * scale, r.yoff) + inkFreeJ;
  const int firstX = atlasmodel::DrawnEdge(100.0f * scale, r.xoff) + inkFreeI;
  const int secondX = atlasmodel::DrawnEdge(300.0f * scale, r.xoff) + inkFreeI;
  EXPECT_EQ(frame.pixels[static_cast<size_t>(y) * frame.width + firstX], kBackdrop);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(y) * frame.width + secondX] & 0xFFFFFF, 0u);
}

// --- Without an atlas -----------------------------------------------------------

class WithoutAtlas : public AtlasText {
 protected:
  void SetUp() override {
    saved_ = g_GlyphAtlas;
    g_GlyphAtlas = nullptr;
  }
  void TearDown() override { g_GlyphAtlas = saved_; }
  IDirect3DTexture9* saved_ = nullptr;
};

// Blending off: any rectangle drawn would replace the backdrop.
TEST_F(WithoutAtlas, NothingIsDrawnAndBlendingStillEndsOff) {
  BeginFrame(kBackdrop);
  AdditiveBlending();
  DrawAtlasText("BACK", 550.0f, 500.0f);
  EXPECT_EQ(RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
  BeginAtlasText();
  float penX = 50.0f, penY = 200.0f;
  stbtt_aligned_quad q;
  GetGlyphQuad('W', penX, penY, q);
  DrawGlyphQuad(q);
  EXPECT_EQ(ChangedPixels(EndFrame(), kBackdrop).count, 0);
}

}  // namespace
