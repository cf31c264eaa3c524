// A label drawn again allocates nothing: the sprite's batch is reserved
// when the sprite is made and each glyph is rendered once. Allocations are
// counted by the replaced malloc family of support/counting_malloc.
#include <d3dx9.h>
#include <gtest/gtest.h>


#include "d3dx_device.h"
#include "support/counting_malloc.h"

namespace {

// What DrawLabel does with the sprite and a font.
void Label(ID3DXSprite* sprite, ID3DXFont* font, const char* text, float scale) {
  IDirect3DDevice9* device = TestDevice();
  sprite->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  D3DXMATRIX s, t, m;
  D3DXMatrixScaling(&s, scale, scale, scale);
  D3DXMatrixTranslation(&t, 10.0f, 20.0f, 0.0f);
  D3DXMatrixMultiply(&m, &s, &t);
  sprite->SetTransform(&m);
  RECT rect = {0, 0, static_cast<LONG>(kTestWidth), static_cast<LONG>(kTestHeight)};
  font->DrawTextA(sprite, text, -1, &rect, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  sprite->End();
}

TEST(D3dxAllocation, LabelsDrawnAgainAllocateNothing) {
  IDirect3DDevice9* device = TestDevice();
  ID3DXSprite* sprite = nullptr;
  ID3DXFont* arial = nullptr;
  ID3DXFont* webdings = nullptr;
  ASSERT_EQ(D3DXCreateSprite(device, &sprite), D3D_OK);
  ASSERT_EQ(D3DXCreateFontA(device, -48, 0, 0, 1, TRUE, 1, 0, 0, 0, "Arial", &arial), D3D_OK);
  ASSERT_EQ(D3DXCreateFontA(device, -64, 0, 0, 1, FALSE, 1, 0, 0, 0, "Webdings", &webdings), D3D_OK);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  // First use renders the glyphs.
  Label(sprite, arial, "rendering background pictures", 1.0f);
  Label(sprite, webdings, "\x5F", 0.5f);
  // Drawing without a sprite uses the font's own, made at first need.
  RECT rect = {0, 0, 100, 100};
  arial->DrawTextA(nullptr, "loading", -1, &rect, DT_LEFT, 0xFFFFFFFF);

  const size_t again = countingmalloc::During([&] {
    for (int frame = 0; frame < 3; ++frame) {
      Label(sprite, arial, "rendering background pictures", 1.0f);
      Label(sprite, arial, "loading", 1.0f);
      Label(sprite, webdings, "\x5F", 0.5f);
      arial->DrawTextA(nullptr, "loading", -1, &rect, DT_LEFT, 0xFFFFFFFF);
    }
  });
  EXPECT_EQ(again, 0u);

  // The counter counts: rendering a glyph not drawn before allocates.
  EXPECT_GT(countingmalloc::During([&] { Label(sprite, arial, "Z", 1.0f); }), 0u);

  device->EndScene();
  webdings->Release();
  arial->Release();
  sprite->Release();
}

}  // namespace
