// D3DX sprite: Begin saves the states it is about to change and sets its
// own; Draw puts a quad, already under the sprite's transform, in the
// batch; Flush and End draw the batch with the states in force at that
// moment; End then puts the saved states back.
#include "d3dx9/sprite.h"

#include <standin.h>

namespace standin {
namespace {

struct StateValue {
  DWORD state;
  DWORD value;
};

// The states D3DX's sprite sets at Begin. Alpha blending and the alpha test
// are the two that follow D3DXSPRITE_ALPHABLEND, so they are set apart.
constexpr StateValue kRenderStates[] = {
    {D3DRS_ALPHAFUNC, D3DCMP_GREATER},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_CLIPPLANEENABLE, 0},
    {D3DRS_COLORWRITEENABLE, 0xF},
    {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_ENABLEADAPTIVETESSELLATION, FALSE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_FOGENABLE, FALSE},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_RANGEFOGENABLE, FALSE},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_SPECULARENABLE, FALSE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_SRGBWRITEENABLE, FALSE},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_VERTEXBLEND, FALSE},
    {D3DRS_WRAP0, 0},
};
constexpr DWORD kBlendStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_ALPHATESTENABLE};

constexpr StateValue kStage0States[] = {
    {D3DTSS_COLOROP, D3DTOP_MODULATE},     {D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {D3DTSS_COLORARG2, D3DTA_DIFFUSE},     {D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},     {D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {D3DTSS_TEXCOORDINDEX, 0},             {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
};
constexpr StateValue kStage1States[] = {
    {D3DTSS_COLOROP, D3DTOP_DISABLE},
    {D3DTSS_ALPHAOP, D3DTOP_DISABLE},
};
// Bilinear with linear mip blending, as D3DX sets it on hardware that can
// blend mip levels; clamped, so a glyph's edge never pulls in the far side.
constexpr StateValue kSampler0States[] = {
    {D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP},
    {D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},   {D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
    {D3DSAMP_MIPFILTER, D3DTEXF_LINEAR},   {D3DSAMP_MAXMIPLEVEL, 0},
    {D3DSAMP_MAXANISOTROPY, 1},            {D3DSAMP_MIPMAPLODBIAS, 0},
    {D3DSAMP_SRGBTEXTURE, 0},
};

constexpr size_t kRenderCount = sizeof kRenderStates / sizeof kRenderStates[0];
constexpr size_t kBlendCount = sizeof kBlendStates / sizeof kBlendStates[0];
constexpr size_t kStage0Count = sizeof kStage0States / sizeof kStage0States[0];
constexpr size_t kStage1Count = sizeof kStage1States / sizeof kStage1States[0];
constexpr size_t kSampler0Count = sizeof kSampler0States / sizeof kSampler0States[0];

void Transform(const D3DMATRIX& m, FLOAT x, FLOAT y, FLOAT z, FLOAT out[4]) {
  for (int c = 0; c < 4; ++c)
    out[c] = x * m.m[0][c] + y * m.m[1][c] + z * m.m[2][c] + m.m[3][c];
}

}  // namespace

struct Sprite::SavedState {
  DWORD render[kRenderCount];
  DWORD blend[kBlendCount];
  DWORD stage0[kStage0Count];
  DWORD stage1[kStage1Count];
  DWORD sampler0[kSampler0Count];
  IDirect3DBaseTexture9* textures[2];
  IDirect3DPixelShader9* pixelShader;
  IDirect3DVertexShader9* vertexShader;
  DWORD fvf;
  bool valid;
};

Sprite::Sprite(IDirect3DDevice9* d)
    : device(d),
      quads_(new Quad[kBatchCapacity]),
      order_(new UINT[kBatchCapacity]),
      groups_(new IDirect3DTexture9*[kBatchCapacity]),
      saved_(new SavedState{}) {
  device->AddRef();
  D3DXMatrixIdentity(&transform);
}

Sprite::~Sprite() {
  ReleaseBatch();
  if (saved_->valid) {
    for (IDirect3DBaseTexture9* t : saved_->textures)
      if (t) t->Release();
    if (saved_->pixelShader) saved_->pixelShader->Release();
    if (saved_->vertexShader) saved_->vertexShader->Release();
  }
  device->Release();
}

ULONG Sprite::AddRef() { return ++refs_; }

ULONG Sprite::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Sprite::GetDevice(LPDIRECT3DDEVICE9* out) {
  if (!out) return D3DERR_INVALIDCALL;
  device->AddRef();
  *out = device;
  return D3D_OK;
}

HRESULT Sprite::GetTransform(D3DXMATRIX* out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = transform;
  return D3D_OK;
}

HRESULT Sprite::SetTransform(const D3DXMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  transform = *m;
  return D3D_OK;
}

void Sprite::SaveState() {
  SavedState& s = *saved_;
  for (size_t i = 0; i < kRenderCount; ++i)
    device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(kRenderStates[i].state), &s.render[i]);
  for (size_t i = 0; i < kBlendCount; ++i)
    device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(kBlendStates[i]), &s.blend[i]);
  for (size_t i = 0; i < kStage0Count; ++i)
    device->GetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(kStage0States[i].state),
                                 &s.stage0[i]);
  for (size_t i = 0; i < kStage1Count; ++i)
    device->GetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(kStage1States[i].state),
                                 &s.stage1[i]);
  for (size_t i = 0; i < kSampler0Count; ++i)
    device->GetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(kSampler0States[i].state),
                            &s.sampler0[i]);
  for (DWORD stage = 0; stage < 2; ++stage) {
    s.textures[stage] = nullptr;
    device->GetTexture(stage, &s.textures[stage]);  // holds a reference until End
  }
  s.pixelShader = nullptr;
  device->GetPixelShader(&s.pixelShader);
  s.vertexShader = nullptr;
  device->GetVertexShader(&s.vertexShader);
  s.fvf = 0;
  device->GetFVF(&s.fvf);
  s.valid = true;
}

