// Text drawn glyph by glyph from the glyph atlas: one textured rectangle per
// character, one atlas texel per pixel, shaded by TexturePS.
#pragma once

#include <stb_truetype.h>

// Binds the atlas on stage 0 and TexturePS with a white vColor, and drops
// any vertex shader. Leaves the blend states alone.
void BeginAtlasText();

// Places the glyph of `code` at the pen (penY is the baseline) and moves
// penX on by its advance. A byte with no atlas record (outside 32..127)
// yields an empty quad and leaves the pen where it is.
void GetGlyphQuad(unsigned char code, float& penX, float& penY, stbtt_aligned_quad& quad);

// Draws a placed glyph with the current texture, shader, colour and blend
// state, its position and size truncated to whole pixels. Draws nothing
// while there is no atlas.
void DrawGlyphQuad(const stbtt_aligned_quad& quad);

// Draws `text` with its pen starting at (x, y) in 720-line layout units.
// The caller switches additive blending on first; it is off on return.
// Bytes with no atlas record are skipped.
void DrawAtlasText(const char* text, float x, float y);
