// The stand-in Direct3D 9 object and device: creation, states, frames.
// Drawing and pixel shader creation live in draw.cpp.
#include "d3d9/device.h"

#include <standin.h>

#include <algorithm>
#include <cstring>

#include "d3d9/raster.h"
#include "kernel32/clock.h"
#include "user32/window.h"

namespace standin {
namespace {

Device* g_current = nullptr;
UINT g_pitchPadding = 0;
StandinPresentHook g_presentHook = nullptr;
void* g_presentHookUser = nullptr;

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

bool ValidPresentParameters(const D3DPRESENT_PARAMETERS& p) {
  if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return false;
  if (p.BackBufferWidth > 16384 || p.BackBufferHeight > 16384) return false;
  if (p.BackBufferFormat != D3DFMT_A8R8G8B8 && p.BackBufferFormat != D3DFMT_X8R8G8B8 &&
      p.BackBufferFormat != D3DFMT_UNKNOWN)
    return false;
  if (p.BackBufferFormat == D3DFMT_UNKNOWN && !p.Windowed) return false;
  if (p.BackBufferCount > 3) return false;
  if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) return false;
  if (p.EnableAutoDepthStencil && p.AutoDepthStencilFormat != D3DFMT_D24X8 &&
      p.AutoDepthStencilFormat != D3DFMT_D24S8 && p.AutoDepthStencilFormat != D3DFMT_D16 &&
      p.AutoDepthStencilFormat != D3DFMT_D32)
    return false;
  return true;
}

constexpr DWORD kMaxDepth = 0xFFFFFF;

DWORD DepthValue(float z) {
  if (!(z > 0.0f)) return 0;
  if (z >= 1.0f) return kMaxDepth;
  return static_cast<DWORD>(z * static_cast<float>(kMaxDepth) + 0.5f);
}

}  // namespace

UINT BytesPerTexel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      return 4;
    case D3DFMT_L8:
    case D3DFMT_A8:
      return 1;
    default:
      return 0;
  }
}

Device* CurrentDevice() { return g_current; }

void DeviceWindowFocusChanged(HWND window, bool focused) {
  Device* d = g_current;
  if (!d || d->focusWindow != window || d->params.Windowed) return;
  if (!focused) {
    d->lost = true;
    d->resettable = false;
  } else if (d->lost) {
    d->resettable = true;
  }
}

// --- Texture ---------------------------------------------------------------

HRESULT Texture::Create(Device* device, UINT width, UINT height, UINT levels, DWORD usage,
                        D3DFORMAT format, D3DPOOL pool, Texture** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const UINT bpp = BytesPerTexel(format);
  if (width == 0 || height == 0 || width > 8192 || height > 8192 || bpp == 0)
    return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateTexture)) return D3DERR_OUTOFVIDEOMEMORY;

  UINT fullChain = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1)
    ++fullChain;
  if (levels == 0 || levels > fullChain) levels = levels == 0 ? fullChain : 0;
  if (levels == 0) return D3DERR_INVALIDCALL;

  Texture* t = new Texture();
  t->device = device;
  t->format = format;
  t->pool = pool;
  t->usage = usage;
  t->levels.resize(levels);
  UINT w = width, h = height;
  for (TextureLevel& level : t->levels) {
    level.width = w;
    level.height = h;
    level.pitch = static_cast<INT>(w * bpp + g_pitchPadding);
    level.bits.assign(static_cast<size_t>(level.pitch) * h, 0);
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  if (device) device->AddRef();
  *out = t;
  return D3D_OK;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levels.size()) return D3DERR_INVALIDCALL;
  desc->Format = format;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage;
  desc->Pool = pool;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->MultiSampleQuality = 0;
  desc->Width = levels[level].width;
  desc->Height = levels[level].height;
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
  if (!locked || level >= levels.size()) return D3DERR_INVALIDCALL;
  TextureLevel& l = levels[level];
  if (l.locked || pool == D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailLockRect)) return D3DERR_INVALIDCALL;
  size_t offset = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
        rect->top >= rect->bottom || static_cast<UINT>(rect->right) > l.width ||
        static_cast<UINT>(rect->bottom) > l.height)
      return D3DERR_INVALIDCALL;
    offset = static_cast<size_t>(rect->top) * l.pitch +
             static_cast<size_t>(rect->left) * BytesPerTexel(format);
  }
  l.locked = true;
  locked->Pitch = l.pitch;
  locked->pBits = l.bits.data() + offset;
  return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= levels.size() || !levels[level].locked) return D3DERR_INVALIDCALL;
  levels[level].locked = false;
  return D3D_OK;
}

// --- Pixel shader ------------------------------------------------------------

PixelShader::PixelShader() = default;
PixelShader::~PixelShader() = default;

