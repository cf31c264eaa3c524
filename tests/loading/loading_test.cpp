// The loading sequence and its progress screen: the bar's rectangles, the
// status line of each step, the order in which the work happens between the
// progress frames, and the lock-screen pictures that end up in g_Wallpapers,
// including the ones that cannot be loaded.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/loading.h"
#include "started_show.h"
#include "support/temp_dir.h"
#include "text/label.h"

namespace {

using showtest::Rgb;

constexpr int kW = kScreenWidth;
constexpr int kH = kScreenHeight;
constexpr int kCy = kH / 2;
constexpr DWORD kWhite = 0xFFFFFF;

// --- The bar's rectangles --------------------------------------------------------

struct BarCase {
  float percent;
  float fillRight720;
  float fillRight1080;
};

void PrintTo(const BarCase& c, std::ostream* out) { *out << c.percent << "%"; }

class ProgressBarRectangles : public testing::TestWithParam<BarCase> {};

TEST_P(ProgressBarRectangles, FollowTheScreenSizeInFixedPixels) {
  const BarCase& c = GetParam();
  const ProgressBarLayout bar = ProgressBarAt(c.percent);
  const bool tall = kH == 1080;
  EXPECT_EQ(bar.frameLeft, 50.0f);
  EXPECT_EQ(bar.frameTop, tall ? 515.0f : 335.0f);
  EXPECT_EQ(bar.frameRight, tall ? 1870.0f : 1230.0f);
  EXPECT_EQ(bar.frameBottom, tall ? 565.0f : 385.0f);
  EXPECT_EQ(bar.insideLeft, 52.0f);
  EXPECT_EQ(bar.insideTop, tall ? 517.0f : 337.0f);
  EXPECT_EQ(bar.insideRight, tall ? 1868.0f : 1228.0f);
  EXPECT_EQ(bar.insideBottom, tall ? 563.0f : 383.0f);
  EXPECT_FLOAT_EQ(bar.fillRight, tall ? c.fillRight1080 : c.fillRight720);
}

INSTANTIATE_TEST_SUITE_P(Percent, ProgressBarRectangles,
                         testing::Values(BarCase{0.0f, 52.0f, 52.0f},        // nothing filled
                                         BarCase{30.0f, 404.8f, 596.8f},
                                         BarCase{100.0f, 1228.0f, 1868.0f}));  // the whole inside

TEST(ProgressLabelIndex, OneLabelPerTenthUpToTheFourth) {
  const struct {
    float percent;
    int index;
  } cases[] = {{0.0f, 0},  {9.9f, 0},  {10.0f, 1},  {19.9f, 1}, {20.0f, 2},
               {30.0f, 3}, {40.0f, 3}, {90.0f, 3}, {100.0f, 3}};
  for (const auto& c : cases) EXPECT_EQ(ProgressLabelIndex(c.percent), c.index) << c.percent << "%";
  EXPECT_STREQ(kProgressLabels[0], "generating music");
  EXPECT_STREQ(kProgressLabels[1], "loading");
  EXPECT_STREQ(kProgressLabels[2], "generating fonts");
  EXPECT_STREQ(kProgressLabels[3], "rendering background pictures");
}

// --- The progress frames of the start-up sequence ---------------------------------

constexpr int kStepCount = 11;  // 0 %, 10 %, ..., 100 %

// Whether the bar makes pixel (x, y) white at `percent`: Direct3D 9 fills a
// pixel whose centre (its integer coordinates) lies in [left, right) x
// [top, bottom).
bool BarWhite(int x, int y, double percent) {
  const double fillRight = 52.0 + (kW - 104) * percent / 100.0;
  const bool frame = x >= 50 && x < kW - 50 && y >= kCy - 25 && y < kCy + 25;
  const bool inside = x >= 52 && x < kW - 52 && y >= kCy - 23 && y < kCy + 23;
  if (!frame) return false;
  if (!inside) return true;
  return x < fillRight;
}

TEST(LoadingSequence, PresentsElevenFramesWithTheBarOfEachStep) {
  const std::vector<ProgressRecord>& frames = RecordedProgress();
  ASSERT_EQ(frames.size(), static_cast<size_t>(kStepCount));
  for (int step = 0; step < kStepCount; ++step) {
    SCOPED_TRACE(std::to_string(step * 10) + "%");
    const StandinFrame f = frames[step].frame.View();
    ASSERT_EQ(f.width, static_cast<UINT>(kW));
    // The bar, pixel for pixel, with black all round it.
    int wrong = 0, firstX = -1, firstY = -1;
    for (int y = kCy - 40; y < kCy + 40; ++y) {
      for (int x = 0; x < kW; ++x) {
        if (Rgb(f, x, y) == (BarWhite(x, y, step * 10.0) ? kWhite : 0u)) continue;
        if (wrong++ == 0) firstX = x, firstY = y;
      }
    }
    EXPECT_EQ(wrong, 0) << "first at (" << firstX << ", " << firstY << ")";
    // The fill read from the middle row: whole white columns from 52 on.
    int filled = 0;
    while (52 + filled < kW - 52 && Rgb(f, 52 + filled, kCy) == kWhite) ++filled;
    const int expected = static_cast<int>(ceil(52.0 + (kW - 104) * step / 10.0)) - 52;
    EXPECT_EQ(filled, expected);
  }
}

// The upper part of each frame holds the status line alone, drawn exactly
// as DrawLabel draws the label of that step.
TEST(LoadingSequence, ShowsTheStatusLineOfEachStep) {
  const std::vector<ProgressRecord>& frames = RecordedProgress();
  ASSERT_EQ(frames.size(), static_cast<size_t>(kStepCount));
  showtest::FrameCopy labels[kProgressLabelCount];
  for (int i = 0; i < kProgressLabelCount; ++i) {
    g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    g_pDevice->BeginScene();
    DrawLabel(kProgressLabels[i], 0, 1.0f, 0.0f, kCy - 100.0f);
    g_pDevice->EndScene();
    labels[i] = showtest::BackBuffer();
    ASSERT_TRUE(showtest::InkBox(labels[i].View(), 0, 0, kW, kCy - 30).found) << kProgressLabels[i];
  }
  const int expectedLabel[kStepCount] = {0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3};
  for (int step = 0; step < kStepCount; ++step) {
    const StandinFrame f = frames[step].frame.View();
    const StandinFrame want = labels[expectedLabel[step]].View();
    int wrong = 0;
    for (int y = 0; y < kCy - 30; ++y)
      for (int x = 0; x < kW; ++x) wrong += Rgb(f, x, y) != Rgb(want, x, y);
    EXPECT_EQ(wrong, 0) << step * 10 << "% should show \"" << kProgressLabels[expectedLabel[step]]
                        << "\"";
  }
}

// The shaders are compiled after the first frame, each picture is loaded
// after the frame of its own step, the atlas after the 90 % frame, and the
// four one-second pauses follow the 10, 20, 30 and 90 % frames.
TEST(LoadingSequence, DoesItsWorkBetweenTheRightFrames) {
  const std::vector<ProgressRecord>& frames = RecordedProgress();
  ASSERT_EQ(frames.size(), static_cast<size_t>(kStepCount));
  const DWORD slept[kStepCount] = {0, 0, 1000, 2000, 3000, 3000, 3000, 3000, 3000, 3000, 4000};
  const unsigned loaded[kStepCount] = {0, 0, 0, 0, 0, 0x1, 0x3, 0x7, 0xF, 0x1F, 0x1F};
  for (int step = 0; step < kStepCount; ++step) {
    SCOPED_TRACE(std::to_string(step * 10) + "%");
    EXPECT_EQ(frames[step].slept, slept[step]);
    EXPECT_EQ(frames[step].loadedMask, loaded[step]);
    EXPECT_EQ(frames[step].shadersReady, step > 0);
    EXPECT_EQ(frames[step].atlasReady, step == 10);
  }
  EXPECT_EQ(StandinTotalSleep(), 4000u);
}

// --- The pictures ------------------------------------------------------------------

// The texel at the middle of a loaded picture (0 when it cannot be read).
DWORD MiddleTexel(IDirect3DTexture9* texture) {
  D3DSURFACE_DESC desc;
  if (FAILED(texture->GetLevelDesc(0, &desc))) return 0;
  if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8) return 0;
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0;
  const BYTE* row = static_cast<const BYTE*>(locked.pBits) + locked.Pitch * (desc.Height / 2);
  const DWORD texel = reinterpret_cast<const DWORD*>(row)[desc.Width / 2];
  texture->UnlockRect(0);
  return texel & 0x00FFFFFFu;
}

