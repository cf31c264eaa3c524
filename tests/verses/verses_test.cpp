// The verse slideshow through rendered frames: where a show time falls, the
// three lines of each verse, its pictogram, the picture's window and drift,
// a verse without its picture, the fades, and the sound requests of the
// whole show.
//
// The pictures are the generated gradients of support/show_start.h: red
// tells the u of a texel, blue its v, green which picture it came from.
#include <gtest/gtest.h>
#include <math.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/finale.h"
#include "show/frame.h"
#include "show/loading.h"
#include "show/sound_cues.h"
#include "show/verses.h"
#include "support/atlas_text_model.h"
#include "support/show_start.h"
#include "support/temp_dir.h"
#include "text/glyph_atlas.h"
#include "text/label.h"

namespace {

using showtest::Rgb;

constexpr int kW = kScreenWidth;
constexpr int kH = kScreenHeight;
constexpr float kScale = kScreenHeight == 1080 ? 1.5f : 1.0f;

class ShowLoaded : public testing::Environment {
 public:
  void SetUp() override {
    root_ = testdir::Make("verses-test");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(showtest::WriteWindowsFolder(root_));
    ASSERT_TRUE(showtest::StartShow(root_));
    RunLoadingSequence();
    for (IDirect3DTexture9* picture : g_Wallpapers) ASSERT_NE(picture, nullptr);
  }
  void TearDown() override { testdir::Remove(root_); }

