// ID3DXBuffer for the stand-in's D3DX objects.
#pragma once

#include <d3dx9.h>

namespace standin {

// A zero-filled buffer of `size` bytes, reference count 1.
HRESULT CreateD3DXBuffer(DWORD size, LPD3DXBUFFER* out);
// A buffer holding `text` and its terminating NUL.
HRESULT CreateD3DXTextBuffer(const char* text, LPD3DXBUFFER* out);

}  // namespace standin
