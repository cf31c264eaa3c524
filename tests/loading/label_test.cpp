// System-font labels: where the status line stands, how a label adds to the
// frame, that the device's states survive it, and that a label with a bad
// font index or without its font or sprite draws nothing.
#include <gtest/gtest.h>

#include <string>

#include "app/build_config.h"
#include "gfx/device.h"
#include "gfx/shaders.h"
#include "show/loading.h"
#include "started_show.h"
#include "text/glyph_atlas.h"
#include "text/label.h"

namespace {

using showtest::Rgb;

constexpr int kW = kScreenWidth;
constexpr int kH = kScreenHeight;
constexpr int kCy = kH / 2;
constexpr DWORD kGrey = 0x505050;

// The back buffer after clearing it to `background` and drawing one label.
showtest::FrameCopy DrawOneLabel(DWORD background, const char* text, int font, float scale,
                                 float x, float y) {
  g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000 | background, 1.0f,
                   0);
  g_pDevice->BeginScene();
  DrawLabel(text, font, scale, x, y);
  g_pDevice->EndScene();
  return showtest::BackBuffer();
}

// The box DrawTextA gives `text` in font `font`, before any transform.
RECT TextBox(int font, const char* text) {
  RECT box = {0, 0, kW, kH};
  g_Fonts[font]->DrawTextA(nullptr, text, -1, &box, DT_CALCRECT | DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  return box;
}

// The status line of the 0 % and 30 % frames: centred across the screen,
// the top of its text line 100 pixels above the middle (260 or 440), in the
// same 48-pixel font in both heights.
TEST(ProgressLabelPlacement, CentredWithItsTopAHundredPixelsAboveTheMiddle) {
  const std::vector<ProgressRecord>& frames = RecordedProgress();
  ASSERT_GE(frames.size(), 4u);
  ASSERT_NE(g_Fonts[0], nullptr);
  const int top = kH == 1080 ? 440 : 260;
  for (int step : {0, 3}) {
    const char* text = kProgressLabels[step == 0 ? 0 : 3];
    SCOPED_TRACE(text);
    const RECT box = TextBox(0, text);
    const int width = box.right - box.left, height = box.bottom - box.top;
    EXPECT_GE(height, 48);
    EXPECT_LE(height, 60);

    const showtest::Box ink = showtest::InkBox(frames[step].frame.View(), 0, 0, kW, kCy - 30);
    ASSERT_TRUE(ink.found);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, kW / 2.0, 4.0);
    EXPECT_NEAR(ink.right - ink.left, width, 8);
    EXPECT_GE(ink.top, top);
    EXPECT_LE(ink.top, top + height / 3);
    // Filtering may carry a glyph's edge one pixel past its cell.
    EXPECT_LE(ink.bottom, top + height + 1);
  }
}

// With ONE/ONE and the sprite's alpha test, every texel with any coverage
// adds full white: the label is white on an unchanged background, with no
// blended edge, and white only where its glyphs are (not across their whole
// cells).
TEST(DrawLabel, AddsFullWhiteWhereverAGlyphHasCoverage) {
  const char* text = "loading";
  const float y = 100.0f;
  const showtest::FrameCopy drawn = DrawOneLabel(kGrey, text, 0, 1.0f, 0.0f, y);
  const StandinFrame f = drawn.View();
  long white = 0, other = 0;
  for (int py = 0; py < kH; ++py) {
    for (int px = 0; px < kW; ++px) {
      const DWORD c = Rgb(f, px, py);
      if (c == 0xFFFFFF) ++white;
      else if (c != kGrey) ++other;
    }
  }
  EXPECT_EQ(other, 0);
  const showtest::Box ink = showtest::InkBox(f, 0, 0, kW, kH, kGrey);
  ASSERT_TRUE(ink.found);
  const long area = static_cast<long>(ink.right - ink.left) * (ink.bottom - ink.top);
  EXPECT_GT(white, area / 10);
  EXPECT_LT(white, area * 6 / 10);
}

// Render states set to unusual values before a label are the same after
// it, whether blending was on or off; so are the texture and the shader.
// With the sprite's own values set first, only the ONE/ONE override made
// after Begin could leak out.
struct StateCase {
  const char* name;
  DWORD alphaBlend, srcBlend, destBlend, blendOp, alphaTest, alphaRef, alphaFunc, cull,
      colorWrite;
};

void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }

class DrawLabelStates : public testing::TestWithParam<StateCase> {};