 private:
  std::string root_;
};

const testing::Environment* const kShowLoaded = testing::AddGlobalTestEnvironment(new ShowLoaded);

DWORD VerseTime(int verse, DWORD phase) { return 13872 + 9380 * static_cast<DWORD>(verse) + phase; }

showtest::FrameCopy RenderAt(DWORD t) {
  g_ShowTime = t;
  RenderFrame();
  return showtest::LastFrame();
}

// Takes parts of a verse frame away for one render, so the others can be
// seen alone on black, and puts them back afterwards.
struct Without {
  bool picture = false;  // the verse's picture: its entry of g_Wallpapers
  bool text = false;     // the glyph atlas
  bool symbol = false;   // the Webdings font
};

showtest::FrameCopy RenderWithout(DWORD t, const Without& without) {
  const DWORD picture = VerseAt(t).picture;
  IDirect3DTexture9* const savedPicture = g_Wallpapers[picture];
  IDirect3DTexture9* const savedAtlas = g_GlyphAtlas;
  ID3DXFont* const savedFont = g_Fonts[3];
  if (without.picture) g_Wallpapers[picture] = nullptr;
  if (without.text) g_GlyphAtlas = nullptr;
  if (without.symbol) g_Fonts[3] = nullptr;
  showtest::FrameCopy frame = RenderAt(t);
  g_Wallpapers[picture] = savedPicture;
  g_GlyphAtlas = savedAtlas;
  g_Fonts[3] = savedFont;
  return frame;
}

// --- Where a show time falls --------------------------------------------------------

TEST(VerseAt, VerseLengthPictureAndWindow) {
  const struct {
    DWORD t;
    DWORD verse, phase, picture;
    float uOffset;
  } cases[] = {
      {13873, 0, 1, 0, 0.25f},     // the first verse frame
      {20000, 0, 6128, 0, 0.25f},
      {23251, 0, 9379, 0, 0.25f},  // the last millisecond of verse 0
      {23252, 1, 0, 1, 0.0f},
      {51392, 4, 0, 4, 0.0f},
      {60772, 5, 0, 0, 0.25f},     // verse 5 goes back to picture 0 and its offset
      {70151, 5, 9379, 0, 0.25f},
      {70152, 6, 0, 1, 0.0f},
      {79531, 6, 9379, 1, 0.0f},   // the last verse frame
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("t=" + std::to_string(c.t));
    const VerseMoment m = VerseAt(c.t);
    EXPECT_EQ(m.verse, c.verse);
    EXPECT_EQ(m.phase, c.phase);
    EXPECT_EQ(m.picture, c.picture);
    EXPECT_EQ(m.uOffset, c.uOffset);
    EXPECT_NEAR(m.drift, c.phase / 300000.0, 1e-9);
  }
  EXPECT_EQ(StretchAt(13872), kStretchGap);
  EXPECT_EQ(StretchAt(13873), kStretchVerses);
  EXPECT_EQ(StretchAt(79531), kStretchVerses);
  EXPECT_EQ(StretchAt(79532), kStretchFinale);
}

// --- Text and pictogram --------------------------------------------------------------

struct Verse {
  const char* lines[3];
  unsigned char symbol;
  float symbolY;  // 720-line units
};

// Seven verses of three lines each; '?' in the show's texts ends a line and
// is never drawn.
const Verse kVerses[7] = {
    {{"There are many", "ways we can take care", "of our earth."}, 0x5F, 80.0f},
    {{"Together, we can", "finally show her", "how much she is worth."}, 0x94, 80.0f},
    {{"For there is", "only one place", "that all of use call home."}, 0x42, 80.0f},
    {{"It is this", "pale blue dot", "of ours that we freeely roam."}, 0xFC, 80.0f},
    {{"Let's come together", "and show mother earth", "how much she's worth."}, 0x59, 40.0f},
    {{"Think of future generations,", "for she's not", "just our earth!"}, 0x84, 230.0f},
    {{"Let's ensure", "the world's survival and", "reduce reuse and recycle!"}, 0x60, 40.0f},
};

// The verse's three lines as the atlas draws them, pens at x 50 on the
// baselines 200, 350 and 500 (in 720-line units).
atlasmodel::Image VerseText(int verse) {
  atlasmodel::Image image;
  for (int line = 0; line < 3; ++line)
    image.AddText(kVerses[verse].lines[line], 50.0f * kScale, (200.0f + 150.0f * line) * kScale,
                  1.0f);
  return image;
}

class VerseFrame : public testing::TestWithParam<int> {};

// Fully visible, on black (its picture taken away) and without its
// pictogram: exactly the three lines, nothing for the '?'s.
TEST_P(VerseFrame, ShowsThreeLinesOnTheirBaselines) {
  const int verse = GetParam();
  const showtest::FrameCopy frame =
      RenderWithout(VerseTime(verse, 6000), Without{true, false, true});
  const atlasmodel::Comparison result = atlasmodel::Compare(frame.View(), VerseText(verse));
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
  EXPECT_TRUE(result.greyOnly);
  EXPECT_GT(result.inkPixels, 2000);
}

// The pictogram alone (no picture, no text): the verse's Webdings symbol at
// half size, moved by (740, y) x the layout scale from where DrawLabel puts
// it with no offset, so its centre line is at a quarter of the width plus
// 740 (1060 or 1590) and the top of its text line at its y.
TEST_P(VerseFrame, ShowsItsPictogramAtItsPlace) {
  const int verse = GetParam();
  const Verse& v = kVerses[verse];
  const showtest::FrameCopy frame =
      RenderWithout(VerseTime(verse, 6000), Without{true, true, false});

  const char text[2] = {static_cast<char>(v.symbol), '\0'};
  g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  g_pDevice->BeginScene();
  DrawLabel(text, 3, 0.5f, 0.0f, 0.0f);
  g_pDevice->EndScene();
  const showtest::FrameCopy origin = showtest::BackBuffer();

  const int dx = static_cast<int>(740.0f * kScale);
  const int dy = static_cast<int>(v.symbolY * kScale);
  int wrong = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int ox = x - dx, oy = y - dy;
      const DWORD want = ox >= 0 && oy >= 0 ? Rgb(origin.View(), ox, oy) : 0u;
      if (Rgb(frame.View(), x, y) != want && wrong++ == 0) firstX = x, firstY = y;
    }
  }
  EXPECT_EQ(wrong, 0) << "first at (" << firstX << ", " << firstY << ")";

  // Where DrawLabel put it: inside its half-size text box, centred on a
  // quarter of the width, the box's top at 0.
  RECT box = {0, 0, kW, kH};
  g_Fonts[3]->DrawTextA(nullptr, text, -1, &box, DT_CALCRECT | DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  const float halfWidth = 0.25f * static_cast<float>(box.right - box.left);
  const float halfHeight = 0.5f * static_cast<float>(box.bottom - box.top);
  const showtest::Box ink = showtest::InkBox(origin.View(), 0, 0, kW, kH);
  ASSERT_TRUE(ink.found);
  EXPECT_NEAR((ink.left + ink.right) / 2.0, kW / 4.0, 3.0);
  EXPECT_GE(ink.left, kW / 4.0f - halfWidth - 2.0f);
  EXPECT_LE(ink.right, kW / 4.0f + halfWidth + 2.0f);
  EXPECT_GE(ink.top, 0);
  EXPECT_LE(ink.bottom, halfHeight + 1.0f);
  EXPECT_GT((ink.right - ink.left) * (ink.bottom - ink.top), 40 * 40);
}

INSTANTIATE_TEST_SUITE_P(Verses, VerseFrame, testing::Range(0, 7),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Verse" + std::to_string(info.param);
                         });

