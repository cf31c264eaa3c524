// Triangle set-up, the general per-pixel path, and the choice of the
// specialised span loops.
#include "d3d9/raster.h"

#include <math.h>
#include <string.h>

#include "d3d9/device.h"
#include "d3d9/pixel.h"
#include "d3d9/raster_internal.h"
#include "d3d9/sampling.h"
#include "d3d9/shader_program.h"

namespace standin {
namespace {

bool g_fastPaths = true;

// Positions beyond this many pixels from the origin are far outside any
// guard band; such triangles are not drawn (and the fixed-point edge
// arithmetic below stays well inside 64 bits).
constexpr double kPositionLimit = 1048576.0;

constexpr int kMaxTexReads = 16;

// Spans at least this long are not prefetched a row ahead (see DrawSpans).
constexpr int kPrefetchSpanLimit = 256;

// Scratch for one span; the rasteriser runs on the device's thread only.
DWORD g_spanColors[kMaxSpanPixels];
uint32_t g_spanDepths[kMaxSpanPixels];

// Which depth rows hold a single value, for the device's depth buffer as of
// its depthSerial; rebuilt from what the device says when that moves.
constexpr int kMaxDepthRows = 16384;
struct DepthRows {
  const void* buffer = nullptr;
  uint64_t serial = 0;
  UINT width = 0, height = 0;
  DepthRowState row[kMaxDepthRows];
};
DepthRows g_depthRows;

void SyncDepthRows(const Device& device) {
  DepthRows& r = g_depthRows;
  if (r.buffer == device.depthBuffer.data() && r.serial == device.depthSerial &&
      r.width == device.width && r.height == device.height)
    return;
  r.buffer = device.depthBuffer.data();
  r.serial = device.depthSerial;
  r.width = device.width;
  r.height = device.height;
  const UINT rows = device.height < static_cast<UINT>(kMaxDepthRows) ? device.height : kMaxDepthRows;
  for (UINT y = 0; y < rows; ++y) {
    const bool set = y >= device.depthRowsBegin && y < device.depthRowsEnd;
    r.row[y].uniform = set;
    r.row[y].value = device.depthRowsValue;
  }
}

struct RasterVertex {
  float x, y, z, rhw;
  float diffuse[4];
  float specular[4];
  float tex[kMaxTexcoordSets][4];
};

struct Stage {
  DWORD colorOp, colorArg1, colorArg2;
  DWORD alphaOp, alphaArg1, alphaArg2;
  DWORD resultArg;
  int texSet;
  bool readsTexture;  // an argument in use is D3DTA_TEXTURE
  bool perChannel;    // every channel of the result depends on that channel only
  float constant[4];
};

struct DrawContext {
  Device* device = nullptr;
  const VertexLayout* layout = nullptr;
  DWORD* color = nullptr;
  uint32_t* depth = nullptr;
  size_t pitch = 0;
  int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // [x0, x1) x [y0, y1)
  DWORD cull = D3DCULL_CCW;
  bool flat = false;
  bool fast = true;
  OutputState output;

  const PixelShader* shader = nullptr;  // null: the fixed-function stages
  SamplerView samplers[kMaxSamplers];
  // The texture reads: the shader's TEX instructions in program order, or
  // the fixed-function stages. Each reads a sampler, and a texture
  // coordinate set directly (-1 when the coordinates are computed).
  int texReads = 0;
  int readSampler[kMaxTexReads] = {};
  int readSet[kMaxTexReads] = {};

  int stageCount = 0;
  Stage stages[kMaxStages];
  float tfactor[4] = {};
  bool specularAdd = false;

