// The five generated lock-screen pictures: landscapes painted from
// gradients, Perlin noise, discs and layered silhouettes. Every value is a
// function of the pixel position only, so the output is the same on every
// run.
#include "pictures.h"

#include <math.h>
#include <stb_perlin.h>

namespace {

struct Color {
  float r, g, b;
};

Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Color operator*(Color a, float s) { return {a.r * s, a.g * s, a.b * s}; }
Color operator*(Color a, Color b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }

Color Mix(Color a, Color b, float t) { return a * (1.0f - t) + b * t; }
float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
float Smoothstep(float edge0, float edge1, float x) {
  const float t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}
Color Hex(unsigned value) {
  return {((value >> 16) & 0xFF) / 255.0f, ((value >> 8) & 0xFF) / 255.0f, (value & 0xFF) / 255.0f};
}

// Gradient through several colours at increasing stops.
struct Stop {
  float at;
  Color color;
};
template <int N>
Color Ramp(const Stop (&stops)[N], float t) {
  if (t <= stops[0].at) return stops[0].color;
  for (int i = 1; i < N; ++i) {
    if (t <= stops[i].at) {
      return Mix(stops[i - 1].color, stops[i].color, Smoothstep(stops[i - 1].at, stops[i].at, t));
    }
  }
  return stops[N - 1].color;
}

float Fbm(float x, float y, float z, int octaves) { return stb_perlin_fbm_noise3(x, y, z, 2.0f, 0.5f, octaves); }

// A repeatable pseudo-random value in [0, 1) for an integer cell.
float Hash(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFF) / 16777216.0f;
}

// A soft sun or moon: bright disc, thin rim and a wide glow.
float Disc(float dx, float dy, float radius, float edge) {
  const float d = sqrtf(dx * dx + dy * dy);
  return 1.0f - Smoothstep(radius - edge, radius + edge, d);
}

// Height (as a fraction of the picture from the top) of a ridge line.
float Ridge(float x, float base, float amplitude, float frequency, float seed, int octaves) {
  return base - amplitude * Fbm(x * frequency, seed, seed * 0.37f, octaves);
}

// ---------------------------------------------------------------------------
// 0: dawn over layered hills with mist between them.
Color DawnHills(float x, float y, float aspect) {
  static const Stop kSky[] = {{0.0f, Hex(0x24355f)}, {0.28f, Hex(0x5a5f8c)}, {0.45f, Hex(0xd99a8a)},
                              {0.58f, Hex(0xffd3a1)}};
  const float sunX = 0.64f * aspect, sunY = 0.40f;
  Color c = Ramp(kSky, y);
  const float dx = x - sunX, dy = y - sunY;
  const float d = sqrtf(dx * dx + dy * dy);
  c = c + Hex(0xffb070) * (0.55f * expf(-d * 5.0f)) + Hex(0xfff0d0) * (0.35f * expf(-d * 18.0f));
  // Long thin clouds lit from below.
  const float streak = Fbm(x * 1.6f, y * 9.0f, 3.1f, 5);
  const float cloud = Smoothstep(0.05f, 0.45f, streak) * Smoothstep(0.5f, 0.15f, y);
  c = Mix(c, Mix(Hex(0x6b5a7a), Hex(0xffc89a), Smoothstep(0.1f, 0.45f, y)), cloud * 0.7f);
  c = Mix(c, Hex(0xfff6e4), Disc(dx, dy, 0.035f, 0.004f));

  // Five hill layers, far to near; each shades toward the haze with
  // distance and fills with mist near its foot.
  static const Color kLayer[] = {Hex(0x9f8fb2), Hex(0x7c6f9a), Hex(0x584f7c), Hex(0x363556), Hex(0x1d2236)};
  const Color haze = Hex(0xf2c6b0);
  for (int i = 0; i < 5; ++i) {
    const float ridge = Ridge(x, 0.52f + 0.085f * i, 0.10f + 0.03f * i, 1.1f + 0.35f * i, 7.0f + i * 3.3f, 5);
    if (y >= ridge) {
      const float distance = (4 - i) / 4.0f;
      Color hill = Mix(kLayer[i], haze, distance * 0.35f);
      // Light catches the ridge from the sun's side.
      const float rim = expf(-(y - ridge) * 140.0f) * Clamp01(1.0f - fabsf(x - sunX) * 0.9f);
      hill = hill + Hex(0xffb88a) * (rim * 0.25f);
      const float mist = Smoothstep(ridge + 0.02f, ridge + 0.11f, y);
      c = Mix(hill, Mix(hill, haze, 0.55f - 0.1f * i), mist * (i < 4 ? 0.8f : 0.25f));
    }
  }
  return c;
}

