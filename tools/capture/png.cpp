#include "png.h"

#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_FOPEN_WRAP
#include <stb_image_write.h>

bool WriteFramePng(const std::string& path, const StandinFrame& frame) {
  std::vector<unsigned char> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
  for (size_t i = 0, n = static_cast<size_t>(frame.width) * frame.height; i < n; ++i) {
    const DWORD p = frame.pixels[i];
    rgb[3 * i] = static_cast<unsigned char>(p >> 16);
    rgb[3 * i + 1] = static_cast<unsigned char>(p >> 8);
    rgb[3 * i + 2] = static_cast<unsigned char>(p);
  }
  return stbi_write_png(path.c_str(), static_cast<int>(frame.width),
                        static_cast<int>(frame.height), 3, rgb.data(),
                        static_cast<int>(frame.width * 3)) != 0;
}
