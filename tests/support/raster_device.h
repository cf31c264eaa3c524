// A small headless Direct3D 9 device for tests that draw and read pixels
// back: one window and device per test program, vertices in every format the
// rasteriser takes, textures filled from tables, and pixel shader token
// streams built from the stand-in's shader format.
//
// Use: call RasterDevice::Start(width, height) once (a test environment or
// SetUpTestSuite), then Device(), Pixel(x, y), Clear(...), Fan(...).
#pragma once

#include <d3d9.h>
#include <standin.h>
#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "d3d9/shader_program.h"

namespace rastertest {

// D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};
constexpr DWORD kVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline Vertex V(float x, float y, D3DCOLOR diffuse = 0xFFFFFFFF, float u = 0.0f, float v = 0.0f,
                float z = 0.0f, float rhw = 1.0f) {
  return Vertex{x, y, z, rhw, diffuse, u, v};
}

// An axis-aligned rectangle as the show draws it: corners top-left,
// top-right, bottom-right, bottom-left, texture window (u0, v0)-(u1, v1).
inline std::vector<Vertex> Rect(float left, float top, float right, float bottom,
                                D3DCOLOR diffuse = 0xFFFFFFFF, float u0 = 0.0f, float v0 = 0.0f,
                                float u1 = 1.0f, float v1 = 1.0f, float z = 0.0f) {
  return {V(left, top, diffuse, u0, v0, z), V(right, top, diffuse, u1, v0, z),
          V(right, bottom, diffuse, u1, v1, z), V(left, bottom, diffuse, u0, v1, z)};
}

class RasterDevice {
 public:
  // Makes the window and the device (A8R8G8B8 back buffer, D24X8 depth).
  static bool Start(UINT width, UINT height) {
    StandinSetHeadless(true);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RASTERTEST";
    if (!RegisterClassExA(&wc)) return false;
    HWND window = CreateWindowExA(0, "RASTERTEST", "raster", WS_OVERLAPPEDWINDOW, 0, 0,
                                  static_cast<int>(width), static_cast<int>(height), nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window) return false;
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return false;
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device);
    d3d->Release();
    Slot() = device;
    return hr == D3D_OK;
  }

  static IDirect3DDevice9*& Slot() {
    static IDirect3DDevice9* device = nullptr;
    return device;
  }
};

inline IDirect3DDevice9* Device() { return RasterDevice::Slot(); }

inline UINT Width() {
  StandinFrame f;
  return StandinBackBuffer(&f) ? f.width : 0;
}
inline UINT Height() {
  StandinFrame f;
  return StandinBackBuffer(&f) ? f.height : 0;
}

inline DWORD Pixel(int x, int y) {
  StandinFrame f;
  StandinBackBuffer(&f);
  return f.pixels[static_cast<size_t>(y) * f.width + static_cast<size_t>(x)];
}

inline std::vector<DWORD> BackBuffer() {
  StandinFrame f;
  StandinBackBuffer(&f);
  return std::vector<DWORD>(f.pixels, f.pixels + static_cast<size_t>(f.width) * f.height);
}

// Puts the device back to its start-up states and clears colour and depth.
inline void Reset(D3DCOLOR color = 0, float z = 1.0f) {
  IDirect3DDevice9* d = Device();
  D3DPRESENT_PARAMETERS pp = {};
  pp.BackBufferWidth = Width();
  pp.BackBufferHeight = Height();
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24X8;
  d->Reset(&pp);
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, z, 0);
}

// Draws vertices inside a scene with the test vertex format.
inline HRESULT Draw(D3DPRIMITIVETYPE type, UINT count, const std::vector<Vertex>& v) {
  IDirect3DDevice9* d = Device();
  d->SetFVF(kVertexFvf);
  d->BeginScene();
  const HRESULT hr = d->DrawPrimitiveUP(type, count, v.data(), sizeof(Vertex));
  d->EndScene();
  return hr;
}

