// Pixel arithmetic shared by the general path and the specialised span
// loops of the rasteriser. Both must give the same bytes, so every rounding
// rule lives here once.
//
// Colours are A8R8G8B8 DWORDs (blue in the low byte) once they leave the
// shading stage; shading itself works on floats in red, green, blue, alpha
// order. The output of shading is clamped to [0, 1] and rounded to 8 bits
// (x * 255 + 0.5); blending and the alpha test work on those 8-bit values,
// at the precision of the render target.
#pragma once

#include <stdint.h>

#include <d3d9.h>

namespace standin {

// n / 255 for every byte n, each the correctly rounded float quotient.
struct Unorm8Table {
  float value[256];
};
constexpr Unorm8Table MakeUnorm8Table() {
  Unorm8Table t{};
  for (int i = 0; i < 256; ++i) t.value[i] = static_cast<float>(i) / 255.0f;
  return t;
}
inline constexpr Unorm8Table kUnorm8 = MakeUnorm8Table();

// Clamps to [0, 1]; NaN becomes 0.
inline float Saturate(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }

inline uint32_t Unorm8(float x) { return static_cast<uint32_t>(Saturate(x) * 255.0f + 0.5f); }

inline uint32_t ByteAt(DWORD color, int shift) { return (color >> shift) & 0xFFu; }

// rgba floats (red first) to an A8R8G8B8 DWORD.
inline DWORD PackColor(const float rgba[4]) {
  return (Unorm8(rgba[3]) << 24) | (Unorm8(rgba[0]) << 16) | (Unorm8(rgba[1]) << 8) |
         Unorm8(rgba[2]);
}

inline void UnpackColor(DWORD argb, float rgba[4]) {
  rgba[0] = kUnorm8.value[ByteAt(argb, 16)];
  rgba[1] = kUnorm8.value[ByteAt(argb, 8)];
  rgba[2] = kUnorm8.value[ByteAt(argb, 0)];
  rgba[3] = kUnorm8.value[ByteAt(argb, 24)];
}

// D3DCMP_* applied as "value FUNC reference"; unknown functions pass.
inline bool CompareValues(DWORD func, uint32_t value, uint32_t reference) {
  switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
  }
}

constexpr uint32_t kMaxDepthValue = 0xFFFFFF;

// A depth in [0, 1] as the 24-bit value the D24X8 buffer holds, rounded the
// same way as a clear to that depth.
inline uint32_t QuantizeDepth(float z) {
  if (!(z > 0.0f)) return 0;
  if (z >= 1.0f) return kMaxDepthValue;
  return static_cast<uint32_t>(z * static_cast<float>(kMaxDepthValue) + 0.5f);
}

// Blending on 8-bit values. Factors are bytes standing for byte / 255; a
// channel becomes round((src * srcFactor OP dst * dstFactor) / 255), clamped
// to 0..255; MIN and MAX ignore the factors.
struct BlendState {
  bool enabled = false;
  DWORD src = D3DBLEND_ONE, dst = D3DBLEND_ZERO, op = D3DBLENDOP_ADD;
  DWORD srcAlpha = D3DBLEND_ONE, dstAlpha = D3DBLEND_ZERO, opAlpha = D3DBLENDOP_ADD;
  DWORD factor = 0xFFFFFFFF;  // D3DRS_BLENDFACTOR
};

// One channel's factor (shift 0 blue, 8 green, 16 red, 24 alpha).
inline uint32_t BlendFactorByte(DWORD mode, int shift, DWORD s, DWORD d, DWORD factor) {
  switch (mode) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return ByteAt(s, shift);
    case D3DBLEND_INVSRCCOLOR: return 255 - ByteAt(s, shift);
    case D3DBLEND_SRCALPHA: return ByteAt(s, 24);
    case D3DBLEND_INVSRCALPHA: return 255 - ByteAt(s, 24);
    case D3DBLEND_DESTALPHA: return ByteAt(d, 24);
    case D3DBLEND_INVDESTALPHA: return 255 - ByteAt(d, 24);
    case D3DBLEND_DESTCOLOR: return ByteAt(d, shift);
    case D3DBLEND_INVDESTCOLOR: return 255 - ByteAt(d, shift);
    case D3DBLEND_SRCALPHASAT: {
      if (shift == 24) return 255;
      const uint32_t a = ByteAt(s, 24), inv = 255 - ByteAt(d, 24);
      return a < inv ? a : inv;
    }
    case D3DBLEND_BLENDFACTOR: return ByteAt(factor, shift);
    case D3DBLEND_INVBLENDFACTOR: return 255 - ByteAt(factor, shift);
    default: return 0;
  }
}

