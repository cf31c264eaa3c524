// The show's screen-space quads on the stand-in device of a 720-line build,
// drawn with the device's start-up states and the show's own shaders.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "gfx/device.h"
#include "gfx/quads.h"
#include "gfx/shaders.h"
#include "show_device.h"

namespace {

std::string Hex(DWORD v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

class Quads : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartShowDevice()); }
  void SetUp() override { StartFrame(0xFF000000); }
  void TearDown() override { StartFrame(0xFF000000); }
};

// Which of columns x0..x1 of row y hold `color`, as '#' and '.'.
std::string Row(int y, int x0, int x1, DWORD color) {
  std::string out;
  for (int x = x0; x <= x1; ++x) out += ShowPixel(x, y) == color ? '#' : '.';
  return out;
}

TEST_F(Quads, SolidRectanglesShowTheirVertexColourWithoutAShader) {
  // The progress bar: white, and black with alpha 0. No texture is bound, so
  // the default stages read the texture as (1, 1, 1, 1): colour = vertex
  // colour, alpha = 1.
  StartFrame(0xFF808080);
  InScene([] {
    DrawSolidRect(10.0f, 20.0f, 30.0f, 25.0f, 0xFFFFFFFF);
    DrawSolidRect(12.0f, 21.0f, 20.0f, 23.0f, 0x00000000);
  });
  EXPECT_EQ(Hex(ShowPixel(25, 22)), Hex(0xFFFFFFFF));
  EXPECT_EQ(Hex(ShowPixel(15, 22)), Hex(0xFF000000));
  // Edges: columns 10..29 and rows 20..24.
  EXPECT_EQ(Row(24, 8, 31, 0xFFFFFFFF), "..####################..");
  EXPECT_EQ(ShowPixel(15, 19), 0xFF808080u);
  EXPECT_EQ(ShowPixel(15, 25), 0xFF808080u);
  DWORD fvf = 0;
  g_pd3dDevice->GetFVF(&fvf);
  EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
}

TEST_F(Quads, FractionalEdgesAreTakenAsTheyAre) {
  InScene([] { DrawSolidRect(10.5f, 20.0f, 14.5f, 21.0f, 0xFFFFFFFF); });
  // Centres 11..14 lie inside [10.5, 14.5).
  EXPECT_EQ(Row(20, 9, 16, 0xFFFFFFFF), "..####..");
}

TEST_F(Quads, AShaderBoundBeforeColoursTheRectangle) {
  const D3DXVECTOR4 red(1.0f, 0.0f, 0.0f, 1.0f);
  g_ColorShader.pConstantTable->SetVector(g_pDevice, "vColor", &red);
  g_pDevice->SetPixelShader(g_ColorShader.pShader);
  InScene([] { DrawSolidRect(0.0f, 0.0f, 4.0f, 4.0f, 0xFF00FF00); });
  EXPECT_EQ(Hex(ShowPixel(1, 1)), Hex(0xFFFF0000));
}

TEST_F(Quads, DegenerateAndReversedRectangles) {
  struct Case {
    float left, top, right, bottom;
    bool drawn;
    const char* what;
  } cases[] = {
      {10, 10, 10, 20, false, "zero width"},
      {10, 10, 20, 10, false, "zero height"},
      {20, 10, 10, 20, false, "right of left: counter-clockwise, culled"},
      {10, 20, 20, 10, false, "bottom above top: counter-clockwise, culled"},
      {20, 20, 10, 10, true, "flipped both ways: clockwise again"},
  };
  for (const Case& c : cases) {
    StartFrame(0xFF000000);
    InScene([&] { DrawSolidRect(c.left, c.top, c.right, c.bottom, 0xFFFFFFFF); });
    EXPECT_EQ(ShowPixel(15, 15) == 0xFFFFFFFF, c.drawn) << c.what;
  }
}

