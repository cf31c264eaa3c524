// The stand-in rasteriser against Direct3D 9's rules, each case with its
// expected pixels worked out by hand. Every case runs twice: through the
// specialised span loops and through the general per-pixel path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "d3d9/device.h"
#include "d3d9/raster.h"
#include "support/raster_device.h"

using namespace rastertest;

namespace {

constexpr UINT kWidth = 16;
constexpr UINT kHeight = 12;

class Environment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(RasterDevice::Start(kWidth, kHeight)); }
};
const testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new Environment);

std::string Hex(DWORD v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

// The covered pixels of a frame drawn in white over black, as rows of '#'
// and '.', for comparing coverage with a picture.
std::vector<std::string> Coverage(int columns, int rows) {
  std::vector<std::string> out;
  for (int y = 0; y < rows; ++y) {
    std::string row;
    for (int x = 0; x < columns; ++x) row += (Pixel(x, y) & 0x00FFFFFF) ? '#' : '.';
    out.push_back(row);
  }
  return out;
}

standin::Device& Internal() { return *static_cast<standin::Device*>(Device()); }

uint32_t DepthAt(int x, int y) { return Internal().depthBuffer[static_cast<size_t>(y) * kWidth + x]; }

// Every test runs through the specialised loops (with the best vector
// instructions the processor has, and with SSE2 alone) and through the
// general path.
enum class Path { kSpecialised, kSpecialisedSse2, kGeneral };

class Raster : public testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    standin::SetRasterFastPaths(GetParam() != Path::kGeneral);
    standin::SetRasterAvx2(GetParam() != Path::kSpecialisedSse2);
    Reset();
  }
  void TearDown() override {
    standin::SetRasterFastPaths(true);
    standin::SetRasterAvx2(true);
  }
};

INSTANTIATE_TEST_SUITE_P(Paths, Raster,
                         testing::Values(Path::kSpecialised, Path::kSpecialisedSse2, Path::kGeneral),
                         [](const testing::TestParamInfo<Path>& info) {
                           switch (info.param) {
                             case Path::kSpecialised: return "Specialised";
                             case Path::kSpecialisedSse2: return "SpecialisedSse2";
                             default: return "General";
                           }
                         });

// --- Coverage ------------------------------------------------------------------

TEST_P(Raster, IntegerRectangleCoversLeftAndTopEdgesOnly) {
  Fan(Rect(1, 1, 4, 3));
  EXPECT_EQ(Coverage(6, 5), (std::vector<std::string>{
                                "......",
                                ".###..",
                                ".###..",
                                "......",
                                "......",
                            }));
}

TEST_P(Raster, FractionalEdgesCoverTheCentresInside) {
  struct Case {
    float left, right;
    const char* row;
  } cases[] = {
      {0.5f, 2.5f, ".##..."},   // centres 1 and 2 lie inside
      {0.4f, 2.6f, ".##..."},
      {0.6f, 1.4f, ".#...."},
      {1.9f, 2.1f, "..#..."},   // a fifth of a pixel wide, over a centre
      {1.1f, 1.9f, "......"},   // between two centres
      {-0.5f, 0.5f, "#....."},  // left of the target, clipped
      {1.0f, 1.0f, "......"},   // zero width
  };
  for (const Case& c : cases) {
    Reset();
    Fan(Rect(c.left, 0.0f, c.right, 1.0f));
    EXPECT_EQ(Coverage(6, 1)[0], c.row) << c.left << " to " << c.right;
  }
}

TEST_P(Raster, ZeroHeightRectangleDrawsNothing) {
  Fan(Rect(1, 2, 5, 2));
  EXPECT_EQ(Coverage(6, 4), (std::vector<std::string>(4, "......")));
}

TEST_P(Raster, SharedEdgesAreDrawnOnce) {
  // Two rectangles meeting at x = 2 and the diagonal inside each fan, added
  // with ONE/ONE: a pixel drawn twice would read 0x80.
  IDirect3DDevice9* d = Device();
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRS_ZENABLE, FALSE);
  Fan(Rect(0, 0, 2.0f, 3.5f, 0xFF404040));
  Fan(Rect(2.0f, 0, 4.5f, 3.5f, 0xFF404040));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(x, y), 0xFF404040u) << x << "," << y;
  EXPECT_EQ(Pixel(5, 0), 0u);
  EXPECT_EQ(Pixel(0, 4), 0u);
}

TEST_P(Raster, TriangleKeepsTopAndLeftEdgesButNotItsSlope) {
  // (0,0) (4,0) (0,4): the centres with x + y = 4 lie on the sloped right
  // edge and stay out; those on the top and left edges are in.
  Draw(D3DPT_TRIANGLELIST, 1, {V(0, 0), V(4, 0), V(0, 4)});
  EXPECT_EQ(Coverage(6, 5), (std::vector<std::string>{
                                "####..",
                                "###...",
                                "##....",
                                "#.....",
                                "......",
                            }));
}

