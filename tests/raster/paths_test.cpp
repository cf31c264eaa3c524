// The specialised span loops give the same bytes as the general per-pixel
// path. Each case starts from the same noisy colour and depth buffers, is
// drawn once each way, and both buffers must match exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "d3d9/device.h"
#include "d3d9/raster.h"
#include "support/raster_device.h"

using namespace rastertest;

namespace {

// Odd sizes, so spans end in every remainder of the four-pixel loops.
constexpr UINT kWidth = 257;
constexpr UINT kHeight = 131;

class Environment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(RasterDevice::Start(kWidth, kHeight)); }
};
const testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new Environment);

standin::Device& Internal() { return *static_cast<standin::Device*>(Device()); }

uint32_t Noise(uint32_t i, uint32_t salt) {
  uint32_t h = i * 2654435761u ^ salt * 40503u;
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return h;
}

void FillNoise() {
  standin::Device& d = Internal();
  for (size_t i = 0; i < d.backBuffer.size(); ++i) {
    d.backBuffer[i] = Noise(static_cast<uint32_t>(i), 1);
    d.depthBuffer[i] = Noise(static_cast<uint32_t>(i), 2) & 0xFFFFFF;
  }
  d.NoteDepthWritten(0, 0, 0);
}

float Unit(uint32_t i, uint32_t salt) { return static_cast<float>(Noise(i, salt) & 0xFFFF) / 65535.0f; }

// What the cases draw from.
struct Resources {
  IDirect3DTexture9* picture = nullptr;  // A8R8G8B8 300 x 170, one level
  IDirect3DTexture9* pictureX8 = nullptr;
  IDirect3DTexture9* mipmapped = nullptr;  // A8R8G8B8 64 x 64, full chain
  IDirect3DTexture9* atlas = nullptr;      // L8 128 x 128
  IDirect3DTexture9* alphaMap = nullptr;   // A8 37 x 23
  IDirect3DTexture9* allPairs = nullptr;   // every alpha against many colours
  IDirect3DTexture9* column = nullptr;     // 1 x 16
  IDirect3DTexture9* row = nullptr;        // 16 x 1
  IDirect3DPixelShader9* color = nullptr;
  IDirect3DPixelShader9* texture = nullptr;
  IDirect3DPixelShader9* interpreted = nullptr;
};

Resources& R() {
  static Resources r;
  return r;
}

void MakeResources() {
  Resources& r = R();
  if (r.picture) return;
  r.picture = MakeTexture(D3DFMT_A8R8G8B8, 300, 170, 1, [](UINT, UINT x, UINT y) {
    return Noise(y * 300 + x, 3);
  });
  r.pictureX8 = MakeTexture(D3DFMT_X8R8G8B8, 300, 170, 1, [](UINT, UINT x, UINT y) {
    return Noise(y * 300 + x, 4);
  });
  r.mipmapped = MakeTexture(D3DFMT_A8R8G8B8, 64, 64, 0, [](UINT level, UINT x, UINT y) {
    return Noise(level * 10000 + y * 64 + x, 5);
  });
  r.atlas = MakeTexture(D3DFMT_L8, 128, 128, 1, [](UINT, UINT x, UINT y) {
    // Glyph-like: mostly empty, with solid and soft strokes.
    const uint32_t n = Noise(y * 128 + x, 6);
    return (n & 3) == 0 ? 0u : (n & 4 ? 255u : (n >> 8) & 0xFF);
  });
  r.alphaMap = MakeTexture(D3DFMT_A8, 37, 23, 1, [](UINT, UINT x, UINT y) { return Noise(y * 37 + x, 7); });
  r.allPairs = MakeTexture(D3DFMT_A8R8G8B8, 256, 128, 1, [](UINT, UINT x, UINT y) {
    return (x << 24) | ((2 * y) << 16) | ((255 - 2 * y) << 8) | ((x ^ y) & 0xFF);
  });
  r.column = MakeTexture(D3DFMT_A8R8G8B8, 1, 16, 1, [](UINT, UINT, UINT y) { return Noise(y, 8); });
  r.row = MakeTexture(D3DFMT_A8R8G8B8, 16, 1, 1, [](UINT, UINT x, UINT) { return Noise(x, 9); });
  r.color = MakeShader(ColorProgram());
  r.texture = MakeShader(TextureProgram());
  r.interpreted = MakeShader(TexturePlusConstantProgram());
}

