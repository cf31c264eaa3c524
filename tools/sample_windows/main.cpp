// sample-windows DIR: writes a stand-in Windows folder of our own making,
// with the lock-screen pictures and ring tones the show reads:
//   DIR/web/screen/img100.jpg ... img104.jpg/png
//   DIR/media/Ring03.wav, DIR/media/Ring05.wav
// The output is the same on every run.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <stb_image_write.h>

#include "pictures.h"
#include "tones.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kJpegQuality = 90;

// Picture `index` of PaintPicture goes to this file; the set of files and
// their formats is the one Windows 10 installs.
const char* const kPictureFiles[kPictureCount] = {"img104.jpg", "img101.png", "img102.jpg", "img103.png",
                                                  "img100.jpg"};
const char* const kToneFiles[kToneCount] = {"Ring03.wav", "Ring05.wav"};

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    fprintf(stderr, "sample-windows: %s exists and is not a folder\n", path.c_str());
    return false;
  }
  fprintf(stderr, "sample-windows: cannot create %s: %s\n", path.c_str(), strerror(errno));
  return false;
}

bool EndsWith(const char* text, const char* suffix) {
  const size_t a = strlen(text), b = strlen(suffix);
  return a >= b && strcmp(text + a - b, suffix) == 0;
}

bool WritePicture(const std::string& folder, int index) {
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  PaintPicture(index, kWidth, kHeight, rgb.data());
  const std::string path = folder + "/" + kPictureFiles[index];
  const int ok = EndsWith(kPictureFiles[index], ".png")
                     ? stbi_write_png(path.c_str(), kWidth, kHeight, 3, rgb.data(), kWidth * 3)
                     : stbi_write_jpg(path.c_str(), kWidth, kHeight, 3, rgb.data(), kJpegQuality);
  if (!ok) {
    fprintf(stderr, "sample-windows: cannot write %s\n", path.c_str());
    return false;
  }
  printf("%s\n", path.c_str());
  return true;
}

bool WriteTone(const std::string& folder, int index) {
  const std::vector<uint8_t> wav = EncodeWav16Stereo(SynthesizeTone(index), kToneRate);
  const std::string path = folder + "/" + kToneFiles[index];
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) {
    fprintf(stderr, "sample-windows: cannot create %s: %s\n", path.c_str(), strerror(errno));
    return false;
  }
  const bool written = fwrite(wav.data(), 1, wav.size(), file) == wav.size();
  const bool closed = fclose(file) == 0;
  if (!written || !closed) {
    fprintf(stderr, "sample-windows: cannot write %s\n", path.c_str());
    return false;
  }
  printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0' || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
    fprintf(stderr,
            "usage: sample-windows DIR\n"
            "Writes a stand-in Windows folder (web/screen/img100.jpg ... img104.jpg, media/Ring03.wav,\n"
            "media/Ring05.wav) of generated pictures and tones into DIR; run the show with WINDIR=DIR.\n");
    return argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) ? 0 : 2;
  }
  const std::string root = argv[1];
  const std::string web = root + "/web", screen = web + "/screen", media = root + "/media";
  for (const std::string& folder : {root, web, screen, media}) {
    if (!MakeFolder(folder)) return 1;
  }
  for (int i = 0; i < kToneCount; ++i) {
    if (!WriteTone(media, i)) return 1;
  }
  for (int i = 0; i < kPictureCount; ++i) {
    if (!WritePicture(screen, i)) return 1;
  }
  return 0;
}
