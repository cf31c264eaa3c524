#include "yuv.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Coefficients in 1/32768ths, small enough for 16-bit multiplies: the BT.709
// matrix scaled to the limited ranges (219 steps of Y, 224 of Cb and Cr).
constexpr int kShift = 15;
constexpr int Q(double v) { return static_cast<int>(v * (1 << kShift) + (v < 0 ? -0.5 : 0.5)); }
constexpr double kYScale = 219.0 / 255.0;
constexpr double kCScale = 224.0 / 255.0;
constexpr int kYR = Q(0.2126 * kYScale);
constexpr int kYG = Q(0.7152 * kYScale);
constexpr int kYB = Q(0.0722 * kYScale);
constexpr int kUR = Q(-0.2126 / 1.8556 * kCScale);
constexpr int kUG = Q(-0.7152 / 1.8556 * kCScale);
constexpr int kUB = Q(0.5 * kCScale);
constexpr int kVR = Q(0.5 * kCScale);
constexpr int kVG = Q(-0.7152 / 1.5748 * kCScale);
constexpr int kVB = Q(-0.0722 / 1.5748 * kCScale);
// Offsets with the rounding half folded in; chroma works on sums of four.
constexpr int kYAdd = (16 << kShift) + (1 << (kShift - 1));
constexpr int kCAdd = (128 << (kShift + 2)) + (1 << (kShift + 1));

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Converts columns [from, width) of one pair of rows.
void PairScalar(const uint32_t* a, const uint32_t* b, int from, int width, uint8_t* ya, uint8_t* yb, uint8_t* u,
                uint8_t* v) {
  for (int x = from; x < width; x += 2) {
    const uint32_t p[4] = {a[x], a[x + 1], b[x], b[x + 1]};
    uint8_t* const y[4] = {ya + x, ya + x + 1, yb + x, yb + x + 1};
    int rs = 0, gs = 0, bs = 0;
    for (int k = 0; k < 4; ++k) {
      const int r = (p[k] >> 16) & 255, g = (p[k] >> 8) & 255, bl = p[k] & 255;
      *y[k] = Clamp((kYR * r + kYG * g + kYB * bl + kYAdd) >> kShift);
      rs += r;
      gs += g;
      bs += bl;
    }
    u[x / 2] = Clamp((kUR * rs + kUG * gs + kUB * bs + kCAdd) >> (kShift + 2));
    v[x / 2] = Clamp((kVR * rs + kVG * gs + kVB * bs + kCAdd) >> (kShift + 2));
  }
}

#if defined(__SSE2__)
// Sums the pairs of 32-bit lanes of two madd results: [a0+a1, a2+a3, b0+b1, b2+b3].
inline __m128i PairSums(__m128i a, __m128i b) {
  const __m128 fa = _mm_castsi128_ps(a);
  const __m128 fb = _mm_castsi128_ps(b);
  const __m128i even = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(even, odd);
}

// Luma of four pixels as 32-bit lanes.
inline __m128i Luma4(__m128i pixels, __m128i coefficients, __m128i add) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), coefficients);
  const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), coefficients);
  return _mm_srai_epi32(_mm_add_epi32(PairSums(lo, hi), add), kShift);
}

// The B, G, R, A sums of the two 2x2 blocks in four columns of two rows,
// as 16-bit lanes [block 0 | block 1].
inline __m128i BlockSums(__m128i top, __m128i bottom) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
  const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
  return _mm_unpacklo_epi64(_mm_add_epi16(lo, _mm_srli_si128(lo, 8)), _mm_add_epi16(hi, _mm_srli_si128(hi, 8)));
}

// One chroma plane's values for four blocks as 32-bit lanes.
inline __m128i Chroma4(__m128i blocks01, __m128i blocks23, __m128i coefficients, __m128i add) {
  const __m128i sums = PairSums(_mm_madd_epi16(blocks01, coefficients), _mm_madd_epi16(blocks23, coefficients));
  return _mm_srai_epi32(_mm_add_epi32(sums, add), kShift + 2);
}

// Sixteen columns at a time; returns the first column not done.
int PairSse2(const uint32_t* a, const uint32_t* b, int width, uint8_t* ya, uint8_t* yb, uint8_t* u, uint8_t* v) {
  // Memory order of a pixel is B, G, R, A.
  const __m128i yc = _mm_setr_epi16(kYB, kYG, kYR, 0, kYB, kYG, kYR, 0);
  const __m128i uc = _mm_setr_epi16(kUB, kUG, kUR, 0, kUB, kUG, kUR, 0);
  const __m128i vc = _mm_setr_epi16(kVB, kVG, kVR, 0, kVB, kVG, kVR, 0);
  const __m128i yAdd = _mm_set1_epi32(kYAdd);
  const __m128i cAdd = _mm_set1_epi32(kCAdd);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i top[4], bottom[4];
    for (int k = 0; k < 4; ++k) {
      top[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x + 4 * k));
      bottom[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x + 4 * k));
    }
    const __m128i ta = _mm_packs_epi32(Luma4(top[0], yc, yAdd), Luma4(top[1], yc, yAdd));
    const __m128i tb = _mm_packs_epi32(Luma4(top[2], yc, yAdd), Luma4(top[3], yc, yAdd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ya + x), _mm_packus_epi16(ta, tb));
    const __m128i ba = _mm_packs_epi32(Luma4(bottom[0], yc, yAdd), Luma4(bottom[1], yc, yAdd));
    const __m128i bb = _mm_packs_epi32(Luma4(bottom[2], yc, yAdd), Luma4(bottom[3], yc, yAdd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(yb + x), _mm_packus_epi16(ba, bb));

    __m128i blocks[4];
    for (int k = 0; k < 4; ++k) blocks[k] = BlockSums(top[k], bottom[k]);
    const __m128i uw = _mm_packs_epi32(Chroma4(blocks[0], blocks[1], uc, cAdd), Chroma4(blocks[2], blocks[3], uc, cAdd));
    const __m128i vw = _mm_packs_epi32(Chroma4(blocks[0], blocks[1], vc, cAdd), Chroma4(blocks[2], blocks[3], vc, cAdd));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x / 2), _mm_packus_epi16(uw, uw));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x / 2), _mm_packus_epi16(vw, vw));
  }
  return x;
}
#endif

void Convert(const uint32_t* pixels, size_t pitch, int width, int height, const YuvPlanes& out, bool vector) {
  for (int row = 0; row + 1 < height; row += 2) {
    const uint32_t* a = pixels + static_cast<size_t>(row) * pitch;
    const uint32_t* b = a + pitch;
    uint8_t* ya = out.y + static_cast<ptrdiff_t>(row) * out.yPitch;
    uint8_t* yb = ya + out.yPitch;
    uint8_t* u = out.u + static_cast<ptrdiff_t>(row / 2) * out.uPitch;
    uint8_t* v = out.v + static_cast<ptrdiff_t>(row / 2) * out.vPitch;
    int done = 0;
#if defined(__SSE2__)
    if (vector) done = PairSse2(a, b, width, ya, yb, u, v);
#else
    (void)vector;
#endif
    PairScalar(a, b, done, width, ya, yb, u, v);
  }
}

}  // namespace

void ConvertToYuv420(const uint32_t* pixels, size_t pitch, int width, int height, const YuvPlanes& out) {
  Convert(pixels, pitch, width, height, out, true);
}

void ConvertToYuv420Scalar(const uint32_t* pixels, size_t pitch, int width, int height, const YuvPlanes& out) {
  Convert(pixels, pitch, width, height, out, false);
}
