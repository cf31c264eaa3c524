// A device that only records what D3DX and the show's shader code ask of it:
// pixel shader constants and created shaders. Everything else fails.
#pragma once

#include <d3d9.h>

#include <cstring>
#include <vector>

class FakeShader final : public IDirect3DPixelShader9 {
 public:
  explicit FakeShader(const DWORD* tokens, size_t count) : tokens(tokens, tokens + count) {}
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
  HRESULT GetFunction(void*, UINT*) override { return E_NOTIMPL; }
  std::vector<DWORD> tokens;
  ULONG refs = 1;

 private:
  ~FakeShader() = default;
};

class FakeDevice final : public IDirect3DDevice9 {
 public:
  struct ConstantWrite {
    UINT start;
    float value[4];
    UINT count;
  };

  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }  // lives on the test's stack
  HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
  HRESULT GetDirect3D(IDirect3D9**) override { return E_NOTIMPL; }
  HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return E_NOTIMPL; }
  HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**,
                        HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT BeginScene() override { return E_NOTIMPL; }
  HRESULT EndScene() override { return E_NOTIMPL; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return E_NOTIMPL; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  HRESULT SetViewport(const D3DVIEWPORT9*) override { return E_NOTIMPL; }
  HRESULT GetViewport(D3DVIEWPORT9*) override { return E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture9**) override { return E_NOTIMPL; }
  HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return E_NOTIMPL; }
  HRESULT SetFVF(DWORD) override { return E_NOTIMPL; }
  HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
  HRESULT SetVertexShader(IDirect3DVertexShader9*) override { return E_NOTIMPL; }
  HRESULT GetVertexShader(IDirect3DVertexShader9**) override { return E_NOTIMPL; }
  HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override {
    // The stream carries its own length in its second token.
    created.push_back(new FakeShader(function, function[1]));
    *shader = created.back();
    return D3D_OK;
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9*) override { return E_NOTIMPL; }
  HRESULT GetPixelShader(IDirect3DPixelShader9**) override { return E_NOTIMPL; }
  HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override {
    ConstantWrite w{start, {}, count};
    std::memcpy(w.value, data, sizeof w.value);
    writes.push_back(w);
    if (start < 224) std::memcpy(constants[start], data, sizeof constants[start]);
    return D3D_OK;
  }
  HRESULT GetPixelShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }

  ULONG refs = 1;
  std::vector<ConstantWrite> writes;
  std::vector<FakeShader*> created;
  float constants[224][4] = {};
};
