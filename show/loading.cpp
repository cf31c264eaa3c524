// The loading sequence. Its steps join as the parts they make are built:
// the shaders, the lock-screen pictures, the glyph atlas.
#include "show/loading.h"

#include "gfx/shaders.h"
#include "text/glyph_atlas.h"

IDirect3DTexture9* g_Wallpapers[kWallpaperTextureCount] = {};

void RunLoadingSequence() {
  // Progress screen at 0 % goes here.

  // ColorPS first: when it fails the program ends before TexturePS.
  g_ColorShader = CompilePixelShader("ColorPS");
  g_TextureShader = CompilePixelShader("TexturePS");

  // Progress screens at 10, 20 and 30 % with their one-second pauses, the
  // lock-screen pictures at 40 to 80 %, and 90 % with its pause go here.

  BuildGlyphAtlas();

  // Progress screen at 100 % goes here.
}