inline uint32_t BlendChannel(DWORD op, uint32_t s, uint32_t sf, uint32_t d, uint32_t df) {
  int32_t x;
  switch (op) {
    case D3DBLENDOP_SUBTRACT: x = static_cast<int32_t>(s * sf) - static_cast<int32_t>(d * df); break;
    case D3DBLENDOP_REVSUBTRACT: x = static_cast<int32_t>(d * df) - static_cast<int32_t>(s * sf); break;
    case D3DBLENDOP_MIN: return s < d ? s : d;
    case D3DBLENDOP_MAX: return s > d ? s : d;
    default: x = static_cast<int32_t>(s * sf + d * df); break;
  }
  if (x <= 0) return 0;
  // x / 255 never has a fraction of exactly one half, so this rounds to
  // nearest without ties.
  const uint32_t q = (static_cast<uint32_t>(x) + 127) / 255;
  return q > 255 ? 255 : q;
}

inline DWORD BlendPixel(const BlendState& b, DWORD s, DWORD d) {
  DWORD out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const bool alpha = shift == 24;
    const DWORD srcMode = alpha ? b.srcAlpha : b.src;
    const DWORD dstMode = alpha ? b.dstAlpha : b.dst;
    const DWORD op = alpha ? b.opAlpha : b.op;
    const uint32_t sf = BlendFactorByte(srcMode, shift, s, d, b.factor);
    const uint32_t df = BlendFactorByte(dstMode, shift, s, d, b.factor);
    out |= BlendChannel(op, ByteAt(s, shift), sf, ByteAt(d, shift), df) << shift;
  }
  return out;
}

// Everything that happens to a shaded pixel on its way into the target:
// alpha test, depth test and write, blending, colour write mask.
struct OutputState {
  bool alphaTest = false;
  DWORD alphaFunc = D3DCMP_ALWAYS;
  uint32_t alphaRef = 0;
  bool depthTest = false;  // D3DRS_ZENABLE with a depth buffer
  bool depthWrite = false;
  DWORD depthFunc = D3DCMP_LESSEQUAL;
  BlendState blend;
  DWORD writeMask = 0xFFFFFFFF;  // bytes of the new colour that are written
  // How the span loops write the colour (theirs to set, PrepareOutput);
  // -1 until classified.
  int colorKind = -1;
};

// What the rasteriser knows of one row of the depth buffer: whether every
// pixel of it holds `value`. Spans at one depth on such a row are tested
// without reading the buffer, and skip writes that would change nothing.
struct DepthRowState {
  bool uniform = false;
  uint32_t value = 0;
};

// The depth of a span: one value for all pixels, or one per pixel; and the
// state of its row (null without a depth buffer), which the span writers
// keep true.
struct SpanDepth {
  bool constant = true;
  uint32_t value = 0;
  const uint32_t* values = nullptr;  // values[0] belongs to the span's first pixel
  DepthRowState* row = nullptr;
  int rowWidth = 0;
};

// Writes the shaded pixels src[0 .. xr - xl] into columns xl..xr of one row.
// `fast` picks the specialised loops; the result is the same either way.
void WriteSpan(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl, int xr,
               const DWORD* src, const SpanDepth& depth, bool fast);
// The same for a span whose pixels all shaded to one colour.
void WriteSpanConstant(const OutputState& out, DWORD* colorRow, uint32_t* depthRow, int xl,
                       int xr, DWORD color, const SpanDepth& depth, bool fast);
// Whether a span in front end may store its colours straight into the
// target row: nothing between shading and the target changes them.
bool OutputIsPlainStore(const OutputState& out, const SpanDepth& depth);
// The same for a span added to the target with saturation (ONE/ONE) and
// nothing else in between.
bool OutputIsPlainAdd(const OutputState& out, const SpanDepth& depth);
// The depth part of WriteSpan alone, for spans stored straight (see above).
void WriteSpanDepth(const OutputState& out, uint32_t* depthRow, int xl, int xr,
                    const SpanDepth& depth);
// Classifies a draw's output for the span loops once, instead of per span;
// called again whenever the blend or the write mask changes.
void PrepareOutput(OutputState* out);
// Called once a draw's spans are written: orders any streaming stores before
// whatever reads the target next.
void FinishSpans();

}  // namespace standin
