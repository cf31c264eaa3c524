// libFuzzer target: the texture loader (D3DXCreateTextureFromFileA's reader,
// with stb_image's JPEG and PNG decoders inside it) on arbitrary bytes, on
// a headless stand-in device. Beyond not crashing or reading out of bounds
// (AddressSanitizer), a success must be a texture the loader's rules allow,
// and a failure must leave no texture and say why.
#include <d3d9.h>
#include <standin.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "d3dx9/texture_loader.h"

namespace {

IDirect3DDevice9* g_device = nullptr;

LRESULT CALLBACK FuzzWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool PowerOfTwo(UINT v) { return v != 0 && (v & (v - 1)) == 0; }

UINT FullChain(UINT w, UINT h) {
  UINT levels = 1;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    ++levels;
  }
  return levels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StandinSetHeadless(true);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FuzzWndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "FUZZTEXTURE";
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, "FUZZTEXTURE", "fuzz", WS_OVERLAPPEDWINDOW, 0, 0, 16, 16,
                                nullptr, nullptr, wc.hInstance, nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!window || !d3d) __builtin_trap();
  D3DPRESENT_PARAMETERS pp = {};
  pp.BackBufferWidth = 16;
  pp.BackBufferHeight = 16;
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = TRUE;
  if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                               D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_device)))
    __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kEmpty = 0;
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
  const char* error = nullptr;
  const HRESULT hr = standin::CreateTextureFromFileInMemory(g_device, data ? data : &kEmpty, size,
                                                            &texture, &error);
  if (FAILED(hr)) {
    if (texture || !error || !error[0]) __builtin_trap();
    return 0;
  }
  if (!texture) __builtin_trap();
  D3DSURFACE_DESC desc;
  if (FAILED(texture->GetLevelDesc(0, &desc))) __builtin_trap();
  if (!PowerOfTwo(desc.Width) || !PowerOfTwo(desc.Height)) __builtin_trap();
  if (desc.Width > standin::kMaxTextureSide || desc.Height > standin::kMaxTextureSide) __builtin_trap();
  if (size_t{desc.Width} * desc.Height > standin::kMaxTextureTexels) __builtin_trap();
  if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8) __builtin_trap();
  if (desc.Pool != D3DPOOL_MANAGED) __builtin_trap();
  if (texture->GetLevelCount() != FullChain(desc.Width, desc.Height)) __builtin_trap();
  texture->Release();
  return 0;
}
