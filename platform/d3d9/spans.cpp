// The rasteriser's span loops: writing shaded spans into the target (alpha
// test, depth, blending) and shading textured spans. Each specialised loop
// computes exactly what the general per-pixel code computes, only several
// pixels at a time; tests hold them to that.
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "d3d9/device.h"
#include "d3d9/pixel.h"
#include "d3d9/raster_internal.h"
#include "d3d9/sampling.h"

namespace standin {
namespace {

// --- Writing spans -------------------------------------------------------------

bool KnownCompare(DWORD func) { return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS; }

// Whether every pixel of the span passes the depth test (or there is none).
bool DepthAllPass(const OutputState& out, const SpanDepth& depth) {
  if (!out.depthTest || !KnownCompare(out.depthFunc)) return true;
  if (!depth.constant) return out.depthFunc == D3DCMP_ALWAYS;
  switch (out.depthFunc) {
    case D3DCMP_ALWAYS: return true;
    case D3DCMP_LESSEQUAL: return depth.value == 0;
    case D3DCMP_GREATEREQUAL: return depth.value == kMaxDepthValue;
    default: return false;
  }
}

uint32_t DepthAt(const SpanDepth& depth, int i) { return depth.constant ? depth.value : depth.values[i]; }

// The per-pixel reference: what every other loop here must reproduce.
void WriteSpanReference(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl,
                        int xr, const DWORD* src, size_t srcStep, const SpanDepth& depth) {
  for (int x = xl; x <= xr; ++x) {
    const int i = x - xl;
    const DWORD s = src[static_cast<size_t>(i) * srcStep];
    if (out.alphaTest && !CompareValues(out.alphaFunc, s >> 24, out.alphaRef)) continue;
    if (out.depthTest) {
      const uint32_t z = DepthAt(depth, i);
      if (!CompareValues(out.depthFunc, z, depthRow[x])) continue;
      if (out.depthWrite) depthRow[x] = z;
    }
    const DWORD d = colorRow[x];
    const DWORD blended = out.blend.enabled ? BlendPixel(out.blend, s, d) : s;
    colorRow[x] = (blended & out.writeMask) | (d & ~out.writeMask);
  }
}

bool IsBlend(const BlendState& b, DWORD src, DWORD dst) {
  return b.op == D3DBLENDOP_ADD && b.opAlpha == D3DBLENDOP_ADD && b.src == src && b.dst == dst &&
         b.srcAlpha == src && b.dstAlpha == dst;
}

// Whether a blend mode's factor is the same whatever the target holds.
bool FactorIgnoresTarget(DWORD mode) {
  switch (mode) {
    case D3DBLEND_DESTALPHA: case D3DBLEND_INVDESTALPHA: case D3DBLEND_DESTCOLOR:
    case D3DBLEND_INVDESTCOLOR: case D3DBLEND_SRCALPHASAT:
      return false;
    default:
      return true;
  }
}

enum class ColorKind { kStore, kAddSaturate, kSourceAlpha, kOther };

ColorKind ClassifyColor(const OutputState& out) {
  if (out.writeMask != 0xFFFFFFFF) return ColorKind::kOther;
  const BlendState& b = out.blend;
  if (!b.enabled || IsBlend(b, D3DBLEND_ONE, D3DBLEND_ZERO)) return ColorKind::kStore;
  if (IsBlend(b, D3DBLEND_ONE, D3DBLEND_ONE)) return ColorKind::kAddSaturate;
  if (IsBlend(b, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA)) return ColorKind::kSourceAlpha;
  return ColorKind::kOther;
}

#if defined(__SSE2__)

// dst = min(255, src + dst) per byte.
void AddSaturateRun(DWORD* dst, const DWORD* src, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(s, d));
  }
  for (; i < n; ++i) {
    const __m128i s = _mm_cvtsi32_si128(static_cast<int>(src[i]));
    const __m128i d = _mm_cvtsi32_si128(static_cast<int>(dst[i]));
    dst[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_adds_epu8(s, d)));
  }
}

void AddSaturateConstantRun(DWORD* dst, DWORD color, int n) {
  const __m128i s = _mm_set1_epi32(static_cast<int>(color));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_adds_epu8(s, d));
  }
  for (; i < n; ++i) {
    const __m128i d = _mm_cvtsi32_si128(static_cast<int>(dst[i]));
    dst[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_adds_epu8(s, d)));
  }
}

