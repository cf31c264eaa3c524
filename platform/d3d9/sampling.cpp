#include "d3d9/sampling.h"

#include <math.h>
#include <string.h>

#include "d3d9/device.h"

namespace standin {
namespace {

// Far enough out that any addressing mode has long settled, near enough
// that the arithmetic below cannot overflow.
constexpr double kCoordinateLimit = 1e12;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int AddressOutside(int64_t i, int size, DWORD mode);

// Inside the texture, as nearly every tap is, costs a comparison.
inline int Address(int64_t i, int size, DWORD mode) {
  if (i >= 0 && i < size) return static_cast<int>(i);
  return AddressOutside(i, size, mode);
}

int AddressOutside(int64_t i, int size, DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_CLAMP:
      return i < 0 ? 0 : size - 1;
    case D3DTADDRESS_MIRROR: {
      const int64_t period = 2 * static_cast<int64_t>(size);
      const int64_t m = i - FloorDiv(i, period) * period;
      return static_cast<int>(m < size ? m : period - 1 - m);
    }
    case D3DTADDRESS_MIRRORONCE: {
      const int64_t m = i < 0 ? -1 - i : i;
      return static_cast<int>(m < size ? m : size - 1);
    }
    case D3DTADDRESS_BORDER:
      return -1;
    default: {  // WRAP
      const int64_t m = i - FloorDiv(i, size) * size;
      return static_cast<int>(m);
    }
  }
}

bool IsLinearFilter(DWORD filter) { return filter != D3DTEXF_POINT && filter != D3DTEXF_NONE; }

}  // namespace

void MakeSamplerView(const Device& device, int sampler, SamplerView* view) {
  *view = SamplerView();
  const Texture* t = device.textures[sampler];
  const DWORD* s = device.samplerState[sampler];
  view->texture = t;
  view->addressU = s[D3DSAMP_ADDRESSU];
  view->addressV = s[D3DSAMP_ADDRESSV];
  view->border = s[D3DSAMP_BORDERCOLOR];
  view->magFilter = s[D3DSAMP_MAGFILTER];
  view->minFilter = s[D3DSAMP_MINFILTER];
  view->mipFilter = s[D3DSAMP_MIPFILTER];
  float bias;
  memcpy(&bias, &s[D3DSAMP_MIPMAPLODBIAS], sizeof bias);
  view->lodBias = isfinite(bias) ? bias : 0.0f;
  if (!t) return;
  view->format = t->format;
  view->levelCount = static_cast<int>(t->levels.size());
  const DWORD maxLevel = s[D3DSAMP_MAXMIPLEVEL];
  view->baseLevel = maxLevel < static_cast<DWORD>(view->levelCount)
                        ? static_cast<int>(maxLevel)
                        : view->levelCount - 1;
}

int LevelWidth(const SamplerView& view, int level) {
  return static_cast<int>(view.texture->levels[level].width);
}

int LevelHeight(const SamplerView& view, int level) {
  return static_cast<int>(view.texture->levels[level].height);
}

LevelChoice ChooseLevels(const SamplerView& view, double rho) {
  LevelChoice c;
  c.level0 = c.level1 = view.baseLevel;
  // The level of detail in 1/256 steps; anything not above zero magnifies.
  int64_t lod = INT64_MIN;
  if (rho > 0.0 && isfinite(rho)) {
    const double l = (log2(rho) + view.lodBias) * 256.0;
    if (l > 0.0) lod = l > 65536.0 ? 65536 : static_cast<int64_t>(llround(l));
  }
  if (lod <= 0) {
    c.bilinear = IsLinearFilter(view.magFilter);
    return c;
  }
  c.bilinear = IsLinearFilter(view.minFilter);
  const int last = view.levelCount - 1;
  auto clampLevel = [&](int64_t l) {
    if (l < view.baseLevel) return view.baseLevel;
    return l > last ? last : static_cast<int>(l);
  };
  switch (view.mipFilter) {
    case D3DTEXF_NONE:
      break;
    case D3DTEXF_POINT:
      c.level0 = c.level1 = clampLevel((lod + 128) >> 8);
      break;
    default:  // LINEAR and anything finer
      c.level0 = clampLevel(lod >> 8);
      c.level1 = clampLevel((lod >> 8) + 1);
      c.weight1 = c.level0 == c.level1 ? 0 : static_cast<int>(lod & 255);
      break;
  }
  return c;
}