// --- The picture --------------------------------------------------------------------

struct WindowCase {
  int verse;
  DWORD phase;
};

void PrintTo(const WindowCase& c, std::ostream* out) {
  *out << "verse " << c.verse << " phase " << c.phase;
}

class PictureWindow : public testing::TestWithParam<WindowCase> {};

// The picture k mod 5 fills the screen through the window u from o + d to
// o + 0.5 + d, v from 0.25 to 0.75 (o = 0.25 for picture 0, d = phase /
// 300000). Read along the bottom row (red: u) and the left column (blue: v),
// where no text or pictogram lies, late in the verse's full visibility,
// where the drift has moved the window by 5 to 7 levels of red.
TEST_P(PictureWindow, ShowsHalfThePictureDriftingRight) {
  const WindowCase& c = GetParam();
  const int picture = c.verse % 5;
  const double offset = picture == 0 ? 0.25 : 0.0;
  const double drift = c.phase / 300000.0;
  const double u0 = offset + drift, u1 = offset + 0.5 + drift;
  const showtest::FrameCopy shown = RenderAt(VerseTime(c.verse, c.phase));
  const StandinFrame f = shown.View();
  const int green = showtest::PictureGreen(showtest::kPictureNumbers[picture]);

  // Bilinear filtering between texel centres: texel x has red x, so a
  // sample at u reads u * 256 - 0.5; the pixel centre of column X sits at
  // X / width of the quad.
  int worstRed = 0, worstGreen = 0, worstBlue = 0;
  const int row = kH - 5;
  for (int x = 0; x < kW; ++x) {
    const double u = u0 + (u1 - u0) * x / kW;
    const DWORD p = Rgb(f, x, row);
    worstRed = std::max(worstRed, static_cast<int>(fabs(showtest::Red(p) - (u * 256.0 - 0.5)) + 0.5));
    worstGreen = std::max(worstGreen, abs(showtest::Green(p) - green));
  }
  const int column = 5;
  for (int y = 0; y < kH; ++y) {
    const double v = 0.25 + 0.5 * y / kH;
    const DWORD p = Rgb(f, column, y);
    worstBlue =
        std::max(worstBlue, static_cast<int>(fabs(showtest::Blue(p) - (v * 256.0 - 0.5)) + 0.5));
    worstGreen = std::max(worstGreen, abs(showtest::Green(p) - green));
  }
  EXPECT_LE(worstRed, 2);
  EXPECT_LE(worstBlue, 2);
  EXPECT_LE(worstGreen, 3);
}

INSTANTIATE_TEST_SUITE_P(Verses, PictureWindow,
                         testing::Values(WindowCase{0, 8379}, WindowCase{1, 8379},
                                         WindowCase{2, 6000}, WindowCase{3, 8379},
                                         WindowCase{4, 6000}, WindowCase{5, 8379},
                                         WindowCase{6, 6000}),
                         [](const testing::TestParamInfo<WindowCase>& info) {
                           return "Verse" + std::to_string(info.param.verse) + "Phase" +
                                  std::to_string(info.param.phase);
                         });

// --- A verse without its picture ----------------------------------------------------

// A picture that could not be loaded leaves black under the verse (the
// shader reads no texture as opaque black); text, pictogram and fades are
// as usual.
TEST(VerseWithoutPicture, ShowsTextAndPictogramOnBlackUnderItsFades) {
  const int verse = 1;
  const showtest::FrameCopy symbolAlone =
      RenderWithout(VerseTime(verse, 6000), Without{true, true, false});
  ASSERT_TRUE(showtest::InkBox(symbolAlone.View(), 0, 0, kW, kH).found);

  const struct {
    DWORD phase;
    float darkness;
  } cases[] = {{6000, 0.0f}, {2000, 0.5f}, {8880, 0.5f}};
  for (const auto& c : cases) {
    SCOPED_TRACE("phase " + std::to_string(c.phase));
    atlasmodel::Image expected = VerseText(verse);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        expected.level[static_cast<size_t>(y) * kW + x] +=
            static_cast<float>(showtest::Blue(Rgb(symbolAlone.View(), x, y)));
    expected.Darken(c.darkness);
    const showtest::FrameCopy frame =
        RenderWithout(VerseTime(verse, c.phase), Without{true, false, false});
    const atlasmodel::Comparison result = atlasmodel::Compare(frame.View(), expected);
    EXPECT_LE(result.worstDifference, 2) << result.Describe();
    EXPECT_TRUE(result.greyOnly);
  }
}

// --- Fades --------------------------------------------------------------------------