// g_Wallpapers[i] holds picture i of 104, 101, 102, 103, 100 under its own
// extension (a picture under the other extension is a decoy of another
// green); `expectLoaded` says which positions should have a texture.
void ExpectPictures(const bool (&expectLoaded)[kWallpaperTextureCount]) {
  for (int i = 0; i < kWallpaperTextureCount; ++i) {
    SCOPED_TRACE("position " + std::to_string(i));
    if (!expectLoaded[i]) {
      EXPECT_EQ(g_Wallpapers[i], nullptr);
      continue;
    }
    ASSERT_NE(g_Wallpapers[i], nullptr);
    const DWORD texel = MiddleTexel(g_Wallpapers[i]);
    EXPECT_NEAR(showtest::Green(texel), showtest::PictureGreen(showtest::kPictureNumbers[i]), 3);
    // The middle of the gradients: the picture is upright and whole.
    EXPECT_NEAR(showtest::Red(texel), 128, 3);
    EXPECT_NEAR(showtest::Blue(texel), 128, 3);
  }
}

TEST(LoadingSequence, EachWallpaperHoldsItsOwnPicture) {
  ExpectPictures({true, true, true, true, true});
}

// Runs the loading sequence again with g_WindowsDir set to `windowsDir` and
// empty wallpapers, then puts the start-up's folder and pictures back so the
// other tests keep them. Returns how many frames it presented.
DWORD RunLoadingIn(const std::string& windowsDir,
                   IDirect3DTexture9* (&result)[kWallpaperTextureCount]) {
  char savedDir[sizeof g_WindowsDir];
  memcpy(savedDir, g_WindowsDir, sizeof savedDir);
  IDirect3DTexture9* saved[kWallpaperTextureCount];
  memcpy(saved, g_Wallpapers, sizeof saved);
  memset(g_Wallpapers, 0, sizeof g_Wallpapers);
  snprintf(g_WindowsDir, sizeof g_WindowsDir, "%s", windowsDir.c_str());

  const DWORD before = StandinPresentCount();
  RunLoadingSequence();
  const DWORD presented = StandinPresentCount() - before;

  memcpy(result, g_Wallpapers, sizeof result);
  memcpy(g_Wallpapers, saved, sizeof saved);
  memcpy(g_WindowsDir, savedDir, sizeof savedDir);
  return presented;
}

