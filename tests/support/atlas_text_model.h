// What atlas text should look like on screen, worked out from the baked
// records and bitmap alone, for tests that compare drawn frames with it.
//
// A glyph whose pen-plus-offset rounds to pixel P is drawn from P - 1 (the
// half-pixel corner truncated toward zero; from P itself when P <= 0) over
// exactly the record's width and height. Its vertices carry the record's
// texel edges, so the pixel centre at column i of the rectangle samples the
// atlas on the edge between texels x0 + i - 1 and x0 + i: bilinear filtering
// gives the mean of a 2 x 2 block of texels. Glyphs add to the frame.
#pragma once

#include <math.h>
#include <standin.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/glyph_atlas.h"

namespace atlasmodel {

// Where a glyph's rectangle starts on one axis.
inline int DrawnEdge(float pen, float offset) {
  const int rounded = static_cast<int>(floorf(pen + offset + 0.5f));
  return rounded > 0 ? rounded - 1 : rounded;
}

inline float AtlasTexel(int x, int y) {
  if (x < 0 || y < 0 || x >= kAtlasSize || y >= kAtlasSize) return 0.0f;
  return g_AtlasPixels[static_cast<size_t>(y) * kAtlasSize + x];
}

// A frame of expected grey levels (0 to 255, before the 8-bit clamp).
struct Image {
  int width = kScreenWidth;
  int height = kScreenHeight;
  std::vector<float> level = std::vector<float>(static_cast<size_t>(kScreenWidth) * kScreenHeight);

  float At(int x, int y) const { return level[static_cast<size_t>(y) * width + x]; }

  // Adds one glyph at the pen, `brightness` times its coverage; returns the
  // pen's advance.
  float AddGlyph(unsigned char code, float penX, float penY, float brightness) {
    const stbtt_bakedchar& r = g_BakedChars[code - kFirstBakedChar];
    const int left = DrawnEdge(penX, r.xoff);
    const int top = DrawnEdge(penY, r.yoff);
    for (int j = 0; j < r.y1 - r.y0; ++j) {
      for (int i = 0; i < r.x1 - r.x0; ++i) {
        const int x = left + i, y = top + j;
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        const int u = r.x0 + i, v = r.y0 + j;
        const float sample = 0.25f * (AtlasTexel(u - 1, v - 1) + AtlasTexel(u, v - 1) +
                                      AtlasTexel(u - 1, v) + AtlasTexel(u, v));
        level[static_cast<size_t>(y) * width + x] += brightness * sample;
      }
    }
    return r.xadvance;
  }

  // Adds a string, its pen starting at (penX, penY) in pixels.
  void AddText(const char* text, float penX, float penY, float brightness) {
    for (const char* c = text; *c; ++c)
      penX += AddGlyph(static_cast<unsigned char>(*c), penX, penY, brightness);
  }

  // Lays a black overlay of opacity `alpha` over the whole frame.
  void Darken(float alpha) {
    for (float& l : level) l *= 1.0f - alpha;
  }
};

// How a drawn frame compares with the expected one.
struct Comparison {
  int worstDifference = 0;
  int worstX = -1, worstY = -1;
  long inkPixels = 0;       // expected pixels of level 8 or more
  bool greyOnly = true;     // red, green and blue all rose by the same amount

  std::string Describe() const {
    return "worst difference " + std::to_string(worstDifference) + " at (" +
           std::to_string(worstX) + ", " + std::to_string(worstY) + "), " +
           std::to_string(inkPixels) + " ink pixels expected";
  }
};

// Compares each colour channel with the backdrop's plus the expected level.
inline Comparison Compare(const StandinFrame& frame, const Image& expected,
                          D3DCOLOR backdrop = 0xFF000000) {
  Comparison result;
  const int base[3] = {static_cast<int>((backdrop >> 16) & 0xFF),
                       static_cast<int>((backdrop >> 8) & 0xFF), static_cast<int>(backdrop & 0xFF)};
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const DWORD pixel = frame.pixels[static_cast<size_t>(y) * frame.width + x];
      const int channel[3] = {static_cast<int>((pixel >> 16) & 0xFF),
                              static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)};
      if (channel[0] - base[0] != channel[1] - base[1] || channel[1] - base[1] != channel[2] - base[2])
        result.greyOnly = false;
      if (expected.At(x, y) >= 8.0f) ++result.inkPixels;
      for (int c = 0; c < 3; ++c) {
        const float want = std::min(static_cast<float>(base[c]) + expected.At(x, y), 255.0f);
        const int difference = static_cast<int>(fabsf(static_cast<float>(channel[c]) - want) + 0.5f);
        if (difference > result.worstDifference) {
          result.worstDifference = difference;
          result.worstX = x;
          result.worstY = y;
        }
      }
    }
  }
  return result;
}

}  // namespace atlasmodel