// Verse 1 over its PNG picture (green exactly 160): each verse rises out of
// black over its first 4000 ms and sinks back over its last 1000.
TEST(VerseFades, CoverThePictureAtTheirOpacity) {
  const struct {
    DWORD phase;
    double darkness;
  } cases[] = {{0, 1.0},       {1000, 0.75},  {2000, 0.5}, {3999, 1.0 / 4000.0},
               {4000, 0.0},    {8379, 0.0},   {8380, 0.0}, {8880, 0.5},
               {9379, 0.999}};
  const int green = showtest::PictureGreen(showtest::kPictureNumbers[1]);
  for (const auto& c : cases) {
    const showtest::FrameCopy frame = RenderAt(VerseTime(1, c.phase));
    EXPECT_NEAR(showtest::Green(Rgb(frame.View(), 5, kH - 5)), green * (1.0 - c.darkness), 1.0)
        << "phase " << c.phase;
  }
}

// The frames where a fade all but covers the verse: the first verse frame
// (3999/4000), the last of a verse (999/1000), and the first of the next,
// whose fade-in starts fully opaque.
TEST(VerseFades, LeaveNextToNothingAtTheVerseEdges) {
  const struct {
    DWORD t;
    int brightest;
  } cases[] = {{13873, 1}, {23251, 1}, {23252, 0}, {79531, 1}};
  for (const auto& c : cases) {
    const showtest::FrameCopy frame = RenderAt(c.t);
    int brightest = 0;
    for (DWORD p : frame.pixels)
      brightest = std::max({brightest, showtest::Red(p), showtest::Green(p), showtest::Blue(p)});
    EXPECT_LE(brightest, c.brightest) << "t=" << c.t;
  }
}

// --- Sound --------------------------------------------------------------------------

constexpr DWORD kPlayOnce = SND_FILENAME | SND_ASYNC;            // 0x20001
constexpr DWORD kPlayLooping = SND_FILENAME | SND_ASYNC | SND_LOOP;  // 0x20009

class VerseSound : public testing::Test {
 protected:
  void SetUp() override {
    for (bool& started : g_SoundCueStarted) started = false;
    g_FinaleSoundStopped = false;
    PlaySoundA(nullptr, nullptr, 0);
    StandinClearSoundLog();
  }
  static std::string Media(const char* file) {
    return std::string(g_WindowsDir) + "\\media\\" + file;
  }
};

TEST_F(VerseSound, LoopingToneStartsOnTheFirstVerseFrameOnly) {
  RenderAt(13872);
  EXPECT_EQ(StandinSoundCallCount(), 0u);
  RenderAt(13873);
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  EXPECT_EQ(StandinSoundCall(0).name, Media("Ring03.wav"));
  EXPECT_EQ(StandinSoundCall(0).flags, kPlayLooping);
  for (DWORD t = 13874; t < 79532; t += 997) RenderAt(t);
  RenderAt(79531);
  EXPECT_EQ(StandinSoundCallCount(), 1u);
}

// Frames every 50 ms through the whole show: the intro's tone once, the
// verses' looping tone once, one stop at the finale, and nothing else.
TEST_F(VerseSound, WholeShowAsksForThreeThingsInOrder) {
  std::vector<DWORD> callFrames;
  for (DWORD t = 0; t <= kShowLength; t += 50) {
    const size_t before = StandinSoundCallCount();
    g_ShowTime = t;
    RenderFrame();
    for (size_t i = before; i < StandinSoundCallCount(); ++i) callFrames.push_back(t);
  }
  ASSERT_EQ(StandinSoundCallCount(), 3u);
  const StandinSoundCallRecord intro = StandinSoundCall(0);
  EXPECT_EQ(intro.name, Media("Ring05.wav"));
  EXPECT_EQ(intro.flags, kPlayOnce);
  EXPECT_EQ(callFrames[0], 1050u);
  const StandinSoundCallRecord verses = StandinSoundCall(1);
  EXPECT_EQ(verses.name, Media("Ring03.wav"));
  EXPECT_EQ(verses.flags, kPlayLooping);
  EXPECT_EQ(callFrames[1], 13900u);
  const StandinSoundCallRecord stop = StandinSoundCall(2);
  EXPECT_TRUE(stop.nameIsNull);
  EXPECT_EQ(stop.flags, 0u);
  EXPECT_EQ(callFrames[2], 79550u);
  for (size_t i = 0; i < StandinSoundCallCount(); ++i)
    EXPECT_EQ(StandinSoundCall(i).name.find("Alarm01"), std::string::npos);
}

}  // namespace
