// The finale: the looping tone stops and "REDUCE ", "REUSE ", "RECYCLE"
// appear on black one after another, then the picture sinks into black.
#pragma once

#include <windows.h>

#include "app/build_config.h"

constexpr int kFinaleWordCount = 3;
extern const char* const kFinaleWords[kFinaleWordCount];
// Pen start x of each word and their shared baseline, layout scale folded in.
constexpr float kFinaleWordX[kFinaleWordCount] = {100.0f * kLayoutScale, 500.0f * kLayoutScale,
                                                  850.0f * kLayoutScale};
constexpr float kFinaleWordY = 360.0f * kLayoutScale;
// Words are drawn while the finale time is below this.
constexpr DWORD kFinaleLength = 22000;
// A new word every period, each fading in over one period.
constexpr DWORD kFinaleWordPeriod = 3000;

// Set by the first finale frame, once it has stopped the sound; never cleared.
extern bool g_FinaleSoundStopped;

// The brightness of word `word` at finale time f: rising from 0 to 1 over
// the word's own period, 1 after it.
float FinaleWordBrightness(DWORD f, DWORD word);

// The finale branch of RenderFrame, for t >= kFinaleStart; it draws nothing
// once the words are done.
void DrawFinaleScene(DWORD t);
