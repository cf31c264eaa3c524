// D3DX sprite: creation, transform and the Begin/End bracket; batching and
// drawing are in progress.
#include "d3dx9/sprite.h"

#include <standin.h>

namespace standin {

Sprite::Sprite(IDirect3DDevice9* d) : device(d) {
  device->AddRef();
  D3DXMatrixIdentity(&transform);
}

Sprite::~Sprite() { device->Release(); }

ULONG Sprite::AddRef() { return ++refs_; }

ULONG Sprite::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Sprite::GetDevice(LPDIRECT3DDEVICE9* out) {
  if (!out) return D3DERR_INVALIDCALL;
  device->AddRef();
  *out = device;
  return D3D_OK;
}

HRESULT Sprite::GetTransform(D3DXMATRIX* out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = transform;
  return D3D_OK;
}

HRESULT Sprite::SetTransform(const D3DXMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  transform = *m;
  return D3D_OK;
}

HRESULT Sprite::Begin(DWORD beginFlags) {
  if (begun) return D3DERR_INVALIDCALL;
  flags = beginFlags;
  begun = true;
  return D3D_OK;
}

HRESULT Sprite::Draw(LPDIRECT3DTEXTURE9, const RECT*, const D3DXVECTOR3*, const D3DXVECTOR3*,
                     D3DCOLOR) {
  return begun ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Sprite::Flush() { return begun ? D3D_OK : D3DERR_INVALIDCALL; }

HRESULT Sprite::End() {
  if (!begun) return D3DERR_INVALIDCALL;
  begun = false;
  return D3D_OK;
}

HRESULT Sprite::OnLostDevice() { return D3D_OK; }

HRESULT Sprite::OnResetDevice() { return D3D_OK; }

}  // namespace standin

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite) {
  if (!sprite) return D3DERR_INVALIDCALL;
  *sprite = nullptr;
  if (!device) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateSprite)) return E_OUTOFMEMORY;
  *sprite = new standin::Sprite(device);
  return D3D_OK;
}
