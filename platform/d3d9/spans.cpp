// The rasteriser's span loops: writing shaded spans into the target (alpha
// test, depth, blending) and shading textured spans. Each specialised loop
// computes exactly what the general per-pixel code computes, only several
// pixels at a time; tests hold them to that.
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
// AVX2 versions of the hot loops, chosen at run time: the build itself
// targets plain x86-64.
#define STANDIN_HAVE_AVX2 1
#define STANDIN_AVX2 __attribute__((target("avx2")))
#endif

#include "d3d9/device.h"
#include "d3d9/pixel.h"
#include "d3d9/raster.h"
#include "d3d9/raster_internal.h"
#include "d3d9/sampling.h"

namespace standin {
namespace {

bool g_allowAvx2 = true;

bool DetectAvx2() {
#if defined(STANDIN_HAVE_AVX2)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

// Asked once at start-up: the span loops ask for every run.
const bool g_cpuHasAvx2 = DetectAvx2();

inline bool CpuHasAvx2() { return g_cpuHasAvx2; }

inline bool UseAvx2() { return g_allowAvx2 && g_cpuHasAvx2; }

// Runs at least this long that replace every pixel are written with
// streaming stores, which do not first read the lines they fill.
constexpr int kStreamPixels = 512;
// Set when streaming stores were made; FinishSpans orders them.
bool g_streamed = false;

// Pixels before the first 32-byte boundary of dst, at most n.
inline int StreamHead(const DWORD* dst, int n) {
  const int head = static_cast<int>(((32 - (reinterpret_cast<uintptr_t>(dst) & 31)) & 31) / 4);
  return head < n ? head : n;
}

// --- Writing spans -------------------------------------------------------------

bool KnownCompare(DWORD func) { return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS; }

// The depth test's outcome for a whole span when it is the same for every
// pixel: 1 all pass (or there is no test), 0 none pass; -1 when each pixel
// must be tested against the buffer.
int UniformDepthTest(const OutputState& out, const SpanDepth& depth) {
  if (!out.depthTest || !KnownCompare(out.depthFunc) || out.depthFunc == D3DCMP_ALWAYS) return 1;
  if (out.depthFunc == D3DCMP_NEVER) return 0;
  if (!depth.constant) return -1;
  if (depth.row && depth.row->uniform)
    return CompareValues(out.depthFunc, depth.value, depth.row->value) ? 1 : 0;
  if (out.depthFunc == D3DCMP_LESSEQUAL && depth.value == 0) return 1;
  if (out.depthFunc == D3DCMP_GREATEREQUAL && depth.value == kMaxDepthValue) return 1;
  return -1;
}

// Whether depth writes of this span would leave the buffer as it is.
bool DepthWritesChangeNothing(const OutputState& out, const SpanDepth& depth) {
  return !out.depthWrite ||
         (depth.constant && depth.row && depth.row->uniform && depth.row->value == depth.value);
}

uint32_t DepthAt(const SpanDepth& depth, int i) { return depth.constant ? depth.value : depth.values[i]; }

// The per-pixel reference: what every other loop here must reproduce.
void WriteSpanReference(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl,
                        int xr, const DWORD* src, size_t srcStep, const SpanDepth& depth) {
  if (out.depthWrite && depth.row) depth.row->uniform = false;
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

ColorKind ClassifyBlend(const OutputState& out) {
  if (out.writeMask != 0xFFFFFFFF) return ColorKind::kOther;
  const BlendState& b = out.blend;
  if (!b.enabled || IsBlend(b, D3DBLEND_ONE, D3DBLEND_ZERO)) return ColorKind::kStore;
  if (IsBlend(b, D3DBLEND_ONE, D3DBLEND_ONE)) return ColorKind::kAddSaturate;
  if (IsBlend(b, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA)) return ColorKind::kSourceAlpha;
  return ColorKind::kOther;
}

// Classified once per draw by PrepareOutput; on the spot otherwise.
ColorKind ClassifyColor(const OutputState& out) {
  return out.colorKind >= 0 ? static_cast<ColorKind>(out.colorKind) : ClassifyBlend(out);
}

#if defined(__SSE2__)

// dst = min(255, src + dst) per byte.
void AddSaturateRunBase(DWORD* dst, const DWORD* src, int n) {
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

void AddSaturateConstantRunBase(DWORD* dst, DWORD color, int n) {
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

void SourceAlphaRunBase(DWORD* dst, const DWORD* src, int n) {
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
void ConstantFactorRunBase(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8], int n) {
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

void FillRunBase(DWORD* dst, DWORD color, int n) {
  const __m128i c = _mm_set1_epi32(static_cast<int>(color));
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), c);
  for (; i < n; ++i) dst[i] = color;
}

// Stores only where the buffer differs: quads at one depth mostly land on
// depth they wrote before, and reading is cheaper than writing back.
void FillDepthBase(uint32_t* dst, uint32_t value, int n) {
  const __m128i c = _mm_set1_epi32(static_cast<int>(value));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i* p = reinterpret_cast<__m128i*>(dst + i);
    const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1);
    if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(a, c), _mm_cmpeq_epi32(b, c))) != 0xFFFF) {
      _mm_storeu_si128(p, c);
      _mm_storeu_si128(p + 1, c);
    }
  }
  for (; i < n; ++i)
    if (dst[i] != value) dst[i] = value;
}

#else  // no SSE2: the same arithmetic one channel at a time

void AddSaturateRunBase(DWORD* dst, const DWORD* src, int n) {
  for (int i = 0; i < n; ++i) {
    DWORD out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const uint32_t v = ByteAt(src[i], shift) + ByteAt(dst[i], shift);
      out |= (v > 255 ? 255 : v) << shift;
    }
    dst[i] = out;
  }
}

