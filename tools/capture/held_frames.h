// Frames presented at moments of a clock, and which one is on screen at a
// given moment: the latest presented at or before it. Used for the loading
// screen, whose progress frames each stay up until the next one.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

class HeldFrames {
 public:
  // A frame presented at `atMs` (not before the previous one). A frame
  // presented at the same moment as the previous replaces it: it was never
  // on screen for any time.
  void Add(int64_t atMs, const uint32_t* pixels, size_t count);
  // The frame on screen at `ms`, or null before the first.
  const uint32_t* At(int64_t ms) const;
  size_t size() const { return frames_.size(); }

 private:
  struct Held {
    int64_t atMs;
    std::vector<uint32_t> pixels;
  };
  std::vector<Held> frames_;
};
