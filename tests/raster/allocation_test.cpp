// Drawing allocates nothing, counted by the replaced malloc family of
// support/counting_malloc.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "d3d9/raster.h"
#include "support/counting_malloc.h"
#include "support/raster_device.h"

namespace {
// Keeps the compiler from eliding the allocations the counter is tested on.
void* volatile g_sink = nullptr;
}  // namespace

using namespace rastertest;

namespace {

class Environment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(RasterDevice::Start(640, 360)); }
};
const testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new Environment);

TEST(Allocation, TheCounterSeesAllocations) {
  const size_t seen = countingmalloc::During([] {
    int* p = new int(7);
    g_sink = p;
    delete p;
    void* q = malloc(32);
    g_sink = q;
    free(q);
  });
  EXPECT_EQ(seen, 2u);
}

TEST(Allocation, DrawCallsAllocateNothing) {
  IDirect3DDevice9* d = Device();
  Reset();
  // Everything a frame needs is made before counting starts.
  IDirect3DTexture9* picture = MakeTexture(D3DFMT_X8R8G8B8, 512, 512, 1, [](UINT, UINT x, UINT y) {
    return (x * 7) ^ (y * 13);
  });
  IDirect3DTexture9* atlas = MakeTexture(D3DFMT_L8, 256, 256, 1, [](UINT, UINT x, UINT y) {
    return (x + y) & 0xFF;
  });
  IDirect3DTexture9* sprite = MakeTexture(D3DFMT_A8R8G8B8, 64, 64, 0, [](UINT, UINT x, UINT y) {
    return ((x ^ y) << 24) | 0xFFFFFF;
  });
  IDirect3DPixelShader9* color = MakeShader(ColorProgram());
  IDirect3DPixelShader9* texture = MakeShader(TextureProgram());
  IDirect3DPixelShader9* interpreted = MakeShader(TexturePlusConstantProgram());
  ASSERT_TRUE(picture && atlas && sprite && color && texture && interpreted);
  const std::vector<Vertex> screen = Rect(0, 0, 640, 360, 0xFFFFFFFF, 0.25f, 0.25f, 0.75f, 0.75f);
  std::vector<std::vector<Vertex>> glyphs;
  for (int i = 0; i < 20; ++i)
    glyphs.push_back(Rect(10.0f + 30 * i, 50, 40.0f + 30 * i, 95, 0xFFFFFFFF, i / 256.0f, 0,
                          (i + 30) / 256.0f, 45 / 256.0f));
  const std::vector<Vertex> bar = Rect(10, 300, 600, 320, 0xFFFFFFFF);
  const std::vector<Vertex> label = Rect(400, 100, 464, 164, 0xFFFFFFFF);
  const std::vector<Vertex> turned = {V(100, 10, 0xFF102030, 0, 0), V(300, 60, 0xFF405060, 1, 0),
                                      V(250, 300, 0xFF708090, 1, 1), V(60, 250, 0xFFA0B0C0, 0, 1)};
  const std::vector<Vertex> perspective = {V(0, 0, 0xFFFFFFFF, 0, 0, 0.1f, 1.0f),
                                           V(300, 0, 0xFFFFFFFF, 1, 0, 0.9f, 0.25f),
                                           V(300, 200, 0xFFFFFFFF, 1, 1, 0.9f, 0.25f)};

  auto frame = [&] {
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    d->SetFVF(kVertexFvf);
    // Loading-screen rectangles: no shader, no texture.
    d->SetPixelShader(nullptr);
    d->SetTexture(0, nullptr);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, bar.data(), sizeof(Vertex));
    // Wallpaper through the texture shader.
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    d->SetTexture(0, picture);
    d->SetPixelShader(texture);
    SetConstant(0, 1, 1, 1, 1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, screen.data(), sizeof(Vertex));
    // Glyphs added from the atlas, in two colours.
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    d->SetTexture(0, atlas);
    for (size_t i = 0; i < glyphs.size(); ++i) {
      SetConstant(0, 1, i % 2 ? 0.5f : 1.0f, 1, 1);
      d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, glyphs[i].data(), sizeof(Vertex));
    }
    // A sprite-like label: fixed function, alpha test.
    d->SetPixelShader(nullptr);
    d->SetTexture(0, sprite);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, label.data(), sizeof(Vertex));
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    // Turned, Gouraud-shaded, perspective and interpreted draws.
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, turned.data(), sizeof(Vertex));
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, perspective.data(), sizeof(Vertex));
    d->SetPixelShader(interpreted);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, turned.data(), sizeof(Vertex));
    // The fade.
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetPixelShader(color);
    SetConstant(0, 0, 0, 0, 0.4f);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, screen.data(), sizeof(Vertex));
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->EndScene();
  };

  for (bool fast : {true, false}) {
    standin::SetRasterFastPaths(fast);
    EXPECT_EQ(countingmalloc::During(frame), 0u) << (fast ? "specialised loops" : "general path");
  }
  standin::SetRasterFastPaths(true);
  d->SetPixelShader(nullptr);
  d->SetTexture(0, nullptr);
  for (IUnknown* o : std::initializer_list<IUnknown*>{picture, atlas, sprite, color, texture, interpreted})
    o->Release();
}

}  // namespace