// Two pixels in 16-bit lanes: round((s * a + d * (255 - a)) / 255) with a
// the source alpha. s * a + d * (255 - a) + 128 fits 16 bits, and
// ((y + 1) * 257) >> 16 equals y / 255 for every such y.
inline __m128i SourceAlphaPair(__m128i s16, __m128i d16) {
  const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
  const __m128i ia = _mm_xor_si128(a, _mm_set1_epi16(255));
  __m128i y = _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, ia));
  y = _mm_add_epi16(y, _mm_set1_epi16(128));
  return _mm_mulhi_epu16(y, _mm_set1_epi16(257));
}

void SourceAlphaRun(DWORD* dst, const DWORD* src, int n) {
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i lo = SourceAlphaPair(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = SourceAlphaPair(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  for (; i < n; ++i) {
    const __m128i s = _mm_cvtsi32_si128(static_cast<int>(src[i]));
    const __m128i d = _mm_cvtsi32_si128(static_cast<int>(dst[i]));
    const __m128i r = SourceAlphaPair(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    dst[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
  }
}

// A constant source with factors that do not read the target: per channel
// round((S * Fs + D * Fd) / 255) = ((D * Fd + S * Fs + 128) * 257) >> 16,
// valid while D * Fd + S * Fs + 128 stays within 16 bits (checked by the
// caller).
void ConstantFactorRun(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8], int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i vfd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fd));
  const __m128i vk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k));
  const __m128i m257 = _mm_set1_epi16(257);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i lo = _mm_mulhi_epu16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), vfd), vk), m257);
    const __m128i hi = _mm_mulhi_epu16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), vfd), vk), m257);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  for (; i < n; ++i) {
    const __m128i d = _mm_cvtsi32_si128(static_cast<int>(dst[i]));
    const __m128i r = _mm_mulhi_epu16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), vfd), vk), m257);
    dst[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
  }
}

void FillRun(DWORD* dst, DWORD color, int n) {
  const __m128i c = _mm_set1_epi32(static_cast<int>(color));
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), c);
  for (; i < n; ++i) dst[i] = color;
}

void FillDepth(uint32_t* dst, uint32_t value, int n) {
  const __m128i c = _mm_set1_epi32(static_cast<int>(value));
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), c);
  for (; i < n; ++i) dst[i] = value;
}

#else  // no SSE2: the same arithmetic one channel at a time

void AddSaturateRun(DWORD* dst, const DWORD* src, int n) {
  for (int i = 0; i < n; ++i) {
    DWORD out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const uint32_t v = ByteAt(src[i], shift) + ByteAt(dst[i], shift);
      out |= (v > 255 ? 255 : v) << shift;
    }
    dst[i] = out;
  }
}

void AddSaturateConstantRun(DWORD* dst, DWORD color, int n) {
  for (int i = 0; i < n; ++i) AddSaturateRun(dst + i, &color, 1);
}

void SourceAlphaRun(DWORD* dst, const DWORD* src, int n) {
  BlendState b;
  b.enabled = true;
  b.src = b.srcAlpha = D3DBLEND_SRCALPHA;
  b.dst = b.dstAlpha = D3DBLEND_INVSRCALPHA;
  for (int i = 0; i < n; ++i) dst[i] = BlendPixel(b, src[i], dst[i]);
}

void ConstantFactorRun(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8], int n) {
  for (int i = 0; i < n; ++i) {
    DWORD out = 0;
    for (int c = 0; c < 4; ++c) {
      const uint32_t y = ByteAt(dst[i], 8 * c) * fd[c] + k[c];
      const uint32_t q = (y * 257) >> 16;
      out |= (q > 255 ? 255 : q) << (8 * c);
    }
    dst[i] = out;
  }
}

void FillRun(DWORD* dst, DWORD color, int n) {
  for (int i = 0; i < n; ++i) dst[i] = color;
}

void FillDepth(uint32_t* dst, uint32_t value, int n) {
  for (int i = 0; i < n; ++i) dst[i] = value;
}

#endif