TEST_P(Raster, ListStripAndFanOfTheSameQuadCoverTheSame) {
  const std::vector<Vertex> fan = Rect(1.5f, 0.5f, 4.5f, 2.5f);
  Fan(fan);
  const std::vector<std::string> expected = Coverage(6, 4);
  Reset();
  Draw(D3DPT_TRIANGLELIST, 2, {fan[0], fan[1], fan[2], fan[0], fan[2], fan[3]});
  EXPECT_EQ(Coverage(6, 4), expected);
  Reset();
  Draw(D3DPT_TRIANGLESTRIP, 2, {fan[0], fan[1], fan[3], fan[2]});
  EXPECT_EQ(Coverage(6, 4), expected);
  EXPECT_EQ(expected[1], "..###.");
}

TEST_P(Raster, ViewportAndTargetClip) {
  D3DVIEWPORT9 vp = {2, 1, 3, 2, 0.0f, 1.0f};
  ASSERT_EQ(Device()->SetViewport(&vp), D3D_OK);
  Fan(Rect(-100, -100, 100, 100));
  EXPECT_EQ(Coverage(7, 4), (std::vector<std::string>{
                                ".......",
                                "..###..",
                                "..###..",
                                ".......",
                            }));
}

// --- Culling --------------------------------------------------------------------

TEST_P(Raster, CullingKeepsClockwiseByDefault) {
  struct Case {
    DWORD cull;
    bool flipX, flipY;
    bool drawn;
  } cases[] = {
      {D3DCULL_CCW, false, false, true},   // the show's quads: clockwise
      {D3DCULL_CCW, true, false, false},   // right edge left of the left: counter-clockwise
      {D3DCULL_CCW, false, true, false},
      {D3DCULL_CCW, true, true, true},     // turned by half a turn: clockwise again
      {D3DCULL_CW, false, false, false},
      {D3DCULL_CW, true, false, true},
      {D3DCULL_NONE, true, false, true},
      {D3DCULL_NONE, false, false, true},
  };
  for (const Case& c : cases) {
    Reset();
    Device()->SetRenderState(D3DRS_CULLMODE, c.cull);
    const float l = c.flipX ? 4.0f : 1.0f, r = c.flipX ? 1.0f : 4.0f;
    const float t = c.flipY ? 3.0f : 1.0f, b = c.flipY ? 1.0f : 3.0f;
    Fan(Rect(l, t, r, b));
    EXPECT_EQ(Pixel(2, 2) == 0xFFFFFFFF, c.drawn)
        << "cull " << c.cull << " flipX " << c.flipX << " flipY " << c.flipY;
  }
}

TEST_P(Raster, QuadFlippedBothWaysShowsItsTextureTurnedHalfATurn) {
  // A 2 x 2 texture drawn 1:1 with texel centres on pixel centres.
  const DWORD texels[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF};
  IDirect3DTexture9* t = MakeTexture(D3DFMT_A8R8G8B8, 2, 2, 1, [&](UINT, UINT x, UINT y) {
    return texels[y * 2 + x];
  });
  ASSERT_NE(t, nullptr);
  Device()->SetTexture(0, t);
  Fan(Rect(1.5f, 1.5f, -0.5f, -0.5f));  // right-to-left and bottom-to-top
  EXPECT_EQ(Pixel(0, 0), texels[3]);
  EXPECT_EQ(Pixel(1, 0), texels[2]);
  EXPECT_EQ(Pixel(0, 1), texels[1]);
  EXPECT_EQ(Pixel(1, 1), texels[0]);
  Device()->SetTexture(0, nullptr);
  t->Release();
}

// --- Interpolation ------------------------------------------------------------

TEST_P(Raster, ColoursInterpolateAtPixelCentres) {
  // Red from 0 at x = 0 to 255 at x = 4: centres at x/4 of the way.
  Fan({V(0, 0, 0xFF000000), V(4, 0, 0xFFFF0000), V(4, 1, 0xFFFF0000), V(0, 1, 0xFF000000)});
  EXPECT_EQ(Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(1, 0), 0xFF400000u);  // 63.75 rounds to 64
  EXPECT_EQ(Pixel(2, 0), 0xFF800000u);  // 127.5 rounds to 128
  EXPECT_EQ(Pixel(3, 0), 0xFFBF0000u);  // 191.25 rounds to 191
}

TEST_P(Raster, PerspectiveDividesByRhw) {
  // rhw 1 on the left, 0.5 on the right: halfway across the screen the
  // colour is (0 * 1 + 255 * 0.5) / (1 + 0.5) * 0.5 ... = 255 / 3 = 85.
  Fan({V(0, 0, 0xFF000000, 0, 0, 0, 1.0f), V(4, 0, 0xFFFF0000, 0, 0, 0, 0.5f),
       V(4, 1, 0xFFFF0000, 0, 0, 0, 0.5f), V(0, 1, 0xFF000000, 0, 0, 0, 1.0f)});
  EXPECT_EQ(Pixel(2, 0), 0xFF550000u);
}

