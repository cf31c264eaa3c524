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

// The size a PNG or JPEG header declares, or 0 when none is found. Large
// pictures the loader accepts decode correctly but slowly under the
// sanitisers; the fuzzer skips them to spend its time on the decoders'
// paths instead (larger ones are refused at once and stay in).
size_t DeclaredPixels(const uint8_t* data, size_t size) {
  if (size >= 24 && data[0] == 0x89 && data[1] == 'P') {
    const uint32_t w = (uint32_t{data[16]} << 24) | (uint32_t{data[17]} << 16) | (uint32_t{data[18]} << 8) | data[19];
    const uint32_t h = (uint32_t{data[20]} << 24) | (uint32_t{data[21]} << 16) | (uint32_t{data[22]} << 8) | data[23];
    return size_t{w} * h;
  }
  for (size_t i = 0; i + 8 < size; ++i) {
    // Any start-of-frame marker (C0 to CF but DHT, JPG and DAC).
    const uint8_t m = data[i + 1];
    if (data[i] == 0xFF && m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      const size_t h = (size_t{data[i + 5]} << 8) | data[i + 6];
      const size_t w = (size_t{data[i + 7]} << 8) | data[i + 8];
      return w * h;
    }
  }
  return 0;
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
  const size_t declared = DeclaredPixels(data, size);
  if (declared > (size_t{1} << 20) && declared <= standin::kMaxImagePixels) return 0;
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