  // The interpolants shading reads.
  bool needsDiffuse = false;
  bool needsSpecular = false;
  uint32_t texSetMask = 0;
};

struct Triangle {
  RasterVertex v[3];  // clockwise on screen; v[0] gives the flat-shaded colour
  double px[3], py[3];  // snapped positions in pixels
  int originVertex = 0;   // the vertex the planes are taken from
  bool perspective = false;
  Plane q;  // rhw, when perspective
  Plane z;
  Plane diffuse[4], specular[4];
  Plane tex[kMaxTexcoordSets][4];  // of value * rhw when perspective
  LevelChoice choice[kMaxTexReads];
  int minX = 0, maxX = -1, minY = 0, maxY = -1;
  int64_t edgeAtMin[3];  // edge value at (minX, minY), fill-rule bias included
  int64_t stepX[3], stepY[3];
};

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }  // b > 0

inline void PrefetchLine(const char* p) { __builtin_prefetch(p, 1, 3); }

// --- Vertices ------------------------------------------------------------------

void FetchVertex(const BYTE* p, const VertexLayout& layout, RasterVertex* v) {
  float position[4];
  memcpy(position, p, sizeof position);
  v->x = position[0];
  v->y = position[1];
  v->z = position[2];
  v->rhw = position[3];
  DWORD c = 0xFFFFFFFF;
  if (layout.diffuse >= 0) memcpy(&c, p + layout.diffuse, 4);
  UnpackColor(c, v->diffuse);
  c = 0xFFFFFFFF;
  if (layout.specular >= 0) memcpy(&c, p + layout.specular, 4);
  UnpackColor(c, v->specular);
  for (int k = 0; k < kMaxTexcoordSets; ++k) {
    float* t = v->tex[k];
    t[0] = t[1] = t[2] = 0.0f;
    t[3] = 1.0f;
    if (k < layout.texCount) memcpy(t, p + layout.texOffset[k], 4 * layout.texDimension[k]);
  }
}

// --- Set-up --------------------------------------------------------------------

Plane MakePlane(const Triangle& t, double a0, double a1, double a2, double area) {
  const double d1x = t.px[1] - t.px[0], d1y = t.py[1] - t.py[0];
  const double d2x = t.px[2] - t.px[0], d2y = t.py[2] - t.py[0];
  Plane p;
  // Adding +0 turns a zero gradient of either sign into +0, so that equal
  // planes compare equal bit for bit.
  p.dx = ((a1 - a0) * d2y - (a2 - a0) * d1y) / area + 0.0;
  p.dy = ((a2 - a0) * d1x - (a1 - a0) * d2x) / area + 0.0;
  // Taken back to the origin from the topmost-leftmost vertex, which both
  // halves of a fan rectangle share. A zero gradient adds nothing, so a
  // constant stays exactly its value.
  const double a[3] = {a0, a1, a2};
  const int m = t.originVertex;
  p.base = a[m];
  if (p.dx != 0.0) p.base -= p.dx * t.px[m];
  if (p.dy != 0.0) p.base -= p.dy * t.py[m];
  return p;
}

Plane AttributePlane(const Triangle& t, const float* (&values)[3], int component, double area) {
  double a[3];
  for (int i = 0; i < 3; ++i) {
    a[i] = values[i][component];
    if (t.perspective) a[i] *= t.v[i].rhw;
  }
  return MakePlane(t, a[0], a[1], a[2], area);
}

double DerivativeLength(double ux, double vx, double uy, double vy) {
  const double lx = sqrt(ux * ux + vx * vx), ly = sqrt(uy * uy + vy * vy);
  return lx > ly ? lx : ly;
}

bool SetupTriangle(const DrawContext& ctx, const RasterVertex& a, const RasterVertex& b,
                   const RasterVertex& c, Triangle* t) {
  const RasterVertex* in[3] = {&a, &b, &c};
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    const RasterVertex& v = *in[i];
    if (!isfinite(v.x) || !isfinite(v.y) || !isfinite(v.z) || !isfinite(v.rhw)) return false;
    if (fabs(v.x) > kPositionLimit || fabs(v.y) > kPositionLimit) return false;
    X[i] = llrint(static_cast<double>(v.x) * 256.0);
    Y[i] = llrint(static_cast<double>(v.y) * 256.0);
  }
  int64_t area2 = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area2 == 0) return false;
  // Positive area is clockwise on screen (y grows downward).
  if (ctx.cull == D3DCULL_CCW && area2 < 0) return false;
  if (ctx.cull == D3DCULL_CW && area2 > 0) return false;
  int order[3] = {0, 1, 2};
  if (area2 < 0) {
    order[1] = 2;
    order[2] = 1;
    area2 = -area2;
  }
  int64_t sx[3], sy[3];
  for (int i = 0; i < 3; ++i) {
    t->v[i] = *in[order[i]];
    sx[i] = X[order[i]];
    sy[i] = Y[order[i]];
    t->px[i] = static_cast<double>(sx[i]) / 256.0;
    t->py[i] = static_cast<double>(sy[i]) / 256.0;
  }
  t->originVertex = 0;
  for (int i = 1; i < 3; ++i) {
    const int m = t->originVertex;
    if (sy[i] < sy[m] || (sy[i] == sy[m] && sx[i] < sx[m])) t->originVertex = i;
  }

  // Pixel centres inside the bounding box and the clip rectangle.
  int64_t loX = sx[0], hiX = sx[0], loY = sy[0], hiY = sy[0];
  for (int i = 1; i < 3; ++i) {
    loX = sx[i] < loX ? sx[i] : loX;
    hiX = sx[i] > hiX ? sx[i] : hiX;
    loY = sy[i] < loY ? sy[i] : loY;
    hiY = sy[i] > hiY ? sy[i] : hiY;
  }
  int64_t minX = CeilDiv(loX, 256), maxX = FloorDiv(hiX, 256);
  int64_t minY = CeilDiv(loY, 256), maxY = FloorDiv(hiY, 256);
  if (minX < ctx.clipX0) minX = ctx.clipX0;
  if (minY < ctx.clipY0) minY = ctx.clipY0;
  if (maxX > ctx.clipX1 - 1) maxX = ctx.clipX1 - 1;
  if (maxY > ctx.clipY1 - 1) maxY = ctx.clipY1 - 1;
  if (minX > maxX || minY > maxY) return false;
  t->minX = static_cast<int>(minX);
  t->maxX = static_cast<int>(maxX);
  t->minY = static_cast<int>(minY);
  t->maxY = static_cast<int>(maxY);

  // Edge a->b: E(p) = (Xb - Xa)(Py - Ya) - (Yb - Ya)(Px - Xa), positive
  // inside. A centre exactly on an edge is inside only for a top edge
  // (horizontal, running right) or a left edge (running up).
  for (int e = 0; e < 3; ++e) {
    const int i = e, j = (e + 1) % 3;
    const int64_t dx = sx[j] - sx[i], dy = sy[j] - sy[i];
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    t->stepX[e] = -dy * 256;
    t->stepY[e] = dx * 256;
    t->edgeAtMin[e] = dx * (minY * 256 - sy[i]) - dy * (minX * 256 - sx[i]) - (topLeft ? 0 : 1);
  }

  t->perspective = !(t->v[0].rhw == t->v[1].rhw && t->v[1].rhw == t->v[2].rhw);
  if (t->perspective && !(t->v[0].rhw > 0.0f && t->v[1].rhw > 0.0f && t->v[2].rhw > 0.0f))
    return false;
  const double area = static_cast<double>(area2) / 65536.0;
  // Depth is interpolated linearly on screen, never divided by w.
  t->z = MakePlane(*t, t->v[0].z, t->v[1].z, t->v[2].z, area);
  if (t->perspective) t->q = MakePlane(*t, t->v[0].rhw, t->v[1].rhw, t->v[2].rhw, area);
  if (ctx.needsDiffuse && !ctx.flat) {
    const float* d[3] = {t->v[0].diffuse, t->v[1].diffuse, t->v[2].diffuse};
    for (int k = 0; k < 4; ++k) t->diffuse[k] = AttributePlane(*t, d, k, area);
  }
  if (ctx.needsSpecular && !ctx.flat) {
    const float* s[3] = {t->v[0].specular, t->v[1].specular, t->v[2].specular};
    for (int k = 0; k < 4; ++k) t->specular[k] = AttributePlane(*t, s, k, area);
  }
  for (int set = 0; set < kMaxTexcoordSets; ++set) {
    if (!(ctx.texSetMask & (1u << set))) continue;
    const float* tc[3] = {t->v[0].tex[set], t->v[1].tex[set], t->v[2].tex[set]};
    for (int k = 0; k < 4; ++k) t->tex[set][k] = AttributePlane(*t, tc, k, area);
  }

  // Affine coordinates have one level of detail over the whole triangle.
  const int reads = ctx.texReads < kMaxTexReads ? ctx.texReads : kMaxTexReads;
  for (int r = 0; r < reads; ++r) {
    const SamplerView& view = ctx.samplers[ctx.readSampler[r]];
    if (!view.texture) continue;
    const int set = ctx.readSet[r];
    double rho = 0.0;
    if (set >= 0 && !t->perspective) {
      const double w = LevelWidth(view, 0), h = LevelHeight(view, 0);
      rho = DerivativeLength(t->tex[set][0].dx * w, t->tex[set][1].dx * h, t->tex[set][0].dy * w,
                             t->tex[set][1].dy * h);
    }
    t->choice[r] = ChooseLevels(view, rho);
  }
  return true;
}

