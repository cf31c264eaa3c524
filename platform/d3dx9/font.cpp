// D3DX fonts: creation keeps the description; glyph drawing is in progress.
#include "d3dx9/font.h"

#include <standin.h>

#include <cstring>

namespace standin {

Font::Font(IDirect3DDevice9* d, const D3DXFONT_DESCA& fontDesc) : device(d), desc(fontDesc) {
  device->AddRef();
}

Font::~Font() { device->Release(); }

ULONG Font::AddRef() { return ++refs_; }

ULONG Font::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Font::GetDevice(LPDIRECT3DDEVICE9* out) {
  if (!out) return D3DERR_INVALIDCALL;
  device->AddRef();
  *out = device;
  return D3D_OK;
}

HRESULT Font::GetDescA(D3DXFONT_DESCA* out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = desc;
  return D3D_OK;
}

INT Font::DrawTextA(LPD3DXSPRITE, LPCSTR, INT, LPRECT, DWORD, D3DCOLOR) { return 0; }

HRESULT Font::OnLostDevice() { return D3D_OK; }

HRESULT Font::OnResetDevice() { return D3D_OK; }

}  // namespace standin

HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 device, INT height, UINT width, UINT weight,
                               UINT mipLevels, BOOL italic, DWORD charSet,
                               DWORD outputPrecision, DWORD quality, DWORD pitchAndFamily,
                               LPCSTR faceName, LPD3DXFONT* font) {
  if (!font) return D3DERR_INVALIDCALL;
  *font = nullptr;
  if (!device || !faceName || std::strlen(faceName) >= 32) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateFont)) return E_OUTOFMEMORY;
  D3DXFONT_DESCA desc = {};
  desc.Height = height;
  desc.Width = width;
  desc.Weight = weight;
  desc.MipLevels = mipLevels;
  desc.Italic = italic;
  desc.CharSet = static_cast<BYTE>(charSet);
  desc.OutputPrecision = static_cast<BYTE>(outputPrecision);
  desc.Quality = static_cast<BYTE>(quality);
  desc.PitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  std::strcpy(desc.FaceName, faceName);
  *font = new standin::Font(device, desc);
  return D3D_OK;
}
