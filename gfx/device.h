// The one Direct3D 9 device of the show, its fonts and its sprite.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>

extern IDirect3D9* g_pD3D;
// Owns the device's one reference.
extern IDirect3DDevice9* g_pd3dDevice;
// A non-owning copy of the same pointer, written once after InitDevice.
extern IDirect3DDevice9* g_pDevice;
extern D3DPRESENT_PARAMETERS g_d3dpp;
extern ID3DXFont* g_Fonts[4];
extern ID3DXSprite* g_pSprite;
// The screen size the drawing code reads; always the build's constants.
extern UINT g_ScreenWidth;
extern UINT g_ScreenHeight;

bool InitDevice(HWND hwnd, UINT width, UINT height, bool windowed);
void InitDeviceState();
void ReleaseDevice();

// A full-screen device is lost while the user is switched away. Frames are
// still submitted (a lost device ignores them) so the show keeps its
// timeline and its sounds; once the device may be reset it is reset with
// the same parameters and given its start-up state again, and the show
// goes on at the moment the clock says.
// Called before a frame is drawn.
void RestoreLostDevice();
// Called with the result of every Present.
void NotePresentResult(HRESULT result);
extern bool g_DeviceLost;
