// The frame: clear, choose the stretch of the show, draw it, present.
#include "show/frame.h"

#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/finale.h"
#include "show/intro.h"
#include "show/verses.h"

ShowStretch StretchAt(DWORD t) {
  if (t - kIntroFirst <= kIntroLast - kIntroFirst) return kStretchIntro;
  if (t <= kVerseStart) return t < kIntroFirst ? kStretchLeadIn : kStretchGap;
  if (t < kFinaleStart) return kStretchVerses;
  return kStretchFinale;
}

void RenderFrame() {
  RestoreLostDevice();
  g_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  g_pd3dDevice->BeginScene();
  g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);

  switch (StretchAt(g_ShowTime)) {
    case kStretchIntro:
      DrawIntroScene(g_ShowTime);
      break;
    case kStretchVerses:
      DrawVerseScene(g_ShowTime);
      break;
    case kStretchFinale:
      DrawFinaleScene(g_ShowTime);
      break;
    case kStretchLeadIn:
    case kStretchGap:
      break;
  }

  g_pd3dDevice->EndScene();
  NotePresentResult(g_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr));
}
