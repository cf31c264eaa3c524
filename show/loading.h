// The loading sequence: everything the show draws from is made here, once,
// before the show clock starts, behind a progress screen.
#pragma once

#include <d3d9.h>

constexpr int kWallpaperTextureCount = 5;
// The lock-screen pictures in wallpaper order; an entry stays null when its
// picture could not be loaded.
extern IDirect3DTexture9* g_Wallpapers[kWallpaperTextureCount];

// The status line for each tenth of the progress, the last one from 30 %.
constexpr int kProgressLabelCount = 4;
extern const char* const kProgressLabels[kProgressLabelCount];

// The progress bar's rectangles for a percentage, in back-buffer pixels.
struct ProgressBarLayout {
  float frameLeft, frameTop, frameRight, frameBottom;
  float insideLeft, insideTop, insideRight, insideBottom;
  float fillRight;  // the fill shares the inside's left, top and bottom
};
ProgressBarLayout ProgressBarAt(float percent);
// The index into kProgressLabels for a percentage.
int ProgressLabelIndex(float percent);

// Draws and presents one frame of the progress screen.
void DrawProgressScreen(float percent);

void RunLoadingSequence();
