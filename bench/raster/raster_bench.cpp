// The stand-in rasteriser's cost for the show's three kinds of draw at
// 1920 x 1080, each beside the cost of copying one A8R8G8B8 frame with
// memcpy in the same run:
//   wallpaper: a full-screen bilinear quad through TexturePS from a
//              2048 x 2048 texture, half of it stretched over the screen;
//   fade:      a full-screen ColorPS quad, blended SRCALPHA / INVSRCALPHA;
//   glyphs:    60 quads of about 90 x 150 pixels from an L8 atlas through
//              TexturePS, added with ONE / ONE;
//   verse frame: the three in the order a verse frame draws them (the text
//              as three lines of 16 glyphs of 60 x 100 pixels, about what
//              the show's verses have), after the frame's clear of colour
//              and depth and up to its Present: the whole frame as the show
//              makes it with a lock-screen picture (2048 x 2048), where
//              show_bench's sample pictures are small.
// Counters: Mpixels/s of the draw, and x_memcpy, its time per pixel over
// memcpy's; both from the fastest iteration of each (thread CPU time), which
// is the least disturbed by whatever else the machine runs. Argument 1 runs
// the specialised span loops, 0 the general path.
// Headless: run with STANDIN_HEADLESS=1 or nothing at all (it sets it).
#include <benchmark/benchmark.h>

#include <d3dx9.h>
#include <standin.h>

#include <time.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "d3d9/raster.h"
#include "support/raster_device.h"

using namespace rastertest;

namespace {

constexpr UINT kWidth = 1920;
constexpr UINT kHeight = 1080;
constexpr double kFramePixels = double(kWidth) * kHeight;

double g_memcpyNsPerPixel = 0.0;

// This thread's CPU time: on a busy machine wall time would measure the
// other processes too.
double CpuNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void MeasureMemcpy() {
  static std::vector<DWORD> a(kWidth * kHeight, 0x12345678), b(kWidth * kHeight);
  double best = 1e30;
  for (int run = 0; run < 50; ++run) {
    const double t = CpuNs();
    std::memcpy(b.data(), a.data(), a.size() * sizeof(DWORD));
    benchmark::ClobberMemory();
    best = std::min(best, (CpuNs() - t) / kFramePixels);
  }
  g_memcpyNsPerPixel = best;
}

void Report(benchmark::State& state, double nsPerPixel) {
  if (g_memcpyNsPerPixel == 0.0) MeasureMemcpy();
  state.counters["Mpixels/s"] = 1e3 / nsPerPixel;
  state.counters["x_memcpy"] = nsPerPixel / g_memcpyNsPerPixel;
}

struct Bench {
  IDirect3DTexture9* wallpaper = nullptr;
  IDirect3DTexture9* atlas = nullptr;
  IDirect3DPixelShader9* texturePS = nullptr;
  IDirect3DPixelShader9* colorPS = nullptr;
  std::string error;
};

IDirect3DPixelShader9* CompileShowShader(const std::string& source, const char* entry) {
  ID3DXBuffer* code = nullptr;
  if (FAILED(D3DXCompileShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                               entry, "ps_3_0", 0, &code, nullptr, nullptr)))
    return nullptr;
  IDirect3DPixelShader9* shader = nullptr;
  Device()->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader);
  code->Release();
  return shader;
}

