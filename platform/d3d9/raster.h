// The stand-in's software rasteriser, as the device's draw calls use it.
//
// Direct3D 9's rules: pre-transformed vertices in back-buffer pixels, pixel
// centres on integer coordinates, the top-left fill rule (positions snapped
// to 1/256 pixel), attributes interpolated at pixel centres (with 1/w when
// the vertices' rhw differ), clockwise triangles kept by D3DCULL_CCW.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <d3d9.h>

namespace standin {

class Device;

constexpr int kMaxTexcoordSets = 8;

// Where each part of a vertex lies, from its FVF code.
struct VertexLayout {
  UINT size = 0;  // bytes of one vertex
  int diffuse = -1;  // byte offsets; -1 when the format has none
  int specular = -1;
  int texCount = 0;
  int texOffset[kMaxTexcoordSets] = {};
  int texDimension[kMaxTexcoordSets] = {};  // 1 to 4 floats
};

// Decodes a format the rasteriser can draw: D3DFVF_XYZRHW with optional
// point size, diffuse, specular and up to eight texture coordinate sets.
// Anything else gives false and a reason.
bool DecodeVertexFormat(DWORD fvf, VertexLayout* layout, const char** reason);

// Draws `count` primitives (triangle list, strip or fan) from vertices in
// memory into the device's back buffer. Arguments already validated.
// Allocates nothing.
void RasterizePrimitives(Device& device, D3DPRIMITIVETYPE type, UINT count, const BYTE* vertices,
                         UINT stride, const VertexLayout& layout);

// Off, every pixel takes the general per-pixel path: tests compare the
// specialised span loops with it. On by default.
void SetRasterFastPaths(bool enabled);
bool RasterFastPaths();

// Off, the span loops keep to SSE2 where the processor also has AVX2 (tests
// compare the two). On by default; AVX2 is used only if the processor has it.
void SetRasterAvx2(bool allowed);
bool RasterHasAvx2();

// Sets n DWORDs to value with the widest stores the processor has: the
// device's Clear.
void FillPixels(DWORD* dst, DWORD value, size_t n);

}  // namespace standin