// Colours of pixels that passed every test, written by kind.
void ColorRun(const OutputState& out, ColorKind kind, DWORD* dst, const DWORD* src, int n) {
  switch (kind) {
    case ColorKind::kStore: memcpy(dst, src, sizeof(DWORD) * static_cast<size_t>(n)); break;
    case ColorKind::kAddSaturate: AddSaturateRun(dst, src, n); break;
    case ColorKind::kSourceAlpha: SourceAlphaRun(dst, src, n); break;
    default:
      for (int i = 0; i < n; ++i) {
        const DWORD d = dst[i];
        const DWORD b = out.blend.enabled ? BlendPixel(out.blend, src[i], d) : src[i];
        dst[i] = (b & out.writeMask) | (d & ~out.writeMask);
      }
      break;
  }
}

// A constant colour: the factors, when they can be applied in 16 bits.
struct ConstantBlend {
  bool usable = false;
  uint16_t fd[8];
  uint16_t k[8];
};

ConstantBlend MakeConstantBlend(const OutputState& out, DWORD color) {
  ConstantBlend cb;
  const BlendState& b = out.blend;
  if (out.writeMask != 0xFFFFFFFF || b.op != D3DBLENDOP_ADD || b.opAlpha != D3DBLENDOP_ADD)
    return cb;
  if (!FactorIgnoresTarget(b.src) || !FactorIgnoresTarget(b.dst) ||
      !FactorIgnoresTarget(b.srcAlpha) || !FactorIgnoresTarget(b.dstAlpha))
    return cb;
  for (int c = 0; c < 4; ++c) {
    const int shift = 8 * c;
    const bool alpha = c == 3;
    const uint32_t fs = BlendFactorByte(alpha ? b.srcAlpha : b.src, shift, color, 0, b.factor);
    const uint32_t fd = BlendFactorByte(alpha ? b.dstAlpha : b.dst, shift, color, 0, b.factor);
    const uint32_t k = ByteAt(color, shift) * fs + 128;
    if (255 * fd + k > 65535) return cb;
    cb.fd[c] = cb.fd[c + 4] = static_cast<uint16_t>(fd);
    cb.k[c] = cb.k[c + 4] = static_cast<uint16_t>(k);
  }
  cb.usable = true;
  return cb;
}

void ConstantColorRun(const OutputState& out, ColorKind kind, const ConstantBlend& cb, DWORD* dst,
                      DWORD color, int n) {
  switch (kind) {
    case ColorKind::kStore: FillRun(dst, color, n); return;
    case ColorKind::kAddSaturate: AddSaturateConstantRun(dst, color, n); return;
    default: break;
  }
  if (cb.usable) {
    ConstantFactorRun(dst, cb.fd, cb.k, n);
    return;
  }
  for (int i = 0; i < n; ++i) {
    const DWORD d = dst[i];
    const DWORD b = out.blend.enabled ? BlendPixel(out.blend, color, d) : color;
    dst[i] = (b & out.writeMask) | (d & ~out.writeMask);
  }
}

// Runs the alpha and depth tests pixel by pixel (writing depth for the
// survivors) and hands each run of survivors to `run(first, last)`.
template <typename Run>
void SurvivorRuns(const OutputState& out, uint32_t* depthRow, int xl, int xr, const DWORD* src,
                  size_t srcStep, const SpanDepth& depth, Run run) {
  int start = -1;
  for (int x = xl; x <= xr; ++x) {
    const int i = x - xl;
    bool pass = true;
    if (out.alphaTest)
      pass = CompareValues(out.alphaFunc, src[static_cast<size_t>(i) * srcStep] >> 24, out.alphaRef);
    if (pass && out.depthTest) {
      const uint32_t z = DepthAt(depth, i);
      pass = CompareValues(out.depthFunc, z, depthRow[x]);
      if (pass && out.depthWrite) depthRow[x] = z;
    }
    if (pass) {
      if (start < 0) start = x;
    } else if (start >= 0) {
      run(start, x - 1);
      start = -1;
    }
  }
  if (start >= 0) run(start, xr);
}

}  // namespace

bool OutputIsPlainStore(const OutputState& out, const SpanDepth& depth) {
  return !out.alphaTest && DepthAllPass(out, depth) && ClassifyColor(out) == ColorKind::kStore;
}

void WriteSpanDepth(const OutputState& out, uint32_t* depthRow, int xl, int xr,
                    const SpanDepth& depth) {
  if (!out.depthWrite) return;
  if (depth.constant)
    FillDepth(depthRow + xl, depth.value, xr - xl + 1);
  else
    memcpy(depthRow + xl, depth.values, sizeof(uint32_t) * static_cast<size_t>(xr - xl + 1));
}