void Sprite::RestoreState() {
  SavedState& s = *saved_;
  if (!s.valid) return;
  for (size_t i = 0; i < kRenderCount; ++i)
    device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(kRenderStates[i].state), s.render[i]);
  for (size_t i = 0; i < kBlendCount; ++i)
    device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(kBlendStates[i]), s.blend[i]);
  for (size_t i = 0; i < kStage0Count; ++i)
    device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(kStage0States[i].state),
                                 s.stage0[i]);
  for (size_t i = 0; i < kStage1Count; ++i)
    device->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(kStage1States[i].state),
                                 s.stage1[i]);
  for (size_t i = 0; i < kSampler0Count; ++i)
    device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(kSampler0States[i].state),
                            s.sampler0[i]);
  for (DWORD stage = 0; stage < 2; ++stage) {
    device->SetTexture(stage, s.textures[stage]);
    if (s.textures[stage]) s.textures[stage]->Release();
    s.textures[stage] = nullptr;
  }
  device->SetPixelShader(s.pixelShader);
  if (s.pixelShader) s.pixelShader->Release();
  s.pixelShader = nullptr;
  device->SetVertexShader(s.vertexShader);
  if (s.vertexShader) s.vertexShader->Release();
  s.vertexShader = nullptr;
  device->SetFVF(s.fvf);
  s.valid = false;
}

void Sprite::ApplyState() {
  device->SetPixelShader(nullptr);
  device->SetVertexShader(nullptr);
  for (const StateValue& rs : kRenderStates)
    device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(rs.state), rs.value);
  const DWORD blend = (flags & D3DXSPRITE_ALPHABLEND) ? TRUE : FALSE;
  for (DWORD state : kBlendStates) device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), blend);
  for (const StateValue& ts : kStage0States)
    device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(ts.state), ts.value);
  for (const StateValue& ts : kStage1States)
    device->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(ts.state), ts.value);
  for (const StateValue& ss : kSampler0States)
    device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(ss.state), ss.value);
}

HRESULT Sprite::Begin(DWORD beginFlags) {
  constexpr DWORD kAllFlags = 0x1FF;
  if (begun || (beginFlags & ~kAllFlags)) return D3DERR_INVALIDCALL;
  flags = beginFlags;
  if (!(flags & D3DXSPRITE_DONOTSAVESTATE)) SaveState();
  if (!(flags & D3DXSPRITE_DONOTMODIFY_RENDERSTATE)) ApplyState();
  begun = true;
  return D3D_OK;
}

