// The show's own window and device (CreateShowWindow, headless), with its
// two shaders compiled from the embedded source, shared by the quad and
// fade tests.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>

#include <vector>

#include "gfx/device.h"

// Creates the window and device and compiles ColorPS and TexturePS once.
bool StartShowDevice();

// Draws inside BeginScene/EndScene.
template <typename Work>
void InScene(Work work) {
  g_pd3dDevice->BeginScene();
  work();
  g_pd3dDevice->EndScene();
}

// Clears to `color` (depth 1) and puts back the states a frame starts with:
// no shader, no texture, blending and alpha test off.
void StartFrame(D3DCOLOR color);

DWORD ShowPixel(int x, int y);
std::vector<DWORD> ShowFrame();

// A texture of `width` x `height` with the given A8R8G8B8 texels, row by
// row; or L8 when `luminance` (the low byte of each value).
IDirect3DTexture9* MakeShowTexture(UINT width, UINT height, const std::vector<DWORD>& texels,
                                   bool luminance = false);