Bench& Get() {
  static Bench b;
  static bool started = false;
  if (started) return b;
  started = true;
  if (!RasterDevice::Start(kWidth, kHeight)) {
    b.error = "no device";
    return b;
  }
  std::ifstream file(SHOW_SHADER_FILE, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  b.texturePS = CompileShowShader(text.str(), "TexturePS");
  b.colorPS = CompileShowShader(text.str(), "ColorPS");
  if (!b.texturePS || !b.colorPS) b.error = "the show's shaders did not compile";
  // A smooth picture with detail, full mip chain as the texture loader makes.
  b.wallpaper = MakeTexture(D3DFMT_A8R8G8B8, 2048, 2048, 0, [](UINT level, UINT x, UINT y) {
    x <<= level;
    y <<= level;
    return 0xFF000000u | (((x >> 3) & 0xFF) << 16) | (((y >> 3) & 0xFF) << 8) | ((x ^ y) & 0xFF);
  });
  b.atlas = MakeTexture(D3DFMT_L8, 2048, 2048, 1, [](UINT, UINT x, UINT y) {
    return ((x / 3 + y / 5) % 7 == 0) ? 255u : ((x * y) & 0x3F);
  });
  if (!b.wallpaper || !b.atlas) b.error = "textures could not be made";
  return b;
}

void StartStates() {
  IDirect3DDevice9* d = Device();
  Reset(0xFF000000, 1.0f);
  // The show's start-up sampling and its per-frame clamp of sampler 0.
  d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  d->SetFVF(kVertexFvf);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<DWORD> a(kWidth * kHeight, 0x12345678), b(kWidth * kHeight);
  double best = 1e30;
  for (auto _ : state) {
    const double t = CpuNs();
    std::memcpy(b.data(), a.data(), a.size() * sizeof(DWORD));
    benchmark::ClobberMemory();
    best = std::min(best, (CpuNs() - t) / kFramePixels);
  }
  g_memcpyNsPerPixel = std::min(g_memcpyNsPerPixel == 0.0 ? best : g_memcpyNsPerPixel, best);
  Report(state, best);
}

// The frame as the show has it when the draw comes: cleared to black at
// depth 1, then (unless the draw is the wallpaper itself) the wallpaper drawn
// at depth 0. The wallpaper comes right after the clear, so its depth is
// cleared again before each of its runs (outside the timing).
template <typename Draw>
void RunDraw(benchmark::State& state, double pixels, bool clearsDepth, Draw draw) {
  Bench& b = Get();
  if (!b.error.empty()) {
    state.SkipWithError(b.error.c_str());
    return;
  }
  standin::SetRasterFastPaths(state.range(0) != 0);
  StartStates();
  IDirect3DDevice9* d = Device();
  if (!clearsDepth) {
    const std::vector<Vertex> screen = Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0.3f, 0.25f, 0.8f, 0.75f);
    d->SetTexture(0, b.wallpaper);
    d->SetPixelShader(b.texturePS);
    d->BeginScene();
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, screen.data(), sizeof(Vertex));
    d->EndScene();
  }
  double best = 1e30;
  for (auto _ : state) {
    if (clearsDepth) {
      state.PauseTiming();
      d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
      state.ResumeTiming();
    }
    const double t = CpuNs();
    d->BeginScene();
    draw(b);
    d->EndScene();
    best = std::min(best, (CpuNs() - t) / pixels);
  }
  standin::SetRasterFastPaths(true);
  Report(state, best);
}

void BM_WallpaperQuad(benchmark::State& state) {
  // Verse 0 halfway: u from 0.25 + d to 0.75 + d, v from 0.25 to 0.75.
  const float d = 4690.0f / 300000.0f;
  const std::vector<Vertex> quad = Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0.25f + d, 0.25f, 0.75f + d, 0.75f);
  const float white[4] = {1, 1, 1, 1};
  RunDraw(state, kFramePixels, true, [&](Bench& b) {
    IDirect3DDevice9* dev = Device();
    dev->SetTexture(0, b.wallpaper);
    dev->SetPixelShader(b.texturePS);
    dev->SetPixelShaderConstantF(0, white, 1);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), sizeof(Vertex));
  });
}

void BM_FadeQuad(benchmark::State& state) {
  const std::vector<Vertex> quad = Rect(0, 0, kWidth, kHeight);
  const float color[4] = {0, 0, 0, 0.5f};
  RunDraw(state, kFramePixels, false, [&](Bench& b) {
    IDirect3DDevice9* dev = Device();
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetPixelShader(b.colorPS);
    dev->SetPixelShaderConstantF(0, color, 1);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad.data(), sizeof(Vertex));
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  });
}