TEST_F(Quads, TexturedRectEndsAtXPlusW) {
  // x = 3, w = 4: the right edge is exactly 7.0, so columns 3..6.
  IDirect3DTexture9* t = MakeShowTexture(1, 1, {0xFF123456});
  g_pd3dDevice->SetTexture(0, t);
  InScene([] { DrawTexturedRect(3, 5, 4, 2, 0.0f, 0.0f, 1.0f, 1.0f); });
  EXPECT_EQ(Row(5, 1, 8, 0xFF123456), "..####..");
  EXPECT_EQ(Row(6, 1, 8, 0xFF123456), "..####..");
  EXPECT_EQ(Row(7, 1, 8, 0xFF123456), "........");
  DWORD fvf = 0;
  g_pd3dDevice->GetFVF(&fvf);
  EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_TEX1));
  g_pd3dDevice->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(Quads, TexturedRectNegativeSizeIsCulledUnlessBothAre) {
  IDirect3DTexture9* t = MakeShowTexture(1, 1, {0xFF123456});
  g_pd3dDevice->SetTexture(0, t);
  InScene([] { DrawTexturedRect(10, 10, -4, 4, 0, 0, 1, 1); });
  EXPECT_EQ(Row(11, 4, 12, 0xFF123456), ".........");
  InScene([] { DrawTexturedRect(10, 10, -4, -4, 0, 0, 1, 1); });
  // From x = 10 back to 6 and y = 10 back to 6: columns 6..9, rows 6..9.
  EXPECT_EQ(Row(8, 4, 12, 0xFF123456), "..####...");
  g_pd3dDevice->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(Quads, ScreenQuadMapsTheTextureWindowOverTheScreen) {
  // A 16 x 9 texture, texel (i, j) = i + 16 j in blue and green, point
  // sampled: the whole window puts texel floor(x / 80) at column x; the
  // middle half puts texel 4 + floor(x / 160) there.
  std::vector<DWORD> texels;
  for (DWORD j = 0; j < 9; ++j)
    for (DWORD i = 0; i < 16; ++i) texels.push_back(0xFF000000 | (j << 8) | i);
  IDirect3DTexture9* t = MakeShowTexture(16, 9, texels);
  g_pd3dDevice->SetTexture(0, t);
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  InScene([] { DrawScreenQuad(kScreenWidth, kScreenHeight, 0.0f, 0.0f, 1.0f, 1.0f); });
  for (int x : {0, 79, 80, 1279})
    for (int y : {0, 79, 80, 719})
      EXPECT_EQ(ShowPixel(x, y), 0xFF000000u | ((y / 80) << 8) | (x / 80)) << x << "," << y;
  InScene([] { DrawScreenQuad(kScreenWidth, kScreenHeight, 0.25f, 0.25f, 0.75f, 0.75f); });
  // v from 0.25 to 0.75 over 720 rows: texel row floor(2.25 + y / 160).
  for (int x : {0, 159, 160, 1279})
    for (int y : {0, 119, 120, 719})
      EXPECT_EQ(ShowPixel(x, y), 0xFF000000u | ((2 + (y + 40) / 160) << 8) | (4 + x / 160))
          << x << "," << y;
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  g_pd3dDevice->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(Quads, WallpaperThroughTexturePS) {
  // The device's start-up sampling (bilinear, wrap) and the real TexturePS
  // with vColor white. Texels A (200,0,0) B (0,100,0) / C (0,0,60) D (40,40,40):
  // at u = v = 0.25 a pixel centre sits on texel A's centre; at u = v = 0 it
  // sits between all four texels (wrapping), as at u = v = 0.5: their mean
  // (60, 35, 25).
  IDirect3DTexture9* t = MakeShowTexture(2, 2, {0xFFC80000, 0xFF006400, 0xFF00003C, 0xFF282828});
  g_pd3dDevice->SetTexture(0, t);
  g_pd3dDevice->SetPixelShader(g_TextureShader.pShader);
  const D3DXVECTOR4 white(1.0f, 1.0f, 1.0f, 1.0f);
  g_TextureShader.pConstantTable->SetVector(g_pDevice, "vColor", &white);
  g_pd3dDevice->SetVertexShader(nullptr);
  InScene([] { DrawScreenQuad(kScreenWidth, kScreenHeight, 0.0f, 0.0f, 1.0f, 1.0f); });
  EXPECT_EQ(Hex(ShowPixel(320, 180)), Hex(0xFFC80000));
  EXPECT_EQ(Hex(ShowPixel(960, 540)), Hex(0xFF282828));
  EXPECT_EQ(Hex(ShowPixel(0, 0)), Hex(0xFF3C2319));
  EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xFF3C2319));
  g_pd3dDevice->SetPixelShader(nullptr);
  g_pd3dDevice->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(Quads, GlyphRectangleAddsTheAtlasThroughTexturePS) {
  // An L8 atlas, 4 x 4, empty but for texel (1, 1) = 200. A glyph rectangle
  // at whole pixels with the texel edges 1..3 as coordinates puts its pixel
  // centres on texel corners: each pixel is the mean of a 2 x 2 block, and
  // every block holds the 200 once: 50. Added onto black with ONE/ONE, in
  // vColor (1, 0.5, 0, 1): (50, 25, 0).
  std::vector<DWORD> texels(16, 0);
  texels[5] = 200;
  IDirect3DTexture9* atlas = MakeShowTexture(4, 4, texels, true);
  g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  g_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  g_pd3dDevice->SetTexture(0, atlas);
  g_pd3dDevice->SetPixelShader(g_TextureShader.pShader);
  const D3DXVECTOR4 orange(1.0f, 0.5f, 0.0f, 1.0f);
  g_TextureShader.pConstantTable->SetVector(g_pDevice, "vColor", &orange);
  InScene([] { DrawTexturedRect(10, 10, 2, 2, 0.25f, 0.25f, 0.75f, 0.75f); });
  for (int y = 10; y < 12; ++y)
    for (int x = 10; x < 12; ++x) EXPECT_EQ(Hex(ShowPixel(x, y)), Hex(0xFF321900)) << x << "," << y;
  EXPECT_EQ(ShowPixel(12, 10), 0xFF000000u);
  EXPECT_EQ(ShowPixel(10, 12), 0xFF000000u);
  // The same glyph again adds again.
  InScene([] { DrawTexturedRect(10, 10, 2, 2, 0.25f, 0.25f, 0.75f, 0.75f); });
  EXPECT_EQ(Hex(ShowPixel(10, 10)), Hex(0xFF643200));
  g_pd3dDevice->SetPixelShader(nullptr);
  g_pd3dDevice->SetTexture(0, nullptr);
  atlas->Release();
}

}  // namespace
