// The loading sequence: everything the show draws from is made here, once,
// before the show clock starts.
#pragma once

#include <d3d9.h>

constexpr int kWallpaperTextureCount = 5;
// The lock-screen pictures in wallpaper order; an entry stays null when its
// picture could not be loaded.
extern IDirect3DTexture9* g_Wallpapers[kWallpaperTextureCount];

void RunLoadingSequence();