void WriteSpan(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl, int xr,
               const DWORD* src, const SpanDepth& depth, bool fast) {
  if (!fast) {
    WriteSpanReference(out, colorRow, depthRow, xl, xr, src, 1, depth);
    return;
  }
  const ColorKind kind = ClassifyColor(out);
  if (!out.alphaTest && DepthAllPass(out, depth)) {
    WriteSpanDepth(out, depthRow, xl, xr, depth);
    ColorRun(out, kind, colorRow + xl, src, xr - xl + 1);
    return;
  }
  SurvivorRuns(out, depthRow, xl, xr, src, 1, depth, [&](int first, int last) {
    ColorRun(out, kind, colorRow + first, src + (first - xl), last - first + 1);
  });
}

void WriteSpanConstant(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl,
                       int xr, DWORD color, const SpanDepth& depth, bool fast) {
  if (!fast) {
    WriteSpanReference(out, colorRow, depthRow, xl, xr, &color, 0, depth);
    return;
  }
  if (out.alphaTest && !CompareValues(out.alphaFunc, color >> 24, out.alphaRef)) return;
  if (out.depthTest && out.depthFunc == D3DCMP_NEVER) return;
  const ColorKind kind = ClassifyColor(out);
  const ConstantBlend cb = MakeConstantBlend(out, color);
  if (DepthAllPass(out, depth)) {
    WriteSpanDepth(out, depthRow, xl, xr, depth);
    ConstantColorRun(out, kind, cb, colorRow + xl, color, xr - xl + 1);
    return;
  }
  OutputState tests = out;
  tests.alphaTest = false;  // decided above for the whole span
  SurvivorRuns(tests, depthRow, xl, xr, &color, 0, depth, [&](int first, int last) {
    ConstantColorRun(out, kind, cb, colorRow + first, color, last - first + 1);
  });
}

// --- Textured spans ----------------------------------------------------------------
//
// u depends on x only and v on y only, so each column's texels and weights
// are worked out once per triangle and each row's once per row. Bilinear
// rows are filtered vertically first, for every texel column the span
// needs; a pixel then only blends two neighbouring filtered columns.

namespace {

constexpr int kMaxLevelSize = 8192;
constexpr int kMaxSpecialPairs = 4;

struct ColumnTables {
  int x0 = 0, x1 = -1;
  int width = 0, height = 0;  // of the level
  // Bilinear: per column, the pair of filtered texel columns it blends and
  // the weights of the pair's first and second column (16 bits each,
  // repeated for the four channels). Pair k < width - 1 is columns (k, k+1);
  // pairs width - 1 + m are the special pairs (specialA[m], specialB[m])
  // that addressing makes at the edges.
  int32_t pair[kMaxSpanPixels];
  alignas(16) int16_t weights[kMaxSpanPixels][8];
  int specialCount = 0;
  int specialA[kMaxSpecialPairs], specialB[kMaxSpecialPairs];
  bool monotone = false;  // ordinary pairs only, in column order or reverse
  int pairMin = 0, pairMax = -1;  // ordinary pairs used
  // Point sampling: the column each pixel reads.
  int32_t nearest[kMaxSpanPixels];
};

ColumnTables g_columns;
// One row of vertically filtered texel columns (four 16-bit channels each,
// halved so that they fit signed 16-bit arithmetic) and the pairs built
// from them.
alignas(16) uint16_t g_filtered[(kMaxLevelSize + 1) * 4];
alignas(16) int16_t g_pairs[kMaxLevelSize + kMaxSpecialPairs][8];

int FindOrAddSpecial(ColumnTables& t, int a, int b) {
  for (int m = 0; m < t.specialCount; ++m)
    if (t.specialA[m] == a && t.specialB[m] == b) return m;
  if (t.specialCount == kMaxSpecialPairs) return -1;
  t.specialA[t.specialCount] = a;
  t.specialB[t.specialCount] = b;
  return t.specialCount++;
}

void SetWeights(int16_t (&w)[8], int first, int second) {
  for (int c = 0; c < 4; ++c) {
    w[2 * c] = static_cast<int16_t>(first);
    w[2 * c + 1] = static_cast<int16_t>(second);
  }
}

// Vertically filtered column c of rows j0, j1 into g_filtered.
void FilterColumnScalar(const SamplerView& view, int level, int c, int j0, int j1, int fy) {
  const DWORD t0 = FetchTexel(view, level, c, j0), t1 = FetchTexel(view, level, c, j1);
  uint16_t* out = g_filtered + 4 * static_cast<size_t>(c);
  for (int ch = 0; ch < 4; ++ch) {
    const int v = static_cast<int>(ByteAt(t0, 8 * ch)) * (256 - fy) +
                  static_cast<int>(ByteAt(t1, 8 * ch)) * fy;
    out[ch] = static_cast<uint16_t>(v >> 1);
  }
}

void FilterColumns(const SamplerView& view, int level, int first, int last, int j0, int j1, int fy) {
  int c = first;
#if defined(__SSE2__)
  if (view.format == D3DFMT_A8R8G8B8 || view.format == D3DFMT_X8R8G8B8) {
    const TextureLevel& l = view.texture->levels[level];
    const BYTE* row0 = l.bits.data() + static_cast<size_t>(j0) * static_cast<size_t>(l.pitch);
    const BYTE* row1 = l.bits.data() + static_cast<size_t>(j1) * static_cast<size_t>(l.pitch);
    const __m128i alpha = _mm_set1_epi32(view.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
    const __m128i w0 = _mm_set1_epi16(static_cast<int16_t>(256 - fy));
    const __m128i w1 = _mm_set1_epi16(static_cast<int16_t>(fy));
    const __m128i zero = _mm_setzero_si128();
    for (; c + 4 <= last + 1; c += 4) {
      const __m128i a = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + 4 * static_cast<size_t>(c))), alpha);
      const __m128i b = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + 4 * static_cast<size_t>(c))), alpha);
      const __m128i lo = _mm_srli_epi16(
          _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), w0),
                        _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), w1)),
          1);
      const __m128i hi = _mm_srli_epi16(
          _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), w0),
                        _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), w1)),
          1);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g_filtered + 4 * static_cast<size_t>(c)), lo);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g_filtered + 4 * static_cast<size_t>(c) + 8), hi);
    }
  }
