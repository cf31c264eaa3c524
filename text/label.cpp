// System-font labels: one sprite batch per label.
#include "text/label.h"

#include <d3dx9.h>

#include "gfx/device.h"

void DrawLabel(const char* text, int fontIndex, float scale, float x, float y) {
  // A font or sprite that could not be made is never called through, and
  // an index outside the four fonts draws nothing.
  if (!text || fontIndex < 0 || fontIndex >= 4 || !g_Fonts[fontIndex] || !g_pSprite) return;

  g_pSprite->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE);
  // Begin sets the sprite's own blend factors; these replace them for this
  // batch so the glyphs add to the frame.
  g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  g_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);

  D3DXMATRIX scaling, translation, transform;
  D3DXMatrixScaling(&scaling, scale, scale, scale);
  D3DXMatrixTranslation(&translation, x, y, 0.0f);
  D3DXMatrixMultiply(&transform, &scaling, &translation);
  g_pSprite->SetTransform(&transform);

  RECT layout;
  SetRect(&layout, 0, 0, static_cast<int>(g_ScreenWidth), static_cast<int>(g_ScreenHeight));
  g_Fonts[fontIndex]->DrawTextA(g_pSprite, text, -1, &layout, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  g_pSprite->End();
}