constexpr int kGlyphs = 60;
constexpr int kGlyphWidth = 90;
constexpr int kGlyphHeight = 150;

void BM_GlyphQuads(benchmark::State& state) {
  // Whole-pixel rectangles with texel-edge coordinates, as the atlas text
  // draws them: six lines of ten glyphs.
  std::vector<std::vector<Vertex>> glyphs;
  for (int i = 0; i < kGlyphs; ++i) {
    const float x = 75.0f + (i % 10) * 180.0f, y = 60.0f + (i / 10) * 170.0f;
    const float s = (i * 97 % 1900) / 2048.0f, t = (i * 211 % 1800) / 2048.0f;
    glyphs.push_back(Rect(x, y, x + kGlyphWidth, y + kGlyphHeight, 0xFFFFFFFF, s, t,
                          s + kGlyphWidth / 2048.0f, t + kGlyphHeight / 2048.0f));
  }
  const float white[4] = {1, 1, 1, 1};
  RunDraw(state, double(kGlyphs) * kGlyphWidth * kGlyphHeight, false, [&](Bench& b) {
    IDirect3DDevice9* dev = Device();
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev->SetTexture(0, b.atlas);
    dev->SetPixelShader(b.texturePS);
    dev->SetPixelShaderConstantF(0, white, 1);
    for (const std::vector<Vertex>& g : glyphs)
      dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, g.data(), sizeof(Vertex));
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  });
}

void BM_VerseFrame(benchmark::State& state) {
  Bench& b = Get();
  if (!b.error.empty()) {
    state.SkipWithError(b.error.c_str());
    return;
  }
  standin::SetRasterFastPaths(state.range(0) != 0);
  StartStates();
  IDirect3DDevice9* d = Device();
  const float drift = 4690.0f / 300000.0f;
  const std::vector<Vertex> picture =
      Rect(0, 0, kWidth, kHeight, 0xFFFFFFFF, 0.25f + drift, 0.25f, 0.75f + drift, 0.75f);
  const std::vector<Vertex> screen = Rect(0, 0, kWidth, kHeight);
  std::vector<std::vector<Vertex>> glyphs;
  for (int i = 0; i < 48; ++i) {
    const float x = 75.0f + (i % 16) * 62.0f, y = 300.0f + (i / 16) * 225.0f;
    const float s = (i * 97 % 1900) / 2048.0f, t = (i * 211 % 1800) / 2048.0f;
    glyphs.push_back(Rect(x, y, x + 60, y + 100, 0xFFFFFFFF, s, t, s + 60 / 2048.0f, t + 100 / 2048.0f));
  }
  const float white[4] = {1, 1, 1, 1};
  const float fade[4] = {0, 0, 0, 0.5f};
  double best = 1e30;
  for (auto _ : state) {
    const double t = CpuNs();
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    d->SetTexture(0, b.wallpaper);
    d->SetPixelShader(b.texturePS);
    d->SetPixelShaderConstantF(0, white, 1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, picture.data(), sizeof(Vertex));
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    d->SetTexture(0, b.atlas);
    for (const std::vector<Vertex>& g : glyphs)
      d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, g.data(), sizeof(Vertex));
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetPixelShader(b.colorPS);
    d->SetPixelShaderConstantF(0, fade, 1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, screen.data(), sizeof(Vertex));
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    best = std::min(best, CpuNs() - t);
  }
  standin::SetRasterFastPaths(true);
  state.counters["ms_per_frame"] = best * 1e-6;
  Report(state, best / kFramePixels);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WallpaperQuad)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FadeQuad)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlyphQuads)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VerseFrame)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  StandinSetHeadless(true);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
