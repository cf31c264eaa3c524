// The show's own start-up, headless and on a virtual clock, shared by the
// PNG and the video captures.
#pragma once

// Headless display, virtual clock from 0, no audio device; then the
// program's start-up checks, window and device. The loading sequence is
// the caller's to run. False (with the reason on standard error) when the
// show could not start.
bool StartShowHeadless();
