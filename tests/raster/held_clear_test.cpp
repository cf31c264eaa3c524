// A whole-surface Clear is held back until something needs it, and never
// written when the next draw overwrites every pixel; alpha-tested spans
// over rows at one depth skip the per-pixel runs. Each case runs from
// noise through the span loops (which may spare the clear) and through the
// general path (which always writes it first), and the two frames and
// depth buffers must match byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "d3d9/device.h"
#include "d3d9/raster.h"
#include "support/raster_device.h"

using namespace rastertest;

namespace {

constexpr UINT kWidth = 67;
constexpr UINT kHeight = 23;

class Environment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(RasterDevice::Start(kWidth, kHeight)); }
};
const testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new Environment);

standin::Device& Internal() { return *static_cast<standin::Device*>(Device()); }

void FillNoise(uint32_t salt) {
  standin::Device& d = Internal();
  for (size_t i = 0; i < d.backBuffer.size(); ++i) {
    uint32_t h = static_cast<uint32_t>(i) * 2654435761u ^ salt;
    h ^= h >> 13;
    d.backBuffer[i] = h * 2246822519u;
    d.depthBuffer[i] = (h * 3266489917u) & 0xFFFFFF;
  }
  d.NoteDepthWritten(0, 0, 0);
}

void Quad(float l, float t, float r, float b, D3DCOLOR c, float z) {
  Fan(Rect(l, t, r, b, c, 0, 0, 1, 1, z));
}
void FullQuad(D3DCOLOR c, float z) { Quad(0, 0, kWidth, kHeight, c, z); }

IDirect3DTexture9* AlphaRamp() {
  static IDirect3DTexture9* t = MakeTexture(D3DFMT_A8R8G8B8, 37, 29, 1, [](UINT, UINT x, UINT y) {
    return ((x * 29 + y * 53) % 256) << 24 | (x * 7) << 16 | (y * 9) << 8 | 0x40;
  });
  return t;
}

// A fixed-function textured quad (texture times diffuse, alpha too) with
// the alpha test, over a surface cleared to depth `clearZ`, at depth z.
void AlphaTested(DWORD src, DWORD dst, DWORD func, DWORD ref, float clearZ, float z) {
  IDirect3DDevice9* d = Device();
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, clearZ, 0);
  d->SetTexture(0, AlphaRamp());
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SRCBLEND, src);
  d->SetRenderState(D3DRS_DESTBLEND, dst);
  d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  d->SetRenderState(D3DRS_ALPHAFUNC, func);
  d->SetRenderState(D3DRS_ALPHAREF, ref);
  Fan(Rect(3.5f, 2.25f, 61.0f, 20.5f, 0xFFFFFFFF, 0.05f, 0.1f, 0.95f, 0.9f, z));
  d->SetTexture(0, nullptr);
}

struct Case {
  const char* name;
  std::function<void()> draw;
};

struct Frame {
  std::vector<DWORD> color, depth;
};

Frame RunCase(const Case& c, bool fast) {
  Reset();
  FillNoise(7);
  standin::SetRasterFastPaths(fast);
  c.draw();
  standin::SetRasterFastPaths(true);
  Frame f;
  f.color = BackBuffer();  // also writes out a clear still held back
  f.depth = Internal().depthBuffer;
  return f;
}

const DWORD kClear = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;