TEST_P(Raster, FlatShadingTakesTheFirstVertexOfEachTriangle) {
  // Fan triangle i is (v[i+1], v[i+2], v[0]): its colour is v[i+1]'s.
  Device()->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  Fan({V(0, 0, 0xFF0000FF), V(4, 0, 0xFF00FF00), V(4, 4, 0xFFFF0000), V(0, 4, 0xFFFFFFFF)});
  EXPECT_EQ(Pixel(3, 1), 0xFF00FF00u);  // triangle (v1, v2, v0)
  EXPECT_EQ(Pixel(1, 3), 0xFFFF0000u);  // triangle (v2, v3, v0)
}

TEST_P(Raster, StrideIsHonoured) {
  struct Padded {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    DWORD junk[5];
  };
  const Padded v[4] = {{1, 1, 0, 1, 0xFF123456, {~0u, ~0u, ~0u, ~0u, ~0u}},
                       {3, 1, 0, 1, 0xFF123456, {~0u, ~0u, ~0u, ~0u, ~0u}},
                       {3, 3, 0, 1, 0xFF123456, {~0u, ~0u, ~0u, ~0u, ~0u}},
                       {1, 3, 0, 1, 0xFF123456, {~0u, ~0u, ~0u, ~0u, ~0u}}};
  IDirect3DDevice9* d = Device();
  d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  d->BeginScene();
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Padded)), D3D_OK);
  d->EndScene();
  EXPECT_EQ(Pixel(1, 1), 0xFF123456u);
  EXPECT_EQ(Pixel(2, 2), 0xFF123456u);
  EXPECT_EQ(Pixel(3, 3), 0u);
}

// --- Textures -------------------------------------------------------------------

// A 2 x 2 texture whose four texels average to (60, 35, 25) exactly:
//   A (200, 0, 0)   B (0, 100, 0)
//   C (0, 0, 60)    D (40, 40, 40)
IDirect3DTexture9* QuadTexture(D3DFORMAT format = D3DFMT_A8R8G8B8) {
  const DWORD texels[4] = {0xFFC80000, 0xFF006400, 0xFF00003C, 0xFF282828};
  return MakeTexture(format, 2, 2, 1, [&](UINT, UINT x, UINT y) { return texels[y * 2 + x]; });
}

void Bilinear() {
  Device()->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  Device()->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
}

TEST_P(Raster, BilinearAtTexelCentresReadsTheTexels) {
  IDirect3DTexture9* t = QuadTexture();
  Device()->SetTexture(0, t);
  Bilinear();
  // Moved half a pixel up and left, pixel centres fall on texel centres.
  Fan(Rect(-0.5f, -0.5f, 1.5f, 1.5f));
  EXPECT_EQ(Pixel(0, 0), 0xFFC80000u);
  EXPECT_EQ(Pixel(1, 0), 0xFF006400u);
  EXPECT_EQ(Pixel(0, 1), 0xFF00003Cu);
  EXPECT_EQ(Pixel(1, 1), 0xFF282828u);
  Device()->SetTexture(0, nullptr);
  t->Release();
}

TEST_P(Raster, BilinearOnTexelEdgesClampAgainstWrap) {
  // Drawn at whole pixels, pixel (0, 0) samples u = v = 0: half a texel
  // before texel 0's centre. Wrapping it blends texel 1 (the far side) with
  // texel 0 in both directions, the mean of all four; clamping reads A.
  // Pixel (1, 1) samples the middle of the texture: the mean either way.
  IDirect3DTexture9* t = QuadTexture();
  Device()->SetTexture(0, t);
  struct Case {
    DWORD address;
    DWORD corner;
  } cases[] = {{D3DTADDRESS_WRAP, 0xFF3C2319}, {D3DTADDRESS_CLAMP, 0xFFC80000},
               {D3DTADDRESS_MIRROR, 0xFFC80000}};
  for (const Case& c : cases) {
    Reset();
    Device()->SetTexture(0, t);
    Bilinear();
    Device()->SetSamplerState(0, D3DSAMP_ADDRESSU, c.address);
    Device()->SetSamplerState(0, D3DSAMP_ADDRESSV, c.address);
    Fan(Rect(0, 0, 2, 2));
    EXPECT_EQ(Hex(Pixel(0, 0)), Hex(c.corner)) << "address mode " << c.address;
    EXPECT_EQ(Hex(Pixel(1, 1)), Hex(0xFF3C2319)) << "address mode " << c.address;
  }
  Device()->SetTexture(0, nullptr);
  t->Release();
}

