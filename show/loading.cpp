// The loading sequence. Its steps join as the parts they make are built:
// the shaders, the lock-screen pictures, the glyph atlas.
#include "show/loading.h"

IDirect3DTexture9* g_Wallpapers[kWallpaperTextureCount] = {};

void RunLoadingSequence() {}