// --- Shading -----------------------------------------------------------------

struct PixelInputs {
  float tex[kMaxTexcoordSets][4];
  float diffuse[4];
  float specular[4];
};

void Interpolate(const DrawContext& ctx, const Triangle& t, int x, int y, PixelInputs* in) {
  const double q = t.perspective ? EvalPlane(t.q, x, y) : 1.0;
  for (int set = 0; set < kMaxTexcoordSets; ++set) {
    if (!(ctx.texSetMask & (1u << set))) continue;
    for (int k = 0; k < 4; ++k) {
      const double value = EvalPlane(t.tex[set][k], x, y);
      in->tex[set][k] = static_cast<float>(t.perspective ? value / q : value);
    }
  }
  for (int k = 0; k < 4; ++k) {
    if (ctx.needsDiffuse) {
      if (ctx.flat) {
        in->diffuse[k] = t.v[0].diffuse[k];
      } else {
        const double value = EvalPlane(t.diffuse[k], x, y);
        in->diffuse[k] = Saturate(static_cast<float>(t.perspective ? value / q : value));
      }
    }
    if (ctx.needsSpecular) {
      if (ctx.flat) {
        in->specular[k] = t.v[0].specular[k];
      } else {
        const double value = EvalPlane(t.specular[k], x, y);
        in->specular[k] = Saturate(static_cast<float>(t.perspective ? value / q : value));
      }
    }
  }
}

// The level choice of texture read `read` at pixel (x, y).
LevelChoice ChoiceAt(const DrawContext& ctx, const Triangle& t, int read, int sampler, int x,
                     int y) {
  const SamplerView& view = ctx.samplers[sampler];
  if (read >= kMaxTexReads || ctx.readSampler[read] != sampler) return ChooseLevels(view, 0.0);
  const int set = ctx.readSet[read];
  if (!t.perspective || set < 0) return t.choice[read];
  // u = P / Q, so du/dx = (P_x Q - P Q_x) / Q^2.
  const double q = EvalPlane(t.q, x, y);
  const double pu = EvalPlane(t.tex[set][0], x, y), pv = EvalPlane(t.tex[set][1], x, y);
  const double q2 = q * q;
  const double w = LevelWidth(view, 0), h = LevelHeight(view, 0);
  const double ux = (t.tex[set][0].dx * q - pu * t.q.dx) / q2 * w;
  const double uy = (t.tex[set][0].dy * q - pu * t.q.dy) / q2 * w;
  const double vx = (t.tex[set][1].dx * q - pv * t.q.dx) / q2 * h;
  const double vy = (t.tex[set][1].dy * q - pv * t.q.dy) / q2 * h;
  return ChooseLevels(view, DerivativeLength(ux, vx, uy, vy));
}

struct SampleContext {
  const DrawContext* ctx;
  const Triangle* tri;
  int x, y;
  int nextRead;
  int sampleOverride;  // >= 0: every sample reads (n, n, n, n) with this n
};

void ShaderSample(void* context, uint32_t sampler, const float coords[4], float rgba[4]) {
  SampleContext& sc = *static_cast<SampleContext*>(context);
  const int read = sc.nextRead++;
  if (sc.sampleOverride >= 0) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = kUnorm8.value[sc.sampleOverride];
    return;
  }
  const SamplerView& view = sc.ctx->samplers[sampler];
  if (!view.texture) {
    // A shader reading a sampler with nothing bound gets opaque black.
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = 1.0f;
    return;
  }
  const LevelChoice choice = ChoiceAt(*sc.ctx, *sc.tri, read, static_cast<int>(sampler), sc.x, sc.y);
  UnpackColor(SampleTexture(view, choice, coords[0], coords[1]), rgba);
}

void StageArgument(DWORD arg, const PixelInputs& in, const float* current, const float* temp,
                   const float* texture, const float* tfactor, const float* constant,
                   float out[4]) {
  const float* source;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: source = in.diffuse; break;
    case D3DTA_TEXTURE: source = texture; break;
    case D3DTA_TFACTOR: source = tfactor; break;
    case D3DTA_SPECULAR: source = in.specular; break;
    case D3DTA_TEMP: source = temp; break;
    case D3DTA_CONSTANT: source = constant; break;
    default: source = current; break;
  }
  for (int k = 0; k < 4; ++k) out[k] = (arg & D3DTA_ALPHAREPLICATE) ? source[3] : source[k];
  if (arg & D3DTA_COMPLEMENT)
    for (int k = 0; k < 4; ++k) out[k] = 1.0f - out[k];
}

float StageOp(DWORD op, float a, float b, float diffuseAlpha, float textureAlpha) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a;
    case D3DTOP_SELECTARG2: return b;
    case D3DTOP_MODULATE: return a * b;
    case D3DTOP_MODULATE2X: return 2.0f * (a * b);
    case D3DTOP_MODULATE4X: return 4.0f * (a * b);
    case D3DTOP_ADD: return a + b;
    case D3DTOP_ADDSIGNED: return a + b - 0.5f;
    case D3DTOP_ADDSIGNED2X: return 2.0f * (a + b - 0.5f);
    case D3DTOP_SUBTRACT: return a - b;
    case D3DTOP_ADDSMOOTH: return a + b - a * b;
    case D3DTOP_BLENDDIFFUSEALPHA: return a * diffuseAlpha + b * (1.0f - diffuseAlpha);
    case D3DTOP_BLENDTEXTUREALPHA: return a * textureAlpha + b * (1.0f - textureAlpha);
    default: return a;
  }
}