HRESULT PixelShader::GetFunction(void* data, UINT* sizeOfData) {
  if (!sizeOfData) return D3DERR_INVALIDCALL;
  const UINT bytes = static_cast<UINT>(tokens.size() * sizeof(DWORD));
  if (!data) {
    *sizeOfData = bytes;
    return D3D_OK;
  }
  if (*sizeOfData < bytes) return D3DERR_MOREDATA;
  std::memcpy(data, tokens.data(), bytes);
  *sizeOfData = bytes;
  return D3D_OK;
}

// --- Direct3D object ---------------------------------------------------------

ULONG Direct3D::AddRef() { return ++refs_; }

ULONG Direct3D::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                               DWORD behaviorFlags, D3DPRESENT_PARAMETERS* params,
                               IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (!params || adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  if (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
  const DWORD vp = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                    D3DCREATE_MIXED_VERTEXPROCESSING);
  if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
      vp != D3DCREATE_MIXED_VERTEXPROCESSING)
    return D3DERR_INVALIDCALL;
  HWND window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
  if (!window || !StandinWindowAlive(window)) return D3DERR_INVALIDCALL;
  if (!ValidPresentParameters(*params)) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateDevice)) return D3DERR_NOTAVAILABLE;
  if (params->BackBufferFormat == D3DFMT_UNKNOWN) params->BackBufferFormat = D3DFMT_X8R8G8B8;
  if (params->BackBufferCount == 0) params->BackBufferCount = 1;

  Device* created = new Device(this, window, *params);
  AddRef();
  g_current = created;
  *device = created;
  return D3D_OK;
}

// --- Device ------------------------------------------------------------------

Device::Device(Direct3D* owner, HWND window, const D3DPRESENT_PARAMETERS& p)
    : d3d(owner), focusWindow(window), params(p) {
  AllocateBuffers();
  ResetStates();
  StandinWindowSetFullscreen(focusWindow, !params.Windowed);
}

Device::~Device() {
  for (Texture*& t : textures)
    if (t) t->Release(), t = nullptr;
  if (pixelShader) pixelShader->Release();
  if (g_current == this) g_current = nullptr;
}

void Device::AllocateBuffers() {
  width = params.BackBufferWidth;
  height = params.BackBufferHeight;
  const size_t pixels = static_cast<size_t>(width) * height;
  backBuffer.assign(pixels, 0);
  presented.assign(pixels, 0);
  depthBuffer.assign(params.EnableAutoDepthStencil ? pixels : 0, kMaxDepth);
  NoteDepthWritten(0, height, kMaxDepth);
}