// ---------------------------------------------------------------------------
// 1: the sun setting into the sea, with its path of light on the water.
Color SkyAtSunset(float x, float y, float aspect, float horizon) {
  static const Stop kSky[] = {{0.0f, Hex(0x1b1740)}, {0.22f, Hex(0x4a2a62)}, {0.42f, Hex(0xc0506a)},
                              {0.53f, Hex(0xf59a5a)}, {0.58f, Hex(0xffd08a)}};
  Color c = Ramp(kSky, y / horizon * 0.58f);
  const float sunX = 0.45f * aspect, sunY = horizon - 0.045f;
  const float dx = x - sunX, dy = (y - sunY) * 1.15f;
  const float d = sqrtf(dx * dx + dy * dy);
  c = c + Hex(0xff9850) * (0.5f * expf(-d * 4.0f)) + Hex(0xffe0a0) * (0.45f * expf(-d * 22.0f));
  // Bands of dark cloud across the afterglow.
  const float band = Fbm(x * 1.2f, y * 14.0f, 9.5f, 5);
  const float cloud = Smoothstep(0.08f, 0.38f, band) * Smoothstep(horizon, horizon - 0.2f, y);
  const Color cloudColor = Mix(Hex(0x3a2148), Hex(0xe07a5a), expf(-d * 3.0f));
  c = Mix(c, cloudColor, cloud * 0.85f);
  c = Mix(c, Hex(0xfff3d2), Disc(dx, dy, 0.06f, 0.003f));
  return c;
}

Color SeaSunset(float x, float y, float aspect) {
  const float horizon = 0.60f;
  // A headland on the left, dark against the sky.
  const float land = Ridge(x, horizon + 0.002f, 0.07f, 2.2f, 21.0f, 5) + Smoothstep(0.15f, 0.55f, x) * 0.09f;
  if (y < horizon) {
    if (y >= land && x < 0.9f) return Mix(Hex(0x1c1226), Hex(0x3a1f3a), (horizon - y) * 6.0f);
    return SkyAtSunset(x, y, aspect, horizon);
  }
  // Water: the sky mirrored about the horizon, broken up by waves that get
  // smaller toward the horizon.
  const float depth = (y - horizon) / (1.0f - horizon);
  const float perspective = 0.02f + depth;
  const float wave = Fbm(x * 6.0f / perspective, y * 60.0f / perspective, 1.7f, 4);
  const float mirrored = horizon - (y - horizon) * 0.9f + wave * 0.03f * perspective;
  Color c = SkyAtSunset(x + wave * 0.02f, mirrored < 0.0f ? 0.0f : mirrored, aspect, horizon);
  c = Mix(c * Hex(0x7a88b8), Hex(0x141a36), Smoothstep(0.0f, 1.0f, depth) * 0.75f);
  // The sun's path: glints where wave crests face the viewer.
  const float sunX = 0.45f * aspect;
  const float path = expf(-fabsf(x - sunX) / (0.03f + 0.2f * depth));
  const float glint = Smoothstep(0.12f, 0.4f, Fbm(x * 40.0f / perspective, y * 300.0f / perspective, 5.0f, 3));
  c = c + Hex(0xffc070) * (path * glint * (1.2f - depth * 0.6f)) + Hex(0xff9050) * (path * 0.18f);
  return c;
}

