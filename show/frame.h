// One frame of the show and the timeline it follows.
#pragma once

#include <windows.h>

constexpr DWORD kIntroFirst = 1001;
constexpr DWORD kIntroLast = 13871;
constexpr DWORD kVerseStart = 13872;
constexpr DWORD kVersePeriod = 9380;
constexpr DWORD kVerseCount = 7;
constexpr DWORD kFinaleStart = kVerseStart + kVerseCount * kVersePeriod;
static_assert(kFinaleStart == 79532, "seven verses end where the finale starts");

// The stretches of the show, in time order.
enum ShowStretch { kStretchLeadIn, kStretchIntro, kStretchGap, kStretchVerses, kStretchFinale };

// The stretch that the show time t belongs to. The finale covers the black
// tail too: it draws nothing once its words are done.
ShowStretch StretchAt(DWORD t);

// Clears, draws the stretch of g_ShowTime and presents.
void RenderFrame();
