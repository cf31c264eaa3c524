// What the sprite draws, read back from the stand-in's back buffer: quads
// texel-to-pixel aligned under the sprite's transform, the states in force
// at End (a label's ONE / ONE), the order of D3DXSPRITE_SORT_TEXTURE, and
// text from a font through the sprite.
#include <d3dx9.h>
#include <gtest/gtest.h>
#include <standin.h>

#include <functional>
#include <vector>

#include "d3dx9/font.h"
#include "d3dx_device.h"

namespace {

class SpriteDraws : public testing::Test {
 protected:
  void SetUp() override {
    device_ = TestDevice();
    ASSERT_EQ(D3DXCreateSprite(device_, &sprite_), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }
  void TearDown() override {
    device_->EndScene();
    for (IDirect3DTexture9* t : textures_) t->Release();
    if (sprite_) sprite_->Release();
  }

  // A w x h A8R8G8B8 texture, texel (x, y) = texel(x, y).
  IDirect3DTexture9* Texture(UINT w, UINT h, const std::function<DWORD(UINT, UINT)>& texel) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    if (!t) return nullptr;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < h; ++y)
      for (UINT x = 0; x < w; ++x)
        reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(locked.Pitch) * y)[x] =
            texel(x, y);
    t->UnlockRect(0);
    textures_.push_back(t);
    return t;
  }

  DWORD Pixel(int x, int y) {
    StandinFrame frame;
    if (!StandinBackBuffer(&frame)) return 0xDEADBEEF;
    return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
  }

  // The pixels that are not black, as a bounding box.
  RECT Inked() {
    StandinFrame frame;
    RECT box = {1 << 20, 1 << 20, -1, -1};
    if (!StandinBackBuffer(&frame)) return box;
    for (UINT y = 0; y < frame.height; ++y)
      for (UINT x = 0; x < frame.width; ++x)
        if (frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF) {
          box.left = std::min<LONG>(box.left, x);
          box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x + 1);
          box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
  }

  IDirect3DDevice9* device_ = nullptr;
  ID3DXSprite* sprite_ = nullptr;
  std::vector<IDirect3DTexture9*> textures_;
};

void ExpectBox(const RECT& got, LONG left, LONG top, LONG right, LONG bottom) {
  EXPECT_EQ(got.left, left);
  EXPECT_EQ(got.top, top);
  EXPECT_EQ(got.right, right);
  EXPECT_EQ(got.bottom, bottom);
}

