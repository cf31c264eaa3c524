// Texture sampling of the stand-in: Direct3D 9's texel addressing (texel
// centres at half-texel offsets), addressing modes, point and bilinear
// filtering, mip level selection.
//
// Filtering is done in fixed point, as texture units do: sampling positions
// carry 8 fractional bits, the filtered value is rounded to 8 bits per
// channel. A sample is therefore an A8R8G8B8 DWORD; the shading stage reads
// it as byte / 255.
#pragma once

#include <stdint.h>

#include <d3d9.h>

namespace standin {

class Device;
class Texture;

// What one sampler reads during a draw.
struct SamplerView {
  const Texture* texture = nullptr;  // null: nothing bound
  D3DFORMAT format = D3DFMT_UNKNOWN;
  int levelCount = 0;
  DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
  DWORD border = 0;
  DWORD magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
  int baseLevel = 0;  // D3DSAMP_MAXMIPLEVEL clamped to the chain
  float lodBias = 0.0f;
};

void MakeSamplerView(const Device& device, int sampler, SamplerView* view);

// The level (or two levels) and filter one sample uses.
struct LevelChoice {
  int level0 = 0;
  int level1 = 0;
  int weight1 = 0;  // 0..255: share of level1, in 1/256
  bool bilinear = false;
};

// Chooses from the length `rho` of the larger screen-space derivative of
// the texel position (level-0 texels per pixel): lod = log2(rho) + bias,
// kept to 8 fractional bits; lod <= 0 magnifies.
LevelChoice ChooseLevels(const SamplerView& view, double rho);

// One axis of a sample on a level `size` texels long: the two texels a
// bilinear filter reads and the weight of the second (0..255), and the one
// texel point sampling reads; addressed, with -1 for the border colour.
struct AxisTaps {
  int i0 = 0;
  int i1 = 0;
  int weight = 0;
  int nearest = 0;
};
AxisTaps AxisFromCoordinate(float coordinate, int size, DWORD address);

// A texel of `level` expanded to A8R8G8B8 (X8 reads alpha 1, L8 reads
// (L, L, L, 1), A8 reads (0, 0, 0, A)); x or y of -1 gives the border colour.
DWORD FetchTexel(const SamplerView& view, int level, int x, int y);

// The bilinear filter on four expanded texels: t00 and t10 on the first
// row, t01 and t11 on the second, fx and fy the weights of the second
// column and row in 1/256.
inline DWORD FilterBilinear(DWORD t00, DWORD t10, DWORD t01, DWORD t11, int fx, int fy) {
  DWORD out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int r0 = static_cast<int>((t00 >> shift) & 0xFF) * (256 - fy) +
                   static_cast<int>((t01 >> shift) & 0xFF) * fy;
    const int r1 = static_cast<int>((t10 >> shift) & 0xFF) * (256 - fy) +
                   static_cast<int>((t11 >> shift) & 0xFF) * fy;
    const int n = ((r0 >> 1) * (256 - fx) + (r1 >> 1) * fx + 16384) >> 15;
    out |= static_cast<DWORD>(n) << shift;
  }
  return out;
}

// The full sample at texture coordinates (u, v).
DWORD SampleTexture(const SamplerView& view, const LevelChoice& choice, float u, float v);

// Dimensions of a level, for callers that turn derivatives into texels.
int LevelWidth(const SamplerView& view, int level);
int LevelHeight(const SamplerView& view, int level);

}  // namespace standin