DWORD ShadeFixedFunction(const DrawContext& ctx, const Triangle& t, int x, int y,
                         const PixelInputs& in, int sampleOverride) {
  float current[4], temp[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int k = 0; k < 4; ++k) current[k] = in.diffuse[k];
  for (int s = 0; s < ctx.stageCount; ++s) {
    const Stage& st = ctx.stages[s];
    float texture[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (st.readsTexture) {
      if (sampleOverride >= 0) {
        for (float& c : texture) c = kUnorm8.value[sampleOverride];
      } else if (ctx.samplers[s].texture) {
        const float* tc = in.tex[st.texSet];
        const LevelChoice choice = ChoiceAt(ctx, t, s, s, x, y);
        UnpackColor(SampleTexture(ctx.samplers[s], choice, tc[0], tc[1]), texture);
      }
    }
    float c1[4], c2[4], a1[4], a2[4];
    StageArgument(st.colorArg1, in, current, temp, texture, ctx.tfactor, st.constant, c1);
    StageArgument(st.colorArg2, in, current, temp, texture, ctx.tfactor, st.constant, c2);
    StageArgument(st.alphaArg1, in, current, temp, texture, ctx.tfactor, st.constant, a1);
    StageArgument(st.alphaArg2, in, current, temp, texture, ctx.tfactor, st.constant, a2);
    float result[4];
    for (int k = 0; k < 3; ++k)
      result[k] = Saturate(StageOp(st.colorOp, c1[k], c2[k], in.diffuse[3], texture[3]));
    // Alpha cannot be switched off on its own; a disabled alpha operation
    // passes the alpha through.
    result[3] = st.alphaOp == D3DTOP_DISABLE
                    ? current[3]
                    : Saturate(StageOp(st.alphaOp, a1[3], a2[3], in.diffuse[3], texture[3]));
    float* target = (st.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP ? temp : current;
    for (int k = 0; k < 4; ++k) target[k] = result[k];
  }
  if (ctx.specularAdd)
    for (int k = 0; k < 3; ++k) current[k] = Saturate(current[k] + in.specular[k]);
  return PackColor(current);
}

// The 8-bit colour of pixel (x, y): shader or fixed-function stages.
DWORD ShadePixel(const DrawContext& ctx, const Triangle& t, int x, int y, int sampleOverride) {
  PixelInputs in;
  Interpolate(ctx, t, x, y, &in);
  if (!ctx.shader) return ShadeFixedFunction(ctx, t, x, y, in, sampleOverride);
  const ShaderProgram& program = ctx.shader->program;
  PixelShaderInputs inputs;
  for (int set = 0; set < kMaxTexcoordSets; ++set)
    if (program.texcoordMask & (1u << set))
      for (int k = 0; k < 4; ++k) inputs.texcoord[set][k] = in.tex[set][k];
  for (int k = 0; k < 4; ++k) {
    inputs.color[0][k] = in.diffuse[k];
    inputs.color[1][k] = in.specular[k];
  }
  SampleContext sc{&ctx, &t, x, y, 0, sampleOverride};
  float out[4];
  RunPixelShader(program, ctx.device->psConstants, inputs, &ShaderSample, &sc, out);
  return PackColor(out);
}

// --- Choosing the span loops ------------------------------------------------------

bool ColorsConstant(const Plane (&planes)[4]) {
  for (const Plane& p : planes)
    if (!p.IsConstant()) return false;
  return true;
}

// Whether every pixel of an affine triangle shades the same: all the
// interpolants shading reads are constant over it (samples at constant
// coordinates are constant too, the level of detail being per triangle).
bool InputsConstant(const DrawContext& ctx, const Triangle& t) {
  if (ctx.needsDiffuse && !ctx.flat && !ColorsConstant(t.diffuse)) return false;
  if (ctx.needsSpecular && !ctx.flat && !ColorsConstant(t.specular)) return false;
  for (int set = 0; set < kMaxTexcoordSets; ++set)
    if ((ctx.texSetMask & (1u << set)) && !ColorsConstant(t.tex[set])) return false;
  return true;
}

// The last table of shaded colours built for a shader, reused while its
// constant stays the same (every glyph of a line of text).
struct ShaderLutCache {
  uint64_t shaderSerial = 0;
  float constant[4] = {};
  int sampler = -1;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  uint8_t lut[4][256];
  bool identity = false;
};
ShaderLutCache g_lutCache;

void BuildLut(const DrawContext& ctx, const Triangle& t, TexturedSource* source) {
  for (int n = 0; n < 256; ++n) {
    const DWORD c = ShadePixel(ctx, t, t.minX, t.minY, n);
    for (int ch = 0; ch < 4; ++ch) source->lut[ch][n] = static_cast<uint8_t>(ByteAt(c, 8 * ch));
  }
  bool identity = true;
  for (int ch = 0; ch < 4; ++ch)
    for (int n = 0; n < 256; ++n) identity = identity && source->lut[ch][n] == n;
  source->lutIdentity = identity;
}

bool StageIsPerChannel(const Stage& st) {
  auto perChannelOp = [](DWORD op) {
    switch (op) {
      case D3DTOP_SELECTARG1: case D3DTOP_SELECTARG2: case D3DTOP_MODULATE:
      case D3DTOP_MODULATE2X: case D3DTOP_MODULATE4X: case D3DTOP_ADD: case D3DTOP_ADDSIGNED:
      case D3DTOP_ADDSIGNED2X: case D3DTOP_SUBTRACT: case D3DTOP_ADDSMOOTH:
        return true;
      default:
        return false;
    }
  };
  const DWORD args[4] = {st.colorArg1, st.colorArg2, st.alphaArg1, st.alphaArg2};
  for (DWORD a : args)
    if (a & D3DTA_ALPHAREPLICATE) return false;
  return perChannelOp(st.colorOp) && perChannelOp(st.alphaOp);
}

// Sets up the textured span loops for a triangle whose pixels are a
// per-channel function of one texture sample.
bool PlanTexturedSpans(const DrawContext& ctx, const Triangle& t, TexturedSource* source) {
  int sampler, set, read;
  if (ctx.shader) {
    const PixelShaderClass& cls = ctx.shader->shape;
    if (cls.pattern != kPatternConstantTimesTexture) return false;
    sampler = static_cast<int>(cls.sampler);
    set = static_cast<int>(cls.texcoord);
    read = 0;
  } else {
    if (ctx.stageCount != 1 || !ctx.stages[0].readsTexture || !ctx.stages[0].perChannel)
      return false;
    if (ctx.needsDiffuse && !ctx.flat && !ColorsConstant(t.diffuse)) return false;
    if (ctx.needsSpecular && !ctx.flat && !ColorsConstant(t.specular)) return false;
    sampler = 0;
    set = ctx.stages[0].texSet;
    read = 0;
  }
  const SamplerView& view = ctx.samplers[sampler];
  if (!view.texture || ctx.readSet[read] != set || ctx.readSampler[read] != sampler) return false;
  if (view.addressU == D3DTADDRESS_BORDER || view.addressV == D3DTADDRESS_BORDER) return false;
  const LevelChoice& choice = t.choice[read];
  if (choice.weight1 != 0) return false;
  const Plane& u = t.tex[set][0];
  const Plane& v = t.tex[set][1];
  if (u.dy != 0.0 || v.dx != 0.0) return false;

  source->view = &view;
  source->level = choice.level0;
  source->bilinear = choice.bilinear;
  source->u = u;
  source->v = v;
  if (ctx.shader) {
    const float* c = ctx.device->psConstants[ctx.shader->shape.constant];
    ShaderLutCache& cache = g_lutCache;
    if (cache.shaderSerial != ctx.shader->serial || memcmp(cache.constant, c, sizeof cache.constant) != 0 ||
        cache.sampler != sampler || cache.format != view.format) {
      BuildLut(ctx, t, source);
      cache.shaderSerial = ctx.shader->serial;
      memcpy(cache.constant, c, sizeof cache.constant);
      cache.sampler = sampler;
      cache.format = view.format;
      memcpy(cache.lut, source->lut, sizeof cache.lut);
      cache.identity = source->lutIdentity;
    } else {
      memcpy(source->lut, cache.lut, sizeof cache.lut);
      source->lutIdentity = cache.identity;
    }
  } else {
    BuildLut(ctx, t, source);
  }
  return PrepareTexturedSpans(*source, t.minX, t.maxX, t.minY, t.maxY);
}

// --- Spans ---------------------------------------------------------------------------

enum class FrontEnd { kGeneral, kConstant, kTextured };

// Where a triangle's pixels are on each row: inside its three edges, or, for
// the two halves of an axis-aligned rectangle drawn as one, in its columns.
struct Coverage {
  bool rectangle = false;
  int rectX0 = 0, rectX1 = -1;
};

// Shades and writes every covered pixel of a set-up triangle.
void DrawSpans(const DrawContext& ctx, const Triangle& t, const Coverage& coverage) {
  SpanDepth depth;
  depth.rowWidth = static_cast<int>(ctx.pitch);
  const bool depthPerPixel = ctx.output.depthTest && !t.z.IsConstant();
  if (ctx.output.depthTest && !depthPerPixel)
    depth.value = QuantizeDepth(static_cast<float>(t.z.base));
  if (depthPerPixel) {
    depth.constant = false;
    depth.values = g_spanDepths;
  }

  FrontEnd front = FrontEnd::kGeneral;
  DWORD constantColor = 0;
  static TexturedSource textured;
  if (ctx.fast && !t.perspective) {
    if (InputsConstant(ctx, t)) {
      front = FrontEnd::kConstant;
      constantColor = ShadePixel(ctx, t, t.minX, t.minY, -1);
    } else if (PlanTexturedSpans(ctx, t, &textured)) {
      front = FrontEnd::kTextured;
    }
  }

  const bool readsTarget = ctx.output.blend.enabled || ctx.output.writeMask != 0xFFFFFFFF;
  int64_t rowEdge[3] = {t.edgeAtMin[0], t.edgeAtMin[1], t.edgeAtMin[2]};
  for (int y = t.minY; y <= t.maxY; ++y) {
    int64_t lo = t.minX, hi = t.maxX;
    if (coverage.rectangle) {
      lo = coverage.rectX0;
      hi = coverage.rectX1;
    } else {
      // The run of centres on this row inside all three edges.
      for (int e = 0; e < 3 && lo <= hi; ++e) {
        const int64_t value = rowEdge[e], step = t.stepX[e];
        if (step > 0) {
          if (value < 0) {
            const int64_t first = t.minX + CeilDiv(-value, step);
            lo = lo > first ? lo : first;
          }
        } else if (step < 0) {
          if (value < 0) hi = lo - 1;
          else hi = hi < t.minX + value / -step ? hi : t.minX + value / -step;
        } else if (value < 0) {
          hi = lo - 1;
        }
      }
      for (int e = 0; e < 3; ++e) rowEdge[e] += t.stepY[e];
    }
    if (lo > hi) continue;
    const int xl = static_cast<int>(lo), xr = static_cast<int>(hi);
    DWORD* colorRow = ctx.color + static_cast<size_t>(y) * ctx.pitch;
    uint32_t* depthRow = ctx.depth ? ctx.depth + static_cast<size_t>(y) * ctx.pitch : nullptr;
    depth.row = ctx.depth ? &g_depthRows.row[y] : nullptr;
    if (depthPerPixel)
      for (int x = xl; x <= xr; ++x)
        g_spanDepths[x - xl] = QuantizeDepth(static_cast<float>(EvalPlane(t.z, x, y)));

    if (y < t.maxY && readsTarget && xr - xl < kPrefetchSpanLimit) {
      // The next row's pixels will be read for blending: ask for them now.
      // Long spans are left to the processor, which follows them on its own
      // and is only held up by a stream of prefetches.
      const char* next = reinterpret_cast<const char*>(colorRow + ctx.pitch + xl);
      for (int x = xl; x <= xr; x += 16) PrefetchLine(next + 4 * static_cast<size_t>(x - xl));
    }

    switch (front) {
      case FrontEnd::kConstant:
        WriteSpanConstant(ctx.output, colorRow, depthRow, xl, xr, constantColor, depth, true);
        break;
      case FrontEnd::kTextured:
        if (OutputIsPlainStore(ctx.output, depth)) {
          WriteSpanDepth(ctx.output, depthRow, xl, xr, depth);
          ShadeTexturedSpan(textured, y, xl, xr, colorRow + xl, SpanTarget::kStore);
        } else if (OutputIsPlainAdd(ctx.output, depth)) {
          WriteSpanDepth(ctx.output, depthRow, xl, xr, depth);
          ShadeTexturedSpan(textured, y, xl, xr, colorRow + xl, SpanTarget::kAdd);
        } else {
          ShadeTexturedSpan(textured, y, xl, xr, g_spanColors, SpanTarget::kScratch);
          WriteSpan(ctx.output, colorRow, depthRow, xl, xr, g_spanColors, depth, true);
        }
        break;
      default:
        for (int x = xl; x <= xr; ++x) g_spanColors[x - xl] = ShadePixel(ctx, t, x, y, -1);
        WriteSpan(ctx.output, colorRow, depthRow, xl, xr, g_spanColors, depth, ctx.fast);
        break;
    }
  }
}

void DrawTriangle(const DrawContext& ctx, const RasterVertex& a, const RasterVertex& b,
                  const RasterVertex& c) {
  Triangle t;
  if (SetupTriangle(ctx, a, b, c, &t)) DrawSpans(ctx, t, Coverage());
}

bool SamePlane(const Plane& a, const Plane& b) {
  return a.base == b.base && a.dx == b.dx && a.dy == b.dy;
}

bool SamePlanes(const Plane (&a)[4], const Plane (&b)[4]) {
  for (int k = 0; k < 4; ++k)
    if (!SamePlane(a[k], b[k])) return false;
  return true;
}

// Whether the two set-up halves of a fan quad can be drawn as one
// rectangle with the same pixels: the quad is axis-aligned (so the fill
// rule gives each centre of the rectangle to exactly one half, and the
// rectangle's pixels are those of its half-open pixel box) and every
// interpolant has the same plane in both halves.
bool MergeableHalves(const DrawContext& ctx, const Triangle& a, const Triangle& b) {
  if (a.perspective || b.perspective) return false;
  if (!SamePlane(a.z, b.z)) return false;
  if (ctx.needsDiffuse) {
    if (ctx.flat ? memcmp(a.v[0].diffuse, b.v[0].diffuse, sizeof a.v[0].diffuse) != 0
                 : !SamePlanes(a.diffuse, b.diffuse))
      return false;
  }
  if (ctx.needsSpecular) {
    if (ctx.flat ? memcmp(a.v[0].specular, b.v[0].specular, sizeof a.v[0].specular) != 0
                 : !SamePlanes(a.specular, b.specular))
      return false;
  }
  for (int set = 0; set < kMaxTexcoordSets; ++set)
    if ((ctx.texSetMask & (1u << set)) && !SamePlanes(a.tex[set], b.tex[set])) return false;
  return true;
}

// Writes out a clear the device still holds back, and catches up with
// the depth rows it set.
void ApplyPendingClear(DrawContext& ctx) {
  Device& device = *ctx.device;
  if (!device.pendingClear.color && !device.pendingClear.depth) return;
  device.ApplyPendingClear();
  if (ctx.depth) SyncDepthRows(device);
}

// A clear of the whole surface still pending when a rectangle is drawn:
// the parts the rectangle overwrites at every pixel, whatever they hold,
// need never be written (the show clears each frame and then covers it
// with its picture). The rest is written before the rectangle is.
void SettlePendingClear(DrawContext& ctx, const Triangle& t, bool coversSurface) {
  const Device::PendingClear clear = ctx.device->pendingClear;
  if (!clear.color && !clear.depth) return;
  OutputState& out = ctx.output;
  // Whether every pixel passes the depth test against the cleared buffer.
  bool depthPasses = !out.depthTest;
  if (out.depthTest && clear.depth && t.z.IsConstant())
    depthPasses = CompareValues(out.depthFunc, QuantizeDepth(static_cast<float>(t.z.base)),
                                clear.depthValue);
  const bool everyPixel = coversSurface && !out.alphaTest && depthPasses;
  OutputState untested = out;
  untested.depthTest = false;
  const bool coversColor = everyPixel && OutputIsPlainStore(untested, SpanDepth());
  const bool coversDepth = everyPixel && out.depthWrite;
  if (!coversColor && !coversDepth) {
    ApplyPendingClear(ctx);
    return;
  }
  Device::PendingClear& rest = ctx.device->pendingClear;
  if (coversColor) rest.color = false;
  if (coversDepth) rest.depth = false;
  ApplyPendingClear(ctx);
  // The buffer may still hold what it held before the clear; the test is
  // known to pass everywhere against what it should hold.
  if (out.depthTest) out.depthFunc = D3DCMP_ALWAYS;
}

// A fan of two triangles: the show's every quad. Drawn as one rectangle
// when that gives the same pixels, as two triangles otherwise.
void DrawFanQuad(DrawContext& ctx, const RasterVertex (&v)[4]) {
  Triangle halves[2];
  const bool first = SetupTriangle(ctx, v[1], v[2], v[0], &halves[0]);
  const bool second = SetupTriangle(ctx, v[2], v[3], v[0], &halves[1]);
  if (first && second && ctx.fast) {
    int64_t X[4], Y[4];
    for (int i = 0; i < 4; ++i) {
      X[i] = llrint(static_cast<double>(v[i].x) * 256.0);
      Y[i] = llrint(static_cast<double>(v[i].y) * 256.0);
    }
    const bool aligned = (X[0] == X[3] && X[1] == X[2] && Y[0] == Y[1] && Y[2] == Y[3]) ||
                         (X[0] == X[1] && X[2] == X[3] && Y[0] == Y[3] && Y[1] == Y[2]);
    if (aligned && MergeableHalves(ctx, halves[0], halves[1])) {
      // Centres from the left and top edges (included) to the right and
      // bottom edges (excluded).
      const int64_t loX = X[0] < X[2] ? X[0] : X[2], hiX = X[0] < X[2] ? X[2] : X[0];
      const int64_t loY = Y[0] < Y[2] ? Y[0] : Y[2], hiY = Y[0] < Y[2] ? Y[2] : Y[0];
      int64_t x0 = CeilDiv(loX, 256), x1 = CeilDiv(hiX, 256) - 1;
      int64_t y0 = CeilDiv(loY, 256), y1 = CeilDiv(hiY, 256) - 1;
      if (x0 < ctx.clipX0) x0 = ctx.clipX0;
      if (y0 < ctx.clipY0) y0 = ctx.clipY0;
      if (x1 > ctx.clipX1 - 1) x1 = ctx.clipX1 - 1;
      if (y1 > ctx.clipY1 - 1) y1 = ctx.clipY1 - 1;
      if (x0 > x1 || y0 > y1) return;
      const Device& device = *ctx.device;
      const bool coversSurface = x0 == 0 && y0 == 0 && x1 == static_cast<int64_t>(device.width) - 1 &&
                                 y1 == static_cast<int64_t>(device.height) - 1;
      SettlePendingClear(ctx, halves[0], coversSurface);
      Triangle& t = halves[0];
      t.minX = static_cast<int>(x0);
      t.maxX = static_cast<int>(x1);
      t.minY = static_cast<int>(y0);
      t.maxY = static_cast<int>(y1);
      Coverage rect;
      rect.rectangle = true;
      rect.rectX0 = t.minX;
      rect.rectX1 = t.maxX;
      DrawSpans(ctx, t, rect);
      return;
    }
  }
  ApplyPendingClear(ctx);
  if (first) DrawSpans(ctx, halves[0], Coverage());
  if (second) DrawSpans(ctx, halves[1], Coverage());
}

// --- Per-draw state ------------------------------------------------------------------

bool ReadsTexture(DWORD op, DWORD arg1, DWORD arg2) {
  auto isTexture = [](DWORD a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
  switch (op) {
    case D3DTOP_DISABLE: return false;
    case D3DTOP_SELECTARG1: return isTexture(arg1);
    case D3DTOP_SELECTARG2: return isTexture(arg2);
    case D3DTOP_BLENDTEXTUREALPHA: return true;
    default: return isTexture(arg1) || isTexture(arg2);
  }
}

bool ReadsSelector(const Stage& st, DWORD selector) {
  auto is = [selector](DWORD a) { return (a & D3DTA_SELECTMASK) == selector; };
  return is(st.colorArg1) || is(st.colorArg2) || is(st.alphaArg1) || is(st.alphaArg2);
}

void SetupContext(Device& device, const VertexLayout& layout, DrawContext* ctx) {
  const DWORD* rs = device.renderState;
  ctx->device = &device;
  ctx->layout = &layout;
  ctx->color = device.backBuffer.data();
  ctx->pitch = device.width;
  ctx->depth = device.depthBuffer.empty() ? nullptr : device.depthBuffer.data();
  if (ctx->depth) SyncDepthRows(device);
  const D3DVIEWPORT9& vp = device.viewport;
  ctx->clipX0 = static_cast<int>(vp.X);
  ctx->clipY0 = static_cast<int>(vp.Y);
  ctx->clipX1 = static_cast<int>(vp.X + vp.Width < device.width ? vp.X + vp.Width : device.width);
  ctx->clipY1 = static_cast<int>(vp.Y + vp.Height < device.height ? vp.Y + vp.Height : device.height);
  ctx->cull = rs[D3DRS_CULLMODE];
  ctx->flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  ctx->fast = g_fastPaths;

  OutputState& out = ctx->output;
  out.alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
  out.alphaFunc = rs[D3DRS_ALPHAFUNC];
  out.alphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
  out.depthTest = ctx->depth && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
  out.depthWrite = out.depthTest && rs[D3DRS_ZWRITEENABLE] != FALSE;
  out.depthFunc = rs[D3DRS_ZFUNC];
  BlendState& b = out.blend;
  b.enabled = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
  b.src = rs[D3DRS_SRCBLEND];
  b.dst = rs[D3DRS_DESTBLEND];
  b.op = rs[D3DRS_BLENDOP];
  // The two obsolete modes set both factors from the source blend.
  if (b.src == D3DBLEND_BOTHSRCALPHA) {
    b.src = D3DBLEND_SRCALPHA;
    b.dst = D3DBLEND_INVSRCALPHA;
  } else if (b.src == D3DBLEND_BOTHINVSRCALPHA) {
    b.src = D3DBLEND_INVSRCALPHA;
    b.dst = D3DBLEND_SRCALPHA;
  }
  if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
    b.srcAlpha = rs[D3DRS_SRCBLENDALPHA];
    b.dstAlpha = rs[D3DRS_DESTBLENDALPHA];
    b.opAlpha = rs[D3DRS_BLENDOPALPHA];
  } else {
    b.srcAlpha = b.src;
    b.dstAlpha = b.dst;
    b.opAlpha = b.op;
  }
  b.factor = rs[D3DRS_BLENDFACTOR];
  const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
  out.writeMask = ((mask & 1) ? 0x00FF0000u : 0) | ((mask & 2) ? 0x0000FF00u : 0) |
                  ((mask & 4) ? 0x000000FFu : 0) | ((mask & 8) ? 0xFF000000u : 0);
  PrepareOutput(&out);

  ctx->shader = device.pixelShader;
  if (ctx->shader) {
    const ShaderProgram& program = ctx->shader->program;
    for (int s = 0; s < kMaxSamplers; ++s)
      if (program.samplerMask & (1u << s)) MakeSamplerView(device, s, &ctx->samplers[s]);
    ctx->texReads = 0;
    for (uint32_t i = 0; i < program.instructionCount; ++i) {
      const ShaderInstruction& ins = program.instructions[i];
      if (ins.op != kOpTex) continue;
      const int r = ctx->texReads++;
      if (r >= kMaxTexReads) continue;
      const ShaderOperand& uv = ins.src[0];
      const bool direct = uv.file == kFileTexcoord && !uv.negate && uv.swizzle[0] == 0 &&
                          uv.swizzle[1] == 1;
      ctx->readSampler[r] = ins.src[1].index;
      ctx->readSet[r] = direct ? uv.index : -1;
    }
    ctx->texSetMask = program.texcoordMask;
    ctx->needsDiffuse = program.colorMask & 1;
    ctx->needsSpecular = program.colorMask & 2;
    return;
  }

  const DWORD tfactor = rs[D3DRS_TEXTUREFACTOR];
  UnpackColor(tfactor, ctx->tfactor);
  ctx->needsDiffuse = true;
  ctx->specularAdd = rs[D3DRS_SPECULARENABLE] != FALSE && layout.specular >= 0;
  ctx->needsSpecular = ctx->specularAdd;
  int s = 0;
  for (; s < kMaxStages; ++s) {
    const DWORD* ts = device.stageState[s];
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    Stage& st = ctx->stages[s];
    st.colorOp = ts[D3DTSS_COLOROP];
    st.colorArg1 = ts[D3DTSS_COLORARG1];
    st.colorArg2 = ts[D3DTSS_COLORARG2];
    st.alphaOp = ts[D3DTSS_ALPHAOP];
    st.alphaArg1 = ts[D3DTSS_ALPHAARG1];
    st.alphaArg2 = ts[D3DTSS_ALPHAARG2];
    st.resultArg = ts[D3DTSS_RESULTARG];
    st.texSet = static_cast<int>(ts[D3DTSS_TEXCOORDINDEX] & 0x7);
    UnpackColor(ts[D3DTSS_CONSTANT], st.constant);
    st.readsTexture = ReadsTexture(st.colorOp, st.colorArg1, st.colorArg2) ||
                      ReadsTexture(st.alphaOp, st.alphaArg1, st.alphaArg2);
    st.perChannel = StageIsPerChannel(st);
    if (ReadsSelector(st, D3DTA_SPECULAR)) ctx->needsSpecular = true;
    MakeSamplerView(device, s, &ctx->samplers[s]);
    ctx->readSampler[s] = s;
    ctx->readSet[s] = st.texSet;
    if (st.readsTexture && ctx->samplers[s].texture) ctx->texSetMask |= 1u << st.texSet;
  }
  ctx->stageCount = s;
  ctx->texReads = s;
}

}  // namespace

void SetRasterFastPaths(bool enabled) { g_fastPaths = enabled; }
bool RasterFastPaths() { return g_fastPaths; }

bool DecodeVertexFormat(DWORD fvf, VertexLayout* layout, const char** reason) {
  *layout = VertexLayout();
  if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW) {
    *reason = "only pre-transformed vertices (D3DFVF_XYZRHW) can be drawn";
    return false;
  }
  const DWORD known = D3DFVF_POSITION_MASK | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                      D3DFVF_TEXCOUNT_MASK | 0xFFFF0000u;
  if (fvf & ~known) {
    *reason = "the vertex format has parts a pre-transformed vertex cannot have";
    return false;
  }
  UINT offset = 16;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    layout->diffuse = static_cast<int>(offset);
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    layout->specular = static_cast<int>(offset);
    offset += 4;
  }
  const int sets = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  if (sets > kMaxTexcoordSets) {
    *reason = "more than eight texture coordinate sets";
    return false;
  }
  // Bits 16 + 2k give the size of set k: 0 two floats, 1 three, 2 four, 3 one.
  static const int kDimensions[4] = {2, 3, 4, 1};
  for (int k = 0; k < sets; ++k) {
    layout->texOffset[k] = static_cast<int>(offset);
    layout->texDimension[k] = kDimensions[(fvf >> (16 + 2 * k)) & 3];
    offset += 4 * static_cast<UINT>(layout->texDimension[k]);
  }
  layout->texCount = sets;
  layout->size = offset;
  return true;
}