// Each texel lands on exactly one pixel: a sprite at an integer position is
// a copy of its texture.
TEST_F(SpriteDraws, QuadIsTexelToPixelAligned) {
  IDirect3DTexture9* t = Texture(4, 3, [](UINT x, UINT y) { return 0xFF000000u | (x * 60 + 20) << 16 | (y * 70 + 30) << 8 | 0x55; });
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  const D3DXVECTOR3 at = {10.0f, 20.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  ExpectBox(Inked(), 10, 20, 14, 23);
  for (UINT y = 0; y < 3; ++y)
    for (UINT x = 0; x < 4; ++x)
      EXPECT_EQ(Pixel(10 + x, 20 + y), (x * 60 + 20) << 16 | (y * 70 + 30) << 8 | 0x55u) << x << "," << y;
}

// The source rectangle picks texels, the centre is subtracted from the
// position, and the colour modulates.
TEST_F(SpriteDraws, SourceRectCentreAndColour) {
  IDirect3DTexture9* t = Texture(8, 8, [](UINT x, UINT) { return x < 4 ? 0xFFFFFFFFu : 0xFF808080u; });
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  const RECT right = {4, 0, 8, 2};
  const D3DXVECTOR3 centre = {1.0f, 1.0f, 0.0f}, at = {31.0f, 41.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(t, &right, &centre, &at, 0xFF00FFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  ExpectBox(Inked(), 30, 40, 34, 42);
  EXPECT_EQ(Pixel(30, 40), 0x008080u);
  EXPECT_EQ(Pixel(33, 41), 0x008080u);
}

// Row vectors: p * S * T scales about the origin, then moves.
TEST_F(SpriteDraws, TransformScalesThenTranslates) {
  IDirect3DTexture9* t = Texture(4, 4, [](UINT, UINT) { return 0xFFFFFFFFu; });
  D3DXMATRIX s, m, world;
  D3DXMatrixScaling(&s, 2.0f, 2.0f, 1.0f);
  D3DXMatrixTranslation(&m, 100.0f, 50.0f, 0.0f);
  D3DXMatrixMultiply(&world, &s, &m);
  ASSERT_EQ(sprite_->SetTransform(&world), D3D_OK);
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  const D3DXVECTOR3 at = {3.0f, 1.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  ExpectBox(Inked(), 106, 52, 114, 60);
}

// D3DXSPRITE_OBJECTSPACE: the device's world, view and projection place
// the sprite (here a sprite transform onto the unit square of clip space
// and identities elsewhere), then the viewport.
TEST_F(SpriteDraws, ObjectSpaceUsesTheDeviceTransforms) {
  IDirect3DTexture9* t = Texture(4, 4, [](UINT, UINT) { return 0xFFFFFFFFu; });
  D3DXMATRIX toClip, s, m;
  D3DXMatrixScaling(&s, 2.0f / kTestWidth, -2.0f / kTestHeight, 1.0f);
  D3DXMatrixTranslation(&m, -1.0f, 1.0f, 0.0f);
  D3DXMatrixMultiply(&toClip, &s, &m);
  D3DMATRIX identity = {};
  identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
  device_->SetTransform(D3DTS_WORLD, &identity);
  device_->SetTransform(D3DTS_VIEW, &identity);
  device_->SetTransform(D3DTS_PROJECTION, &identity);
  ASSERT_EQ(sprite_->SetTransform(&toClip), D3D_OK);
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_OBJECTSPACE), D3D_OK);
  const D3DXVECTOR3 at = {10.0f, 20.0f, 0.5f};
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  // No half-pixel shift here: the corners fall on pixel centres, and the
  // top-left rule takes the first row and column.
  ExpectBox(Inked(), 10, 20, 14, 24);
}

// Each quad keeps the transform set when it was drawn.
TEST_F(SpriteDraws, QuadKeepsTheTransformOfItsDraw) {
  IDirect3DTexture9* t = Texture(2, 2, [](UINT, UINT) { return 0xFFFFFFFFu; });
  ASSERT_EQ(sprite_->Begin(0), D3D_OK);
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 10.0f, 10.0f, 0.0f);
  sprite_->SetTransform(&m);
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
  D3DXMatrixTranslation(&m, 200.0f, 100.0f, 0.0f);
  sprite_->SetTransform(&m);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  ExpectBox(Inked(), 10, 10, 12, 12);
}

// A label's ONE / ONE, set after Begin, applies to the batch: any coverage
// adds full white; the alpha test drops texels with none.
TEST_F(SpriteDraws, StatesSetAfterBeginApplyAtEnd) {
  const BYTE alpha[4] = {0, 1, 128, 255};
  IDirect3DTexture9* t = Texture(4, 1, [&](UINT x, UINT) { return DWORD{alpha[x]} << 24 | 0xFFFFFF; });
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE), D3D_OK);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  const D3DXVECTOR3 at = {50.0f, 60.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  EXPECT_EQ(Pixel(50, 60), 0x000000u);
  EXPECT_EQ(Pixel(51, 60), 0xFFFFFFu);
  EXPECT_EQ(Pixel(52, 60), 0xFFFFFFu);
  EXPECT_EQ(Pixel(53, 60), 0xFFFFFFu);
  DWORD blend = 0xDEAD;
  device_->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, static_cast<DWORD>(FALSE));
}

// With the sprite's own SRCALPHA / INVSRCALPHA the same texels blend by
// their alpha.
TEST_F(SpriteDraws, AlphaBlendByDefault) {
  IDirect3DTexture9* t = Texture(2, 1, [](UINT x, UINT) { return x ? 0x80FFFFFFu : 0xFFFFFFFFu; });
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND), D3D_OK);
  const D3DXVECTOR3 at = {5.0f, 5.0f, 0.0f};
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, &at, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  EXPECT_EQ(Pixel(5, 5), 0xFFFFFFu);
  const DWORD half = Pixel(6, 5) & 0xFF;
  EXPECT_NEAR(static_cast<int>(half), 128, 1);
}