TEST_P(Raster, BilinearWeightsInQuarters) {
  // One black and one white texel magnified four times, half a pixel to the
  // left: centres at 1/8, 3/8, 5/8, 7/8 of the texture sit at -0.25, 0.25,
  // 0.75, 1.25 texels from texel 0's centre; clamped, that is 0,
  // 64 (63.75), 191 (191.25), 255.
  IDirect3DTexture9* t = MakeTexture(D3DFMT_A8R8G8B8, 2, 1, 1, [](UINT, UINT x, UINT) {
    return x ? 0xFFFFFFFFu : 0xFF000000u;
  });
  Device()->SetTexture(0, t);
  Bilinear();
  Device()->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  Fan(Rect(-0.5f, 0, 3.5f, 1));
  EXPECT_EQ(Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(1, 0), 0xFF404040u);
  EXPECT_EQ(Pixel(2, 0), 0xFFBFBFBFu);
  EXPECT_EQ(Pixel(3, 0), 0xFFFFFFFFu);
  Device()->SetTexture(0, nullptr);
  t->Release();
}

TEST_P(Raster, PointSamplingPicksTheTexelUnderTheCentre) {
  IDirect3DTexture9* t = QuadTexture();
  Device()->SetTexture(0, t);
  // Two pixels per texel: u = x / 4 at centre x, texel floor(u * 2).
  Fan(Rect(0, 0, 4, 4));
  EXPECT_EQ(Pixel(1, 1), 0xFFC80000u);
  EXPECT_EQ(Pixel(2, 1), 0xFF006400u);
  EXPECT_EQ(Pixel(1, 2), 0xFF00003Cu);
  EXPECT_EQ(Pixel(3, 3), 0xFF282828u);
  Device()->SetTexture(0, nullptr);
  t->Release();
}

TEST_P(Raster, TextureFormatsExpandAsDirect3DReadsThem) {
  struct Case {
    D3DFORMAT format;
    DWORD texel;
    DWORD expected;
  } cases[] = {
      {D3DFMT_A8R8G8B8, 0x80402010, 0x80402010},
      {D3DFMT_X8R8G8B8, 0x00402010, 0xFF402010},  // alpha reads 1
      {D3DFMT_L8, 0x64, 0xFF646464},              // (L, L, L, 1)
      {D3DFMT_A8, 0x64, 0x64000000},              // (0, 0, 0, A)
  };
  for (const Case& c : cases) {
    Reset();
    IDirect3DTexture9* t = MakeTexture(c.format, 1, 1, 1, [&](UINT, UINT, UINT) { return c.texel; });
    ASSERT_NE(t, nullptr);
    Device()->SetTexture(0, t);
    // Colour and alpha straight from the texture.
    Device()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Fan(Rect(0, 0, 2, 2));
    EXPECT_EQ(Hex(Pixel(1, 1)), Hex(c.expected)) << "format " << c.format;
    Device()->SetTexture(0, nullptr);
    t->Release();
  }
}

TEST_P(Raster, LuminanceThroughTheTextureShader) {
  IDirect3DTexture9* t = MakeTexture(D3DFMT_L8, 1, 1, 1, [](UINT, UINT, UINT) { return 100u; });
  IDirect3DPixelShader9* ps = MakeShader(TextureProgram());
  ASSERT_NE(ps, nullptr);
  Device()->SetTexture(0, t);
  Device()->SetPixelShader(ps);
  SetConstant(0, 1.0f, 0.5f, 0.25f, 1.0f);
  Fan(Rect(0, 0, 2, 2));
  // (100, 100, 100, 255) times (1, 0.5, 0.25, 1).
  EXPECT_EQ(Hex(Pixel(0, 0)), Hex(0xFF643219));
  Device()->SetPixelShader(nullptr);
  Device()->SetTexture(0, nullptr);
  ps->Release();
  t->Release();
}

TEST_P(Raster, ShaderReadingAnEmptyStageGetsOpaqueBlack) {
  IDirect3DPixelShader9* ps = MakeShader(TextureProgram());
  Device()->SetPixelShader(ps);
  SetConstant(0, 1.0f, 1.0f, 1.0f, 1.0f);
  Device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1.0f, 0);
  Fan(Rect(0, 0, 2, 2));
  EXPECT_EQ(Pixel(0, 0), 0xFF000000u);
  Device()->SetPixelShader(nullptr);
  ps->Release();
}

TEST_P(Raster, ColorShaderPaintsItsConstantWhateverTheTexture) {
  IDirect3DTexture9* t = QuadTexture();
  IDirect3DPixelShader9* ps = MakeShader(ColorProgram());
  Device()->SetTexture(0, t);
  Device()->SetPixelShader(ps);
  SetConstant(0, 0.2f, 0.4f, 0.6f, 0.8f);
  Fan(Rect(0, 0, 2, 2, 0xFFFFFFFF));
  // 0.2 * 255 + 0.5 = 51.5, 0.4 -> 102.5, 0.6 -> 153.5, 0.8 -> 204.5.
  EXPECT_EQ(Hex(Pixel(1, 1)), Hex(0xCC336699));
  Device()->SetPixelShader(nullptr);
  Device()->SetTexture(0, nullptr);
  ps->Release();
  t->Release();
}

