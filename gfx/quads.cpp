#include "gfx/quads.h"

#include <windows.h>

#include "gfx/device.h"

namespace {

// Corners top-left, top-right, bottom-right, bottom-left: clockwise on
// screen, the face the default culling keeps.
template <typename Vertex>
void Draw(const Vertex (&corners)[4], DWORD fvf) {
  g_pd3dDevice->SetFVF(fvf);
  g_pd3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, corners, sizeof(Vertex));
}

void SetTexturedCorners(TexturedVertex (&v)[4], float left, float top, float right, float bottom,
                        float tu0, float tv0, float tu1, float tv1) {
  v[0].x = left;
  v[0].y = top;
  v[0].tu = tu0;
  v[0].tv = tv0;
  v[1].x = right;
  v[1].y = top;
  v[1].tu = tu1;
  v[1].tv = tv0;
  v[2].x = right;
  v[2].y = bottom;
  v[2].tu = tu1;
  v[2].tv = tv1;
  v[3].x = left;
  v[3].y = bottom;
  v[3].tu = tu0;
  v[3].tv = tv1;
  for (TexturedVertex& corner : v) corner.rhw = 1.0f;
}

}  // namespace

void DrawSolidRect(float left, float top, float right, float bottom, D3DCOLOR argb) {
  ColorVertex v[4];
  ZeroMemory(v, sizeof v);
  v[0].x = left;
  v[0].y = top;
  v[1].x = right;
  v[1].y = top;
  v[2].x = right;
  v[2].y = bottom;
  v[3].x = left;
  v[3].y = bottom;
  for (ColorVertex& corner : v) {
    corner.rhw = 1.0f;
    corner.diffuse = argb;
  }
  Draw(v, kColorVertexFvf);
}

void DrawScreenQuad(UINT width, UINT height, float tu0, float tv0, float tu1, float tv1) {
  TexturedVertex v[4];
  ZeroMemory(v, sizeof v);
  SetTexturedCorners(v, 0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height), tu0,
                     tv0, tu1, tv1);
  Draw(v, kTexturedVertexFvf);
}

void DrawTexturedRect(int x, int y, int w, int h, float tu0, float tv0, float tu1, float tv1) {
  // The far edges in 32-bit integer arithmetic, wrapping as the machine does
  // rather than overflowing into undefined behaviour.
  const int right = static_cast<int>(static_cast<unsigned>(x) + static_cast<unsigned>(w));
  const int bottom = static_cast<int>(static_cast<unsigned>(y) + static_cast<unsigned>(h));
  TexturedVertex v[4];
  ZeroMemory(v, sizeof v);
  SetTexturedCorners(v, static_cast<float>(x), static_cast<float>(y), static_cast<float>(right),
                     static_cast<float>(bottom), tu0, tv0, tu1, tv1);
  Draw(v, kTexturedVertexFvf);
}