IDirect3DDevice9* D() { return Device(); }

void Blend(DWORD src, DWORD dst, DWORD op = D3DBLENDOP_ADD) {
  D()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  D()->SetRenderState(D3DRS_SRCBLEND, src);
  D()->SetRenderState(D3DRS_DESTBLEND, dst);
  D()->SetRenderState(D3DRS_BLENDOP, op);
}

void Linear(DWORD address = D3DTADDRESS_WRAP) {
  for (DWORD s : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER})
    D()->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(s), D3DTEXF_LINEAR);
  D()->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  D()->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
  D()->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
}

void UseColorShader(float r, float g, float b, float a) {
  D()->SetPixelShader(R().color);
  SetConstant(0, r, g, b, a);
}

void UseTextureShader(IDirect3DTexture9* t, float r = 1, float g = 1, float b = 1, float a = 1) {
  D()->SetTexture(0, t);
  D()->SetPixelShader(R().texture);
  SetConstant(0, r, g, b, a);
}

void Screen(float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
  Fan(Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, u0, v0, u1, v1));
}

// Glyph-like rectangles: whole-pixel positions, one texel per pixel, some
// hanging off the edges of the target.
void Glyphs() {
  for (int i = 0; i < 40; ++i) {
    const int x = static_cast<int>(Noise(i, 10) % (kWidth + 40)) - 20;
    const int y = static_cast<int>(Noise(i, 11) % (kHeight + 40)) - 20;
    const int w = 3 + static_cast<int>(Noise(i, 12) % 40), h = 3 + static_cast<int>(Noise(i, 13) % 50);
    const int s = static_cast<int>(Noise(i, 14) % 80), t = static_cast<int>(Noise(i, 15) % 70);
    Fan(Rect(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + w),
             static_cast<float>(y + h), 0xFFFFFFFF, s / 128.0f, t / 128.0f, (s + w) / 128.0f,
             (t + h) / 128.0f));
  }
}