// A quad as a two-triangle fan, as the show draws every rectangle.
inline HRESULT Fan(const std::vector<Vertex>& v) {
  return Draw(D3DPT_TRIANGLEFAN, static_cast<UINT>(v.size() - 2), v);
}

// A texture of the given format whose level `level` texel (x, y) is
// texel(level, x, y): an A8R8G8B8 value for 32-bit formats, the byte for L8
// and A8.
template <typename TexelFunction>
IDirect3DTexture9* MakeTexture(D3DFORMAT format, UINT width, UINT height, UINT levels,
                               TexelFunction texel) {
  IDirect3DTexture9* t = nullptr;
  if (Device()->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr) !=
      D3D_OK)
    return nullptr;
  for (UINT level = 0; level < t->GetLevelCount(); ++level) {
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT lr;
    t->LockRect(level, &lr, nullptr, 0);
    for (UINT y = 0; y < desc.Height; ++y) {
      BYTE* row = static_cast<BYTE*>(lr.pBits) + static_cast<size_t>(y) * lr.Pitch;
      for (UINT x = 0; x < desc.Width; ++x) {
        const DWORD value = texel(level, x, y);
        if (format == D3DFMT_L8 || format == D3DFMT_A8)
          row[x] = static_cast<BYTE>(value);
        else
          std::memcpy(row + 4 * x, &value, 4);
      }
    }
    t->UnlockRect(level);
  }
  return t;
}

// --- Pixel shader token streams -----------------------------------------------

// Builds a token stream; Finish() appends END and writes the count.
class Program {
 public:
  Program& Op(standin::ShaderOp op, std::initializer_list<DWORD> operands) {
    tokens_.push_back(standin::MakeInstructionToken(op, static_cast<uint32_t>(operands.size())));
    tokens_.insert(tokens_.end(), operands);
    return *this;
  }
  std::vector<DWORD> Finish() const {
    std::vector<DWORD> out = tokens_;
    out.push_back(standin::MakeInstructionToken(standin::kOpEnd, 0));
    out[1] = static_cast<DWORD>(out.size());
    return out;
  }

 private:
  std::vector<DWORD> tokens_{standin::kShaderHeader, 0};
};

inline DWORD Out() { return standin::MakeDestToken(standin::kFileOutput, 0, 0xF); }
inline DWORD Temp(uint32_t i, uint32_t mask = 0xF) {
  return standin::MakeDestToken(standin::kFileTemp, i, mask);
}
inline DWORD Read(standin::ShaderFile file, uint32_t i) { return standin::MakeSourceToken(file, i); }

// out = c0: the show's ColorPS.
inline std::vector<DWORD> ColorProgram() {
  return Program().Op(standin::kOpMov, {Out(), Read(standin::kFileConst, 0)}).Finish();
}

// out = c0 * sample(s0, t0): the show's TexturePS.
inline std::vector<DWORD> TextureProgram() {
  return Program()
      .Op(standin::kOpTex, {Temp(0), Read(standin::kFileTexcoord, 0), standin::MakeSamplerToken(0)})
      .Op(standin::kOpMul, {Out(), Read(standin::kFileConst, 0), Read(standin::kFileTemp, 0)})
      .Finish();
}

// out = sample(s0, t0) + c0: no specialised loop knows it, so the
// interpreter runs for every pixel.
inline std::vector<DWORD> TexturePlusConstantProgram() {
  return Program()
      .Op(standin::kOpTex, {Temp(0), Read(standin::kFileTexcoord, 0), standin::MakeSamplerToken(0)})
      .Op(standin::kOpAdd, {Out(), Read(standin::kFileTemp, 0), Read(standin::kFileConst, 0)})
      .Finish();
}

inline IDirect3DPixelShader9* MakeShader(const std::vector<DWORD>& tokens) {
  IDirect3DPixelShader9* shader = nullptr;
  Device()->CreatePixelShader(tokens.data(), &shader);
  return shader;
}

inline void SetConstant(UINT index, float r, float g, float b, float a) {
  const float c[4] = {r, g, b, a};
  Device()->SetPixelShaderConstantF(index, c, 1);
}

}  // namespace rastertest
