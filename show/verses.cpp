// The verse scene: picture, text, pictogram and fades of one verse a frame.
#include "show/verses.h"

#include <d3d9.h>
#include <d3dx9.h>
#include <stb_truetype.h>

#include "app/build_config.h"
#include "gfx/device.h"
#include "gfx/fade.h"
#include "gfx/quads.h"
#include "gfx/shaders.h"
#include "show/fade_colors.h"
#include "show/frame.h"
#include "show/loading.h"
#include "show/sound_cues.h"
#include "text/atlas_text.h"
#include "text/label.h"

const char* const kVerseTexts[kVerseTextCount] = {
    "There are many?ways we can take care?of our earth.",
    "Together, we can?finally show her?how much she is worth.",
    "For there is?only one place?that all of use call home.",
    "It is this?pale blue dot?of ours that we freeely roam.",
    "Let's come together?and show mother earth?how much she's worth.",
    "Think of future generations,?for she's not?just our earth!",
    "Let's ensure?the world's survival and?reduce reuse and recycle!",
};

const unsigned char kVerseSymbols[kVerseTextCount] = {0x5F, 0x94, 0x42, 0xFC, 0x59, 0x84, 0x60};

const float kVerseSymbolY[kVerseTextCount] = {80.0f, 80.0f, 80.0f, 80.0f, 40.0f, 230.0f, 40.0f};

namespace {

// Layout in 720-line units, folded by the layout scale.
constexpr float kTextX = 50.0f * kLayoutScale;
constexpr float kTextY = 200.0f * kLayoutScale;
constexpr float kLineAdvance = 150.0f * kLayoutScale;
constexpr float kSymbolX = 740.0f * kLayoutScale;
constexpr float kScreenHeightF = static_cast<float>(kScreenHeight);

constexpr DWORD kFadeInLength = 4000;
constexpr DWORD kFadeOutStart = 8380;
const D3DXVECTOR4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);

}  // namespace

VerseMoment VerseAt(DWORD t) {
  VerseMoment m;
  const DWORD elapsed = t - kVerseStart;
  m.verse = elapsed / kVersePeriod;
  m.phase = elapsed % kVersePeriod;
  m.picture = m.verse % kWallpaperTextureCount;
  m.uOffset = m.picture == 0 ? 0.25f : 0.0f;
  m.drift = static_cast<float>(m.phase) / 300000.0f;
  return m;
}

void DrawVerseScene(DWORD t) {
  const VerseMoment m = VerseAt(t);

  PlaySoundCue(0, true);

  // The picture, opaque: half of it each way, drifting slowly to the right.
  g_pDevice->SetTexture(0, g_Wallpapers[m.picture]);
  g_pDevice->SetPixelShader(g_TextureShader.pShader);
  if (g_TextureShader.pConstantTable)
    g_TextureShader.pConstantTable->SetVector(g_pDevice, "vColor", &kWhite);
  g_pDevice->SetVertexShader(nullptr);
  DrawScreenQuad(kScreenWidth, kScreenHeight, m.drift + m.uOffset, 0.25f,
                 (m.uOffset + 0.5f) + m.drift, 0.75f);

  // The text, added in white; '?' breaks the line.
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  g_pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  BeginAtlasText();
  float penX = kTextX;
  float penY = kTextY;
  float baseline = kTextY;
  for (const char* c = kVerseTexts[m.verse]; *c; ++c) {
    stbtt_aligned_quad quad;
    GetGlyphQuad(static_cast<unsigned char>(*c), penX, penY, quad);
    if (*c != '?') {
      DrawGlyphQuad(quad);
    } else {
      penX = kTextX;
      baseline += kLineAdvance;
      penY = baseline;
    }
  }

  const char symbol[2] = {static_cast<char>(kVerseSymbols[m.verse]), '\0'};
  DrawLabel(symbol, 3, 0.5f, kSymbolX, kVerseSymbolY[m.verse] * kScreenHeightF / 720.0f);

  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

  for (DWORD start = kVerseStart; start < kFinaleStart; start += kVersePeriod) {
    DrawTimedFade(start, start + kFadeInLength, kOpaqueBlack, kClearBlack);
    DrawTimedFade(start + kFadeOutStart, start + kVersePeriod, kClearBlack, kOpaqueBlack);
  }
}
