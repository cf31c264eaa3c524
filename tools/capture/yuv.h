// A8R8G8B8 frames to the yuv420p pictures H.264 stores: BT.709 with limited
// range (Y 16-235, Cb and Cr 16-240), each chroma sample the mean of its
// 2x2 block of pixels. swscale does this too, but at two to three times the
// cost, and the whole show is six thousand frames.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct YuvPlanes {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int yPitch;  // bytes
  int uPitch;
  int vPitch;
};

// `width` and `height` even; `pitch` in pixels. The alpha byte plays no part.
void ConvertToYuv420(const uint32_t* pixels, size_t pitch, int width, int height, const YuvPlanes& out);

// The same without vector instructions: the reference the fast path is
// held to, and the path for the end of a row.
void ConvertToYuv420Scalar(const uint32_t* pixels, size_t pitch, int width, int height, const YuvPlanes& out);
