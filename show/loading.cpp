// The loading sequence and its progress screen.
#include "show/loading.h"

#include <d3dx9.h>

#include "app/main_loop.h"
#include "app/startup.h"
#include "gfx/device.h"
#include "gfx/quads.h"
#include "gfx/shaders.h"
#include "text/glyph_atlas.h"
#include "text/label.h"

IDirect3DTexture9* g_Wallpapers[kWallpaperTextureCount] = {};

const char* const kProgressLabels[kProgressLabelCount] = {
    "generating music",
    "loading",
    "generating fonts",
    "rendering background pictures",
};

namespace {

// In pixels, the same in every build.
constexpr float kBarInset = 50.0f;
constexpr float kBarHalfHeight = 25.0f;
constexpr float kInsideInset = 52.0f;
constexpr float kInsideHalfHeight = 23.0f;
constexpr float kLabelAboveCentre = 100.0f;

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr D3DCOLOR kBlack = 0x00000000;

}  // namespace

ProgressBarLayout ProgressBarAt(float percent) {
  const float w = static_cast<float>(g_ScreenWidth);
  const float h = static_cast<float>(g_ScreenHeight);
  const float cy = h * 0.5f;
  ProgressBarLayout bar;
  bar.frameLeft = kBarInset;
  bar.frameTop = cy - kBarHalfHeight;
  bar.frameRight = w - kBarInset;
  bar.frameBottom = cy + kBarHalfHeight;
  bar.insideLeft = kInsideInset;
  bar.insideTop = cy - kInsideHalfHeight;
  bar.insideRight = w - kInsideInset;
  bar.insideBottom = cy + kInsideHalfHeight;
  const float fillWidth = static_cast<float>(static_cast<int>(g_ScreenWidth) - 104);
  bar.fillRight = kInsideInset + fillWidth * percent / 100.0f;
  return bar;
}

int ProgressLabelIndex(float percent) {
  const int index = static_cast<int>(percent / 10.0f);
  return index > 3 ? 3 : index;
}

void DrawProgressScreen(float percent) {
  RestoreLostDevice();
  g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  g_pDevice->BeginScene();

  const ProgressBarLayout bar = ProgressBarAt(percent);
  DrawSolidRect(bar.frameLeft, bar.frameTop, bar.frameRight, bar.frameBottom, kWhite);
  DrawSolidRect(bar.insideLeft, bar.insideTop, bar.insideRight, bar.insideBottom, kBlack);
  DrawSolidRect(bar.insideLeft, bar.insideTop, bar.fillRight, bar.insideBottom, kWhite);

  const float cy = static_cast<float>(g_ScreenHeight) * 0.5f;
  DrawLabel(kProgressLabels[ProgressLabelIndex(percent)], 0, 1.0f, 0.0f, cy - kLabelAboveCentre);

  g_pDevice->EndScene();
  NotePresentResult(g_pDevice->Present(nullptr, nullptr, nullptr, nullptr));
}

void RunLoadingSequence() {
  DrawProgressScreen(0.0f);

  // ColorPS first: when it fails the program ends before TexturePS.
  g_ColorShader = CompilePixelShader("ColorPS");
  g_TextureShader = CompilePixelShader("TexturePS");

  DrawProgressScreen(10.0f);
  Sleep(1000);
  DrawProgressScreen(20.0f);
  Sleep(1000);
  DrawProgressScreen(30.0f);
  Sleep(1000);

  for (int i = 0; i < kWallpaperTextureCount; ++i) {
    DrawProgressScreen(static_cast<float>(i * 10) + 40.0f);
    // A path that does not fit its buffer is not opened: that picture's
    // verses are drawn without it, like a picture that fails to load.
    char path[268];
    if (FormatWallpaperPath(path, sizeof path, i))
      D3DXCreateTextureFromFileA(g_pDevice, path, &g_Wallpapers[i]);
  }

  DrawProgressScreen(90.0f);
  Sleep(1000);
  BuildGlyphAtlas();
  DrawProgressScreen(100.0f);
}
