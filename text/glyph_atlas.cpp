// The glyph atlas, baked by stb_truetype.
#define STB_TRUETYPE_IMPLEMENTATION
#include "text/glyph_atlas.h"

#include <string.h>

#include "gfx/device.h"

unsigned char g_FontWorkBuffer[kFontWorkBufferSize];
unsigned char g_AtlasPixels[kAtlasSize * kAtlasSize];
stbtt_bakedchar g_BakedChars[kBakedCharCount];
IDirect3DTexture9* g_GlyphAtlas = nullptr;

void BuildGlyphAtlas() {
  // A font larger than the work buffer is cut short rather than written
  // past its end; stb_truetype then finds it unreadable and bakes nothing.
  unsigned int fontBytes = g_FontDataSize;
  if (fontBytes > kFontWorkBufferSize) fontBytes = kFontWorkBufferSize;
  memcpy(g_FontWorkBuffer, g_FontData, fontBytes);

  // The result is not needed: characters that did not fit keep all-zero
  // records, which draw nothing and do not move the pen.
  stbtt_BakeFontBitmap(g_FontWorkBuffer, 0, kBakePixelHeight, g_AtlasPixels, kAtlasSize,
                       kAtlasSize, kFirstBakedChar, kBakedCharCount, g_BakedChars);

  IDirect3DTexture9* atlas = nullptr;
  if (FAILED(g_pDevice->CreateTexture(kAtlasSize, kAtlasSize, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED,
                                      &atlas, nullptr)) ||
      !atlas) {
    g_GlyphAtlas = nullptr;
    return;
  }

  // Without a lock there is nowhere to write the glyphs to; a texture that
  // stays empty is no atlas, so the text is left out instead.
  D3DLOCKED_RECT locked;
  if (FAILED(atlas->LockRect(0, &locked, nullptr, 0))) {
    atlas->Release();
    g_GlyphAtlas = nullptr;
    return;
  }
  if (!locked.pBits || locked.Pitch < kAtlasSize) {
    atlas->UnlockRect(0);
    atlas->Release();
    g_GlyphAtlas = nullptr;
    return;
  }

  // Row by row: the level's rows may be wider than the bitmap's.
  unsigned char* level = static_cast<unsigned char*>(locked.pBits);
  for (int row = 0; row < kAtlasSize; ++row)
    memcpy(level + static_cast<size_t>(row) * static_cast<size_t>(locked.Pitch),
           g_AtlasPixels + static_cast<size_t>(row) * kAtlasSize, kAtlasSize);
  atlas->UnlockRect(0);
  g_GlyphAtlas = atlas;
}
