// Atlas text.
#include "text/atlas_text.h"

#include <d3d9.h>
#include <d3dx9.h>

#include "app/build_config.h"
#include "gfx/device.h"
#include "gfx/quads.h"
#include "gfx/shaders.h"
#include "text/glyph_atlas.h"

namespace {

bool HasAtlasRecord(unsigned char code) {
  return code >= kFirstBakedChar && code < kFirstBakedChar + kBakedCharCount;
}

}  // namespace

void BeginAtlasText() {
  g_pDevice->SetTexture(0, g_GlyphAtlas);
  g_pDevice->SetPixelShader(g_TextureShader.pShader);
  const D3DXVECTOR4 white(1.0f, 1.0f, 1.0f, 1.0f);
  if (g_TextureShader.pConstantTable)
    g_TextureShader.pConstantTable->SetVector(g_pDevice, "vColor", &white);
  g_pDevice->SetVertexShader(nullptr);
}

void GetGlyphQuad(unsigned char code, float& penX, float& penY, stbtt_aligned_quad& quad) {
  if (!HasAtlasRecord(code)) {
    quad = stbtt_aligned_quad{};
    return;
  }
  // Fill rule 0: Direct3D 9's pixel centres, half a pixel off OpenGL's.
  stbtt_GetBakedQuad(g_BakedChars, kAtlasSize, kAtlasSize, code - kFirstBakedChar, &penX, &penY,
                     &quad, 0);
}

void DrawGlyphQuad(const stbtt_aligned_quad& quad) {
  if (!g_GlyphAtlas) return;
  // Truncation toward zero: the half-pixel corner lands on the pixel before.
  DrawTexturedRect(static_cast<int>(quad.x0), static_cast<int>(quad.y0),
                   static_cast<int>(quad.x1 - quad.x0), static_cast<int>(quad.y1 - quad.y0),
                   quad.s0, quad.t0, quad.s1, quad.t1);
}

void DrawAtlasText(const char* text, float x, float y) {
  BeginAtlasText();
  // Scaled here, on every call: multiply by the height first, then divide.
  const float height = static_cast<float>(kScreenHeight);
  float penX = (x * height) / 720.0f;
  float penY = (y * height) / 720.0f;
  for (const char* p = text; p && *p; ++p) {
    const unsigned char code = static_cast<unsigned char>(*p);
    if (!HasAtlasRecord(code)) continue;
    stbtt_aligned_quad quad;
    GetGlyphQuad(code, penX, penY, quad);
    DrawGlyphQuad(quad);
  }
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}
