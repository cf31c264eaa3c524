// The glyph atlas: the embedded font baked once, at the build's text size,
// into one single-channel texture, with a placement record per character.
#pragma once

#include <d3d9.h>
#include <stb_truetype.h>

#include "app/build_config.h"

// The embedded TrueType file (assets/font), compiled into the program.
extern const unsigned char g_FontData[];
extern const unsigned int g_FontDataSize;

// Width and height of the bake bitmap and of the texture, in texels.
constexpr int kAtlasSize = 2048;
// The size of the font's ascent-to-descent span in pixels: the layout scale
// is folded in here, so glyphs are drawn one texel to one pixel.
constexpr float kBakePixelHeight = 100.0f * kLayoutScale;
static_assert(kBakePixelHeight == 100.0f || kBakePixelHeight == 150.0f,
              "the bake height is a whole number of pixels in every build");

// Characters 32 to 127 are baked; record i is character kFirstBakedChar + i.
constexpr int kFirstBakedChar = 32;
constexpr int kBakedCharCount = 96;

// The font is read from here, not from its read-only array.
constexpr unsigned int kFontWorkBufferSize = 1048576;
extern unsigned char g_FontWorkBuffer[kFontWorkBufferSize];
// The 8-bit coverage bitmap the font is baked into, rows of kAtlasSize bytes.
extern unsigned char g_AtlasPixels[kAtlasSize * kAtlasSize];
extern stbtt_bakedchar g_BakedChars[kBakedCharCount];
// D3DFMT_L8, one level, managed; null until BuildGlyphAtlas has made it, and
// null for good when the device could not make or fill it.
extern IDirect3DTexture9* g_GlyphAtlas;

// Bakes the font and uploads the bitmap into g_GlyphAtlas. Called once by
// the loading sequence, after the device exists.
void BuildGlyphAtlas();