void AddSaturateConstantRunBase(DWORD* dst, DWORD color, int n) {
  for (int i = 0; i < n; ++i) AddSaturateRunBase(dst + i, &color, 1);
}

void SourceAlphaRunBase(DWORD* dst, const DWORD* src, int n) {
  BlendState b;
  b.enabled = true;
  b.src = b.srcAlpha = D3DBLEND_SRCALPHA;
  b.dst = b.dstAlpha = D3DBLEND_INVSRCALPHA;
  for (int i = 0; i < n; ++i) dst[i] = BlendPixel(b, src[i], dst[i]);
}

void ConstantFactorRunBase(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8], int n) {
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

void FillRunBase(DWORD* dst, DWORD color, int n) {
  for (int i = 0; i < n; ++i) dst[i] = color;
}

void FillDepthBase(uint32_t* dst, uint32_t value, int n) {
  for (int i = 0; i < n; ++i) dst[i] = value;
}

#endif

#if defined(STANDIN_HAVE_AVX2)

STANDIN_AVX2 void AddSaturateRunAvx2(DWORD* dst, const DWORD* src, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_adds_epu8(s, d));
  }
  AddSaturateRunBase(dst + i, src + i, n - i);
}

STANDIN_AVX2 void AddSaturateConstantRunAvx2(DWORD* dst, DWORD color, int n) {
  const __m256i s = _mm256_set1_epi32(static_cast<int>(color));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_adds_epu8(s, d));
  }
  AddSaturateConstantRunBase(dst + i, color, n - i);
}

STANDIN_AVX2 inline __m256i SourceAlphaPairAvx2(__m256i s16, __m256i d16) {
  const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
  const __m256i ia = _mm256_xor_si256(a, _mm256_set1_epi16(255));
  __m256i y = _mm256_add_epi16(_mm256_mullo_epi16(s16, a), _mm256_mullo_epi16(d16, ia));
  y = _mm256_add_epi16(y, _mm256_set1_epi16(128));
  return _mm256_mulhi_epu16(y, _mm256_set1_epi16(257));
}

STANDIN_AVX2 void SourceAlphaRunAvx2(DWORD* dst, const DWORD* src, int n) {
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    // Unpacking and packing within each 128-bit lane keeps the pixel order.
    const __m256i lo = SourceAlphaPairAvx2(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero));
    const __m256i hi = SourceAlphaPairAvx2(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
  }
  SourceAlphaRunBase(dst + i, src + i, n - i);
}

STANDIN_AVX2 void ConstantFactorRunAvx2(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8],
                                        int n) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i vfd = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(fd)));
  const __m256i vk = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
  const __m256i m257 = _mm256_set1_epi16(257);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
    const __m256i lo = _mm256_mulhi_epu16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), vfd), vk), m257);
    const __m256i hi = _mm256_mulhi_epu16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), vfd), vk), m257);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
  }
  ConstantFactorRunBase(dst + i, fd, k, n - i);
}

STANDIN_AVX2 void FillRunAvx2(DWORD* dst, DWORD color, int n, bool mayStream) {
  const __m256i c = _mm256_set1_epi32(static_cast<int>(color));
  int i = 0;
  if (mayStream && n >= kStreamPixels) {
    // Long runs bypass the cache: nothing of the old contents is needed.
    const int head = StreamHead(dst, n);
    FillRunBase(dst, color, head);
    for (i = head; i + 8 <= n; i += 8) _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), c);
    g_streamed = true;
  } else {
    for (; i + 8 <= n; i += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), c);
  }
  FillRunBase(dst + i, color, n - i);
}

STANDIN_AVX2 void FillDepthAvx2(uint32_t* dst, uint32_t value, int n) {
  const __m256i c = _mm256_set1_epi32(static_cast<int>(value));
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    __m256i* p = reinterpret_cast<__m256i*>(dst + i);
    const __m256i a = _mm256_loadu_si256(p), b = _mm256_loadu_si256(p + 1);
    if (_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi32(a, c), _mm256_cmpeq_epi32(b, c))) != -1) {
      _mm256_storeu_si256(p, c);
      _mm256_storeu_si256(p + 1, c);
    }
  }
  FillDepthBase(dst + i, value, n - i);
}

#endif

void AddSaturateRun(DWORD* dst, const DWORD* src, int n) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return AddSaturateRunAvx2(dst, src, n);
#endif
  AddSaturateRunBase(dst, src, n);
}

void AddSaturateConstantRun(DWORD* dst, DWORD color, int n) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return AddSaturateConstantRunAvx2(dst, color, n);
#endif
  AddSaturateConstantRunBase(dst, color, n);
}

void SourceAlphaRun(DWORD* dst, const DWORD* src, int n) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return SourceAlphaRunAvx2(dst, src, n);
#endif
  SourceAlphaRunBase(dst, src, n);
}

void ConstantFactorRun(DWORD* dst, const uint16_t (&fd)[8], const uint16_t (&k)[8], int n) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return ConstantFactorRunAvx2(dst, fd, k, n);
#endif
  ConstantFactorRunBase(dst, fd, k, n);
}

void FillRun(DWORD* dst, DWORD color, int n, bool mayStream = true) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return FillRunAvx2(dst, color, n, mayStream);
#endif
  FillRunBase(dst, color, n);
}

void FillDepth(uint32_t* dst, uint32_t value, int n) {
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) return FillDepthAvx2(dst, value, n);
#endif
  FillDepthBase(dst, value, n);
}

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

// The alpha test's outcome for each alpha, for the test of the last draw
// that asked (a label's sprite asks with the same test every frame).
struct AlphaPassTable {
  bool built = false;
  DWORD func = 0;
  uint32_t ref = 0;
  bool pass[256];
};
AlphaPassTable g_alphaPass;