std::vector<Case> Cases() {
  IDirect3DDevice9* d = Device();
  return {
      {"opaque quad in front", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0); FullQuad(0xFF405060, 0.0f); }},
      {"opaque quad at the cleared depth", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 0.5f, 0); FullQuad(0xFF405060, 0.5f); }},
      {"quad behind the cleared depth", [=] {
         d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
         d->Clear(0, nullptr, kClear, 0xFF102030, 0.5f, 0);
         FullQuad(0xFF405060, 0.5f);
       }},
      {"depth test GREATER", [=] {
         d->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
         d->Clear(0, nullptr, kClear, 0xFF102030, 0.25f, 0);
         FullQuad(0xFF405060, 0.75f);
       }},
      {"quad one pixel short", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0); Quad(0, 0, kWidth - 1, kHeight, 0xFF405060, 0.0f); }},
      {"quad beyond the surface", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0); Quad(-5, -3, kWidth + 9, kHeight + 2, 0xFF405060, 0.0f); }},
      {"quad outside the surface", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0); Quad(kWidth + 1, 0, kWidth + 9, kHeight, 0xFF405060, 0.0f); }},
      {"blended quad", [=] {
         d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
         d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
         d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
         d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0x80405060, 0.0f);
       }},
      {"ONE/ZERO blending is a store", [=] {
         d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0x80405060, 0.0f);
       }},
      {"alpha test", [=] {
         // Alpha from the diffuse colour, rising across the quad: the left
         // part fails the test.
         d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
         d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
         d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
         d->SetRenderState(D3DRS_ALPHAREF, 0x80);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         Fan({V(0, 0, 0x00405060), V(kWidth, 0, 0xFF405060), V(kWidth, kHeight, 0xFF405060),
              V(0, kHeight, 0x00405060)});
       }},
      {"colour write mask", [=] {
         d->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.0f);
       }},
      {"depth writes off", [=] {
         d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.0f);
       }},
      {"depth test off", [=] {
         d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
         d->Clear(0, nullptr, kClear, 0xFF102030, 0.3f, 0);
         FullQuad(0xFF405060, 0.9f);
       }},
      {"colour cleared alone, depth test against the old depth", [=] {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.5f);
       }},
      {"colour cleared alone, no depth test", [=] {
         d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.5f);
       }},
      {"depth cleared alone", [=] { d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.6f, 0); FullQuad(0xFF405060, 0.2f); }},
      {"sloping depth", [=] {
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         Fan({V(0, 0, 0xFF405060, 0, 0, 0.0f), V(kWidth, 0, 0xFF405060, 0, 0, 0.5f),
              V(kWidth, kHeight, 0xFF405060, 0, 0, 0.5f), V(0, kHeight, 0xFF405060, 0, 0, 0.0f)});
       }},
      {"triangle list", [=] {
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         Draw(D3DPT_TRIANGLELIST, 2, {V(0, 0), V(kWidth, 0), V(kWidth, kHeight), V(0, 0), V(kWidth, kHeight), V(0, kHeight)});
       }},
      {"viewport smaller than the surface", [=] {
         D3DVIEWPORT9 vp = {2, 1, kWidth - 5, kHeight - 3, 0.0f, 1.0f};
         d->SetViewport(&vp);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         vp = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
         d->SetViewport(&vp);
         FullQuad(0xFF405060, 0.0f);
       }},
      {"clear of a rectangle on a held clear", [=] {
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         const D3DRECT r = {3, 2, 20, 9};
         d->Clear(1, &r, kClear, 0xFF0000FF, 0.25f, 0);
         Quad(0, 0, 30, 12, 0xFF405060, 0.5f);
       }},
      {"second whole clear replaces the first", [=] {
         d->Clear(0, nullptr, kClear, 0xFF102030, 0.2f, 0);
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF445566, 1.0f, 0);
         Quad(0, 0, 30, 12, 0xFF405060, 0.5f);
       }},
      {"spared clear, then depth tested against the quad's", [=] {
         // Rows at depth 0 before the clear; the quad puts them back there
         // without writing, and a later quad behind them must fail.
         FullQuad(0xFF000000, 0.0f);
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.0f);
         Quad(5, 5, 40, 15, 0xFFFFFFFF, 0.5f);
         Quad(10, 0, 60, 10, 0xFF00FF00, 0.0f);
       }},
      {"clear, present, clear, draw", [=] {
         d->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
         FullQuad(0xFF405060, 0.0f);
         d->Present(nullptr, nullptr, nullptr, nullptr);
         d->Clear(0, nullptr, kClear, 0xFF203040, 1.0f, 0);
         Quad(0, 0, 30, 12, 0xFF405060, 0.5f);
       }},
      {"nothing drawn after the clear", [=] { d->Clear(0, nullptr, kClear, 0xFF102030, 0.7f, 0); }},
      // Alpha-tested spans over rows at one depth (the label's sprite).
      {"alpha-tested additive quad, depth unchanged", [=] { AlphaTested(D3DBLEND_ONE, D3DBLEND_ONE, D3DCMP_GREATER, 0, 0.0f, 0.0f); }},
      {"alpha-tested additive quad, LESSEQUAL 0x80", [=] { AlphaTested(D3DBLEND_ONE, D3DBLEND_ONE, D3DCMP_LESSEQUAL, 0x80, 0.0f, 0.0f); }},
      {"alpha-tested additive quad writing depth", [=] { AlphaTested(D3DBLEND_ONE, D3DBLEND_ONE, D3DCMP_GREATER, 0x10, 1.0f, 0.5f); }},
      {"alpha-tested additive quad behind", [=] { AlphaTested(D3DBLEND_ONE, D3DBLEND_ONE, D3DCMP_GREATER, 0, 0.25f, 0.5f); }},
      {"alpha-tested blended quad", [=] { AlphaTested(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DCMP_NOTEQUAL, 0xFF, 0.0f, 0.0f); }},
      {"alpha-tested stored quad", [=] { AlphaTested(D3DBLEND_ONE, D3DBLEND_ZERO, D3DCMP_GREATEREQUAL, 0x30, 0.0f, 0.0f); }},
  };
}

TEST(HeldClear, SparedOrWrittenTheFramesMatchTheClearWrittenFirst) {
  for (const Case& c : Cases()) {
    const Frame fast = RunCase(c, true);
    const Frame general = RunCase(c, false);
    EXPECT_EQ(fast.color, general.color) << c.name;
    EXPECT_EQ(fast.depth, general.depth) << c.name;
  }
}

TEST(HeldClear, ClearedFrameIsWhatPresentShows) {
  Reset();
  FillNoise(3);
  Device()->Clear(0, nullptr, kClear, 0xFF123456, 0.5f, 0);
  ASSERT_EQ(Device()->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  StandinFrame f;
  ASSERT_TRUE(StandinLastFrame(&f));
  for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) ASSERT_EQ(f.pixels[i], 0xFF123456u) << i;
}

TEST(HeldClear, SparedClearLeavesTheQuadsDepth) {
  Reset();
  FillNoise(5);
  Device()->Clear(0, nullptr, kClear, 0xFF102030, 1.0f, 0);
  FullQuad(0xFF405060, 0.5f);
  EXPECT_EQ(Pixel(3, 4), 0xFF405060u);
  for (DWORD z : Internal().depthBuffer) ASSERT_EQ(z, 0x800000u);
}

}  // namespace