HRESULT Sprite::Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
                     const D3DXVECTOR3* position, D3DCOLOR color) {
  if (!begun || !texture) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC level;
  if (FAILED(texture->GetLevelDesc(0, &level))) return D3DERR_INVALIDCALL;
  if (count_ == kBatchCapacity) Flush();

  const RECT r = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(level.Width),
                                           static_cast<LONG>(level.Height)};
  const D3DXVECTOR3 c = center ? *center : D3DXVECTOR3{0.0f, 0.0f, 0.0f};
  const D3DXVECTOR3 p = position ? *position : D3DXVECTOR3{0.0f, 0.0f, 0.0f};
  const FLOAT x0 = p.x - c.x, y0 = p.y - c.y, z = p.z - c.z;
  const FLOAT x1 = x0 + static_cast<FLOAT>(r.right - r.left);
  const FLOAT y1 = y0 + static_cast<FLOAT>(r.bottom - r.top);
  const FLOAT u0 = static_cast<FLOAT>(r.left) / static_cast<FLOAT>(level.Width);
  const FLOAT u1 = static_cast<FLOAT>(r.right) / static_cast<FLOAT>(level.Width);
  const FLOAT v0 = static_cast<FLOAT>(r.top) / static_cast<FLOAT>(level.Height);
  const FLOAT v1 = static_cast<FLOAT>(r.bottom) / static_cast<FLOAT>(level.Height);

  // The transform in force now is the one this quad keeps; the corners run
  // clockwise on screen: top left, top right, bottom right, bottom left.
  Quad& q = quads_[count_];
  const FLOAT corners[4][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1}};
  for (int i = 0; i < 4; ++i) {
    FLOAT out[4];
    Transform(transform, corners[i][0], corners[i][1], z, out);
    const FLOAT w = out[3] != 0.0f ? out[3] : 1.0f;
    q.v[i] = SpriteVertex{out[0] / w, out[1] / w, out[2] / w, 1.0f, color, corners[i][2], corners[i][3]};
  }
  q.texture = texture;
  if (!(flags & D3DXSPRITE_DO_NOT_ADDREF_TEXTURE)) texture->AddRef();
  UINT group = 0;
  while (group < groupCount_ && groups_[group] != texture) ++group;
  if (group == groupCount_) groups_[groupCount_++] = texture;
  q.group = group;
  ++count_;
  return D3D_OK;
}

bool Sprite::ToScreen(FLOAT x, FLOAT y, FLOAT z, SpriteVertex* out) const {
  if (!(flags & D3DXSPRITE_OBJECTSPACE)) {
    // D3DX projects sprites so that their integer coordinates fall on pixel
    // edges: a texel lands exactly on a pixel, whose centre Direct3D 9
    // puts at the integer coordinate.
    out->x = x - 0.5f;
    out->y = y - 0.5f;
    out->z = z;
    out->rhw = 1.0f;
    return true;
  }
  // Object space: the device's own world, view and projection, then its
  // viewport.
  D3DMATRIX world, view, projection;
  D3DVIEWPORT9 vp;
  device->GetTransform(D3DTS_WORLD, &world);
  device->GetTransform(D3DTS_VIEW, &view);
  device->GetTransform(D3DTS_PROJECTION, &projection);
  device->GetViewport(&vp);
  FLOAT a[4], b[4], clip[4];
  Transform(world, x, y, z, a);
  for (int c = 0; c < 4; ++c)
    b[c] = a[0] * view.m[0][c] + a[1] * view.m[1][c] + a[2] * view.m[2][c] + a[3] * view.m[3][c];
  for (int c = 0; c < 4; ++c)
    clip[c] = b[0] * projection.m[0][c] + b[1] * projection.m[1][c] + b[2] * projection.m[2][c] +
              b[3] * projection.m[3][c];
  if (!(clip[3] > 0.0f)) return false;
  const FLOAT rhw = 1.0f / clip[3];
  out->x = static_cast<FLOAT>(vp.X) + (clip[0] * rhw + 1.0f) * 0.5f * static_cast<FLOAT>(vp.Width);
  out->y = static_cast<FLOAT>(vp.Y) + (1.0f - clip[1] * rhw) * 0.5f * static_cast<FLOAT>(vp.Height);
  out->z = vp.MinZ + clip[2] * rhw * (vp.MaxZ - vp.MinZ);
  out->rhw = rhw;
  return true;
}