const bool* AlphaPasses(const OutputState& out) {
  AlphaPassTable& t = g_alphaPass;
  if (!t.built || t.func != out.alphaFunc || t.ref != out.alphaRef) {
    for (uint32_t a = 0; a < 256; ++a) t.pass[a] = CompareValues(out.alphaFunc, a, out.alphaRef);
    t.built = true;
    t.func = out.alphaFunc;
    t.ref = out.alphaRef;
  }
  return t.pass;
}

// Runs the alpha and depth tests pixel by pixel (writing depth for the
// survivors) and hands each run of survivors to `run(first, last)`. A depth
// test with one outcome for the whole span (`uniformDepth` 1) reads nothing.
template <typename Run>
void SurvivorRuns(const OutputState& out, uint32_t* depthRow, int xl, int xr, const DWORD* src,
                  size_t srcStep, const SpanDepth& depth, int uniformDepth, Run run) {
  const bool writeDepth = !DepthWritesChangeNothing(out, depth);
  const bool testDepth = out.depthTest && uniformDepth < 0;
  const bool* alphaPasses = out.alphaTest ? AlphaPasses(out) : nullptr;
  int start = -1;
  for (int x = xl; x <= xr; ++x) {
    const int i = x - xl;
    bool pass = true;
    if (alphaPasses) pass = alphaPasses[src[static_cast<size_t>(i) * srcStep] >> 24];
    if (pass && out.depthTest) {
      const uint32_t z = DepthAt(depth, i);
      if (testDepth) pass = CompareValues(out.depthFunc, z, depthRow[x]);
      if (pass && writeDepth) depthRow[x] = z;
    }
    if (pass) {
      if (start < 0) start = x;
    } else if (start >= 0) {
      run(start, x - 1);
      start = -1;
    }
  }
  if (start >= 0) run(start, xr);
  if (writeDepth && depth.row) depth.row->uniform = false;
}

}  // namespace

void SetRasterAvx2(bool allowed) { g_allowAvx2 = allowed; }

void FinishSpans() {
#if defined(__SSE2__)
  if (g_streamed) _mm_sfence();
#endif
  g_streamed = false;
}
bool RasterHasAvx2() { return CpuHasAvx2(); }

void PrepareOutput(OutputState* out) {
  out->colorKind = -1;
  out->colorKind = static_cast<int>(ClassifyBlend(*out));
}

void FillPixels(DWORD* dst, DWORD value, size_t n) {
  // Ordinary stores: what a clear writes is drawn over or blended with
  // soon after, and finding it in the cache pays more than not reading the
  // lines first.
  constexpr size_t kChunk = size_t(1) << 20;
  while (n > 0) {
    const size_t part = n < kChunk ? n : kChunk;
    FillRun(dst, value, static_cast<int>(part), false);
    dst += part;
    n -= part;
  }
}

bool OutputIsPlainStore(const OutputState& out, const SpanDepth& depth) {
  return !out.alphaTest && UniformDepthTest(out, depth) == 1 && ClassifyColor(out) == ColorKind::kStore;
}

bool OutputIsPlainAdd(const OutputState& out, const SpanDepth& depth) {
  return !out.alphaTest && ClassifyColor(out) == ColorKind::kAddSaturate && UniformDepthTest(out, depth) == 1;
}

void WriteSpanDepth(const OutputState& out, uint32_t* depthRow, int xl, int xr,
                    const SpanDepth& depth) {
  if (DepthWritesChangeNothing(out, depth)) return;
  const int n = xr - xl + 1;
  if (!depth.constant) {
    memcpy(depthRow + xl, depth.values, sizeof(uint32_t) * static_cast<size_t>(n));
    if (depth.row) depth.row->uniform = false;
    return;
  }
  if (depth.row && depth.row->uniform) {
    // Every pixel changes: no need to look first.
    FillRun(reinterpret_cast<DWORD*>(depthRow + xl), depth.value, n);
  } else {
    FillDepth(depthRow + xl, depth.value, n);
  }
  if (depth.row) {
    const bool wholeRow = xl == 0 && xr == depth.rowWidth - 1;
    depth.row->uniform = wholeRow;
    depth.row->value = depth.value;
  }
}

