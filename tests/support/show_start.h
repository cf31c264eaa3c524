// The show started headless for tests that render its frames: a Windows
// folder of generated pictures, the program's window and device, and small
// readers for the frames it presents.
//
// Every picture is 256 x 256 (a power of two, so the loader keeps its texels
// as they are): red grows with x (red = x), blue with y (blue = y), and green
// is a flat value of the picture's own (PictureGreen), so a texel tells which
// picture it came from and where in it it lies.
#pragma once

#include <standin.h>
#include <windows.h>

#include <string>
#include <vector>

namespace showtest {

constexpr int kPictureSize = 256;
// The lock-screen pictures, by position in the loading order.
constexpr int kPictureNumbers[5] = {104, 101, 102, 103, 100};

// Green of picture img<number>: 40, 80, 120, 160, 200 for img100 to img104.
int PictureGreen(int number);
// Green of the decoys written under the other extension (img104.png, ...):
// a picture loaded under the wrong name shows it.
constexpr int kDecoyGreen = 250;

// How a generated Windows folder differs from a complete one.
struct FolderPlan {
  int missingNumber = -1;  // this picture is not written
  int corruptNumber = -1;  // this picture is cut off after its first bytes
};

// Writes <root>/web/screen/img100.jpg ... img104.jpg (JPEG at even loading
// positions, PNG at odd ones, as the show names them) with their decoys,
// and <root>/media/Ring03.wav and Ring05.wav (a short tone each). False on
// a file error.
bool WriteWindowsFolder(const std::string& root, const FolderPlan& plan = FolderPlan());

// Headless display, virtual clock at 0, no audio device; WINDIR set to
// `windowsDir` and read into g_WindowsDir; then the show's window and
// device. The loading sequence is the caller's to run.
bool StartShow(const std::string& windowsDir);

// --- Frames ------------------------------------------------------------------

inline DWORD Rgb(const StandinFrame& f, int x, int y) {
  return f.pixels[static_cast<size_t>(y) * f.width + x] & 0x00FFFFFFu;
}
inline int Red(DWORD rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline int Green(DWORD rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline int Blue(DWORD rgb) { return static_cast<int>(rgb & 0xFF); }

// A copy of a frame's pixels, for frames that are gone by the time a test
// looks at them.
struct FrameCopy {
  std::vector<DWORD> pixels;
  UINT width = 0;
  UINT height = 0;
  StandinFrame View() const { return StandinFrame{pixels.data(), width, height}; }
};
FrameCopy Copy(const StandinFrame& frame);
// The last presented frame, or the back buffer as it is now.
FrameCopy LastFrame();
FrameCopy BackBuffer();

// The smallest rectangle holding every pixel of [left, right) x [top, bottom)
// whose RGB differs from `background`; `found` false when there is none.
struct Box {
  bool found = false;
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};
Box InkBox(const StandinFrame& frame, int left, int top, int right, int bottom,
           DWORD background = 0);

}  // namespace showtest