#endif
  for (; c <= last; ++c) FilterColumnScalar(view, level, c, j0, j1, fy);
}

void MakePair(int index, int a, int b) {
  const uint16_t* fa = g_filtered + 4 * static_cast<size_t>(a);
  const uint16_t* fb = g_filtered + 4 * static_cast<size_t>(b);
  int16_t* p = g_pairs[index];
  for (int ch = 0; ch < 4; ++ch) {
    p[2 * ch] = static_cast<int16_t>(fa[ch]);
    p[2 * ch + 1] = static_cast<int16_t>(fb[ch]);
  }
}

void MakePairs(int first, int last) {
  int k = first;
#if defined(__SSE2__)
  for (; k + 2 <= last; k += 2) {
    // Columns k, k+1, k+2 give pairs (k, k+1) and (k+1, k+2).
    const __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + 4 * static_cast<size_t>(k)));
    const __m128i bc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + 4 * static_cast<size_t>(k) + 4));
    _mm_store_si128(reinterpret_cast<__m128i*>(g_pairs[k]), _mm_unpacklo_epi16(ab, bc));
    _mm_store_si128(reinterpret_cast<__m128i*>(g_pairs[k + 1]), _mm_unpackhi_epi16(ab, bc));
  }
#endif
  for (; k <= last; ++k) MakePair(k, k, k + 1);
}

void ApplyLut(const TexturedSource& s, DWORD* out, int n) {
  for (int i = 0; i < n; ++i) {
    const DWORD c = out[i];
    out[i] = (static_cast<DWORD>(s.lut[3][c >> 24]) << 24) |
             (static_cast<DWORD>(s.lut[2][(c >> 16) & 0xFF]) << 16) |
             (static_cast<DWORD>(s.lut[1][(c >> 8) & 0xFF]) << 8) | s.lut[0][c & 0xFF];
  }
}

}  // namespace