void WriteSpan(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl, int xr,
               const DWORD* src, const SpanDepth& depth, bool fast) {
  if (!fast) {
    WriteSpanReference(out, colorRow, depthRow, xl, xr, src, 1, depth);
    return;
  }
  const int uniformDepth = UniformDepthTest(out, depth);
  if (uniformDepth == 0) return;
  const ColorKind kind = ClassifyColor(out);
  if (!out.alphaTest && uniformDepth == 1) {
    WriteSpanDepth(out, depthRow, xl, xr, depth);
    ColorRun(out, kind, colorRow + xl, src, xr - xl + 1);
    return;
  }
  if (kind == ColorKind::kAddSaturate && uniformDepth == 1 && DepthWritesChangeNothing(out, depth)) {
    // Adding nothing leaves a pixel as it was: the pixels that fail the
    // alpha test add zero instead of splitting the span into runs.
    const bool* passes = AlphaPasses(out);
    static DWORD masked[kMaxSpanPixels];
    for (int x = xl; x <= xr; x += kMaxSpanPixels) {
      const int n = xr - x + 1 < kMaxSpanPixels ? xr - x + 1 : kMaxSpanPixels;
      const DWORD* s = src + (x - xl);
      for (int i = 0; i < n; ++i) masked[i] = passes[s[i] >> 24] ? s[i] : 0;
      AddSaturateRun(colorRow + x, masked, n);
    }
    return;
  }
  SurvivorRuns(out, depthRow, xl, xr, src, 1, depth, uniformDepth, [&](int first, int last) {
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
  const int uniformDepth = UniformDepthTest(out, depth);
  if (uniformDepth == 0) return;
  const ColorKind kind = ClassifyColor(out);
  const ConstantBlend cb = MakeConstantBlend(out, color);
  if (uniformDepth == 1) {
    WriteSpanDepth(out, depthRow, xl, xr, depth);
    ConstantColorRun(out, kind, cb, colorRow + xl, color, xr - xl + 1);
    return;
  }
  OutputState tests = out;
  tests.alphaTest = false;  // decided above for the whole span
  SurvivorRuns(tests, depthRow, xl, xr, &color, 0, depth, uniformDepth, [&](int first, int last) {
    ConstantColorRun(out, kind, cb, colorRow + first, color, last - first + 1);
  });
}

// --- Textured spans ----------------------------------------------------------------
//
// u depends on x only and v on y only, so each column's texels and weights
// are worked out once per triangle and each row's once per row. Bilinear
// rows are filtered vertically first, for every texel column the span
// needs; a pixel then only blends two neighbouring filtered columns.
//
// The filtered columns hold (t0 * (256 - fy) + t1 * fy) / 2 + 64: halved to
// fit signed 16-bit arithmetic, and with the rounding term of the final
// shift folded in (the column weights always sum to 256, so 64 per column
// adds exactly the 16384 that FilterBilinear adds).

namespace {

constexpr int kMaxLevelSize = 8192;
constexpr int kMaxSpecialPairs = 4;

struct ColumnTables {
  int x0 = 0, x1 = -1;
  int width = 0, height = 0;  // of the level
  bool singleChannel = false;  // L8 or A8: one channel filtered
  // Bilinear: per column, the pair of filtered texel columns it blends and
  // the weights of the pair's first and second column (16 bits each,
  // repeated for the four channels; weights1 once). Pair k < width - 1 is
  // columns (k, k+1); pairs width - 1 + m are the special pairs (specialA[m],
  // specialB[m]) that addressing makes at the edges.
  int32_t pair[kMaxSpanPixels];
  intptr_t pairOffset[kMaxSpanPixels];  // pair * sizeof g_pairs[0]: spares the loop a shift
  alignas(16) int16_t weights[kMaxSpanPixels][8];
  int32_t weights1[kMaxSpanPixels];
  int specialCount = 0;
  int specialA[kMaxSpecialPairs], specialB[kMaxSpecialPairs];
  bool monotone = false;  // ordinary pairs only, in column order or reverse
  bool unitStep = false;  // each column's pair is the one after the previous column's
  int pairMin = 0, pairMax = -1;  // ordinary pairs used
  // Point sampling: the column each pixel reads.
  int32_t nearest[kMaxSpanPixels];
  // Per row from y0 (v depends on y only): the texel rows and weight.
  int y0 = 0;
  AxisTaps rows[kMaxSpanPixels + 1];
  // One channel: the shaded colour for each filtered value.
  DWORD singleLut[256];
};

ColumnTables g_columns;
// One row of vertically filtered texel columns (four 16-bit channels each,
// or one for single-channel formats) and the pairs built from them.
alignas(16) int16_t g_filtered[(kMaxLevelSize + 1) * 4];
alignas(16) int16_t g_pairs[kMaxLevelSize + kMaxSpecialPairs][8];
alignas(16) int32_t g_pairs1[kMaxLevelSize + kMaxSpecialPairs + 4];

int FindOrAddSpecial(ColumnTables& t, int a, int b) {
  for (int m = 0; m < t.specialCount; ++m)
    if (t.specialA[m] == a && t.specialB[m] == b) return m;
  if (t.specialCount == kMaxSpecialPairs) return -1;
  t.specialA[t.specialCount] = a;
  t.specialB[t.specialCount] = b;
  return t.specialCount++;
}

void SetWeights(ColumnTables& t, int i, int first, int second) {
  for (int c = 0; c < 4; ++c) {
    t.weights[i][2 * c] = static_cast<int16_t>(first);
    t.weights[i][2 * c + 1] = static_cast<int16_t>(second);
  }
  t.weights1[i] = static_cast<int32_t>(static_cast<uint32_t>(first) | (static_cast<uint32_t>(second) << 16));
}

inline int16_t FilteredValue(uint32_t t0, uint32_t t1, int fy) {
  return static_cast<int16_t>(((static_cast<int>(t0) * (256 - fy) + static_cast<int>(t1) * fy) >> 1) + 64);
}

// Vertically filtered column c of rows j0, j1 into g_filtered.
void FilterColumnScalar(const SamplerView& view, int level, bool single, int c, int j0, int j1,
                        int fy) {
  const DWORD t0 = FetchTexel(view, level, c, j0), t1 = FetchTexel(view, level, c, j1);
  if (single) {
    const int shift = view.format == D3DFMT_A8 ? 24 : 0;
    g_filtered[c] = FilteredValue(ByteAt(t0, shift), ByteAt(t1, shift), fy);
    return;
  }
  int16_t* out = g_filtered + 4 * static_cast<size_t>(c);
  for (int ch = 0; ch < 4; ++ch) out[ch] = FilteredValue(ByteAt(t0, 8 * ch), ByteAt(t1, 8 * ch), fy);
}

#if defined(STANDIN_HAVE_AVX2)

// The AVX2 halves of the loops below; each returns how far it got, the rest
// is left to the SSE2 and scalar code.

STANDIN_AVX2 int FilterColumnsAvx2(const SamplerView& view, int level, bool single, int c, int last,
                                   int j0, int j1, int fy) {
  const TextureLevel& l = view.texture->levels[level];
  const BYTE* row0 = l.bits.data() + static_cast<size_t>(j0) * static_cast<size_t>(l.pitch);
  const BYTE* row1 = l.bits.data() + static_cast<size_t>(j1) * static_cast<size_t>(l.pitch);
  const __m256i w0 = _mm256_set1_epi16(static_cast<int16_t>(256 - fy));
  const __m256i w1 = _mm256_set1_epi16(static_cast<int16_t>(fy));
  const __m256i round = _mm256_set1_epi16(64);
  if (single) {
    for (; c + 16 <= last + 1; c += 16) {
      const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + c)));
      const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + c)));
      const __m256i v = _mm256_add_epi16(
          _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)), 1), round);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_filtered + c), v);
    }
    return c;
  }
  const __m128i alpha = _mm_set1_epi32(view.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
  for (; c + 4 <= last + 1; c += 4) {
    const size_t offset = 4 * static_cast<size_t>(c);
    const __m256i a = _mm256_cvtepu8_epi16(
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + offset)), alpha));
    const __m256i b = _mm256_cvtepu8_epi16(
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + offset)), alpha));
    const __m256i v = _mm256_add_epi16(
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)), 1), round);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_filtered + offset), v);
  }
  return c;
}

