// Textures from JPEG and PNG files with D3DX's default parameters, and the
// mip-chain filter shared with the font's glyph textures.
#pragma once

#include <d3d9.h>
#include <stddef.h>

namespace standin {

// The largest picture the loader decodes. Anything larger is refused from
// its header, before a byte of pixels is allocated; with the texture limit
// below, loading one picture needs a few hundred megabytes at most.
constexpr unsigned kMaxImageSide = 16384;
constexpr size_t kMaxImagePixels = size_t{1} << 24;
// Textures are at most this many texels a side and in all; the sides of a
// larger one are halved, the longer first, until it fits.
constexpr unsigned kMaxTextureSide = 8192;
constexpr size_t kMaxTextureTexels = size_t{1} << 24;

// D3DXCreateTextureFromFileInMemory with the default parameters: the
// picture's size rounded up to powers of two (triangle filter with ordered
// dither), a full mip chain (box filter), X8R8G8B8 or, for pictures with
// alpha, A8R8G8B8, managed pool. On failure `*texture` is null and, when
// `error` is given, it points to a short static description.
HRESULT CreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, size_t size,
                                      IDirect3DTexture9** texture, const char** error);

// Fills levels 1 and up of a 32-bit texture from level 0 by averaging 2 x 2
// blocks (or pairs, once one side is down to 1).
HRESULT FillMipChain(IDirect3DTexture9* texture);

}  // namespace standin
