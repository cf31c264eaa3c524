#include "gfx/fade.h"

#include <d3d9.h>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "gfx/device.h"
#include "gfx/quads.h"
#include "gfx/shaders.h"

namespace {

// Every step rounds to single precision on its own, as the colour is
// defined; a fused or wider intermediate would move the last bit.
float Lerp(float from, float to, float t) {
  const float span = to - from;
  const float moved = span * t;
  const float value = moved + from;
  return value;
}

D3DXVECTOR4 FadeColorAt(DWORD now, DWORD start, DWORD end, const D3DXVECTOR4& fromRGBA,
                        const D3DXVECTOR4& toRGBA) {
  const float elapsed = static_cast<float>(static_cast<double>(now - start));
  const float length = static_cast<float>(static_cast<double>(end - start));
  const float t = elapsed / length;
  return D3DXVECTOR4(Lerp(fromRGBA.x, toRGBA.x, t), Lerp(fromRGBA.y, toRGBA.y, t),
                     Lerp(fromRGBA.z, toRGBA.z, t), Lerp(fromRGBA.w, toRGBA.w, t));
}

}  // namespace

void DrawTimedFade(DWORD start, DWORD end, D3DXVECTOR4 fromRGBA, D3DXVECTOR4 toRGBA) {
  const DWORD now = g_ShowTime;
  if (now < start || now >= end) return;
  const D3DXVECTOR4 color = FadeColorAt(now, start, end, fromRGBA, toRGBA);

  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  g_pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  // Compiled before any frame; the check only keeps a misordered caller from
  // a null dereference.
  if (g_ColorShader.pConstantTable)
    g_ColorShader.pConstantTable->SetVector(g_pDevice, "vColor", &color);
  g_pDevice->SetPixelShader(g_ColorShader.pShader);
  DrawScreenQuad(kScreenWidth, kScreenHeight, 0.0f, 0.0f, 1.0f, 1.0f);
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}
