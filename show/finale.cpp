// The finale scene.
#include "show/finale.h"

#include <d3d9.h>
#include <d3dx9.h>

#include "gfx/device.h"
#include "gfx/fade.h"
#include "gfx/shaders.h"
#include "show/fade_colors.h"
#include "show/frame.h"
#include "show/sound_cues.h"
#include "text/atlas_text.h"

const char* const kFinaleWords[kFinaleWordCount] = {"REDUCE ", "REUSE ", "RECYCLE"};
bool g_FinaleSoundStopped = false;

float FinaleWordBrightness(DWORD f, DWORD word) {
  const DWORD start = kFinaleWordPeriod * word;
  const float now = static_cast<float>(f);
  if (static_cast<float>(start) <= now &&
      now < static_cast<float>(kFinaleWordPeriod * (word + 1)))
    return static_cast<float>(f - start) / static_cast<float>(kFinaleWordPeriod);
  return 1.0f;
}

void DrawFinaleScene(DWORD t) {
  const DWORD f = t - kFinaleStart;
  // Before the length test: a first finale frame that comes late still stops
  // the verse tone.
  if (!g_FinaleSoundStopped) {
    StopSoundCues();
    g_FinaleSoundStopped = true;
  }
  if (f >= kFinaleLength) return;

  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  g_pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  BeginAtlasText();

  DWORD words = f / kFinaleWordPeriod;
  if (words > kFinaleWordCount - 1) words = kFinaleWordCount - 1;
  words += 1;
  for (DWORD w = 0; w < words; ++w) {
    float penX = kFinaleWordX[w];
    float penY = kFinaleWordY;
    for (const char* c = kFinaleWords[w]; *c; ++c) {
      stbtt_aligned_quad quad;
      GetGlyphQuad(static_cast<unsigned char>(*c), penX, penY, quad);
      const float b = FinaleWordBrightness(f, w);
      const D3DXVECTOR4 color(b, b, b, 1.0f);
      if (g_TextureShader.pConstantTable)
        g_TextureShader.pConstantTable->SetVector(g_pDevice, "vColor", &color);
      DrawGlyphQuad(quad);
    }
  }
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

  DrawTimedFade(97532, 100532, kClearBlack, kOpaqueBlack);
  DrawTimedFade(100532, 101532, kOpaqueBlack, kOpaqueBlack);
}
