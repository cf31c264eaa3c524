// The D3DX sprite's bracket: the states Begin sets, the states End puts
// back, what the flags change, and the references it holds.
#include <d3dx9.h>
#include <gtest/gtest.h>
#include <standin.h>

#include <vector>

#include "d3dx_device.h"

namespace {

enum Kind { kRender, kStage0, kStage1, kSampler0 };

struct StateCase {
  const char* name;
  Kind kind;
  DWORD state;
  DWORD before;  // set on the device before Begin, expected back after End
  DWORD sprite;  // what Begin(ALPHABLEND | SORT_TEXTURE) sets
};

// Every value in `before` differs from what the sprite sets.
const StateCase kStates[] = {
    {"AlphaBlendEnable", kRender, D3DRS_ALPHABLENDENABLE, FALSE, TRUE},
    {"SrcBlend", kRender, D3DRS_SRCBLEND, D3DBLEND_ONE, D3DBLEND_SRCALPHA},
    {"DestBlend", kRender, D3DRS_DESTBLEND, D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA},
    {"BlendOp", kRender, D3DRS_BLENDOP, D3DBLENDOP_MAX, D3DBLENDOP_ADD},
    {"AlphaTestEnable", kRender, D3DRS_ALPHATESTENABLE, FALSE, TRUE},
    {"AlphaFunc", kRender, D3DRS_ALPHAFUNC, D3DCMP_ALWAYS, D3DCMP_GREATER},
    {"AlphaRef", kRender, D3DRS_ALPHAREF, 0x80, 0},
    {"CullMode", kRender, D3DRS_CULLMODE, D3DCULL_CCW, D3DCULL_NONE},
    {"Lighting", kRender, D3DRS_LIGHTING, TRUE, FALSE},
    {"FillMode", kRender, D3DRS_FILLMODE, D3DFILL_WIREFRAME, D3DFILL_SOLID},
    {"ColorWriteEnable", kRender, D3DRS_COLORWRITEENABLE, 0x7, 0xF},
    {"SeparateAlphaBlend", kRender, D3DRS_SEPARATEALPHABLENDENABLE, TRUE, FALSE},
    {"StencilEnable", kRender, D3DRS_STENCILENABLE, TRUE, FALSE},
    {"FogEnable", kRender, D3DRS_FOGENABLE, TRUE, FALSE},
    {"ColorOp0", kStage0, D3DTSS_COLOROP, D3DTOP_SELECTARG1, D3DTOP_MODULATE},
    {"ColorArg2_0", kStage0, D3DTSS_COLORARG2, D3DTA_CURRENT, D3DTA_DIFFUSE},
    {"AlphaOp0", kStage0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1, D3DTOP_MODULATE},
    {"AlphaArg2_0", kStage0, D3DTSS_ALPHAARG2, D3DTA_CURRENT, D3DTA_DIFFUSE},
    {"TexCoordIndex0", kStage0, D3DTSS_TEXCOORDINDEX, 1, 0},
    {"ColorOp1", kStage1, D3DTSS_COLOROP, D3DTOP_MODULATE, D3DTOP_DISABLE},
    {"AlphaOp1", kStage1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1, D3DTOP_DISABLE},
    {"AddressU", kSampler0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP},
    {"AddressV", kSampler0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP},
    {"MagFilter", kSampler0, D3DSAMP_MAGFILTER, D3DTEXF_POINT, D3DTEXF_LINEAR},
    {"MinFilter", kSampler0, D3DSAMP_MINFILTER, D3DTEXF_POINT, D3DTEXF_LINEAR},
    {"MipFilter", kSampler0, D3DSAMP_MIPFILTER, D3DTEXF_POINT, D3DTEXF_LINEAR},
};

DWORD Get(IDirect3DDevice9* d, const StateCase& c) {
  DWORD v = 0xDEADBEEF;
  switch (c.kind) {
    case kRender: d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(c.state), &v); break;
    case kStage0: d->GetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(c.state), &v); break;
    case kStage1: d->GetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(c.state), &v); break;
    case kSampler0: d->GetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(c.state), &v); break;
  }
  return v;
}

void Set(IDirect3DDevice9* d, const StateCase& c, DWORD v) {
  switch (c.kind) {
    case kRender: d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(c.state), v); break;
    case kStage0: d->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(c.state), v); break;
    case kStage1: d->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(c.state), v); break;
    case kSampler0: d->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(c.state), v); break;
  }
}

class SpriteStates : public testing::Test {
 protected:
  void SetUp() override {
    device_ = TestDevice();
    ASSERT_EQ(D3DXCreateSprite(device_, &sprite_), D3D_OK);
    for (const StateCase& c : kStates) Set(device_, c, c.before);
  }
  void TearDown() override {
    if (sprite_) sprite_->Release();
    device_->SetTexture(0, nullptr);
    device_->SetTexture(1, nullptr);
  }

  IDirect3DTexture9* MakeTexture() {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    return t;
  }

  IDirect3DDevice9* device_ = nullptr;
  ID3DXSprite* sprite_ = nullptr;
};

TEST_F(SpriteStates, BeginSetsSpriteStatesAndEndRestoresThem) {
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE), D3D_OK);
  for (const StateCase& c : kStates) EXPECT_EQ(Get(device_, c), c.sprite) << c.name << " after Begin";
  // A label changes the blend between Begin and End, as DrawLabel does.
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  for (const StateCase& c : kStates) EXPECT_EQ(Get(device_, c), c.before) << c.name << " after End";
}