// ---------------------------------------------------------------------------
// 2: snow peaks above a forest, mirrored in a still lake.
Color MountainsAbove(float x, float y, float aspect) {
  static const Stop kSky[] = {{0.0f, Hex(0x3f78c0)}, {0.35f, Hex(0x86b6e6)}, {0.6f, Hex(0xd8e8f2)}};
  Color c = Ramp(kSky, y);
  const float soft = Fbm(x * 2.0f, y * 5.0f, 11.0f, 5);
  c = Mix(c, Hex(0xf4f7fb), Smoothstep(0.1f, 0.55f, soft) * Smoothstep(0.45f, 0.1f, y) * 0.8f);
  (void)aspect;

  // Far range in blue haze, then the main range with snow and rock.
  const float far = 0.36f - 0.12f * stb_perlin_ridge_noise3(x * 1.3f, 2.0f, 4.0f, 2.0f, 0.5f, 1.0f, 5);
  if (y >= far) c = Mix(Hex(0x8aa6c8), Hex(0xb9cbe0), Smoothstep(far, far + 0.2f, y));
  // The main range: the silhouette from a ridged noise line, the faces
  // from a 2-D ridged field whose crests and gullies are lit from the left.
  const float ridge = 0.53f - 0.27f * powf(stb_perlin_ridge_noise3(x * 1.3f, 6.0f, 1.0f, 2.1f, 0.5f, 1.0f, 6), 1.4f);
  if (y >= ridge) {
    const float e = 0.0015f;
    auto face = [](float fx, float fy) {
      return stb_perlin_ridge_noise3(fx * 4.0f, fy * 6.0f, 3.0f, 2.0f, 0.5f, 1.0f, 6);
    };
    const float here = face(x, y);
    const float slopeX = (face(x + e, y) - face(x - e, y)) / (2.0f * e);
    const float slopeY = (face(x, y + e) - face(x, y - e)) / (2.0f * e);
    const float light = Clamp01(0.55f - slopeX * 0.02f - slopeY * 0.012f);
    const float below = y - ridge;
    const float snowLine = 0.40f + 0.05f * Fbm(x * 6.0f, 0.5f, 3.0f, 3);
    const float snow = Smoothstep(snowLine + 0.02f, snowLine - 0.04f, y) * Smoothstep(0.25f, 0.55f, here + 0.25f - below);
    const Color rock = Mix(Hex(0x2e3442), Hex(0x8d8b94), light);
    const Color snowColor = Mix(Hex(0x8ea4c8), Hex(0xffffff), light);
    c = Mix(rock, snowColor, snow);
    // Haze thickens toward the valley floor.
    c = Mix(c, Hex(0xb9cbe0), 0.1f + 0.5f * Smoothstep(0.45f, 0.58f, y));
  }
  // The forest: a band of dark firs along the shore with jagged tops.
  const float trees = 0.57f - 0.02f * Fbm(x * 3.0f, 1.0f, 8.0f, 3) -
                      0.018f * fabsf(stb_perlin_noise3(x * 160.0f, 0.5f, 2.0f, 0, 0, 0));
  if (y >= trees) {
    const float shade = Fbm(x * 60.0f, y * 40.0f, 6.0f, 3);
    c = Mix(Hex(0x13261d), Hex(0x2f4a34), Clamp01(0.4f + shade));
  }
  return c;
}

Color MountainLake(float x, float y, float aspect) {
  const float shore = 0.62f;
  if (y < shore) return MountainsAbove(x, y, aspect);
  const float depth = (y - shore) / (1.0f - shore);
  // Fine horizontal ripples shift the reflection sideways.
  const float ripple = Fbm(x * 3.0f, y * 120.0f, 4.0f, 3) * 0.006f * (0.3f + depth);
  Color c = MountainsAbove(x + ripple, shore - (y - shore) * 1.1f - 0.05f, aspect);
  c = Mix(c * Hex(0xb8c8d8), Hex(0x1e3548), 0.25f + 0.45f * depth);
  // A lighter line where the water meets the shore.
  c = c + Hex(0x6a86a0) * (expf(-(y - shore) * 300.0f) * 0.3f);
  return c;
}