struct Case {
  const char* name;
  std::function<void()> draw;
  bool leavesFrame;  // the case is meant to change nothing (a clear fade, ZERO/ONE)
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&](const char* name, std::function<void()> draw, bool leavesFrame = false) {
    cases.push_back({name, draw, leavesFrame});
  };

  // Fades and flat colours.
  for (float alpha : {0.0f, 1.0f / 4000.0f, 0.25f, 0.5f, 0.999f, 1.0f}) {
    // Below half of 1/255, the overlay's alpha rounds to 0.
    add("black fade", [alpha] {
      Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
      UseColorShader(0, 0, 0, alpha);
      Screen();
    }, alpha < 0.5f / 255.0f);
  }
  add("coloured fade", [] {
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    UseColorShader(0.3f, 0.6f, 0.9f, 0.45f);
    Screen();
  });
  add("every alpha over the noise", [] {
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    for (int i = 0; i < 256; ++i) {
      UseColorShader(i / 255.0f, 1.0f - i / 255.0f, 0.5f, i / 255.0f);
      const float x = static_cast<float>((i % 16) * 16), y = static_cast<float>((i / 16) * 8);
      Fan(Rect(x, y, x + 15, y + 7));
    }
  });
  add("opaque colour", [] {
    UseColorShader(0.1f, 0.2f, 0.3f, 0.4f);
    Screen();
  });
  const DWORD factorPairs[][2] = {
      {D3DBLEND_ONE, D3DBLEND_ONE},          {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
      {D3DBLEND_BLENDFACTOR, D3DBLEND_INVBLENDFACTOR}, {D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR},
      {D3DBLEND_ONE, D3DBLEND_SRCALPHA},     {D3DBLEND_SRCALPHASAT, D3DBLEND_INVDESTALPHA},
      {D3DBLEND_ZERO, D3DBLEND_ONE},
  };
  for (const auto& f : factorPairs) {
    const DWORD src = f[0], dst = f[1];
    const bool keeps = src == D3DBLEND_ZERO && dst == D3DBLEND_ONE;
    add("constant colour blended", [src, dst] {
      D()->SetRenderState(D3DRS_BLENDFACTOR, 0x4080C0FF);
      Blend(src, dst);
      UseColorShader(0.7f, 0.2f, 0.9f, 0.6f);
      Screen();
    }, keeps);
    add("texture blended", [src, dst] {
      D()->SetRenderState(D3DRS_BLENDFACTOR, 0x4080C0FF);
      Blend(src, dst);
      Linear();
      UseTextureShader(R().picture);
      Screen(0.1f, 0.2f, 0.7f, 0.9f);
    }, keeps);
  }
  add("subtract and min", [] {
    Blend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT);
    UseColorShader(0.5f, 0.5f, 0.5f, 0.5f);
    Fan(Rect(0, 0, 100, 100));
    Blend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN);
    UseTextureShader(R().picture);
    Fan(Rect(90, 0, 257, 131, 0xFFFFFFFF, 0, 0, 1, 1));
  });
  add("constant colour behind some of the depth", [] {
    D()->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    UseColorShader(0.9f, 0.1f, 0.4f, 1.0f);
    Fan(Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0, 0, 1, 1, 0.5f));
  });
  add("depth rows known and forgotten", [] {
    // Clears and whole-row quads leave rows at one depth; partial clears,
    // sloping depth and the alpha test make them mixed again. Each later
    // quad meets rows of both kinds.
    IDirect3DDevice9* d = D();
    d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
    UseColorShader(0.9f, 0.1f, 0.4f, 1.0f);
    Fan(Rect(0, 10, kWidth, 40, 0xFFFFFFFF, 0, 0, 1, 1, 0.25f));
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    UseColorShader(0.1f, 0.9f, 0.4f, 1.0f);
    Fan(Rect(20, 0, 200, 60, 0xFFFFFFFF, 0, 0, 1, 1, 0.3f));
    const D3DRECT part = {50, 30, 90, 80};
    d->Clear(1, &part, D3DCLEAR_ZBUFFER, 0, 0.1f, 0);
    Fan(Rect(0, 20, kWidth, 90, 0xFFFFFFFF, 0, 0, 1, 1, 0.2f));
    Fan({V(0, 85, 0xFF00FFFF, 0, 0, 0.0f), V(257, 85, 0xFF00FFFF, 0, 0, 1.0f),
         V(257, 100, 0xFF00FFFF, 0, 0, 1.0f), V(0, 100, 0xFF00FFFF, 0, 0, 0.0f)});
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    D()->SetPixelShader(nullptr);
    D()->SetTexture(0, R().picture);
    D()->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Fan(Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0, 0, 1, 1, 0.4f));
    D()->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    D()->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    UseColorShader(0.5f, 0.5f, 0.5f, 1.0f);
    Fan(Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0, 0, 1, 1, 0.4f));
  });
  add("partial colour write mask", [] {
    D()->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_ALPHA);
    UseColorShader(0.9f, 0.1f, 0.4f, 1.0f);
    Fan(Rect(0, 0, 130, 131));
    Linear();
    UseTextureShader(R().picture);
    Fan(Rect(127, 0, 257, 131));
  });

  // Pictures: the verse wallpaper and its relatives.
  for (DWORD address : {D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_MIRRORONCE}) {
    add("wallpaper window", [address] {
      Linear(address);
      UseTextureShader(R().picture);
      Screen(0.25f + 1.0f / 300000.0f, 0.25f, 0.75f + 0.021f, 0.75f);
    });
    add("window across the texture's edges", [address] {
      Linear(address);
      UseTextureShader(R().picture, 0.8f, 0.6f, 1.0f, 0.5f);
      Screen(-0.3f, 0.8f, 1.4f, -0.2f);
    });
  }
  add("X8 picture tinted", [] {
    Linear();
    UseTextureShader(R().pictureX8, 0.5f, 1.0f, 0.25f, 1.0f);
    Screen(0.1f, 0.1f, 0.6f, 0.6f);
  });
  add("picture minified without mips", [] {
    Linear(D3DTADDRESS_CLAMP);
    UseTextureShader(R().picture);
    Fan(Rect(3.5f, 2.25f, 180.7f, 90.1f));
  });
  add("mip levels chosen per triangle", [] {
    Linear(D3DTADDRESS_WRAP);
    UseTextureShader(R().mipmapped);
    for (int i = 0; i < 6; ++i) {
      const float size = 70.0f / static_cast<float>(1 << i) + 1.3f;
      Fan(Rect(40.0f * i, 10, 40.0f * i + size, 10 + size));
    }
  });
  add("linear mip filter", [] {
    Linear(D3DTADDRESS_WRAP);
    D()->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    UseTextureShader(R().mipmapped);
    Fan(Rect(0, 0, 45.3f, 45.3f));
  });
  add("point sampled picture", [] {
    UseTextureShader(R().picture);
    Screen(0.05f, 0.9f, 0.95f, 0.1f);
  });
  add("turned half a turn", [] {
    Linear(D3DTADDRESS_CLAMP);
    UseTextureShader(R().picture);
    Fan(Rect(250.5f, 120.25f, 10.0f, 3.0f, 0xFFFFFFFF, 0.1f, 0.1f, 0.9f, 0.9f));
  });
  add("one-texel-wide and one-texel-high textures", [] {
    Linear(D3DTADDRESS_WRAP);
    UseTextureShader(R().column);
    Fan(Rect(0, 0, 128, 131, 0xFFFFFFFF, -0.5f, -0.5f, 1.5f, 1.5f));
    UseTextureShader(R().row);
    Fan(Rect(128, 0, 257, 131, 0xFFFFFFFF, -0.5f, -0.5f, 1.5f, 1.5f));
  });
  add("rotated picture (general path both ways)", [] {
    Linear();
    UseTextureShader(R().picture);
    Fan({V(30, 5, 0xFFFFFFFF, 0, 0), V(240, 40, 0xFFFFFFFF, 1, 0), V(200, 125, 0xFFFFFFFF, 1, 1),
         V(10, 100, 0xFFFFFFFF, 0, 1)});
  });

  // Text.
  add("glyphs added", [] {
    Linear();
    Blend(D3DBLEND_ONE, D3DBLEND_ONE);
    UseTextureShader(R().atlas);
    Glyphs();
  });
  add("glyphs in a colour", [] {
    Linear();
    Blend(D3DBLEND_ONE, D3DBLEND_ONE);
    UseTextureShader(R().atlas, 1.0f, 0.75f, 0.1f, 1.0f);
    Glyphs();
  });
  add("glyphs without blending", [] {
    Linear();
    UseTextureShader(R().atlas);
    Glyphs();
  });
  add("alpha map over the noise", [] {
    Linear(D3DTADDRESS_CLAMP);
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    UseTextureShader(R().alphaMap, 1.0f, 0.5f, 0.2f, 1.0f);
    Screen();
  });
  add("every source alpha against many colours", [] {
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    D()->SetTexture(0, R().allPairs);
    D()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Fan(Rect(0, 0, 256, 128));
  });

  // Fixed function, as the sprite and the loading screen draw.
  add("sprite-like label with alpha test", [] {
    Blend(D3DBLEND_ONE, D3DBLEND_ONE);
    D()->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    D()->SetRenderState(D3DRS_ALPHAREF, 0x40);
    D()->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    D()->SetTexture(0, R().picture);
    D()->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Fan(Rect(20, 10, 220, 120, 0xC0FF8040));
  });
  add("sprite-like label alpha blended", [] {
    Linear(D3DTADDRESS_CLAMP);
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    D()->SetTexture(0, R().picture);
    D()->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Fan(Rect(20.5f, 10.5f, 220.5f, 120.5f, 0xFFFFFFFF, 0.2f, 0.2f, 0.8f, 0.8f));
  });
  add("loading-screen rectangles", [] {
    Fan(Rect(10, 60, 247, 75, 0xFFFFFFFF));
    Fan(Rect(12, 62, 150, 73, 0x00000000));
  });
  add("Gouraud colours", [] {
    Fan({V(0, 0, 0xFF0000FF), V(257, 0, 0x8000FF00), V(257, 131, 0x40FF0000), V(0, 131, 0x00FFFFFF)});
  });

  // Depth and the rest.
  add("depth sloping across the picture", [] {
    Linear();
    D()->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    UseTextureShader(R().picture);
    Fan({V(0, 0, 0xFFFFFFFF, 0, 0, 0.0f), V(257, 0, 0xFFFFFFFF, 1, 0, 1.0f),
         V(257, 131, 0xFFFFFFFF, 1, 1, 0.3f), V(0, 131, 0xFFFFFFFF, 0, 1, 0.7f)});
  });
  add("interpreted shader", [] {
    Linear();
    D()->SetTexture(0, R().picture);
    D()->SetPixelShader(R().interpreted);
    SetConstant(0, 0.1f, -0.2f, 0.3f, 0.0f);
    Screen(0.2f, 0.3f, 0.6f, 0.7f);
  });
  add("random triangles", [] {
    Linear();
    UseTextureShader(R().picture, 1.0f, 0.9f, 0.8f, 1.0f);
    D()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    std::vector<Vertex> v;
    for (uint32_t i = 0; i < 60; ++i)
      v.push_back(V(Unit(i, 20) * 300 - 20, Unit(i, 21) * 170 - 20, 0xFFFFFFFF, Unit(i, 22), Unit(i, 23)));
    Draw(D3DPT_TRIANGLELIST, 20, v);
  });
  return cases;
}