void Device::ResetStates() {
  std::memset(renderState, 0, sizeof renderState);
  DWORD* rs = renderState;
  rs[D3DRS_ZENABLE] = params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_FOGEND] = FloatBits(1.0f);
  rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
  rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = TRUE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
  rs[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
  rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
  rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  rs[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
  rs[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
  rs[D3DRS_ADAPTIVETESS_W] = FloatBits(1.0f);
  rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_COLORWRITEENABLE1] = 0xF;
  rs[D3DRS_COLORWRITEENABLE2] = 0xF;
  rs[D3DRS_COLORWRITEENABLE3] = 0xF;
  rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
  rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

  for (auto& s : samplerState) {
    std::memset(s, 0, sizeof s);
    s[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    s[D3DSAMP_MAXANISOTROPY] = 1;
  }
  for (int stage = 0; stage < kMaxStages; ++stage) {
    DWORD* ts = stageState[stage];
    std::memset(ts, 0, sizeof stageState[stage]);
    ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(stage);
    ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }
  for (Texture*& t : textures)
    if (t) t->Release(), t = nullptr;
  if (pixelShader) pixelShader->Release(), pixelShader = nullptr;
  fvf = 0;
  std::memset(psConstants, 0, sizeof psConstants);
  D3DMATRIX identity{};
  identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
  world = view = projection = identity;
  viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  const ULONG left = --refs_;
  if (left == 0) {
    Direct3D* owner = d3d;
    delete this;
    if (owner) owner->Release();
  }
  return left;
}

HRESULT Device::TestCooperativeLevel() {
  if (!lost) return D3D_OK;
  return resettable ? D3DERR_DEVICENOTRESET : D3DERR_DEVICELOST;
}

HRESULT Device::GetDirect3D(IDirect3D9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  d3d->AddRef();
  *out = d3d;
  return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* p) {
  if (lost && !resettable) return D3DERR_DEVICELOST;
  if (!p || !ValidPresentParameters(*p)) return D3DERR_INVALIDCALL;
  if (p->BackBufferFormat == D3DFMT_UNKNOWN) p->BackBufferFormat = D3DFMT_X8R8G8B8;
  if (p->BackBufferCount == 0) p->BackBufferCount = 1;
  ApplyPendingClear();
  params = *p;
  if (params.BackBufferWidth != width || params.BackBufferHeight != height ||
      depthBuffer.empty() == static_cast<bool>(params.EnableAutoDepthStencil))
    AllocateBuffers();
  ResetStates();
  inScene = false;
  lost = false;
  resettable = false;
  StandinWindowSetFullscreen(focusWindow, !params.Windowed);
  return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
  if (inScene) return D3DERR_INVALIDCALL;
  if (lost) return D3DERR_DEVICELOST;
  // Discard semantics: after Present the back buffer's contents are
  // undefined, so the buffers can trade places instead of being copied.
  ApplyPendingClear();
  presented.swap(backBuffer);
  ++presentCount;
  StandinWindowPresent(focusWindow, presented.data(), width, height);
  StandinClockAfterPresent();
  if (g_presentHook) g_presentHook(presentCount - 1, g_presentHookUser);
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** out, HANDLE* sharedHandle) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (sharedHandle) return D3DERR_INVALIDCALL;
  Texture* t = nullptr;
  const HRESULT hr = Texture::Create(this, w, h, levels, usage, format, pool, &t);
  *out = t;
  return hr;
}

HRESULT Device::BeginScene() {
  if (inScene) return D3DERR_INVALIDCALL;
  inScene = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene) return D3DERR_INVALIDCALL;
  inScene = false;
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD) {
  if ((count > 0) != (rects != nullptr)) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && depthBuffer.empty()) return D3DERR_INVALIDCALL;
  if (z < 0.0f || z > 1.0f) return D3DERR_INVALIDCALL;
  if (lost) return D3D_OK;
  const DWORD depth = DepthValue(z);
  const LONG vx0 = static_cast<LONG>(viewport.X), vy0 = static_cast<LONG>(viewport.Y);
  const LONG vx1 = static_cast<LONG>(std::min<DWORD>(viewport.X + viewport.Width, width));
  const LONG vy1 = static_cast<LONG>(std::min<DWORD>(viewport.Y + viewport.Height, height));
  if (count == 0 && vx0 == 0 && vy0 == 0 && static_cast<UINT>(vx1) == width &&
      static_cast<UINT>(vy1) == height) {
    // The whole surface: written when something needs it, or never when a
    // draw covers it first. A later whole clear replaces an earlier one.
    if (flags & D3DCLEAR_TARGET) {
      pendingClear.color = true;
      pendingClear.colorValue = color;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
      pendingClear.depth = true;
      pendingClear.depthValue = depth;
    }
    return D3D_OK;
  }
  // A part of the surface lands on top of the whole one.
  ApplyPendingClear();
  const D3DRECT whole{vx0, vy0, vx1, vy1};
  const DWORD n = count ? count : 1;
  for (DWORD i = 0; i < n; ++i) {
    const D3DRECT& r = count ? rects[i] : whole;
    const LONG x0 = std::max(r.x1, vx0), y0 = std::max(r.y1, vy0);
    const LONG x1 = std::min(r.x2, vx1), y1 = std::min(r.y2, vy1);
    if (x0 >= x1 || y0 >= y1) continue;
    // Rows across the whole width are one block of memory: fill it at once.
    const bool wholeWidth = x0 == 0 && static_cast<UINT>(x1) == width;
    const size_t span = wholeWidth ? static_cast<size_t>(y1 - y0) * width : size_t(x1 - x0);
    const LONG rows = wholeWidth ? 1 : y1 - y0;
    for (LONG i = 0; i < rows; ++i) {
      const size_t at = static_cast<size_t>(y0 + i) * width + static_cast<size_t>(x0);
      if (flags & D3DCLEAR_TARGET) FillPixels(backBuffer.data() + at, color, span);
      if (flags & D3DCLEAR_ZBUFFER) FillPixels(depthBuffer.data() + at, depth, span);
    }
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    // Whole rows at one depth are worth telling the rasteriser.
    const bool wholeRows = count == 0 && vx0 == 0 && static_cast<UINT>(vx1) == width;
    NoteDepthWritten(wholeRows ? static_cast<UINT>(vy0) : 0, wholeRows ? static_cast<UINT>(vy1) : 0,
                     depth);
  }
  return D3D_OK;
}

