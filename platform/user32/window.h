// What the other stand-in libraries need from the window system.
#pragma once

#include <windows.h>

// True while the window exists (created and not destroyed).
bool StandinWindowAlive(HWND window);
// A full-screen device covers the whole screen with the window's picture.
void StandinWindowSetFullscreen(HWND window, bool fullscreen);
// Shows an A8R8G8B8 picture in the window's client area, scaled to fit with
// its aspect ratio kept. Does nothing for a headless or destroyed window.
void StandinWindowPresent(HWND window, const DWORD* pixels, UINT width, UINT height);
// True when SDL video is up (not headless and a display was found).
bool StandinVideoAvailable();
