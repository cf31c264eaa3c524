#include "support/show_start.h"

#include <stdint.h>
#include <stdlib.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include "app/main_loop.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace showtest {
namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

// The gradient picture with the given flat green, as a JPEG (at the
// highest quality, which stb writes without chroma subsampling) or a PNG.
std::vector<uint8_t> Picture(int green, bool png) {
  std::vector<uint8_t> rgb(static_cast<size_t>(kPictureSize) * kPictureSize * 3);
  for (int y = 0; y < kPictureSize; ++y) {
    for (int x = 0; x < kPictureSize; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * kPictureSize + x) * 3];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(green);
      p[2] = static_cast<uint8_t>(y);
    }
  }
  std::vector<uint8_t> file;
  const int ok = png ? stbi_write_png_to_func(Append, &file, kPictureSize, kPictureSize, 3,
                                              rgb.data(), kPictureSize * 3)
                     : stbi_write_jpg_to_func(Append, &file, kPictureSize, kPictureSize, 3,
                                              rgb.data(), 100);
  if (!ok) file.clear();
  return file;
}

}  // namespace

int PictureGreen(int number) { return 40 * (number - 99); }

bool WriteWindowsFolder(const std::string& root, const FolderPlan& plan) {
  const std::string screen = root + "/web/screen/";
  if (!testdir::MakeFolders(screen) || !testdir::MakeFolders(root + "/media")) return false;
  for (int position = 0; position < 5; ++position) {
    const int number = kPictureNumbers[position];
    const bool png = position % 2 == 1;
    const std::string name = "img" + std::to_string(number);
    if (!testdir::WriteFile(screen + name + (png ? ".jpg" : ".png"), Picture(kDecoyGreen, !png)))
      return false;
    if (number == plan.missingNumber) continue;
    std::vector<uint8_t> bytes = Picture(PictureGreen(number), png);
    if (bytes.empty()) return false;
    if (number == plan.corruptNumber) bytes.resize(48);
    if (!testdir::WriteFile(screen + name + (png ? ".png" : ".jpg"), bytes)) return false;
  }
  const std::vector<uint8_t> tone = wavtest::ToneWav(1, 22050, 16, 100);
  return testdir::WriteFile(root + "/media/Ring03.wav", tone) &&
         testdir::WriteFile(root + "/media/Ring05.wav", tone);
}

bool StartShow(const std::string& windowsDir) {
  StandinSetHeadless(true);
  StandinUseVirtualClock(0);
  StandinSetSoundOutputEnabled(false);
  setenv("WINDIR", windowsDir.c_str(), 1);
  GetWindowsDirectoryA(g_WindowsDir, sizeof g_WindowsDir);
  return CreateShowWindow(GetModuleHandleA(nullptr));
}

FrameCopy Copy(const StandinFrame& frame) {
  FrameCopy copy;
  copy.width = frame.width;
  copy.height = frame.height;
  copy.pixels.assign(frame.pixels, frame.pixels + static_cast<size_t>(frame.width) * frame.height);
  return copy;
}

FrameCopy LastFrame() {
  StandinFrame frame{};
  return StandinLastFrame(&frame) ? Copy(frame) : FrameCopy();
}

FrameCopy BackBuffer() {
  StandinFrame frame{};
  return StandinBackBuffer(&frame) ? Copy(frame) : FrameCopy();
}

Box InkBox(const StandinFrame& frame, int left, int top, int right, int bottom, DWORD background) {
  Box box;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (Rgb(frame, x, y) == (background & 0x00FFFFFFu)) continue;
      if (!box.found) {
        box = Box{true, x, y, x + 1, y + 1};
        continue;
      }
      if (x < box.left) box.left = x;
      if (x >= box.right) box.right = x + 1;
      if (y >= box.bottom) box.bottom = y + 1;
    }
  }
  return box;
}

}  // namespace showtest
