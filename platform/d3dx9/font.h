// The stand-in D3DX font object.
#pragma once

#include <d3dx9.h>

#include <atomic>

namespace standin {

class Font final : public ID3DXFont {
 public:
  Font(IDirect3DDevice9* device, const D3DXFONT_DESCA& desc);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT GetDescA(D3DXFONT_DESCA* desc) override;
  INT DrawTextA(LPD3DXSPRITE sprite, LPCSTR string, INT count, LPRECT rect, DWORD format,
                D3DCOLOR color) override;
  HRESULT OnLostDevice() override;
  HRESULT OnResetDevice() override;

  IDirect3DDevice9* device;
  D3DXFONT_DESCA desc;

 private:
  ~Font();
  std::atomic<ULONG> refs_{1};
};

}  // namespace standin