void RasterizePrimitives(Device& device, D3DPRIMITIVETYPE type, UINT count, const BYTE* vertices,
                         UINT stride, const VertexLayout& layout) {
  // Only a rectangle can cover the surface and spare a pending clear.
  if (!(type == D3DPT_TRIANGLEFAN && count == 2 && g_fastPaths)) device.ApplyPendingClear();
  DrawContext ctx;
  SetupContext(device, layout, &ctx);
  RasterVertex v[4];
  auto fetch = [&](size_t index, RasterVertex* out) {
    FetchVertex(vertices + index * stride, layout, out);
  };
  if (type == D3DPT_TRIANGLEFAN && count == 2) {
    for (int i = 0; i < 4; ++i) fetch(static_cast<size_t>(i), &v[i]);
    DrawFanQuad(ctx, v);
    FinishSpans();
    return;
  }
  for (UINT i = 0; i < count; ++i) {
    switch (type) {
      case D3DPT_TRIANGLELIST:
        fetch(3 * static_cast<size_t>(i), &v[0]);
        fetch(3 * static_cast<size_t>(i) + 1, &v[1]);
        fetch(3 * static_cast<size_t>(i) + 2, &v[2]);
        break;
      case D3DPT_TRIANGLESTRIP:
        // Odd triangles swap their last two vertices to keep the winding;
        // the first vertex still gives the flat colour.
        fetch(i, &v[0]);
        fetch(i + static_cast<size_t>(1 + (i & 1)), &v[1]);
        fetch(i + static_cast<size_t>(2 - (i & 1)), &v[2]);
        break;
      default:  // D3DPT_TRIANGLEFAN: (i + 1, i + 2, 0), same winding as (0, i + 1, i + 2)
        fetch(i + static_cast<size_t>(1), &v[0]);
        fetch(i + static_cast<size_t>(2), &v[1]);
        fetch(0, &v[2]);
        break;
    }
    DrawTriangle(ctx, v[0], v[1], v[2]);
  }
  FinishSpans();
}

}  // namespace standin