void Device::ApplyPendingClear() {
  const PendingClear clear = pendingClear;
  if (!clear.color && !clear.depth) return;
  pendingClear = PendingClear();
  if (clear.color) FillPixels(backBuffer.data(), clear.colorValue, backBuffer.size());
  if (clear.depth) {
    FillPixels(depthBuffer.data(), clear.depthValue, depthBuffer.size());
    NoteDepthWritten(0, height, clear.depthValue);
  }
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: world = *m; return D3D_OK;
    case D3DTS_VIEW: view = *m; return D3D_OK;
    case D3DTS_PROJECTION: projection = *m; return D3D_OK;
    default: return D3D_OK;
  }
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: *m = world; return D3D_OK;
    case D3DTS_VIEW: *m = view; return D3D_OK;
    case D3DTS_PROJECTION: *m = projection; return D3D_OK;
    default: return D3DERR_INVALIDCALL;
  }
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* v) {
  if (!v || v->Width == 0 || v->Height == 0 || v->X + v->Width > width ||
      v->Y + v->Height > height)
    return D3DERR_INVALIDCALL;
  viewport = *v;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* v) {
  if (!v) return D3DERR_INVALIDCALL;
  *v = viewport;
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (static_cast<DWORD>(state) >= kMaxRenderState) return D3DERR_INVALIDCALL;
  renderState[state] = value;
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (!value || static_cast<DWORD>(state) >= kMaxRenderState) return D3DERR_INVALIDCALL;
  *value = renderState[state];
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** out) {
  if (!out || stage >= kMaxSamplers) return D3DERR_INVALIDCALL;
  *out = textures[stage];
  if (*out) (*out)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kMaxSamplers) return D3DERR_INVALIDCALL;
  // Every texture this device can see was made by the stand-in.
  Texture* t = static_cast<Texture*>(static_cast<IDirect3DTexture9*>(texture));
  if (t) t->AddRef();
  if (textures[stage]) textures[stage]->Release();
  textures[stage] = t;
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (!value || stage >= kMaxStages || static_cast<DWORD>(type) >= kMaxStageState)
    return D3DERR_INVALIDCALL;
  *value = stageState[stage][type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= kMaxStages || static_cast<DWORD>(type) >= kMaxStageState) return D3DERR_INVALIDCALL;
  stageState[stage][type] = value;
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (!value || sampler >= kMaxSamplers || static_cast<DWORD>(type) >= kMaxSamplerState)
    return D3DERR_INVALIDCALL;
  *value = samplerState[sampler][type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (sampler >= kMaxSamplers || static_cast<DWORD>(type) >= kMaxSamplerState) return D3DERR_INVALIDCALL;
  samplerState[sampler][type] = value;
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD value) {
  fvf = value;
  return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* value) {
  if (!value) return D3DERR_INVALIDCALL;
  *value = fvf;
  return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
  // No vertex shader can be created here; only null is meaningful.
  return shader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
  PixelShader* ps = static_cast<PixelShader*>(shader);
  if (ps) ps->AddRef();
  if (pixelShader) pixelShader->Release();
  pixelShader = ps;
  return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = pixelShader;
  if (pixelShader) pixelShader->AddRef();
  return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
  if (!data || start >= kMaxPixelShaderConstants || count > kMaxPixelShaderConstants - start)
    return D3DERR_INVALIDCALL;
  std::memcpy(psConstants[start], data, sizeof(float) * 4 * count);
  return D3D_OK;
}

HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count) {
  if (!data || start >= kMaxPixelShaderConstants || count > kMaxPixelShaderConstants - start)
    return D3DERR_INVALIDCALL;
  std::memcpy(data, psConstants[start], sizeof(float) * 4 * count);
  return D3D_OK;
}

}  // namespace standin

using standin::CurrentDevice;

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  if (StandinShouldFail(kStandinFailDirect3DCreate)) return nullptr;
  return new standin::Direct3D();
}

bool StandinLastFrame(StandinFrame* frame) {
  standin::Device* d = CurrentDevice();
  if (!frame || !d || d->presentCount == 0) return false;
  *frame = StandinFrame{d->presented.data(), d->width, d->height};
  return true;
}

bool StandinBackBuffer(StandinFrame* frame) {
  standin::Device* d = CurrentDevice();
  if (!frame || !d) return false;
  d->ApplyPendingClear();
  *frame = StandinFrame{d->backBuffer.data(), d->width, d->height};
  return true;
}

DWORD StandinPresentCount() {
  standin::Device* d = CurrentDevice();
  return d ? d->presentCount : 0;
}

void StandinSetPresentHook(StandinPresentHook hook, void* user) {
  standin::g_presentHook = hook;
  standin::g_presentHookUser = user;
}

IDirect3DDevice9* StandinDevice() { return CurrentDevice(); }

void StandinSetTexturePitchPadding(UINT bytes) { standin::g_pitchPadding = bytes; }

void StandinLoseDevice() {
  if (standin::Device* d = CurrentDevice()) {
    d->lost = true;
    d->resettable = false;
  }
}

void StandinAllowDeviceReset() {
  if (standin::Device* d = CurrentDevice())
    if (d->lost) d->resettable = true;
}