HRESULT Sprite::Flush() {
  if (!begun) return D3DERR_INVALIDCALL;
  if (count_ == 0) return D3D_OK;

  // Drawing order: as drawn, or grouped by texture in order of first use,
  // or by depth; insertion sort keeps equal keys in drawing order and
  // needs no memory of its own.
  for (UINT i = 0; i < count_; ++i) order_[i] = i;
  const bool byTexture = (flags & D3DXSPRITE_SORT_TEXTURE) != 0;
  const bool frontToBack = (flags & D3DXSPRITE_SORT_DEPTH_FRONTTOBACK) != 0;
  const bool backToFront = (flags & D3DXSPRITE_SORT_DEPTH_BACKTOFRONT) != 0;
  if (byTexture || frontToBack || backToFront) {
    auto before = [&](UINT a, UINT b) {
      const Quad& qa = quads_[a];
      const Quad& qb = quads_[b];
      if (frontToBack && qa.v[0].z != qb.v[0].z) return qa.v[0].z < qb.v[0].z;
      if (backToFront && qa.v[0].z != qb.v[0].z) return qa.v[0].z > qb.v[0].z;
      return byTexture && qa.group < qb.group;
    };
    for (UINT i = 1; i < count_; ++i) {
      const UINT item = order_[i];
      UINT j = i;
      for (; j > 0 && before(item, order_[j - 1]); --j) order_[j] = order_[j - 1];
      order_[j] = item;
    }
  }

  device->SetFVF(kSpriteFvf);
  IDirect3DTexture9* bound = nullptr;
  for (UINT i = 0; i < count_; ++i) {
    const Quad& q = quads_[order_[i]];
    SpriteVertex v[4];
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      v[k] = q.v[k];
      visible = ToScreen(q.v[k].x, q.v[k].y, q.v[k].z, &v[k]);
    }
    if (!visible) continue;
    if (q.texture != bound || i == 0) {
      device->SetTexture(0, q.texture);
      bound = q.texture;
    }
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(SpriteVertex));
  }
  ReleaseBatch();
  return D3D_OK;
}

void Sprite::ReleaseBatch() {
  if (!(flags & D3DXSPRITE_DO_NOT_ADDREF_TEXTURE))
    for (UINT i = 0; i < count_; ++i) quads_[i].texture->Release();
  count_ = 0;
  groupCount_ = 0;
}

HRESULT Sprite::End() {
  if (!begun) return D3DERR_INVALIDCALL;
  Flush();
  if (!(flags & D3DXSPRITE_DONOTSAVESTATE)) RestoreState();
  begun = false;
  return D3D_OK;
}

HRESULT Sprite::OnLostDevice() {
  // A lost device draws nothing: the batch and the saved state are
  // dropped, and the next Begin starts afresh.
  ReleaseBatch();
  if (saved_->valid) {
    for (IDirect3DBaseTexture9*& t : saved_->textures)
      if (t) t->Release(), t = nullptr;
    if (saved_->pixelShader) saved_->pixelShader->Release(), saved_->pixelShader = nullptr;
    if (saved_->vertexShader) saved_->vertexShader->Release(), saved_->vertexShader = nullptr;
    saved_->valid = false;
  }
  begun = false;
  return D3D_OK;
}

HRESULT Sprite::OnResetDevice() { return D3D_OK; }

}  // namespace standin

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite) {
  if (!sprite) return D3DERR_INVALIDCALL;
  *sprite = nullptr;
  if (!device) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateSprite)) return E_OUTOFMEMORY;
  *sprite = new standin::Sprite(device);
  return D3D_OK;
}
