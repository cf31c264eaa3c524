// The verse slideshow: seven verses over the lock-screen pictures.
#pragma once

#include <windows.h>

constexpr int kVerseTextCount = 7;
// Each verse's three lines, separated by '?'.
extern const char* const kVerseTexts[kVerseTextCount];
// The Webdings character drawn beside each verse.
extern const unsigned char kVerseSymbols[kVerseTextCount];
// The symbol's y in 720-line units, scaled when drawn.
extern const float kVerseSymbolY[kVerseTextCount];

// Where a show time falls in the verses.
struct VerseMoment {
  DWORD verse;        // 0 to 6
  DWORD phase;        // milliseconds into the verse
  DWORD picture;      // index into g_Wallpapers
  float uOffset;      // 0.25 for picture 0, else 0
  float drift;        // phase / 300000
};
VerseMoment VerseAt(DWORD t);

// The verse branch of RenderFrame, for kVerseStart < t < kFinaleStart.
void DrawVerseScene(DWORD t);