// Puts `loaded` into g_Wallpapers for ExpectPictures, and back out.
struct WallpapersSwapped {
  IDirect3DTexture9* saved[kWallpaperTextureCount];
  explicit WallpapersSwapped(IDirect3DTexture9* const (&loaded)[kWallpaperTextureCount]) {
    memcpy(saved, g_Wallpapers, sizeof saved);
    memcpy(g_Wallpapers, loaded, sizeof saved);
  }
  ~WallpapersSwapped() { memcpy(g_Wallpapers, saved, sizeof saved); }
};

TEST(LoadingSequence, PictureThatCannotBeLoadedLeavesItsEntryEmpty) {
  const std::string windows = ScratchRoot() + "/broken";
  showtest::FolderPlan plan;
  plan.missingNumber = 101;
  plan.corruptNumber = 103;
  ASSERT_TRUE(showtest::WriteWindowsFolder(windows, plan));

  IDirect3DTexture9* loaded[kWallpaperTextureCount];
  EXPECT_EQ(RunLoadingIn(windows, loaded), static_cast<DWORD>(kStepCount));
  WallpapersSwapped swapped(loaded);
  ExpectPictures({true, false, true, false, true});
}

// The path buffer holds 268 bytes: "\web\screen\img104.jpg" is 22 of them,
// so a Windows folder of 245 characters is the longest that fits. A longer
// one loads nothing, although its pictures are there, and writes nothing
// past the buffer.
class LongWindowsFolder : public testing::TestWithParam<size_t> {};

TEST_P(LongWindowsFolder, LoadsOnlyWhenThePathFits) {
  const size_t length = GetParam();
  const std::string base = ScratchRoot() + "/";
  ASSERT_LT(base.size() + 2, length);
  const std::string windows = base + std::string(length - base.size(), 'w');
  ASSERT_EQ(windows.size(), length);
  ASSERT_TRUE(showtest::WriteWindowsFolder(windows));

  IDirect3DTexture9* loaded[kWallpaperTextureCount];
  EXPECT_EQ(RunLoadingIn(windows, loaded), static_cast<DWORD>(kStepCount));
  const bool fits = length <= 245;
  WallpapersSwapped swapped(loaded);
  ExpectPictures({fits, fits, fits, fits, fits});
}

INSTANTIATE_TEST_SUITE_P(Length, LongWindowsFolder, testing::Values(245u, 246u, 259u),
                         [](const testing::TestParamInfo<size_t>& info) {
                           return "Chars" + std::to_string(info.param);
                         });

}  // namespace