// ---------------------------------------------------------------------------
// 3: a night of stars and aurora over dark hills, the moon rising.
Color NightAurora(float x, float y, float aspect) {
  static const Stop kSky[] = {{0.0f, Hex(0x03061a)}, {0.5f, Hex(0x0b1a3a)}, {0.78f, Hex(0x1d3c55)}};
  Color c = Ramp(kSky, y);

  // Stars: one candidate per small cell, most of them dim.
  const float cell = 0.006f;
  const int cx = static_cast<int>(floorf(x / cell)), cy = static_cast<int>(floorf(y / cell));
  for (int oy = -1; oy <= 1; ++oy) {
    for (int ox = -1; ox <= 1; ++ox) {
      const int sx = cx + ox, sy = cy + oy;
      const float chance = Hash(sx, sy, 1);
      if (chance > 0.22f) continue;
      const float px = (sx + Hash(sx, sy, 2)) * cell, py = (sy + Hash(sx, sy, 3)) * cell;
      const float dx = (x - px) * 1080.0f, dy = (y - py) * 1080.0f;
      const float size = 0.5f + 1.6f * powf(Hash(sx, sy, 4), 6.0f);
      const float bright = expf(-(dx * dx + dy * dy) / (size * size)) * (0.35f + 0.65f * Hash(sx, sy, 5));
      const Color tint = Mix(Hex(0xb8ccff), Hex(0xffe2b8), Hash(sx, sy, 6));
      c = c + tint * (bright * Smoothstep(0.85f, 0.4f, y));
    }
  }
  // A faint band of the galaxy.
  const float band = expf(-powf((y - 0.55f + x * 0.3f) * 4.0f, 2.0f));
  c = c + Hex(0x5a6a9a) * (band * Clamp01(Fbm(x * 4.0f, y * 4.0f, 12.0f, 6) + 0.3f) * 0.25f);

  // Aurora: rays rising from a wavy ribbon that comes and goes along the
  // sky, green at its foot and violet at the top.
  const float base = 0.40f + 0.10f * Fbm(x * 1.1f, 3.0f, 5.0f, 3);
  const float presence = Smoothstep(-0.15f, 0.25f, Fbm(x * 0.9f, 8.0f, 1.0f, 3));
  const float warp = Fbm(x * 2.5f, 1.0f, 2.0f, 3) * 5.0f;
  const float rays = Clamp01(0.55f + 0.9f * Fbm(x * 22.0f + warp, 0.3f, 7.0f, 3));
  const float above = base - y;
  const float height = 0.12f + 0.18f * Clamp01(Fbm(x * 3.0f, 4.0f, 4.0f, 3) + 0.5f);
  const float rise = above > 0.0f ? expf(-above / height * 2.2f) : expf(above * 70.0f);
  const Color aurora = Mix(Hex(0x38ffa0), Hex(0x8a4cff), Smoothstep(0.0f, height, above));
  c = c + aurora * (presence * rays * rise * 0.8f);

  // The moon, with a few darker seas on it.
  const float moonX = 0.82f * aspect, moonY = 0.2f;
  const float mdx = x - moonX, mdy = y - moonY;
  const float md = sqrtf(mdx * mdx + mdy * mdy);
  c = c + Hex(0x9fb4d8) * (0.25f * expf(-md * 10.0f));
  const float seas = Smoothstep(0.1f, 0.35f, Fbm(x * 40.0f, y * 40.0f, 3.0f, 4));
  c = Mix(c, Mix(Hex(0xf4f1e6), Hex(0xbdb8aa), seas), Disc(mdx, mdy, 0.045f, 0.0025f));

  // Two silhouettes of hills, the far one lit faintly by the aurora.
  const float farRidge = Ridge(x, 0.74f, 0.07f, 1.6f, 31.0f, 5);
  if (y >= farRidge) c = Mix(Hex(0x0c1e22), Hex(0x16352f), expf(-(y - farRidge) * 30.0f));
  const float nearRidge = Ridge(x, 0.86f, 0.08f, 2.4f, 37.0f, 6);
  if (y >= nearRidge) c = Hex(0x04080c);
  return c;
}