TEST_P(Raster, ShaderOutputIsClampedBeforeRounding) {
  IDirect3DPixelShader9* ps = MakeShader(ColorProgram());
  Device()->SetPixelShader(ps);
  SetConstant(0, 2.0f, -1.0f, 0.5f, 1.5f);
  Fan(Rect(0, 0, 2, 2));
  EXPECT_EQ(Hex(Pixel(0, 0)), Hex(0xFFFF0080));
  Device()->SetPixelShader(nullptr);
  ps->Release();
}

// --- Mip levels -------------------------------------------------------------------

// Levels of an 8 x 8 texture in one colour each: red, green, blue, white.
IDirect3DTexture9* LevelTexture() {
  const DWORD colors[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  return MakeTexture(D3DFMT_A8R8G8B8, 8, 8, 4, [&](UINT level, UINT, UINT) { return colors[level]; });
}

TEST_P(Raster, MipLevelFollowsTheScreenSize) {
  struct Case {
    float size;  // on screen, for the whole texture
    DWORD mipFilter;
    DWORD maxMipLevel;
    float lodBias;
    DWORD expected;
    const char* what;
  } cases[] = {
      {8, D3DTEXF_POINT, 0, 0.0f, 0xFFFF0000, "1:1 reads level 0"},
      {4, D3DTEXF_POINT, 0, 0.0f, 0xFF00FF00, "half size reads level 1"},
      {2, D3DTEXF_POINT, 0, 0.0f, 0xFF0000FF, "quarter size reads level 2"},
      {16, D3DTEXF_POINT, 0, 0.0f, 0xFFFF0000, "magnified reads level 0"},
      {4, D3DTEXF_NONE, 0, 0.0f, 0xFFFF0000, "no mipmapping reads level 0"},
      {8, D3DTEXF_POINT, 1, 0.0f, 0xFF00FF00, "MAXMIPLEVEL 1 caps the detail"},
      {8, D3DTEXF_POINT, 0, 1.0f, 0xFF00FF00, "a bias of one level"},
      {6, D3DTEXF_POINT, 0, 0.0f, 0xFFFF0000, "lod 0.415 rounds down"},
      {5, D3DTEXF_POINT, 0, 0.0f, 0xFF00FF00, "lod 0.678 rounds up"},
      // lod exactly 0.5 between red and green: each at 128/256.
      {8.0f / 1.41421356f, D3DTEXF_LINEAR, 0, 0.0f, 0xFF808000, "linear mip halfway"},
  };
  IDirect3DTexture9* t = LevelTexture();
  for (const Case& c : cases) {
    Reset();
    Device()->SetTexture(0, t);
    Device()->SetSamplerState(0, D3DSAMP_MIPFILTER, c.mipFilter);
    Device()->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, c.maxMipLevel);
    DWORD bias;
    memcpy(&bias, &c.lodBias, 4);
    Device()->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, bias);
    Fan(Rect(0, 0, c.size, c.size));
    EXPECT_EQ(Hex(Pixel(1, 1)), Hex(c.expected)) << c.what;
  }
  Device()->SetTexture(0, nullptr);
  t->Release();
}

// --- Blending --------------------------------------------------------------------

// Source 0x80FF4000 (a 128, r 255, g 64, b 0) over 0xFF0080FF (a 255, r 0,
// g 128, b 255); each channel is round((s * fs + d * fd) / 255).
struct BlendCase {
  DWORD src, dst, op;
  DWORD expected;
  const char* arithmetic;
};

const BlendCase kBlendCases[] = {
    {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x80FF4000, "the source"},
    {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF0080FF, "the target"},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFFFFC0FF, "sums, saturated"},
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0xBF80607F,
     "g (64*128 + 128*127)/255 = 95.9, a (128*128 + 255*127)/255 = 191.3"},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40FF1000, "g 64*64/255 = 16.1"},
    {D3DBLEND_INVSRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40003000,
     "g 64*191/255 = 47.9, a 128*127/255 = 63.7"},
    {D3DBLEND_ZERO, D3DBLEND_DESTCOLOR, D3DBLENDOP_ADD, 0xFF0040FF, "g 128*128/255 = 64.3"},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_ADD, 0x00004000, "g 128*127/255 = 63.7"},
    {D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x80FF4000, "target alpha is 1"},
    {D3DBLEND_INVDESTALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF0080FF, "target alpha is 1"},
    {D3DBLEND_ZERO, D3DBLEND_SRCALPHA, D3DBLENDOP_ADD, 0x80004080, "255*128/255 = 128"},
    {D3DBLEND_SRCALPHASAT, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF0080FF,
     "min(128, 255 - 255) = 0 for colour, 1 for alpha"},
    {D3DBLEND_BLENDFACTOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x40802000,
     "factor 0x80: r 255*128/255 = 128, g 64*128/255 = 32.1"},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, 0x00FF0000, "s - d, at least 0"},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0x7F0040FF, "d - s, at least 0"},
    {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN, 0x80004000, "smaller of each"},
    {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MAX, 0xFFFF80FF, "larger of each"},
};

