// Colour conversion to BT.709 limited-range yuv420p: known colours, the
// vector path against the scalar one, and both against swscale.
#include "yuv.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

struct Picture {
  int width;
  int height;
  std::vector<uint8_t> y, u, v;
  Picture(int w, int h)
      : width(w), height(h), y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)),
        v(static_cast<size_t>(w / 2) * (h / 2)) {}
  YuvPlanes Planes() { return YuvPlanes{y.data(), u.data(), v.data(), width, width / 2, width / 2}; }
};

std::vector<uint32_t> Noise(size_t count, uint32_t seed) {
  std::vector<uint32_t> pixels(count);
  for (uint32_t& p : pixels) {
    seed = seed * 1664525u + 1013904223u;
    p = seed;
  }
  return pixels;
}

TEST(Yuv420, KnownColours) {
  struct Case {
    uint32_t argb;
    int y, u, v;
  };
  // Y = 16 + 219 (0.2126 R + 0.7152 G + 0.0722 B) / 255, chroma around 128.
  const Case cases[] = {
      {0xFF000000, 16, 128, 128},  {0xFFFFFFFF, 235, 128, 128}, {0xFFFF0000, 63, 102, 240},
      {0xFF00FF00, 173, 42, 26},   {0xFF0000FF, 32, 240, 118},  {0xFF808080, 126, 128, 128},
      {0x00FFFFFF, 235, 128, 128},  // alpha plays no part
  };
  for (const Case& c : cases) {
    Picture out(2, 2);
    const std::vector<uint32_t> pixels(4, c.argb);
    ConvertToYuv420(pixels.data(), 2, 2, 2, out.Planes());
    EXPECT_EQ(out.y[0], c.y) << std::hex << c.argb;
    EXPECT_EQ(out.y[3], c.y) << std::hex << c.argb;
    EXPECT_EQ(out.u[0], c.u) << std::hex << c.argb;
    EXPECT_EQ(out.v[0], c.v) << std::hex << c.argb;
  }
}

TEST(Yuv420, ChromaIsTheMeanOfItsBlock) {
  // Two white and two black pixels: the chroma of grey, luma per pixel.
  const std::vector<uint32_t> pixels = {0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFFFFFFFF};
  Picture out(2, 2);
  ConvertToYuv420(pixels.data(), 2, 2, 2, out.Planes());
  EXPECT_EQ(out.y, (std::vector<uint8_t>{235, 16, 16, 235}));
  EXPECT_EQ(out.u[0], 128);
  EXPECT_EQ(out.v[0], 128);
  // Red over blue: the mean of the two colours' chroma.
  const std::vector<uint32_t> mixed = {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF};
  ConvertToYuv420(mixed.data(), 2, 2, 2, out.Planes());
  EXPECT_NEAR(out.u[0], (102 + 240) / 2, 1);
  EXPECT_NEAR(out.v[0], (240 + 118) / 2, 1);
}

TEST(Yuv420, VectorPathMatchesScalarForAnyWidthAndPitch) {
  struct Case {
    int width, height;
    size_t pitch;
  };
  // Widths around the 16-pixel step, and rows with padding.
  const Case cases[] = {{1280, 8, 1280}, {2, 2, 2}, {14, 4, 14}, {16, 4, 16}, {18, 6, 18}, {34, 2, 40}, {1920, 4, 1936}};
  for (const Case& c : cases) {
    const std::vector<uint32_t> pixels = Noise(c.pitch * static_cast<size_t>(c.height), static_cast<uint32_t>(c.width));
    Picture fast(c.width, c.height);
    Picture slow(c.width, c.height);
    ConvertToYuv420(pixels.data(), c.pitch, c.width, c.height, fast.Planes());
    ConvertToYuv420Scalar(pixels.data(), c.pitch, c.width, c.height, slow.Planes());
    EXPECT_EQ(fast.y, slow.y) << c.width;
    EXPECT_EQ(fast.u, slow.u) << c.width;
    EXPECT_EQ(fast.v, slow.v) << c.width;
  }
}

TEST(Yuv420, AgreesWithSwscaleWithinARoundingStep) {
  // Smooth content (swscale filters chroma differently at hard edges):
  // gradients in each channel.
  const int width = 64;
  const int height = 32;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 4);
      const uint32_t g = static_cast<uint32_t>(y * 8);
      const uint32_t b = static_cast<uint32_t>(255 - x * 2);
      pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  Picture ours(width, height);
  ConvertToYuv420(pixels.data(), width, width, height, ours.Planes());

  SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_YUV420P,
                                   SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
  ASSERT_NE(sws, nullptr);
  sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0,
                           1 << 16, 1 << 16);
  Picture theirs(width, height);
  const uint8_t* source[1] = {reinterpret_cast<const uint8_t*>(pixels.data())};
  const int sourceStride[1] = {width * 4};
  uint8_t* dest[3] = {theirs.y.data(), theirs.u.data(), theirs.v.data()};
  const int destStride[3] = {width, width / 2, width / 2};
  sws_scale(sws, source, sourceStride, 0, height, dest, destStride);
  sws_freeContext(sws);

  for (size_t i = 0; i < ours.y.size(); ++i) ASSERT_NEAR(ours.y[i], theirs.y[i], 1) << "luma " << i;
  // Chroma inside the picture (swscale's filter reaches across the edges).
  for (int y = 1; y < height / 2 - 1; ++y) {
    for (int x = 1; x < width / 2 - 1; ++x) {
      const size_t i = static_cast<size_t>(y) * (width / 2) + x;
      ASSERT_NEAR(ours.u[i], theirs.u[i], 2) << "cb " << x << "," << y;
      ASSERT_NEAR(ours.v[i], theirs.v[i], 2) << "cr " << x << "," << y;
    }
  }
}

}  // namespace