// Four four-channel texel columns from `offset` filtered.
STANDIN_AVX2 inline __m256i FilterFourAvx2(const BYTE* row0, const BYTE* row1, size_t offset,
                                           __m128i alpha, __m256i w0, __m256i w1, __m256i round) {
  const __m256i a = _mm256_cvtepu8_epi16(
      _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + offset)), alpha));
  const __m256i b = _mm256_cvtepu8_epi16(
      _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + offset)), alpha));
  return _mm256_add_epi16(
      _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)), 1), round);
}

// Four-channel texels: the pairs first.. (columns from first) filtered and
// paired in registers, without going through g_filtered; each step's last
// four columns are the next step's first. Returns the first pair not made:
// the last few are left to FilterColumns and MakePairs.
STANDIN_AVX2 int FilterPairsAvx2(const SamplerView& view, int level, int first, int last, int j0,
                                 int j1, int fy) {
  const TextureLevel& l = view.texture->levels[level];
  const BYTE* row0 = l.bits.data() + static_cast<size_t>(j0) * static_cast<size_t>(l.pitch);
  const BYTE* row1 = l.bits.data() + static_cast<size_t>(j1) * static_cast<size_t>(l.pitch);
  const __m256i w0 = _mm256_set1_epi16(static_cast<int16_t>(256 - fy));
  const __m256i w1 = _mm256_set1_epi16(static_cast<int16_t>(fy));
  const __m256i round = _mm256_set1_epi16(64);
  const __m128i alpha = _mm_set1_epi32(view.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
  int k = first;
  // Pairs k .. k+3 need columns k .. k+4; the step reads up to k+7, and
  // columns up to last+1 are there to read.
  if (k + 7 > last + 1) return k;
  __m256i x = FilterFourAvx2(row0, row1, 4 * static_cast<size_t>(k), alpha, w0, w1, round);
  for (; k + 7 <= last + 1; k += 4) {
    const __m256i z = FilterFourAvx2(row0, row1, 4 * static_cast<size_t>(k + 4), alpha, w0, w1, round);
    // Columns k+1 .. k+4.
    const __m256i y = _mm256_alignr_epi8(_mm256_permute2x128_si256(x, z, 0x21), x, 8);
    const __m256i lo = _mm256_unpacklo_epi16(x, y), hi = _mm256_unpackhi_epi16(x, y);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs[k]), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs[k + 2]), _mm256_permute2x128_si256(lo, hi, 0x31));
    x = z;
  }
  return k;
}

STANDIN_AVX2 int MakePairsAvx2(bool single, int k, int last) {
  if (single) {
    // Pairs k .. k+15 from columns k .. k+16.
    for (; k + 16 <= last + 1; k += 16) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g_filtered + k));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g_filtered + k + 1));
      const __m256i lo = _mm256_unpacklo_epi16(a, b), hi = _mm256_unpackhi_epi16(a, b);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs1 + k), _mm256_permute2x128_si256(lo, hi, 0x20));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs1 + k + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    return k;
  }
  // Pairs k .. k+3 from columns k .. k+4.
  for (; k + 4 <= last + 1; k += 4) {
    const __m256i ab = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g_filtered + 4 * static_cast<size_t>(k)));
    const __m256i bc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g_filtered + 4 * static_cast<size_t>(k) + 4));
    const __m256i lo = _mm256_unpacklo_epi16(ab, bc), hi = _mm256_unpackhi_epi16(ab, bc);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs[k]), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(g_pairs[k + 2]), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  return k;
}

STANDIN_AVX2 inline __m256i BlendTwoAvx2(const intptr_t* pair, const int16_t (*weights)[8], int i) {
  const char* base = reinterpret_cast<const char*>(g_pairs);
  const __m256i p = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(base + pair[i]))),
      _mm_load_si128(reinterpret_cast<const __m128i*>(base + pair[i + 1])), 1);
  const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights[i]));
  return _mm256_srai_epi32(_mm256_madd_epi16(p, w), 15);
}

STANDIN_AVX2 inline __m256i BlendEightAvx2(const intptr_t* pair, const int16_t (*weights)[8], int i) {
  // Packing works within 128-bit lanes: the eight pixels come out as
  // 0 2 4 6 | 1 3 5 7 and are put back in order at the end.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  const __m256i a = _mm256_packs_epi32(BlendTwoAvx2(pair, weights, i), BlendTwoAvx2(pair, weights, i + 2));
  const __m256i b = _mm256_packs_epi32(BlendTwoAvx2(pair, weights, i + 4), BlendTwoAvx2(pair, weights, i + 6));
  return _mm256_permutevar8x32_epi32(_mm256_packus_epi16(a, b), order);
}

