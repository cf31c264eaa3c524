// The whole show, or a stretch of it, as an MP4 file with its sound:
// every frame at a fixed rate, drawn by the show's own frame function on a
// virtual clock, and the sound its PlaySoundA calls make heard.
#pragma once

#include <windows.h>

#include <string>

#include "frame_clock.h"

struct VideoOptions {
  std::string path;
  FrameRate rate;
  DWORD from = 0;  // show times, ms: frames at from <= t < to
  DWORD to = 0;
  // The loading screen first, each progress frame held as long as the
  // program shows it; the show follows. Needs from = 0.
  bool withLoading = false;
  bool quiet = false;
};

// Runs the show's start-up and writes the video. Returns the process exit
// code: 0 when the file is complete, 1 on failure (said on standard error;
// no file is left behind), 130 when interrupted.
int RunVideoCapture(const VideoOptions& options);
