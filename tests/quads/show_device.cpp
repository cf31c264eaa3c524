#include "show_device.h"

#include <standin.h>
#include <windows.h>

#include <cstring>

#include "app/main_loop.h"
#include "gfx/device.h"
#include "gfx/shaders.h"

bool StartShowDevice() {
  static bool started = false;
  if (started) return true;
  StandinSetHeadless(true);
  if (!CreateShowWindow(GetModuleHandleA(nullptr))) return false;
  g_ColorShader = CompilePixelShader("ColorPS");
  g_TextureShader = CompilePixelShader("TexturePS");
  started = g_ColorShader.pShader && g_TextureShader.pShader;
  return started;
}

void StartFrame(D3DCOLOR color) {
  IDirect3DDevice9* d = g_pd3dDevice;
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
  d->SetPixelShader(nullptr);
  d->SetTexture(0, nullptr);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

DWORD ShowPixel(int x, int y) {
  StandinFrame f;
  StandinBackBuffer(&f);
  return f.pixels[static_cast<size_t>(y) * f.width + static_cast<size_t>(x)];
}

std::vector<DWORD> ShowFrame() {
  StandinFrame f;
  StandinBackBuffer(&f);
  return std::vector<DWORD>(f.pixels, f.pixels + static_cast<size_t>(f.width) * f.height);
}

IDirect3DTexture9* MakeShowTexture(UINT width, UINT height, const std::vector<DWORD>& texels,
                                   bool luminance) {
  IDirect3DTexture9* t = nullptr;
  if (g_pd3dDevice->CreateTexture(width, height, 1, 0, luminance ? D3DFMT_L8 : D3DFMT_A8R8G8B8,
                                  D3DPOOL_MANAGED, &t, nullptr) != D3D_OK)
    return nullptr;
  D3DLOCKED_RECT lr;
  t->LockRect(0, &lr, nullptr, 0);
  for (UINT y = 0; y < height; ++y) {
    BYTE* row = static_cast<BYTE*>(lr.pBits) + static_cast<size_t>(y) * lr.Pitch;
    for (UINT x = 0; x < width; ++x) {
      const DWORD v = texels[y * width + x];
      if (luminance)
        row[x] = static_cast<BYTE>(v);
      else
        std::memcpy(row + 4 * x, &v, 4);
    }
  }
  t->UnlockRect(0);
  return t;
}
