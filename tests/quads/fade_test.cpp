// DrawTimedFade: its window, its colour and the states it leaves, drawn
// through the show's compiled ColorPS on the stand-in device.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "gfx/device.h"
#include "gfx/fade.h"
#include "gfx/shaders.h"
#include "show_device.h"

namespace {

const D3DXVECTOR4 kOpaqueBlack(0.0f, 0.0f, 0.0f, 1.0f);
const D3DXVECTOR4 kClearBlack(0.0f, 0.0f, 0.0f, 0.0f);

std::string Hex(DWORD v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

// The states a fade may touch, to see that a call outside its window
// touches none of them.
struct FadeStates {
  DWORD blend, src, dst, fvf;
  IDirect3DPixelShader9* shader;

  static FadeStates Read() {
    FadeStates s{};
    g_pd3dDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &s.blend);
    g_pd3dDevice->GetRenderState(D3DRS_SRCBLEND, &s.src);
    g_pd3dDevice->GetRenderState(D3DRS_DESTBLEND, &s.dst);
    g_pd3dDevice->GetFVF(&s.fvf);
    g_pd3dDevice->GetPixelShader(&s.shader);
    if (s.shader) s.shader->Release();
    return s;
  }
  bool operator==(const FadeStates& o) const {
    return blend == o.blend && src == o.src && dst == o.dst && fvf == o.fvf && shader == o.shader;
  }
};

class Fade : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartShowDevice()); }
  void SetUp() override { StartFrame(0xFFFFFFFF); }
  void TearDown() override { StartFrame(0xFF000000); }

  // Draws the fade at show time `now` over a white frame.
  static void FadeAt(DWORD now, DWORD start, DWORD end, const D3DXVECTOR4& from,
                     const D3DXVECTOR4& to) {
    g_ShowTime = now;
    InScene([&] { DrawTimedFade(start, end, from, to); });
  }
};

TEST_F(Fade, AtStartTheOverlayIsTheFromColour) {
  FadeAt(1000, 1000, 5000, kOpaqueBlack, kClearBlack);
  EXPECT_EQ(Hex(ShowPixel(0, 0)), Hex(0xFF000000));
  EXPECT_EQ(Hex(ShowPixel(1279, 719)), Hex(0xFF000000));
}

TEST_F(Fade, ColourMovesLinearlyAcrossTheWindow) {
  // Window 1000..1004 from clear to opaque black. At 1003 (end - 1) the
  // factor is 3/4: alpha 0.75 -> 191 of 255; white becomes
  // (255 * 64 + 127) / 255 = 64, and the target's alpha, blended alike,
  // (191 * 191 + 255 * 64 + 127) / 255 = 207.
  FadeAt(1003, 1000, 1004, kClearBlack, kOpaqueBlack);
  EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xCF404040));
  // At 1002, 0.5 -> 128: white becomes (255 * 127 + 127) / 255 = 127, alpha
  // (128 * 128 + 255 * 127 + 127) / 255 = 191.
  StartFrame(0xFFFFFFFF);
  FadeAt(1002, 1000, 1004, kClearBlack, kOpaqueBlack);
  EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xBF7F7F7F));
  // At the start the overlay is clear: nothing changes.
  StartFrame(0xFFFFFFFF);
  FadeAt(1000, 1000, 1004, kClearBlack, kOpaqueBlack);
  EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xFFFFFFFF));
}

TEST_F(Fade, ColouredOverlayAtItsStart) {
  // (1, 0.5, 0, 1): 0.5 * 255 + 0.5 = 128.
  FadeAt(7, 7, 9, D3DXVECTOR4(1.0f, 0.5f, 0.0f, 1.0f), kClearBlack);
  EXPECT_EQ(Hex(ShowPixel(3, 3)), Hex(0xFFFF8000));
}

TEST_F(Fade, LastMomentOfAFourSecondFadeInIsAlmostClear) {
  // At end - 1 the alpha is 1/4000: it rounds to 0 of 255, so the frame is
  // unchanged, although the quad is drawn and the states are set.
  FadeAt(4999, 1000, 5000, kOpaqueBlack, kClearBlack);
  EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xFFFFFFFF));
  const FadeStates after = FadeStates::Read();
  EXPECT_EQ(after.blend, static_cast<DWORD>(FALSE));
  EXPECT_EQ(after.src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
  EXPECT_EQ(after.dst, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(after.fvf, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_TEX1));
  EXPECT_EQ(after.shader, g_ColorShader.pShader);
}

TEST_F(Fade, OutsideItsWindowNothingIsDrawnAndNoStateChanges) {
  struct Case {
    DWORD now, start, end;
    const char* what;
  } cases[] = {
      {999, 1000, 5000, "before the start"},
      {5000, 1000, 5000, "at the end"},
      {3000, 3000, 3000, "an empty window"},
      {3000, 5000, 1000, "a reversed window"},
      {5, 0xFFFFFFF0u, 10, "the start compares unsigned"},
  };
  for (const Case& c : cases) {
    StartFrame(0xFFFFFFFF);
    // A state no fade would leave: blending on with ONE/ONE, no shader.
    g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    g_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    g_pd3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const FadeStates before = FadeStates::Read();
    FadeAt(c.now, c.start, c.end, kOpaqueBlack, kOpaqueBlack);
    EXPECT_TRUE(FadeStates::Read() == before) << c.what;
    EXPECT_EQ(Hex(ShowPixel(640, 360)), Hex(0xFFFFFFFF)) << c.what;
  }
}

TEST_F(Fade, EqualColoursHoldAcrossTheWindow) {
  const D3DXVECTOR4 grey(0.0f, 0.0f, 0.0f, 0.5f);
  for (DWORD now : {100532u, 101000u, 101531u}) {
    StartFrame(0xFFFFFFFF);
    FadeAt(now, 100532, 101532, grey, grey);
    EXPECT_EQ(Hex(ShowPixel(10, 10)), Hex(0xBF7F7F7F)) << now;
  }
}

TEST_F(Fade, TwoWindowsHoldingTheMomentBothDraw) {
  // Two half-black overlays: white -> 127 -> (127 * 127 + 127) / 255 = 63;
  // alpha 255 -> 191 -> (128 * 128 + 191 * 127 + 127) / 255 = 159.
  const D3DXVECTOR4 half(0.0f, 0.0f, 0.0f, 0.5f);
  g_ShowTime = 2000;
  InScene([&] {
    DrawTimedFade(1000, 3000, half, half);
    DrawTimedFade(1500, 2500, half, half);
  });
  EXPECT_EQ(Hex(ShowPixel(100, 100)), Hex(0x9F3F3F3F));
}

}  // namespace