// `first` pixels are left to the caller (to reach a 32-byte boundary when
// streaming); returns how far it got.
STANDIN_AVX2 int BlendColumnsAvx2(const intptr_t* pair, const int16_t (*weights)[8], int first, int n,
                                  DWORD* out, bool stream) {
  int i = first;
  if (stream) {
    for (; i + 8 <= n; i += 8)
      _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i), BlendEightAvx2(pair, weights, i));
    g_streamed = true;
  } else {
    for (; i + 8 <= n; i += 8)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), BlendEightAvx2(pair, weights, i));
  }
  return i;
}

STANDIN_AVX2 int BlendColumnsSingleAvx2(const int32_t* pair, const int32_t* weights, bool unitStep,
                                        bool luminance, bool add, int n, DWORD* out) {
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i p;
    if (unitStep)
      p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g_pairs1 + pair[i]));
    else
      p = _mm256_setr_epi32(g_pairs1[pair[i]], g_pairs1[pair[i + 1]], g_pairs1[pair[i + 2]],
                            g_pairs1[pair[i + 3]], g_pairs1[pair[i + 4]], g_pairs1[pair[i + 5]],
                            g_pairs1[pair[i + 6]], g_pairs1[pair[i + 7]]);
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + i));
    const __m256i v = _mm256_srai_epi32(_mm256_madd_epi16(p, w), 15);
    __m256i c = luminance ? _mm256_or_si256(_mm256_or_si256(v, _mm256_slli_epi32(v, 8)),
                                            _mm256_or_si256(_mm256_slli_epi32(v, 16), opaque))
                          : _mm256_slli_epi32(v, 24);
    if (add) c = _mm256_adds_epu8(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), c);
  }
  return i;
}

#endif

void FilterColumns(const SamplerView& view, int level, bool single, int first, int last, int j0,
                   int j1, int fy) {
  int c = first;
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) c = FilterColumnsAvx2(view, level, single, c, last, j0, j1, fy);
#endif
#if defined(__SSE2__)
  const TextureLevel& l = view.texture->levels[level];
  const BYTE* row0 = l.bits.data() + static_cast<size_t>(j0) * static_cast<size_t>(l.pitch);
  const BYTE* row1 = l.bits.data() + static_cast<size_t>(j1) * static_cast<size_t>(l.pitch);
  const __m128i w0 = _mm_set1_epi16(static_cast<int16_t>(256 - fy));
  const __m128i w1 = _mm_set1_epi16(static_cast<int16_t>(fy));
  const __m128i round = _mm_set1_epi16(64);
  const __m128i zero = _mm_setzero_si128();
  auto filter = [&](__m128i a, __m128i b) {
    return _mm_add_epi16(
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)), 1), round);
  };
  if (single) {
    // Eight one-byte texels a step.
    for (; c + 8 <= last + 1; c += 8) {
      const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + c)), zero);
      const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + c)), zero);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g_filtered + c), filter(a, b));
    }
  } else {
    const __m128i alpha = _mm_set1_epi32(view.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
    for (; c + 4 <= last + 1; c += 4) {
      const __m128i a = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + 4 * static_cast<size_t>(c))), alpha);
      const __m128i b = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + 4 * static_cast<size_t>(c))), alpha);
      int16_t* out = g_filtered + 4 * static_cast<size_t>(c);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                       filter(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                       filter(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
    }
  }
  // The last few columns: one more step on copies, which may be read past
  // their end, where the rows themselves may not.
  const int rest = last + 1 - c;
  if (rest > 0) {
    const size_t bytes = static_cast<size_t>(rest) * (single ? 1 : 4);
    const size_t at = static_cast<size_t>(c) * (single ? 1 : 4);
    alignas(16) BYTE in0[16] = {}, in1[16] = {};
    memcpy(in0, row0 + at, bytes);
    memcpy(in1, row1 + at, bytes);
    __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(in0));
    __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(in1));
    alignas(16) int16_t out[16];
    if (single) {
      _mm_store_si128(reinterpret_cast<__m128i*>(out),
                      filter(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
    } else {
      const __m128i alpha = _mm_set1_epi32(view.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xFF000000u) : 0);
      a = _mm_or_si128(a, alpha);
      b = _mm_or_si128(b, alpha);
      _mm_store_si128(reinterpret_cast<__m128i*>(out),
                      filter(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
      _mm_store_si128(reinterpret_cast<__m128i*>(out + 8),
                      filter(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
    }
    memcpy(g_filtered + at, out, bytes * sizeof(int16_t));
    c = last + 1;
  }
#endif
  for (; c <= last; ++c) FilterColumnScalar(view, level, single, c, j0, j1, fy);
}


void MakePair(bool single, int index, int a, int b) {
  if (single) {
    g_pairs1[index] = static_cast<int32_t>(static_cast<uint16_t>(g_filtered[a]) |
                                           (static_cast<uint32_t>(static_cast<uint16_t>(g_filtered[b])) << 16));
    return;
  }
  const int16_t* fa = g_filtered + 4 * static_cast<size_t>(a);
  const int16_t* fb = g_filtered + 4 * static_cast<size_t>(b);
  int16_t* p = g_pairs[index];
  for (int ch = 0; ch < 4; ++ch) {
    p[2 * ch] = fa[ch];
    p[2 * ch + 1] = fb[ch];
  }
}

void MakePairs(bool single, int first, int last) {
  int k = first;
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) k = MakePairsAvx2(single, k, last);
#endif
#if defined(__SSE2__)
  if (single) {
    // Pairs (k, k+1) .. (k+7, k+8) from columns k .. k+8.
    for (; k + 8 <= last + 1; k += 8) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + k));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + k + 1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g_pairs1 + k), _mm_unpacklo_epi16(a, b));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g_pairs1 + k + 4), _mm_unpackhi_epi16(a, b));
    }
  } else {
    for (; k + 2 <= last; k += 2) {
      // Columns k, k+1, k+2 give pairs (k, k+1) and (k+1, k+2).
      const __m128i ab = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + 4 * static_cast<size_t>(k)));
      const __m128i bc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_filtered + 4 * static_cast<size_t>(k) + 4));
      _mm_store_si128(reinterpret_cast<__m128i*>(g_pairs[k]), _mm_unpacklo_epi16(ab, bc));
      _mm_store_si128(reinterpret_cast<__m128i*>(g_pairs[k + 1]), _mm_unpackhi_epi16(ab, bc));
    }
  }