struct Buffers {
  std::vector<DWORD> color;
  std::vector<uint32_t> depth;
};

enum class Path { kGeneral, kSse2, kAvx2 };

Buffers Render(const Case& c, Path path) {
  standin::SetRasterFastPaths(path != Path::kGeneral);
  standin::SetRasterAvx2(path == Path::kAvx2);
  Reset();
  FillNoise();
  c.draw();
  standin::SetRasterFastPaths(true);
  standin::SetRasterAvx2(true);
  return Buffers{Internal().backBuffer, Internal().depthBuffer};
}

std::string Hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

void Compare(Path path, const char* pathName) {
  MakeResources();
  Reset();
  FillNoise();
  const std::vector<DWORD> noise = Internal().backBuffer;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(pathName);
    const Buffers fast = Render(c, path);
    const Buffers general = Render(c, Path::kGeneral);
    size_t changed = 0;
    for (size_t i = 0; i < noise.size(); ++i) changed += fast.color[i] != noise[i];
    if (c.leavesFrame)
      EXPECT_EQ(changed, 0u) << c.name << ": the case was meant to leave the frame alone";
    else
      EXPECT_GT(changed, 0u) << c.name << ": the case draws nothing";
    size_t colorDiffs = 0, depthDiffs = 0, first = SIZE_MAX;
    for (size_t i = 0; i < fast.color.size(); ++i) {
      const bool differs = fast.color[i] != general.color[i] || fast.depth[i] != general.depth[i];
      colorDiffs += fast.color[i] != general.color[i];
      depthDiffs += fast.depth[i] != general.depth[i];
      if (differs && first == SIZE_MAX) first = i;
    }
    if (first != SIZE_MAX) {
      ADD_FAILURE() << c.name << ": " << colorDiffs << " colours and " << depthDiffs
                    << " depths differ; first at (" << first % kWidth << ", " << first / kWidth
                    << "): specialised " << Hex(fast.color[first]) << "/" << Hex(fast.depth[first])
                    << ", general " << Hex(general.color[first]) << "/" << Hex(general.depth[first]);
    }
  }
}

TEST(SpecialisedLoops, Sse2GivesTheSameBytesAsTheGeneralPath) { Compare(Path::kSse2, "SSE2"); }

TEST(SpecialisedLoops, Avx2GivesTheSameBytesAsTheGeneralPath) {
  if (!standin::RasterHasAvx2()) GTEST_SKIP() << "the processor has no AVX2";
  Compare(Path::kAvx2, "AVX2");
}

}  // namespace
