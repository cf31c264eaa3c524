// A label drawn again allocates nothing: the sprite's batch is reserved
// when the sprite is made and each glyph is rendered once. The C library's
// allocator is wrapped here to count calls while counting is on.
#include <d3dx9.h>
#include <gtest/gtest.h>

#include <atomic>

#include "d3dx_device.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void Count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}

}  // namespace

extern "C" {
void* malloc(size_t size) noexcept {
  Count();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) noexcept {
  Count();
  return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) noexcept {
  Count();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  Count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  Count();
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : 12;  // ENOMEM
}
void free(void* pointer) noexcept { __libc_free(pointer); }
}

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

  g_allocations = 0;
  g_counting = true;
  for (int frame = 0; frame < 3; ++frame) {
    Label(sprite, arial, "rendering background pictures", 1.0f);
    Label(sprite, arial, "loading", 1.0f);
    Label(sprite, webdings, "\x5F", 0.5f);
    arial->DrawTextA(nullptr, "loading", -1, &rect, DT_LEFT, 0xFFFFFFFF);
  }
  g_counting = false;
  EXPECT_EQ(g_allocations.load(), 0);

  // The counter counts: rendering a glyph not drawn before allocates.
  g_allocations = 0;
  g_counting = true;
  Label(sprite, arial, "Z", 1.0f);
  g_counting = false;
  EXPECT_GT(g_allocations.load(), 0);

  device->EndScene();
  webdings->Release();
  arial->Release();
  sprite->Release();
}

}  // namespace
