// Pieces of the rasteriser shared between its general path (raster.cpp) and
// its specialised span loops (spans.cpp).
#pragma once

#include <stdint.h>

#include "d3d9/sampling.h"

namespace standin {

// An attribute over a triangle: base + dx * x + dy * y at pixel (x, y).
// Taken from the origin rather than from a vertex, the two halves of a
// rectangle come out with the same three numbers and can be drawn as one.
struct Plane {
  double base = 0.0;
  double dx = 0.0;
  double dy = 0.0;

  bool IsConstant() const { return dx == 0.0 && dy == 0.0; }
};

// Every path evaluates attributes through this one expression, so a plane
// whose y gradient is exactly zero gives the same value on every row.
inline double EvalPlane(const Plane& p, int x, int y) {
  return p.base + p.dx * static_cast<double>(x) + p.dy * static_cast<double>(y);
}

// A triangle whose pixels are a per-channel function of one texture sample
// at affine texture coordinates, u varying along x only and v along y only
// (every axis-aligned textured rectangle).
struct TexturedSource {
  const SamplerView* view = nullptr;
  int level = 0;
  bool bilinear = false;
  Plane u, v;
  // The shaded colour for a sample: channel c (0 blue .. 3 alpha) of the
  // output is lut[c][channel c of the sample].
  uint8_t lut[4][256];
  bool lutIdentity = false;
};

// Builds the sampling tables for columns x0..x1 and rows y0..y1 (at most
// kMaxSpanPixels of each). False when the coordinates do not suit the span
// loops (the caller then takes the general path).
bool PrepareTexturedSpans(const TexturedSource& source, int x0, int x1, int y0, int y1);
// Where ShadeTexturedSpan puts its colours.
enum class SpanTarget {
  kScratch,  // into a buffer, for the span writers
  kStore,    // into the target row, unchanged (they may bypass the cache)
  kAdd,      // added to the target row, saturating (ONE/ONE blending)
};
// Shades columns xl..xr of row y (within the prepared ones) into out.
void ShadeTexturedSpan(const TexturedSource& source, int y, int xl, int xr, DWORD* out,
                       SpanTarget target);

constexpr int kMaxSpanPixels = 16384;

}  // namespace standin
