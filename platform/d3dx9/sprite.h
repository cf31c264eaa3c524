// The stand-in D3DX sprite object.
#pragma once

#include <d3dx9.h>

#include <atomic>

namespace standin {

class Sprite final : public ID3DXSprite {
 public:
  explicit Sprite(IDirect3DDevice9* device);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT GetTransform(D3DXMATRIX* transform) override;
  HRESULT SetTransform(const D3DXMATRIX* transform) override;
  HRESULT Begin(DWORD flags) override;
  HRESULT Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
               const D3DXVECTOR3* position, D3DCOLOR color) override;
  HRESULT Flush() override;
  HRESULT End() override;
  HRESULT OnLostDevice() override;
  HRESULT OnResetDevice() override;

  IDirect3DDevice9* device;
  D3DXMATRIX transform;
  DWORD flags = 0;
  bool begun = false;

 private:
  ~Sprite();
  std::atomic<ULONG> refs_{1};
};

}  // namespace standin
