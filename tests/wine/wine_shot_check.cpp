// Checks a 1920 x 1080 screenshot of show-1080.exe running under Wine:
//   wine_shot_check intro FILE  the intro's three lines stand where they belong
//   wine_shot_check box FILE    a message box is on an otherwise black screen
// Prints what it measured and exits 0 when the picture is as expected.
#include <cstdio>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

struct Image {
  int width = 0, height = 0;
  unsigned char* rgb = nullptr;
  int Luma(int x, int y) const {
    const unsigned char* p = rgb + 3 * (static_cast<size_t>(y) * width + x);
    return (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
  }
  // Pixels brighter than `level` in the rectangle [x0, x1) x [y0, y1).
  long Bright(int x0, int y0, int x1, int y1, int level) const {
    long n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += Luma(x, y) > level;
    return n;
  }
};

// The intro in the 1080-line program: baselines 150, 450 and 750, pen
// starts 525, 900 and 825; capitals about 100 pixels tall.
int CheckIntro(const Image& img) {
  struct Band {
    const char* text;
    int x0, y0, x1, y1;
  } const kLines[] = {{"VELMORANDIQUE", 520, 50, 1750, 155},
                      {"IS", 895, 350, 1060, 455},
                      {"BACK", 820, 650, 1250, 755}};
  bool ok = true;
  for (const Band& b : kLines) {
    const long area = long(b.x1 - b.x0) * (b.y1 - b.y0);
    const long lit = img.Bright(b.x0, b.y0, b.x1, b.y1, 128);
    const bool here = lit > area / 20;
    std::printf("%-14s %6ld of %7ld pixels lit %s\n", b.text, lit, area, here ? "ok" : "MISSING");
    ok = ok && here;
  }
  // Between and around the lines (clear of the Q's tail) the screen is
  // black.
  const long stray = img.Bright(0, 200, img.width, 340, 64) + img.Bright(0, 790, img.width, 1080, 64);
  std::printf("lit pixels outside the lines: %ld\n", stray);
  return ok && stray < 200 ? 0 : 1;
}

int CheckBox(const Image& img) {
  long lit = 0;
  int x0 = img.width, y0 = img.height, x1 = -1, y1 = -1;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.Luma(x, y) > 100) {
        ++lit;
        x0 = x < x0 ? x : x0;
        x1 = x > x1 ? x : x1;
        y0 = y < y0 ? y : y0;
        y1 = y > y1 ? y : y1;
      }
  const int boxWidth = x1 - x0 + 1, boxHeight = y1 - y0 + 1;
  std::printf("lit pixels: %ld, within %d x %d at (%d, %d)\n", lit, boxWidth, boxHeight, x0, y0);
  // One small light dialog (about 130 x 60 pixels under Wine) and nothing
  // else: no picture, no text of the show.
  return lit > 3000 && boxWidth < 600 && boxHeight < 400 && lit * 2 > long(boxWidth) * boxHeight
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "intro") != 0 && std::strcmp(argv[1], "box") != 0)) {
    std::fprintf(stderr, "usage: wine_shot_check intro|box FILE.png\n");
    return 2;
  }
  Image img;
  int channels = 0;
  img.rgb = stbi_load(argv[2], &img.width, &img.height, &channels, 3);
  if (!img.rgb) {
    std::fprintf(stderr, "wine_shot_check: cannot read %s: %s\n", argv[2], stbi_failure_reason());
    return 2;
  }
  if (img.width != 1920 || img.height != 1080) {
    std::fprintf(stderr, "wine_shot_check: %s is %dx%d, not 1920x1080\n", argv[2], img.width,
                 img.height);
    return 2;
  }
  const int result = std::strcmp(argv[1], "intro") == 0 ? CheckIntro(img) : CheckBox(img);
  stbi_image_free(img.rgb);
  return result;
}
