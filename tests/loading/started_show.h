// The show of the loading tests: started once per test program over a
// folder of generated pictures, with every progress frame of its loading
// sequence recorded as it was presented.
#pragma once

#include <string>
#include <vector>

#include "support/show_start.h"

// What one progress frame showed, and how far the loading had got when it
// was presented.
struct ProgressRecord {
  showtest::FrameCopy frame;
  DWORD slept = 0;           // StandinTotalSleep() at the present
  unsigned loadedMask = 0;   // bit i: g_Wallpapers[i] was set
  bool shadersReady = false; // both pixel shaders compiled
  bool atlasReady = false;   // g_GlyphAtlas made
};

// The frames presented by the loading sequence at start-up, in order.
const std::vector<ProgressRecord>& RecordedProgress();

// A scratch folder that lives as long as the test program.
const std::string& ScratchRoot();
