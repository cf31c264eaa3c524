// Device set-up and teardown.
#include "gfx/device.h"

IDirect3D9* g_pD3D = nullptr;
IDirect3DDevice9* g_pd3dDevice = nullptr;
IDirect3DDevice9* g_pDevice = nullptr;
D3DPRESENT_PARAMETERS g_d3dpp;
ID3DXFont* g_Fonts[4] = {};
ID3DXSprite* g_pSprite = nullptr;
UINT g_ScreenWidth = 0;
UINT g_ScreenHeight = 0;
bool g_DeviceLost = false;

namespace {

struct FontSpec {
  const char* face;
  INT height;
  BOOL italic;
};

// Negative heights ask for the character (em) height in pixels. The sizes
// are the same in every build: labels scale themselves.
const FontSpec kFontSpecs[4] = {
    {"Arial", -48, TRUE},
    {"Arial", -128, FALSE},
    {"Arial", -24, FALSE},
    {"Webdings", -512, FALSE},
};

}  // namespace

bool InitDevice(HWND hwnd, UINT width, UINT height, bool windowed) {
  g_ScreenWidth = width;
  g_ScreenHeight = height;
  g_pD3D = Direct3DCreate9(D3D_SDK_VERSION);

  ZeroMemory(&g_d3dpp, sizeof g_d3dpp);
  g_d3dpp.BackBufferWidth = width;
  g_d3dpp.BackBufferHeight = height;
  g_d3dpp.BackBufferFormat = D3DFMT_A8R8G8B8;
  g_d3dpp.BackBufferCount = 1;
  g_d3dpp.MultiSampleType = D3DMULTISAMPLE_NONE;
  g_d3dpp.MultiSampleQuality = 0;
  g_d3dpp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  g_d3dpp.hDeviceWindow = nullptr;
  g_d3dpp.Windowed = windowed ? TRUE : FALSE;
  g_d3dpp.EnableAutoDepthStencil = TRUE;
  g_d3dpp.AutoDepthStencilFormat = D3DFMT_D24X8;
  g_d3dpp.Flags = 0;
  g_d3dpp.FullScreen_RefreshRateInHz = D3DPRESENT_RATE_DEFAULT;
  g_d3dpp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

  if (g_pD3D)
    g_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd,
                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &g_d3dpp, &g_pd3dDevice);
  if (!g_d3dpp.Windowed) ShowCursor(FALSE);
  return true;
}

namespace {

// Every sampler state the show relies on; Reset returns them to defaults.
void SetSamplerStates() {
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
  g_pd3dDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
  g_pd3dDevice->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
  g_pd3dDevice->SetSamplerState(1, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
  for (DWORD sampler = 0; sampler < 8; ++sampler) {
    g_pd3dDevice->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    g_pd3dDevice->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    g_pd3dDevice->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  }
}

}  // namespace

void InitDeviceState() {
  g_pd3dDevice->Reset(&g_d3dpp);
  SetSamplerStates();

  for (int i = 0; i < 4; ++i)
    D3DXCreateFontA(g_pd3dDevice, kFontSpecs[i].height, 0, FW_DONTCARE, 1, kFontSpecs[i].italic,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, kFontSpecs[i].face, &g_Fonts[i]);
  D3DXCreateSprite(g_pd3dDevice, &g_pSprite);
}

void RestoreLostDevice() {
  if (!g_DeviceLost || !g_pd3dDevice) return;
  const HRESULT state = g_pd3dDevice->TestCooperativeLevel();
  if (state == D3D_OK) {
    g_DeviceLost = false;
    return;
  }
  if (state != D3DERR_DEVICENOTRESET) return;  // still away: try again next frame
  for (ID3DXFont* font : g_Fonts)
    if (font) font->OnLostDevice();
  if (g_pSprite) g_pSprite->OnLostDevice();
  if (FAILED(g_pd3dDevice->Reset(&g_d3dpp))) return;
  SetSamplerStates();
  for (ID3DXFont* font : g_Fonts)
    if (font) font->OnResetDevice();
  if (g_pSprite) g_pSprite->OnResetDevice();
  g_DeviceLost = false;
}

void NotePresentResult(HRESULT result) {
  if (result == D3DERR_DEVICELOST) g_DeviceLost = true;
}

void ReleaseDevice() {
  if (g_pd3dDevice) {
    g_pd3dDevice->Release();
    g_pd3dDevice = nullptr;
  }
  if (g_pD3D) {
    g_pD3D->Release();
    g_pD3D = nullptr;
  }
}