// ---------------------------------------------------------------------------
// 4: a summer day, heaped clouds over rolling green fields.
Color SummerFields(float x, float y, float aspect) {
  static const Stop kSky[] = {{0.0f, Hex(0x2a63b8)}, {0.3f, Hex(0x4f8fd8)}, {0.55f, Hex(0xb8d8f0)}};
  Color c = Ramp(kSky, y);
  const float sunX = 0.15f * aspect, sunY = 0.08f;
  const float sdx = x - sunX, sdy = y - sunY;
  const float sd = sqrtf(sdx * sdx + sdy * sdy);
  c = c + Hex(0xfff4d8) * (0.6f * expf(-sd * 7.0f)) + Hex(0xffffff) * Disc(sdx, sdy, 0.03f, 0.006f);

  // Cumulus: noise shaped into flat-bottomed heaps; lit from the sun's
  // side by sampling the density a little toward the sun.
  const float shape = Fbm(x * 2.2f, y * 4.5f, 17.0f, 6) + Smoothstep(0.45f, 0.1f, y) * 0.35f - 0.25f;
  const float density = Smoothstep(0.0f, 0.25f, shape) * Smoothstep(0.52f, 0.38f, y);
  if (density > 0.0f) {
    const float toward = Fbm((x - sdx * 0.04f) * 2.2f, (y - sdy * 0.04f) * 4.5f, 17.0f, 6) - 0.25f;
    const float lit = Clamp01(0.6f + (shape - toward) * 4.0f);
    const Color cloud = Mix(Hex(0x9aa6b8), Hex(0xffffff), lit);
    c = Mix(c, cloud, density);
  }

  // Rolling hills: pale and blue far away, deep green close up, dappled
  // by the shadows of the clouds.
  static const Color kField[] = {Hex(0x86a890), Hex(0x7aa24e), Hex(0x5e9436), Hex(0x3d7a26)};
  for (int i = 0; i < 4; ++i) {
    const float ridge = Ridge(x, 0.6f + 0.1f * i, 0.06f + 0.02f * i, 0.9f + 0.4f * i, 43.0f + 5.0f * i, 4);
    if (y >= ridge) {
      // Gentle swells across each hill, lit from the sun's side.
      const float e = 0.002f;
      auto swell = [i](float fx, float fy) { return Fbm(fx * (3.0f + i), fy * (5.0f + 2.0f * i), 20.0f + i, 4); };
      const float slope = (swell(x - e, y) - swell(x + e, y)) / (2.0f * e);
      const float grass = Fbm(x * 90.0f, y * 180.0f, 2.5f + i, 3) * (0.03f + 0.02f * i);
      const float shadow = Smoothstep(0.05f, 0.3f, Fbm(x * 1.6f + 3.0f, y * 2.0f, 17.0f, 5));
      const float fall = Smoothstep(ridge, ridge + 0.22f, y);  // crests bright, feet in shade
      Color field = kField[i] * (1.1f - 0.3f * fall + Clamp01(0.5f + slope * 0.01f) * 0.2f - 0.1f + grass -
                                 shadow * 0.3f * (i + 1) / 4.0f);
      // A line of dark hedges along each crest, and sunlight on its top.
      const float hedge = Smoothstep(0.004f, 0.0f, y - ridge - 0.004f) *
                          Smoothstep(-0.1f, 0.2f, Fbm(x * 12.0f, 5.0f + i, 1.0f, 3));
      field = Mix(field, Hex(0x1f3d18), hedge * (i >= 1 ? 0.85f : 0.3f));
      c = Mix(field, Hex(0xb8d8f0), (3 - i) * 0.1f);
    }
  }
  return c;
}

typedef Color (*Scene)(float x, float y, float aspect);

}  // namespace

void PaintPicture(int index, int width, int height, uint8_t* rgb) {
  static const Scene kScenes[kPictureCount] = {DawnHills, SeaSunset, MountainLake, NightAurora, SummerFields};
  const Scene scene = kScenes[index];
  const float aspect = static_cast<float>(width) / height;
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) {
      // Coordinates in picture heights, from the top-left corner.
      const float x = (px + 0.5f) / height, y = (py + 0.5f) / height;
      const Color c = scene(x, y, aspect);
      // A little dither keeps the smooth skies free of bands.
      const float dither = (Hash(px, py, 99 + index) - 0.5f) / 255.0f;
      uint8_t* out = rgb + (static_cast<size_t>(py) * width + px) * 3;
      out[0] = static_cast<uint8_t>(lroundf(Clamp01(c.r + dither) * 255.0f));
      out[1] = static_cast<uint8_t>(lroundf(Clamp01(c.g + dither) * 255.0f));
      out[2] = static_cast<uint8_t>(lroundf(Clamp01(c.b + dither) * 255.0f));
    }
  }
}