TEST_P(DrawLabelStates, AreRestoredAfterTheLabel) {
  const StateCase& c = GetParam();
  const struct {
    D3DRENDERSTATETYPE state;
    DWORD value;
  } states[] = {
      {D3DRS_ALPHABLENDENABLE, c.alphaBlend}, {D3DRS_SRCBLEND, c.srcBlend},
      {D3DRS_DESTBLEND, c.destBlend},         {D3DRS_BLENDOP, c.blendOp},
      {D3DRS_ALPHATESTENABLE, c.alphaTest},   {D3DRS_ALPHAREF, c.alphaRef},
      {D3DRS_ALPHAFUNC, c.alphaFunc},         {D3DRS_CULLMODE, c.cull},
      {D3DRS_COLORWRITEENABLE, c.colorWrite},
  };
  g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  g_pDevice->BeginScene();
  for (const auto& s : states) g_pDevice->SetRenderState(s.state, s.value);
  g_pDevice->SetTexture(0, g_GlyphAtlas);
  g_pDevice->SetPixelShader(g_ColorShader.pShader);

  DrawLabel("loading", 0, 1.0f, 0.0f, 100.0f);

  for (const auto& s : states) {
    DWORD value = 0xDEADBEEF;
    g_pDevice->GetRenderState(s.state, &value);
    EXPECT_EQ(value, s.value) << "render state " << s.state;
  }
  IDirect3DBaseTexture9* texture = nullptr;
  g_pDevice->GetTexture(0, &texture);
  EXPECT_EQ(texture, static_cast<IDirect3DBaseTexture9*>(g_GlyphAtlas));
  if (texture) texture->Release();
  IDirect3DPixelShader9* shader = nullptr;
  g_pDevice->GetPixelShader(&shader);
  EXPECT_EQ(shader, g_ColorShader.pShader);
  if (shader) shader->Release();

  // Put the device back the way the show keeps it between its steps.
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  g_pDevice->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  g_pDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  g_pDevice->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
  g_pDevice->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
  g_pDevice->SetRenderState(D3DRS_ALPHAREF, 0);
  g_pDevice->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
  g_pDevice->EndScene();

  // The label was drawn, with its own states: it shows.
  EXPECT_TRUE(showtest::InkBox(showtest::BackBuffer().View(), 0, 0, kW, kH).found);
}

INSTANTIATE_TEST_SUITE_P(
    Unusual, DrawLabelStates,
    testing::Values(StateCase{"BlendingOn", TRUE, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR,
                              D3DBLENDOP_REVSUBTRACT, TRUE, 0x80, D3DCMP_LESS, D3DCULL_CW, 0x7},
                    StateCase{"BlendingOff", FALSE, D3DBLEND_ZERO, D3DBLEND_INVDESTALPHA,
                              D3DBLENDOP_MAX, FALSE, 0xFF, D3DCMP_NEVER, D3DCULL_CCW, 0xF},
                    StateCase{"SpriteOwnValues", FALSE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA,
                              D3DBLENDOP_ADD, FALSE, 0, D3DCMP_ALWAYS, D3DCULL_NONE, 0xF}),
    [](const testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

// A label it cannot draw leaves the frame as it was, and the program goes on.
struct NothingCase {
  const char* name;
  int font;
  int missingFont;  // g_Fonts entry taken away for the call, or -1
  bool missingSprite;
};

void PrintTo(const NothingCase& c, std::ostream* out) { *out << c.name; }

class LabelDrawsNothing : public testing::TestWithParam<NothingCase> {};

TEST_P(LabelDrawsNothing, AndLeavesTheFrameAlone) {
  const NothingCase& c = GetParam();
  ID3DXFont* const savedFonts[4] = {g_Fonts[0], g_Fonts[1], g_Fonts[2], g_Fonts[3]};
  ID3DXSprite* const savedSprite = g_pSprite;
  if (c.missingFont >= 0) g_Fonts[c.missingFont] = nullptr;
  if (c.missingSprite) g_pSprite = nullptr;
  const showtest::FrameCopy drawn = DrawOneLabel(kGrey, "loading", c.font, 1.0f, 0.0f, 100.0f);
  for (int i = 0; i < 4; ++i) g_Fonts[i] = savedFonts[i];
  g_pSprite = savedSprite;

  EXPECT_FALSE(showtest::InkBox(drawn.View(), 0, 0, kW, kH, kGrey).found);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabelDrawsNothing,
    testing::Values(NothingCase{"IndexFour", 4, -1, false},
                    NothingCase{"IndexMinusOne", -1, -1, false},
                    NothingCase{"IndexFarOut", 1 << 20, -1, false},
                    NothingCase{"FontMissing", 0, 0, false},
                    NothingCase{"SpriteMissing", 0, -1, true}),
    [](const testing::TestParamInfo<NothingCase>& info) { return std::string(info.param.name); });

// The same label with its font present does show: the cases above test
// the guard, not a label that never draws.
TEST(LabelDrawsNothing, ButTheSameLabelWithItsFontShows) {
  EXPECT_TRUE(showtest::InkBox(DrawOneLabel(kGrey, "loading", 0, 1.0f, 0.0f, 100.0f).View(), 0, 0,
                               kW, kH, kGrey)
                  .found);
}

// A progress frame without its font still shows its bar, and no label.
TEST(ProgressScreenWithoutFont, ShowsTheBarAlone) {
  ID3DXFont* const saved = g_Fonts[0];
  g_Fonts[0] = nullptr;
  DrawProgressScreen(50.0f);
  g_Fonts[0] = saved;
  const showtest::FrameCopy shown = showtest::LastFrame();
  const StandinFrame f = shown.View();
  EXPECT_FALSE(showtest::InkBox(f, 0, 0, kW, kCy - 30).found);
  int filled = 0;
  while (Rgb(f, 52 + filled, kCy) == 0xFFFFFF) ++filled;
  EXPECT_EQ(filled, (kW - 104) / 2);
}

}  // namespace