bool PrepareTexturedSpans(const TexturedSource& source, int x0, int x1, int anyRow) {
  ColumnTables& t = g_columns;
  const SamplerView& view = *source.view;
  if (x1 - x0 + 1 > kMaxSpanPixels) return false;
  t.width = LevelWidth(view, source.level);
  t.height = LevelHeight(view, source.level);
  if (t.width > kMaxLevelSize) return false;
  t.x0 = x0;
  t.x1 = x1;
  t.specialCount = 0;
  t.pairMin = t.width;
  t.pairMax = -1;
  int direction = 0;  // +1 rising, -1 falling, 2 neither
  int previous = -1;
  for (int x = x0; x <= x1; ++x) {
    const int i = x - x0;
    const float u = static_cast<float>(EvalPlane(source.u, source.refX, source.refY, x, anyRow));
    const AxisTaps taps = AxisFromCoordinate(u, t.width, view.addressU);
    if (!source.bilinear) {
      t.nearest[i] = taps.nearest;
      continue;
    }
    int pair;
    if (taps.i1 == taps.i0 + 1) {
      pair = taps.i0;
      SetWeights(t.weights[i], 256 - taps.weight, taps.weight);
    } else if (taps.i0 == taps.i1 + 1) {
      pair = taps.i1;
      SetWeights(t.weights[i], taps.weight, 256 - taps.weight);
    } else {
      const int m = FindOrAddSpecial(t, taps.i0, taps.i1);
      if (m < 0) return false;
      pair = t.width - 1 + m;
      SetWeights(t.weights[i], 256 - taps.weight, taps.weight);
    }
    t.pair[i] = pair;
    if (pair < t.width - 1) {
      t.pairMin = pair < t.pairMin ? pair : t.pairMin;
      t.pairMax = pair > t.pairMax ? pair : t.pairMax;
      if (previous >= 0 && pair != previous) {
        const int d = pair > previous ? 1 : -1;
        if (direction == 0) direction = d;
        else if (direction != d) direction = 2;
      }
      previous = pair;
    }
  }
  t.monotone = t.specialCount == 0 && direction != 2;
  return true;
}

void ShadeTexturedSpan(const TexturedSource& source, int y, int xl, int xr, DWORD* out) {
  const ColumnTables& t = g_columns;
  const SamplerView& view = *source.view;
  const float v = static_cast<float>(EvalPlane(source.v, source.refX, source.refY, t.x0, y));
  const AxisTaps rows = AxisFromCoordinate(v, t.height, view.addressV);
  const int n = xr - xl + 1;
  if (!source.bilinear) {
    for (int x = xl; x <= xr; ++x)
      out[x - xl] = FetchTexel(view, source.level, t.nearest[x - t.x0], rows.nearest);
  } else {
    int first = t.pairMin, last = t.pairMax;
    if (t.monotone) {
      const int a = t.pair[xl - t.x0], b = t.pair[xr - t.x0];
      first = a < b ? a : b;
      last = a < b ? b : a;
    }
    if (first <= last) {
      FilterColumns(view, source.level, first, last + 1, rows.i0, rows.i1, rows.weight);
      MakePairs(first, last);
    }
    for (int m = 0; m < t.specialCount; ++m) {
      FilterColumnScalar(view, source.level, t.specialA[m], rows.i0, rows.i1, rows.weight);
      FilterColumnScalar(view, source.level, t.specialB[m], rows.i0, rows.i1, rows.weight);
      MakePair(t.width - 1 + m, t.specialA[m], t.specialB[m]);
    }
    const int32_t* pair = t.pair + (xl - t.x0);
    const int16_t(*weights)[8] = t.weights + (xl - t.x0);
#if defined(__SSE2__)
    const __m128i round = _mm_set1_epi32(16384);
    auto blend = [&](int i) {
      const __m128i p = _mm_load_si128(reinterpret_cast<const __m128i*>(g_pairs[pair[i]]));
      const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(weights[i]));
      return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(p, w), round), 15);
    };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
      const __m128i a = _mm_packs_epi32(blend(i), blend(i + 1));
      const __m128i b = _mm_packs_epi32(blend(i + 2), blend(i + 3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
    }
    for (; i < n; ++i) {
      const __m128i a = _mm_packs_epi32(blend(i), blend(i));
      out[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_packus_epi16(a, a)));
    }
#else
    for (int i = 0; i < n; ++i) {
      const int16_t* p = g_pairs[pair[i]];
      const int16_t* w = weights[i];
      DWORD c = 0;
      for (int ch = 0; ch < 4; ++ch) {
        const int value = (p[2 * ch] * w[2 * ch] + p[2 * ch + 1] * w[2 * ch + 1] + 16384) >> 15;
        c |= static_cast<DWORD>(value) << (8 * ch);
      }
      out[i] = c;
    }
#endif
  }
  if (!source.lutIdentity) ApplyLut(source, out, n);
}

}  // namespace standin
