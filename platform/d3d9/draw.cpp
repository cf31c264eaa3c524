// Drawing: not yet written; the software rasteriser replaces this file.
#include "d3d9/device.h"

namespace standin {

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) {
  return D3DERR_INVALIDCALL;
}

HRESULT Device::CreatePixelShader(const DWORD*, IDirect3DPixelShader9** shader) {
  if (shader) *shader = nullptr;
  return D3DERR_INVALIDCALL;
}

}  // namespace standin
