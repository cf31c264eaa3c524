#include "held_frames.h"

void HeldFrames::Add(int64_t atMs, const uint32_t* pixels, size_t count) {
  if (frames_.empty() || frames_.back().atMs != atMs) frames_.push_back(Held{atMs, {}});
  frames_.back().pixels.assign(pixels, pixels + count);
}

const uint32_t* HeldFrames::At(int64_t ms) const {
  // Few frames (a dozen at most): a walk from the back is plenty.
  for (size_t i = frames_.size(); i-- > 0;) {
    if (frames_[i].atMs <= ms) return frames_[i].pixels.data();
  }
  return nullptr;
}