AxisTaps AxisFromCoordinate(float coordinate, int size, DWORD address) {
  // Texel i covers [i, i + 1) in texel units, its centre at i + 0.5; the
  // position in 1/256 texel relative to texel centres. The double holds the
  // float coordinate times the size exactly.
  double p = (static_cast<double>(coordinate) * size - 0.5) * 256.0;
  if (!(p > -kCoordinateLimit)) p = -kCoordinateLimit;  // also NaN
  if (p > kCoordinateLimit) p = kCoordinateLimit;
  // floor without a library call: p is within +-1e12, where truncation
  // toward zero is exact.
  int64_t fixed = static_cast<int64_t>(p);
  if (static_cast<double>(fixed) > p) --fixed;
  const int64_t first = fixed >> 8;
  AxisTaps taps;
  taps.weight = static_cast<int>(fixed & 255);
  taps.i0 = Address(first, size, address);
  taps.i1 = Address(first + 1, size, address);
  taps.nearest = Address((fixed + 128) >> 8, size, address);
  return taps;
}

DWORD FetchTexel(const SamplerView& view, int level, int x, int y) {
  if (x < 0 || y < 0) return view.border;
  const TextureLevel& l = view.texture->levels[level];
  const BYTE* row = l.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(l.pitch);
  switch (view.format) {
    case D3DFMT_A8R8G8B8: {
      DWORD t;
      memcpy(&t, row + 4 * static_cast<size_t>(x), 4);
      return t;
    }
    case D3DFMT_X8R8G8B8: {
      DWORD t;
      memcpy(&t, row + 4 * static_cast<size_t>(x), 4);
      return t | 0xFF000000u;
    }
    case D3DFMT_L8:
      return 0xFF000000u | (static_cast<DWORD>(row[x]) * 0x010101u);
    case D3DFMT_A8:
      return static_cast<DWORD>(row[x]) << 24;
    default:
      return 0;
  }
}

namespace {

DWORD SampleLevel(const SamplerView& view, int level, bool bilinear, float u, float v) {
  const int w = LevelWidth(view, level), h = LevelHeight(view, level);
  const AxisTaps tu = AxisFromCoordinate(u, w, view.addressU);
  const AxisTaps tv = AxisFromCoordinate(v, h, view.addressV);
  if (!bilinear) return FetchTexel(view, level, tu.nearest, tv.nearest);
  return FilterBilinear(FetchTexel(view, level, tu.i0, tv.i0), FetchTexel(view, level, tu.i1, tv.i0),
                        FetchTexel(view, level, tu.i0, tv.i1), FetchTexel(view, level, tu.i1, tv.i1),
                        tu.weight, tv.weight);
}

}  // namespace

DWORD SampleTexture(const SamplerView& view, const LevelChoice& choice, float u, float v) {
  const DWORD a = SampleLevel(view, choice.level0, choice.bilinear, u, v);
  if (choice.weight1 == 0) return a;
  const DWORD b = SampleLevel(view, choice.level1, choice.bilinear, u, v);
  DWORD out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int n = (static_cast<int>((a >> shift) & 0xFF) * (256 - choice.weight1) +
                   static_cast<int>((b >> shift) & 0xFF) * choice.weight1 + 128) >>
                  8;
    out |= static_cast<DWORD>(n) << shift;
  }
  return out;
}

}  // namespace standin