// The source either as a vertex colour (one colour for the whole quad) or
// as a texture (a colour per pixel, through the textured span loops).
void DrawBlendCase(const BlendCase& c, bool fromTexture) {
  IDirect3DDevice9* d = Device();
  Reset(0xFF0080FF);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SRCBLEND, c.src);
  d->SetRenderState(D3DRS_DESTBLEND, c.dst);
  d->SetRenderState(D3DRS_BLENDOP, c.op);
  d->SetRenderState(D3DRS_BLENDFACTOR, 0x80808080);
  IDirect3DTexture9* t = nullptr;
  if (fromTexture) {
    t = MakeTexture(D3DFMT_A8R8G8B8, 2, 2, 1, [](UINT, UINT, UINT) { return 0x80FF4000u; });
    d->SetTexture(0, t);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  } else {
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
  }
  Fan(Rect(0, 0, 9, 2, 0x80FF4000));
  d->SetTexture(0, nullptr);
  if (t) t->Release();
}

TEST_P(Raster, BlendModesOfAVertexColour) {
  for (const BlendCase& c : kBlendCases) {
    DrawBlendCase(c, false);
    EXPECT_EQ(Hex(Pixel(0, 0)), Hex(c.expected)) << c.src << "/" << c.dst << ": " << c.arithmetic;
    EXPECT_EQ(Hex(Pixel(8, 1)), Hex(c.expected)) << c.src << "/" << c.dst << ": " << c.arithmetic;
  }
}

TEST_P(Raster, BlendModesOfATexture) {
  for (const BlendCase& c : kBlendCases) {
    DrawBlendCase(c, true);
    EXPECT_EQ(Hex(Pixel(0, 0)), Hex(c.expected)) << c.src << "/" << c.dst << ": " << c.arithmetic;
    EXPECT_EQ(Hex(Pixel(8, 1)), Hex(c.expected)) << c.src << "/" << c.dst << ": " << c.arithmetic;
  }
}

TEST_P(Raster, SeparateAlphaBlend) {
  IDirect3DDevice9* d = Device();
  Reset(0xFF0080FF);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  d->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ZERO);
  d->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
  Fan(Rect(0, 0, 2, 2, 0x80FF4000));
  EXPECT_EQ(Hex(Pixel(0, 0)), Hex(0xFFFF4000));  // colour replaced, alpha kept
}

TEST_P(Raster, ColorWriteMaskKeepsTheMaskedChannels) {
  Reset(0x11223344);
  Device()->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA);
  Fan(Rect(0, 0, 2, 2, 0xAABBCCDD));
  EXPECT_EQ(Hex(Pixel(0, 0)), Hex(0xFFBB3344));  // alpha 1 from the empty texture stage
}

// --- Alpha test and depth -----------------------------------------------------------

TEST_P(Raster, AlphaTestComparesTheEightBitOutputAlpha) {
  struct Case {
    DWORD func;
    DWORD alpha;
    bool drawn;
  } cases[] = {
      {D3DCMP_GREATER, 0x80, false}, {D3DCMP_GREATER, 0x81, true},
      {D3DCMP_GREATEREQUAL, 0x80, true}, {D3DCMP_LESS, 0x80, false},
      {D3DCMP_LESS, 0x7F, true}, {D3DCMP_EQUAL, 0x80, true},
      {D3DCMP_NOTEQUAL, 0x80, false}, {D3DCMP_NEVER, 0xFF, false},
      {D3DCMP_ALWAYS, 0x00, true},
  };
  for (const Case& c : cases) {
    Reset();
    IDirect3DDevice9* d = Device();
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAREF, 0x80);
    d->SetRenderState(D3DRS_ALPHAFUNC, c.func);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Fan(Rect(0, 0, 2, 2, (c.alpha << 24) | 0x00FFFFFF));
    EXPECT_EQ(Pixel(0, 0) != 0, c.drawn) << "func " << c.func << " alpha " << c.alpha;
    // A pixel the alpha test drops leaves the depth buffer alone.
    EXPECT_EQ(DepthAt(0, 0), c.drawn ? 0u : 0xFFFFFFu) << "func " << c.func;
  }
}

TEST_P(Raster, DepthTestAgainstTheQuantisedBuffer) {
  struct Case {
    float z;
    DWORD func;
    bool drawn;
  } cases[] = {
      {0.25f, D3DCMP_LESSEQUAL, true}, {0.75f, D3DCMP_LESSEQUAL, false},
      {0.5f, D3DCMP_LESSEQUAL, true},  // equal after quantising to 24 bits
      {0.5f, D3DCMP_LESS, false},      {0.75f, D3DCMP_GREATER, true},
      {0.5f, D3DCMP_EQUAL, true},      {0.25f, D3DCMP_NEVER, false},
  };
  for (const Case& c : cases) {
    Reset(0, 0.5f);
    Device()->SetRenderState(D3DRS_ZFUNC, c.func);
    Fan(Rect(0, 0, 2, 2, 0xFFFFFFFF, 0, 0, 1, 1, c.z));
    EXPECT_EQ(Pixel(0, 0) != 0, c.drawn) << "z " << c.z << " func " << c.func;
    const uint32_t expectedDepth =
        c.drawn ? static_cast<uint32_t>(c.z * 16777215.0f + 0.5f) : 0x800000u;
    EXPECT_EQ(DepthAt(1, 1), expectedDepth) << "z " << c.z << " func " << c.func;
  }
}