#endif
  for (; k <= last; ++k) MakePair(single, k, k, k + 1);
}

// Asks for texel rows the next pixel row will read, columns first..last,
// while this row is worked on: rows of a large texture are far apart and
// miss the cache otherwise.
void PrefetchTexels(const SamplerView& view, int level, int row, int first, int last) {
#if defined(__SSE2__)
  const TextureLevel& l = view.texture->levels[level];
  const int bytes = static_cast<int>(BytesPerTexel(view.format));
  const char* begin = reinterpret_cast<const char*>(l.bits.data()) +
                      static_cast<size_t>(row) * static_cast<size_t>(l.pitch) +
                      static_cast<size_t>(first) * static_cast<size_t>(bytes);
  const char* end = begin + static_cast<size_t>(last - first + 1) * static_cast<size_t>(bytes);
  for (const char* p = begin; p < end + 63; p += 64) _mm_prefetch(p, _MM_HINT_T0);
#else
  (void)view, (void)level, (void)row, (void)first, (void)last;
#endif
}

void ApplyLut(const TexturedSource& s, DWORD* out, int n) {
  for (int i = 0; i < n; ++i) {
    const DWORD c = out[i];
    out[i] = (static_cast<DWORD>(s.lut[3][c >> 24]) << 24) |
             (static_cast<DWORD>(s.lut[2][(c >> 16) & 0xFF]) << 16) |
             (static_cast<DWORD>(s.lut[1][(c >> 8) & 0xFF]) << 8) | s.lut[0][c & 0xFF];
  }
}

// Four-channel texels: each pixel blends its pair of filtered columns.
// `stream`: out is the target row and nothing else will change these pixels.
void BlendColumns(const ColumnTables& t, int xl, int n, DWORD* out, bool stream) {
  const int32_t* pair = t.pair + (xl - t.x0);
  const intptr_t* pairOffset = t.pairOffset + (xl - t.x0);
  const int16_t(*weights)[8] = t.weights + (xl - t.x0);
#if defined(__SSE2__)
  auto blend = [&](int i) {
    const __m128i p = _mm_load_si128(reinterpret_cast<const __m128i*>(g_pairs[pair[i]]));
    const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(weights[i]));
    return _mm_srai_epi32(_mm_madd_epi16(p, w), 15);
  };
  int i = 0;
#if defined(STANDIN_HAVE_AVX2)
  if (UseAvx2()) {
    if (stream && n >= kStreamPixels) {
      // The pixels before the first 32-byte boundary one at a time.
      const int head = StreamHead(out, n);
      for (; i < head; ++i) {
        const __m128i a = _mm_packs_epi32(blend(i), blend(i));
        out[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_packus_epi16(a, a)));
      }
      i = BlendColumnsAvx2(pairOffset, weights, i, n, out, true);
    } else {
      i = BlendColumnsAvx2(pairOffset, weights, 0, n, out, false);
    }
  }
#else
  (void)stream;
#endif
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
    for (int ch = 0; ch < 4; ++ch)
      c |= static_cast<DWORD>((p[2 * ch] * w[2 * ch] + p[2 * ch + 1] * w[2 * ch + 1]) >> 15) << (8 * ch);
    out[i] = c;
  }
#endif
}

// One-channel texels: the filtered value of each pixel, then its colour
// (straight for L8 and A8 when the shading passes the sample through),
// stored in out or, with `add`, added to it with saturation.
void BlendColumnsSingle(const ColumnTables& t, const TexturedSource& s, int xl, int n, bool add,
                        DWORD* out) {
  const int32_t* pair = t.pair + (xl - t.x0);
  const int32_t* weights = t.weights1 + (xl - t.x0);
  const bool luminance = s.view->format == D3DFMT_L8;
  int i = 0;
#if defined(STANDIN_HAVE_AVX2)
  if (s.lutIdentity && UseAvx2())
    i = BlendColumnsSingleAvx2(pair, weights, t.unitStep, luminance, add, n, out);
#endif
#if defined(__SSE2__)
  if (s.lutIdentity) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= n; i += 4) {
      __m128i p;
      if (t.unitStep)
        p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_pairs1 + pair[i]));
      else
        p = _mm_setr_epi32(g_pairs1[pair[i]], g_pairs1[pair[i + 1]], g_pairs1[pair[i + 2]],
                           g_pairs1[pair[i + 3]]);
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + i));
      const __m128i v = _mm_srai_epi32(_mm_madd_epi16(p, w), 15);
      __m128i c;
      if (luminance)
        c = _mm_or_si128(_mm_or_si128(v, _mm_slli_epi32(v, 8)), _mm_or_si128(_mm_slli_epi32(v, 16), opaque));
      else
        c = _mm_slli_epi32(v, 24);
      if (add) c = _mm_adds_epu8(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + i)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), c);
    }
  }
#endif
  for (; i < n; ++i) {
    const uint32_t p = static_cast<uint32_t>(g_pairs1[pair[i]]);
    const uint32_t w = static_cast<uint32_t>(weights[i]);
    const int v = (static_cast<int16_t>(p & 0xFFFF) * static_cast<int16_t>(w & 0xFFFF) +
                   static_cast<int16_t>(p >> 16) * static_cast<int16_t>(w >> 16)) >>
                  15;
    const DWORD c = t.singleLut[v];
    if (add)
      AddSaturateRun(out + i, &c, 1);
    else
      out[i] = c;
  }
}

}  // namespace

