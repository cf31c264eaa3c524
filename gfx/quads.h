// Screen-space quads: pre-transformed rectangles drawn from memory as a
// triangle fan. Shaders, textures and blending are the caller's business.
#pragma once

#include <d3d9.h>

// D3DFVF_XYZRHW | D3DFVF_DIFFUSE
struct ColorVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
};

// D3DFVF_XYZRHW | D3DFVF_TEX1
struct TexturedVertex {
  float x, y, z, rhw;
  float tu, tv;
};

constexpr DWORD kColorVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kTexturedVertexFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

static_assert(sizeof(ColorVertex) == 20, "ColorVertex is 20 bytes");
static_assert(sizeof(TexturedVertex) == 24, "TexturedVertex is 24 bytes");

// A rectangle of one vertex colour between the given pixel edges.
void DrawSolidRect(float left, float top, float right, float bottom, D3DCOLOR argb);

// A textured quad from the top-left corner of the screen over width x height
// pixels, with texture coordinates (tu0, tv0) at the top-left corner and
// (tu1, tv1) at the bottom-right.
void DrawScreenQuad(UINT width, UINT height, float tu0, float tv0, float tu1, float tv1);

// A textured rectangle at whole-pixel position and size.
void DrawTexturedRect(int x, int y, int w, int h, float tu0, float tv0, float tu1, float tv1);