TEST_F(SpriteStates, WithoutAlphaBlendFlagBlendingAndAlphaTestAreOff) {
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  DWORD blend = 0xDEAD, test = 0xDEAD;
  device_->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  device_->GetRenderState(D3DRS_ALPHATESTENABLE, &test);
  EXPECT_EQ(blend, static_cast<DWORD>(FALSE));
  EXPECT_EQ(test, static_cast<DWORD>(FALSE));
  ASSERT_EQ(sprite_->End(), D3D_OK);
  device_->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, static_cast<DWORD>(TRUE));
}

TEST_F(SpriteStates, DoNotSaveStateLeavesSpriteStates) {
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_DONOTSAVESTATE), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  for (const StateCase& c : kStates) EXPECT_EQ(Get(device_, c), c.sprite) << c.name;
}

TEST_F(SpriteStates, DoNotModifyLeavesStatesAlone) {
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_DONOTMODIFY_RENDERSTATE), D3D_OK);
  for (const StateCase& c : kStates) EXPECT_EQ(Get(device_, c), c.before) << c.name;
  ASSERT_EQ(sprite_->End(), D3D_OK);
  for (const StateCase& c : kStates) EXPECT_EQ(Get(device_, c), c.before) << c.name;
}

// The textures bound before Begin are bound again after End, the FVF too,
// and every reference the sprite took is given back.
TEST_F(SpriteStates, TexturesFvfAndReferencesAreRestored) {
  IDirect3DTexture9* first = MakeTexture();
  IDirect3DTexture9* second = MakeTexture();
  IDirect3DTexture9* drawn = MakeTexture();
  ASSERT_TRUE(first && second && drawn);
  device_->SetTexture(0, first);
  device_->SetTexture(1, second);
  device_->SetFVF(D3DFVF_XYZ);
  const ULONG firstRefs = References(first), secondRefs = References(second);
  const ULONG drawnRefs = References(drawn);

  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND), D3D_OK);
  const D3DXVECTOR3 at = {5.0f, 6.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(drawn, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  EXPECT_EQ(References(drawn), drawnRefs + 1);  // held while batched
  ASSERT_EQ(sprite_->End(), D3D_OK);

  IDirect3DBaseTexture9* bound = nullptr;
  device_->GetTexture(0, &bound);
  EXPECT_EQ(bound, static_cast<IDirect3DBaseTexture9*>(first));
  if (bound) bound->Release();
  device_->GetTexture(1, &bound);
  EXPECT_EQ(bound, static_cast<IDirect3DBaseTexture9*>(second));
  if (bound) bound->Release();
  DWORD fvf = 0;
  device_->GetFVF(&fvf);
  EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZ));
  EXPECT_EQ(References(first), firstRefs);
  EXPECT_EQ(References(second), secondRefs);
  EXPECT_EQ(References(drawn), drawnRefs);

  device_->SetTexture(0, nullptr);
  device_->SetTexture(1, nullptr);
  first->Release();
  second->Release();
  drawn->Release();
}

TEST_F(SpriteStates, DoNotAddRefTextureTakesNoReference) {
  IDirect3DTexture9* drawn = MakeTexture();
  ASSERT_NE(drawn, nullptr);
  const ULONG refs = References(drawn);
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_DO_NOT_ADDREF_TEXTURE), D3D_OK);
  ASSERT_EQ(sprite_->Draw(drawn, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
  EXPECT_EQ(References(drawn), refs);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  EXPECT_EQ(References(drawn), refs);
  drawn->Release();
}

TEST_F(SpriteStates, CallsOutOfOrderFail) {
  IDirect3DTexture9* drawn = MakeTexture();
  ASSERT_NE(drawn, nullptr);
  EXPECT_EQ(sprite_->End(), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite_->Flush(), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite_->Draw(drawn, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  EXPECT_EQ(sprite_->Begin(0), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite_->Draw(nullptr, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite_->End(), D3D_OK);
  EXPECT_EQ(sprite_->Begin(0x400), D3DERR_INVALIDCALL);  // not a sprite flag
  drawn->Release();
}

TEST_F(SpriteStates, TransformIsKeptAcrossBatches) {
  D3DXMATRIX scale, got;
  D3DXMatrixScaling(&scale, 0.5f, 0.5f, 0.5f);
  ASSERT_EQ(sprite_->SetTransform(&scale), D3D_OK);
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  ASSERT_EQ(sprite_->GetTransform(&got), D3D_OK);
  EXPECT_EQ(got(0, 0), 0.5f);
  EXPECT_EQ(got(3, 3), 1.0f);
  EXPECT_EQ(sprite_->SetTransform(nullptr), D3DERR_INVALIDCALL);
}

TEST(SpriteCreation, HoldsTheDeviceAndFailsCleanly) {
  const ULONG before = References(TestDevice());
  ID3DXSprite* sprite = nullptr;
  ASSERT_EQ(D3DXCreateSprite(TestDevice(), &sprite), D3D_OK);
  EXPECT_EQ(References(TestDevice()), before + 1);
  sprite->Release();
  EXPECT_EQ(References(TestDevice()), before);
  sprite = reinterpret_cast<ID3DXSprite*>(0x1);
  EXPECT_EQ(D3DXCreateSprite(nullptr, &sprite), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite, nullptr);
}

}  // namespace