TEST_P(Raster, DepthWritesAndTestsCanBeSwitchedOff) {
  IDirect3DDevice9* d = Device();
  Reset(0, 0.5f);
  d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  Fan(Rect(0, 0, 2, 2, 0xFF0000FF, 0, 0, 1, 1, 0.25f));
  EXPECT_EQ(DepthAt(0, 0), 0x800000u);
  Fan(Rect(0, 0, 2, 2, 0xFF00FF00, 0, 0, 1, 1, 0.4f));  // still in front of 0.5
  EXPECT_EQ(Pixel(0, 0), 0xFF00FF00u);
  d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  Fan(Rect(0, 0, 2, 2, 0xFFFF0000, 0, 0, 1, 1, 0.9f));  // behind, but no test
  EXPECT_EQ(Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(DepthAt(0, 0), 0x800000u);  // and no write either
}

TEST_P(Raster, DepthInterpolatesAcrossTheTriangle) {
  // z = x / 8 at pixel centres against a buffer at 0.5: columns 0..4 pass
  // (column 4 is exactly 0.5), 5.. fail.
  Reset(0, 0.5f);
  Fan({V(0, 0, 0xFFFFFFFF, 0, 0, 0.0f), V(8, 0, 0xFFFFFFFF, 0, 0, 1.0f),
       V(8, 1, 0xFFFFFFFF, 0, 0, 1.0f), V(0, 1, 0xFFFFFFFF, 0, 0, 0.0f)});
  EXPECT_EQ(Coverage(8, 1)[0], "#####...");
  EXPECT_EQ(DepthAt(2, 0), static_cast<uint32_t>(0.25f * 16777215.0f + 0.5f));
}

// --- Fixed-function stages ------------------------------------------------------------

struct StageCase {
  const char* what;
  bool texture;  // stage 0 holds a 1 x 1 texture of 0x80804020
  DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  DWORD stage1ColorOp;  // stage 1: op (TFACTOR, CURRENT), TFACTOR 0xFF808080
  DWORD diffuse;
  DWORD expected;
};

const StageCase kStageCases[] = {
    {"defaults, no texture: the vertex colour, alpha from the empty stage (1)", false,
     D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
     D3DTA_CURRENT, D3DTOP_DISABLE, 0x00000000, 0xFF000000},
    {"defaults, no texture, white", false, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT,
     D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_DISABLE, 0xFFFFFFFF, 0xFFFFFFFF},
    {"defaults with a texture: texture times diffuse, alpha from the texture", true,
     D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
     D3DTA_CURRENT, D3DTOP_DISABLE, 0x00808080, 0x80402010},  // 128*128/255 = 64.3
    {"select the diffuse", true, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE,
     D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0x11223344, 0x11223344},
    {"add, saturated", true, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_ADD, D3DTA_TEXTURE,
     D3DTA_DIFFUSE, D3DTOP_DISABLE, 0x90908080, 0xFFFFC0A0},
    {"modulate 2x", true, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
     D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0xFF808080, 0x80814020},  // r 2*128*128/255 = 128.5, g 64.3
    {"complemented diffuse", true, D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT,
     D3DTA_TEXTURE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, D3DTA_TEXTURE,
     D3DTOP_DISABLE, 0x11223344, 0xEEDDCCBB},
    {"texture alpha replicated", true, D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE,
     D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, 0xFFFFFFFF,
     0x80808080},
    {"stage 1 modulates by the texture factor", true, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
     D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, 0xFFFFFFFF,
     0x80402010},  // 128*128/255 = 64.3, 64*128/255 = 32.1, 32*128/255 = 16.1
};

TEST_P(Raster, FixedFunctionStages) {
  for (const StageCase& c : kStageCases) {
    Reset();
    IDirect3DDevice9* d = Device();
    IDirect3DTexture9* t = nullptr;
    if (c.texture) {
      t = MakeTexture(D3DFMT_A8R8G8B8, 1, 1, 1, [](UINT, UINT, UINT) { return 0x80804020u; });
      d->SetTexture(0, t);
    }
    d->SetTextureStageState(0, D3DTSS_COLOROP, c.colorOp);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, c.colorArg1);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, c.colorArg2);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.alphaArg1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.alphaArg2);
    d->SetTextureStageState(1, D3DTSS_COLOROP, c.stage1ColorOp);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF808080);
    Fan(Rect(0, 0, 2, 2, c.diffuse));
    EXPECT_EQ(Hex(Pixel(1, 1)), Hex(c.expected)) << c.what;
    d->SetTexture(0, nullptr);
    if (t) t->Release();
  }
}

