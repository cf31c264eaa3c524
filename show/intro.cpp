// The intro scene.
#include "show/intro.h"

#include <d3d9.h>

#include "gfx/device.h"
#include "gfx/fade.h"
#include "show/fade_colors.h"
#include "show/sound_cues.h"
#include "text/atlas_text.h"

namespace {

struct IntroLine {
  const char* text;
  float x;  // pen start, 720-line units: DrawAtlasText scales it
  float y;  // baseline
};

const IntroLine kIntroLines[] = {
    {"VELMORANDIQUE", 350.0f, 100.0f},
    {"IS", 600.0f, 300.0f},
    {"BACK", 550.0f, 500.0f},
};

constexpr int kIntroCue = 1;  // Ring05.wav, once

}  // namespace

// The fades read the show clock themselves; nothing else here depends on it.
void DrawIntroScene(DWORD) {
  PlaySoundCue(kIntroCue, false);
  for (const IntroLine& line : kIntroLines) {
    // DrawAtlasText switches blending off as it ends, so each line sets it again.
    g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    g_pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    g_pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    DrawAtlasText(line.text, line.x, line.y);
  }
  DrawTimedFade(1000, 5000, kOpaqueBlack, kClearBlack);
  DrawTimedFade(12872, 13872, kClearBlack, kOpaqueBlack);
}
