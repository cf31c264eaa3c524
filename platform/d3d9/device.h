// The stand-in Direct3D 9 objects. Their state is plain data so that the
// rasteriser, D3DX and the test interface can read it directly.
#pragma once

#include <d3d9.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <vector>

#include "d3d9/shader_program.h"

namespace standin {

class Device;

constexpr int kMaxRenderState = 256;
constexpr int kMaxSamplers = 16;
constexpr int kMaxSamplerState = 14;
constexpr int kMaxStages = 8;
constexpr int kMaxStageState = 33;
constexpr int kMaxPixelShaderConstants = 224;

// Bytes per texel of the formats the stand-in can hold, 0 for any other.
UINT BytesPerTexel(D3DFORMAT format);

struct TextureLevel {
  UINT width = 0;
  UINT height = 0;
  INT pitch = 0;
  std::vector<BYTE> bits;
  bool locked = false;
};

// What every object a device makes shares: a reference count, and one
// reference on its device that it gives back when it goes.
template <typename Interface>
class DeviceChild : public Interface {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice9** out) override;

  Device* device = nullptr;

 protected:
  virtual ~DeviceChild() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

class Texture final : public DeviceChild<IDirect3DTexture9> {
 public:
  // Levels 0 makes the full chain down to 1 x 1, as Direct3D does.
  static HRESULT Create(Device* device, UINT width, UINT height, UINT levels, DWORD usage,
                        D3DFORMAT format, D3DPOOL pool, Texture** out);

  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;

  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DPOOL pool = D3DPOOL_MANAGED;
  DWORD usage = 0;
  std::vector<TextureLevel> levels;

 private:
  Texture() = default;
  ~Texture() override = default;
};

class PixelShader final : public DeviceChild<IDirect3DPixelShader9> {
 public:
  HRESULT GetFunction(void* data, UINT* sizeOfData) override;

  std::vector<DWORD> tokens;
  // Filled by CreatePixelShader: the decoded program, what the classifier
  // recognised in it, and a number no other shader of the process shares
  // (the rasteriser keys its caches on it).
  ShaderProgram program;
  PixelShaderClass shape;
  uint64_t serial = 0;

  PixelShader();
  ~PixelShader() override;
};

class Direct3D final : public IDirect3D9 {
 public:
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

 private:
  std::atomic<ULONG> refs_{1};
};

class Device final : public IDirect3DDevice9 {
 public:
  Device(Direct3D* d3d, HWND focusWindow, const D3DPRESENT_PARAMETERS& params);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT TestCooperativeLevel() override;
  HRESULT GetDirect3D(IDirect3D9** d3d) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
  HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                  const RGNDATA* dirtyRegion) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                          UINT vertexStride) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT GetFVF(DWORD* fvf) override;
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
  HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
  HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                  UINT vector4fCount) override;
  HRESULT GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;

  // Every render, sampler and texture-stage state back to Direct3D 9's
  // documented defaults; textures and shaders unbound.
  void ResetStates();

  Direct3D* d3d = nullptr;
  HWND focusWindow = nullptr;
  D3DPRESENT_PARAMETERS params{};
  UINT width = 0;
  UINT height = 0;

  DWORD renderState[kMaxRenderState] = {};
  DWORD samplerState[kMaxSamplers][kMaxSamplerState] = {};
  DWORD stageState[kMaxStages][kMaxStageState] = {};
  Texture* textures[kMaxSamplers] = {};
  PixelShader* pixelShader = nullptr;
  DWORD fvf = 0;
  float psConstants[kMaxPixelShaderConstants][4] = {};
  D3DMATRIX world{}, view{}, projection{};
  D3DVIEWPORT9 viewport{};

  // A8R8G8B8 back buffer, row-major, pitch = width.
  std::vector<DWORD> backBuffer;
  // D24X8 depth as 24-bit integers in the low bits.
  std::vector<DWORD> depthBuffer;
  // What the last Present showed, kept for tests and tools.
  std::vector<DWORD> presented;
  DWORD presentCount = 0;
  bool inScene = false;
  // Lost: nothing is drawn or shown. Once the application may have the
  // display back (resettable), only Reset brings the device back.
  bool lost = false;
  bool resettable = false;

  // Counts writes to depthBuffer made outside the rasteriser; the rasteriser
  // keeps track of rows that hold a single depth and starts over when this
  // moves. Rows depthRowsBegin..depthRowsEnd were left at depthRowsValue by
  // the last such write (an empty range when it set no whole rows). Code
  // that writes depthBuffer directly calls NoteDepthWritten.
  uint64_t depthSerial = 0;
  UINT depthRowsBegin = 0, depthRowsEnd = 0;
  DWORD depthRowsValue = 0;
  void NoteDepthWritten(UINT rowsBegin, UINT rowsEnd, DWORD value) {
    // One count for the whole process: a new device never repeats a number.
    static uint64_t writes = 0;
    depthSerial = ++writes;
    depthRowsBegin = rowsBegin;
    depthRowsEnd = rowsEnd;
    depthRowsValue = value;
    // Whatever was written came after any clear still pending. Code that
    // writes only part of the buffers directly applies the clear first.
    pendingClear = PendingClear();
  }

  // A Clear of the whole surface not written yet. The first draw that
  // overwrites every pixel whatever it held (the show's picture after each
  // frame's clear) makes writing it unnecessary; anything else that reads
  // or writes the buffers applies it first. The buffers themselves do not
  // hold it until then.
  struct PendingClear {
    bool color = false, depth = false;
    DWORD colorValue = 0, depthValue = 0;
  };
  PendingClear pendingClear;
  void ApplyPendingClear();

 private:
  ~Device();
  void AllocateBuffers();
  std::atomic<ULONG> refs_{1};
};

template <typename Interface>
ULONG DeviceChild<Interface>::Release() {
  const ULONG left = --refs_;
  if (left == 0) {
    Device* owner = device;
    delete this;
    if (owner) owner->Release();
  }
  return left;
}

template <typename Interface>
HRESULT DeviceChild<Interface>::GetDevice(IDirect3DDevice9** out) {
  if (!out || !device) return D3DERR_INVALIDCALL;
  device->AddRef();
  *out = device;
  return D3D_OK;
}

// The device of the process, or null; the test interface reads frames here.
Device* CurrentDevice();

// A full-screen device is lost when its window loses the focus and may be
// reset once the window has it again.
void DeviceWindowFocusChanged(HWND window, bool focused);

}  // namespace standin