TEST_P(Raster, VertexWithoutDiffuseIsWhite) {
  struct TexturedOnly {
    float x, y, z, rhw, u, v;
  };
  IDirect3DTexture9* t = MakeTexture(D3DFMT_A8R8G8B8, 1, 1, 1, [](UINT, UINT, UINT) { return 0xFF336699u; });
  const TexturedOnly v[4] = {{0, 0, 0, 1, 0, 0}, {2, 0, 0, 1, 1, 0}, {2, 2, 0, 1, 1, 1}, {0, 2, 0, 1, 0, 1}};
  IDirect3DDevice9* d = Device();
  d->SetTexture(0, t);
  d->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  d->BeginScene();
  d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(TexturedOnly));
  d->EndScene();
  EXPECT_EQ(Pixel(0, 0), 0xFF336699u);  // texture times white
  d->SetTexture(0, nullptr);
  t->Release();
}

// --- The calls themselves -------------------------------------------------------------

TEST_P(Raster, BadDrawCallsAreRejectedAndDrawNothing) {
  IDirect3DDevice9* d = Device();
  const std::vector<Vertex> quad = Rect(0, 0, 4, 4);
  d->SetFVF(kVertexFvf);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), sizeof(Vertex)),
            D3DERR_INVALIDCALL)
      << "outside a scene";
  d->BeginScene();
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, nullptr, sizeof(Vertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), 20), D3DERR_INVALIDCALL)
      << "stride below the format's 28 bytes";
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_LINELIST, 1, quad.data(), sizeof(Vertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(99), 1, quad.data(), sizeof(Vertex)),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 0, quad.data(), sizeof(Vertex)), D3D_OK)
      << "nothing to draw is no error";
  d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), sizeof(Vertex)), D3DERR_INVALIDCALL)
      << "untransformed vertices";
  d->SetFVF(0);
  EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), sizeof(Vertex)), D3DERR_INVALIDCALL);
  d->EndScene();
  EXPECT_EQ(Coverage(4, 4), (std::vector<std::string>(4, "....")));
}

TEST_P(Raster, BrokenVerticesDrawNothingAndDoNotCrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<Vertex> cases[] = {
      {V(0, 0), V(nan, 0), V(4, 4)},
      {V(0, 0), V(inf, 0), V(4, 4)},
      {V(0, 0), V(4, 0), V(4, 4, 0xFFFFFFFF, 0, 0, 0, nan)},
      {V(-3e9f, 0), V(3e9f, 0), V(3e9f, 1e9f)},
      {V(0, 0), V(4, 0, 0xFFFFFFFF, 0, 0, 0, 1.0f), V(4, 4, 0xFFFFFFFF, 0, 0, 0, -1.0f)},
  };
  for (const std::vector<Vertex>& v : cases) {
    Reset();
    EXPECT_EQ(Draw(D3DPT_TRIANGLELIST, 1, v), D3D_OK);
    EXPECT_EQ(Coverage(6, 6), (std::vector<std::string>(6, "......")));
  }
  // Texture coordinates out of every range only pick odd texels.
  IDirect3DTexture9* t = QuadTexture();
  Device()->SetTexture(0, t);
  Bilinear();
  EXPECT_EQ(Fan(Rect(0, 0, 4, 4, 0xFFFFFFFF, nan, -inf, 1e30f, inf)), D3D_OK);
  Device()->SetTexture(0, nullptr);
  t->Release();
}

TEST_P(Raster, LostDeviceDrawsSucceedAndDrawNothing) {
  StandinLoseDevice();
  EXPECT_EQ(Fan(Rect(0, 0, 4, 4)), D3D_OK);
  EXPECT_EQ(Pixel(1, 1), 0u);
  Internal().lost = false;
  Internal().resettable = false;
}

TEST(PixelShaders, CreatedFromValidTokensOnly) {
  IDirect3DDevice9* d = Device();
  const std::vector<DWORD> good = TextureProgram();
  IDirect3DPixelShader9* shader = nullptr;
  ASSERT_EQ(d->CreatePixelShader(good.data(), &shader), D3D_OK);
  ASSERT_NE(shader, nullptr);
  UINT size = 0;
  EXPECT_EQ(shader->GetFunction(nullptr, &size), D3D_OK);
  EXPECT_EQ(size, good.size() * sizeof(DWORD));
  shader->Release();

  std::vector<DWORD> badOpcode = good;
  badOpcode[2] = 0x0399;  // an opcode that does not exist
  std::vector<DWORD> noEnd = good;
  noEnd.back() = standin::MakeInstructionToken(standin::kOpMov, 2);
  const std::vector<DWORD> notAShader = {0xFFFF0300, 3, 0x0000FFFF};
  for (const std::vector<DWORD>* bad :
       std::initializer_list<const std::vector<DWORD>*>{&badOpcode, &noEnd, &notAShader}) {
    shader = reinterpret_cast<IDirect3DPixelShader9*>(1);
    EXPECT_EQ(d->CreatePixelShader(bad->data(), &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
  }
  EXPECT_EQ(d->CreatePixelShader(nullptr, &shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->CreatePixelShader(good.data(), nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