bool PrepareTexturedSpans(const TexturedSource& source, int x0, int x1, int y0, int y1) {
  ColumnTables& t = g_columns;
  const SamplerView& view = *source.view;
  if (x1 - x0 + 1 > kMaxSpanPixels || y1 - y0 + 1 > kMaxSpanPixels) return false;
  t.width = LevelWidth(view, source.level);
  t.height = LevelHeight(view, source.level);
  if (t.width > kMaxLevelSize) return false;
  // Each row's taps, and the next row's for the prefetch of the last.
  t.y0 = y0;
  for (int y = y0; y <= y1 + 1; ++y)
    t.rows[y - y0] = AxisFromCoordinate(static_cast<float>(EvalPlane(source.v, x0, y)), t.height,
                                        view.addressV);
  const int anyRow = y0;
  t.singleChannel = view.format == D3DFMT_L8 || view.format == D3DFMT_A8;
  t.x0 = x0;
  t.x1 = x1;
  t.specialCount = 0;
  t.pairMin = t.width;
  t.pairMax = -1;
  int direction = 0;  // +1 rising, -1 falling, 2 neither
  int previous = -1;
  bool unitStep = true;
  for (int x = x0; x <= x1; ++x) {
    const int i = x - x0;
    const float u = static_cast<float>(EvalPlane(source.u, x, anyRow));
    const AxisTaps taps = AxisFromCoordinate(u, t.width, view.addressU);
    if (!source.bilinear) {
      t.nearest[i] = taps.nearest;
      continue;
    }
    int pair;
    if (taps.i1 == taps.i0 + 1) {
      pair = taps.i0;
      SetWeights(t, i, 256 - taps.weight, taps.weight);
    } else if (taps.i0 == taps.i1 + 1) {
      pair = taps.i1;
      SetWeights(t, i, taps.weight, 256 - taps.weight);
    } else {
      const int m = FindOrAddSpecial(t, taps.i0, taps.i1);
      if (m < 0) return false;
      pair = t.width - 1 + m;
      SetWeights(t, i, 256 - taps.weight, taps.weight);
    }
    t.pair[i] = pair;
    t.pairOffset[i] = static_cast<intptr_t>(pair) * static_cast<intptr_t>(sizeof g_pairs[0]);
    if (i > 0 && pair != t.pair[i - 1] + 1) unitStep = false;
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
  t.unitStep = unitStep && t.specialCount == 0;
  if (t.singleChannel) {
    const bool luminance = view.format == D3DFMT_L8;
    for (int v = 0; v < 256; ++v) {
      const int gray = luminance ? v : 0, alpha = luminance ? 255 : v;
      t.singleLut[v] = (static_cast<DWORD>(source.lut[3][alpha]) << 24) |
                       (static_cast<DWORD>(source.lut[2][gray]) << 16) |
                       (static_cast<DWORD>(source.lut[1][gray]) << 8) | source.lut[0][gray];
    }
  }
  return true;
}

void ShadeTexturedSpan(const TexturedSource& source, int y, int xl, int xr, DWORD* out,
                       SpanTarget target) {
  const ColumnTables& t = g_columns;
  const SamplerView& view = *source.view;
  const AxisTaps& rows = t.rows[y - t.y0];
  const int n = xr - xl + 1;
  if (target == SpanTarget::kAdd && !(source.bilinear && t.singleChannel)) {
    // Only the one-channel loops add as they go: the rest shade first.
    static DWORD shaded[kMaxSpanPixels];
    ShadeTexturedSpan(source, y, xl, xr, shaded, SpanTarget::kScratch);
    AddSaturateRun(out, shaded, n);
    return;
  }
  if (!source.bilinear) {
    for (int x = xl; x <= xr; ++x)
      out[x - xl] = FetchTexel(view, source.level, t.nearest[x - t.x0], rows.nearest);
    if (!source.lutIdentity) ApplyLut(source, out, n);
    return;
  }
  const bool single = t.singleChannel;
  int first = t.pairMin, last = t.pairMax;
  if (t.monotone) {
    const int a = t.pair[xl - t.x0], b = t.pair[xr - t.x0];
    first = a < b ? a : b;
    last = a < b ? b : a;
  }
  if (first <= last) {
    const AxisTaps& next = t.rows[y + 1 - t.y0];
    if (next.i1 != rows.i1 && next.i1 != rows.i0)
      PrefetchTexels(view, source.level, next.i1, first, last + 1);
    if (next.i0 != rows.i1 && next.i0 != rows.i0)
      PrefetchTexels(view, source.level, next.i0, first, last + 1);
    int k = first;
#if defined(STANDIN_HAVE_AVX2)
    if (!single && UseAvx2())
      k = FilterPairsAvx2(view, source.level, first, last, rows.i0, rows.i1, rows.weight);
#endif
    if (k <= last) {
      FilterColumns(view, source.level, single, k, last + 1, rows.i0, rows.i1, rows.weight);
      MakePairs(single, k, last);
    }
  }
  for (int m = 0; m < t.specialCount; ++m) {
    FilterColumnScalar(view, source.level, single, t.specialA[m], rows.i0, rows.i1, rows.weight);
    FilterColumnScalar(view, source.level, single, t.specialB[m], rows.i0, rows.i1, rows.weight);
    MakePair(single, t.width - 1 + m, t.specialA[m], t.specialB[m]);
  }
  if (single) {
    BlendColumnsSingle(t, source, xl, n, target == SpanTarget::kAdd, out);
    return;
  }
  // Streamed pixels must be final: only when the colours need no table.
  BlendColumns(t, xl, n, out, target == SpanTarget::kStore && source.lutIdentity);
  if (!source.lutIdentity) ApplyLut(source, out, n);
}

}  // namespace standin