// Overlapping quads: drawn in order, the last one shows; sorted by
// texture, the quads of the first texture go first.
TEST_F(SpriteDraws, SortTextureGroupsByFirstUse) {
  IDirect3DTexture9* red = Texture(2, 2, [](UINT, UINT) { return 0xFFFF0000u; });
  IDirect3DTexture9* green = Texture(2, 2, [](UINT, UINT) { return 0xFF00FF00u; });
  for (DWORD flags : {DWORD{0}, DWORD{D3DXSPRITE_SORT_TEXTURE}}) {
    // Depth would keep the first quad drawn at a place; this is about order.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ASSERT_EQ(sprite_->Begin(flags), D3D_OK);
    ASSERT_EQ(sprite_->Draw(red, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(sprite_->Draw(green, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(sprite_->Draw(red, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(sprite_->End(), D3D_OK);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    EXPECT_EQ(Pixel(0, 0), flags ? 0x00FF00u : 0xFF0000u) << "flags " << flags;
  }
}

// Flush draws what is batched with the states of that moment; the next
// quads go with the states set after it.
TEST_F(SpriteDraws, FlushDrawsWithTheStatesOfItsMoment) {
  IDirect3DTexture9* t = Texture(1, 1, [](UINT, UINT) { return 0xFF404040u; });
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND), D3D_OK);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->Flush(), D3D_OK);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3D_OK);
  ASSERT_EQ(sprite_->End(), D3D_OK);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  // ONE / ONE once (0x40), then ONE / ZERO twice: 0x40, not 0xC0.
  EXPECT_EQ(Pixel(0, 0), 0x404040u);
}

// A font's text through the sprite with the label's ONE / ONE: every pixel
// is black or full white, white wherever its texel has any coverage. A
// texel centre may come out a hair off in the interpolated coordinate, so a
// pixel next to coverage may pick up its neighbour's 1/256: white too.
TEST_F(SpriteDraws, LabelGlyphsAreFullWhiteWhereverCovered) {
  ID3DXFont* font = nullptr;
  ASSERT_EQ(D3DXCreateFontA(device_, -48, 0, 0, 1, TRUE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, 0, "Arial", &font),
            D3D_OK);
  standin::Font* f = static_cast<standin::Font*>(font);
  ASSERT_EQ(sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE), D3D_OK);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  RECT rect = {0, 0, static_cast<LONG>(kTestWidth), static_cast<LONG>(kTestHeight)};
  font->DrawTextA(sprite_, "Sg", -1, &rect, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  ASSERT_EQ(sprite_->End(), D3D_OK);

  // Coverage of each pixel, as the glyph textures place it.
  const standin::Font::Glyph& s = f->GetGlyph('S');
  const standin::Font::Glyph& g = f->GetGlyph('g');
  std::vector<BYTE> covered(static_cast<size_t>(kTestWidth) * kTestHeight, 0);
  int x = (static_cast<int>(kTestWidth) - s.advance - g.advance) / 2;
  for (const standin::Font::Glyph* glyph : {&s, &g}) {
    D3DLOCKED_RECT locked;
    ASSERT_EQ(glyph->texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int j = 0; j < glyph->height; ++j)
      for (int i = 0; i < glyph->width; ++i) {
        const int px = x + glyph->left + i, py = f->ascent() - glyph->top + j;
        const BYTE a = static_cast<const BYTE*>(locked.pBits)[static_cast<size_t>(j) * locked.Pitch + i * 4 + 3];
        if (a && px >= 0 && py >= 0) covered[static_cast<size_t>(py) * kTestWidth + px] = 1;
      }
    glyph->texture->UnlockRect(0);
    x += glyph->advance;
  }
  auto coveredAt = [&](int px, int py) {
    return px >= 0 && py >= 0 && px < static_cast<int>(kTestWidth) && py < static_cast<int>(kTestHeight) &&
           covered[static_cast<size_t>(py) * kTestWidth + px];
  };
  int faults = 0, white = 0, coveredCount = 0;
  for (int py = 0; py < static_cast<int>(kTestHeight); ++py)
    for (int px = 0; px < static_cast<int>(kTestWidth); ++px) {
      const DWORD got = Pixel(px, py);
      const bool here = coveredAt(px, py);
      const bool near = here || coveredAt(px - 1, py) || coveredAt(px + 1, py) ||
                        coveredAt(px, py - 1) || coveredAt(px, py + 1);
      coveredCount += here;
      white += got == 0xFFFFFF;
      const bool ok = got == 0xFFFFFF ? near : (got == 0 && !here);
      if (!ok && ++faults <= 5)
        ADD_FAILURE() << "pixel " << px << "," << py << " is 0x" << std::hex << got
                      << (here ? " where the glyph covers it" : " away from the glyph");
    }
  EXPECT_EQ(faults, 0);
  EXPECT_GT(coveredCount, 300);
  EXPECT_GE(white, coveredCount);
  font->Release();
}

// No sprite given: the font draws at once through its own, and leaves the
// device's states as they were.
TEST_F(SpriteDraws, TextWithoutSpriteDrawsAtOnce) {
  ID3DXFont* font = nullptr;
  ASSERT_EQ(D3DXCreateFontA(device_, -24, 0, 0, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, 0, "Arial", &font),
            D3D_OK);
  RECT rect = {20, 30, 300, 100};
  EXPECT_GT(font->DrawTextA(nullptr, "Hi", -1, &rect, DT_LEFT, 0xFFFFFFFF), 0);
  const RECT box = Inked();
  EXPECT_GE(box.left, 20);
  EXPECT_GE(box.top, 30);
  EXPECT_LT(box.right, 60);
  EXPECT_LT(box.bottom, 60);
  DWORD blend = 0xDEAD;
  device_->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, static_cast<DWORD>(FALSE));
  font->Release();
}

}  // namespace
