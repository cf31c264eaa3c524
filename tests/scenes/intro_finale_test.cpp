// The intro and the finale, through whole frames: the show's start-up and
// loading run once, then each case sets the show clock, renders a frame and
// compares it with the text the scene should show at that moment.
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <standin.h>
#include <windows.h>

#include <string>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/finale.h"
#include "show/frame.h"
#include "show/intro.h"
#include "show/loading.h"
#include "show/sound_cues.h"
#include "support/atlas_text_model.h"
#include "support/temp_dir.h"

namespace {

// A Windows folder with the files the show probes; their contents do not
// matter here (the pictures stay unloaded, the tones are only logged).
class ShowStarted : public testing::Environment {
 public:
  void SetUp() override {
    StandinSetHeadless(true);
    StandinUseVirtualClock(0);
    StandinSetSoundOutputEnabled(false);
    root_ = testdir::Make("scenes-windir");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/web/screen"));
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/media"));
    for (const char* file : {"/web/screen/img100.jpg", "/web/screen/img101.png",
                             "/web/screen/img102.jpg", "/web/screen/img103.png",
                             "/web/screen/img104.jpg", "/media/Ring03.wav", "/media/Ring05.wav"})
      ASSERT_TRUE(testdir::WriteFile(root_ + file, {}));
    setenv("WINDIR", root_.c_str(), 1);
    GetWindowsDirectoryA(g_WindowsDir, sizeof g_WindowsDir);
    ASSERT_TRUE(CreateShowWindow(GetModuleHandleA(nullptr)));
    RunLoadingSequence();
  }
  void TearDown() override { testdir::Remove(root_); }

 private:
  std::string root_;
};

const testing::Environment* const kShowStarted = testing::AddGlobalTestEnvironment(new ShowStarted);

StandinFrame RenderAt(DWORD t) {
  g_ShowTime = t;
  RenderFrame();
  StandinFrame frame{};
  EXPECT_TRUE(StandinLastFrame(&frame));
  return frame;
}

// Layout values of the build, in pixels.
constexpr float kScale = kScreenHeight == 1080 ? 1.5f : 1.0f;

// RenderFrame clears to black, where a glyph added to the frame and a glyph
// rectangle painted over it look alike. Drawn straight onto a coloured
// backdrop instead, a scene's text must add to what lies under it.
StandinFrame DrawOverBackdrop(void (*scene)(DWORD), DWORD t, D3DCOLOR backdrop) {
  g_ShowTime = t;
  g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, backdrop, 1.0f, 0);
  g_pDevice->BeginScene();
  g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  g_pDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  g_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  scene(t);
  g_pDevice->EndScene();
  StandinFrame frame{};
  EXPECT_TRUE(StandinBackBuffer(&frame));
  DWORD blending = TRUE;
  g_pDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
  EXPECT_EQ(blending, static_cast<DWORD>(FALSE)) << "the scene leaves blending off";
  return frame;
}

constexpr D3DCOLOR kBackdrop = 0xFF402010;

// --- Intro ----------------------------------------------------------------------

struct IntroCase {
  DWORD t;
  float darkness;  // opacity of the black fade over the lines; 1: not drawn at all
};

void PrintTo(const IntroCase& c, std::ostream* out) { *out << "t=" << c.t; }

const IntroCase kIntroCases[] = {
    {1000, 1.0f},              // the lead-in: black
    {1001, 3999.0f / 4000.0f}, // first intro frame, all but hidden by the fade-in
    {3000, 0.5f},
    {5000, 0.0f},              // the first moment without a fade
    {12871, 0.0f},
    {13000, 0.128f},
    {13871, 0.999f},           // last intro frame, all but hidden by the fade-out
    {13872, 1.0f},             // the gap before the verses: black
};

class IntroFrame : public testing::TestWithParam<IntroCase> {};

TEST_P(IntroFrame, ShowsTheThreeLinesUnderItsFade) {
  const IntroCase& c = GetParam();
  atlasmodel::Image expected;
  expected.AddText("VELMORANDIQUE", 350.0f * kScale, 100.0f * kScale, 1.0f);
  expected.AddText("IS", 600.0f * kScale, 300.0f * kScale, 1.0f);
  expected.AddText("BACK", 550.0f * kScale, 500.0f * kScale, 1.0f);
  expected.Darken(c.darkness);

  const atlasmodel::Comparison result = atlasmodel::Compare(RenderAt(c.t), expected);
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
  EXPECT_TRUE(result.greyOnly);
  if (c.darkness == 0.0f) {
    EXPECT_GT(result.inkPixels, 2000);
  }
}

INSTANTIATE_TEST_SUITE_P(Times, IntroFrame, testing::ValuesIn(kIntroCases));

TEST(IntroScene, AddsEveryLineToWhatLiesUnderIt) {
  atlasmodel::Image expected;
  expected.AddText("VELMORANDIQUE", 350.0f * kScale, 100.0f * kScale, 1.0f);
  expected.AddText("IS", 600.0f * kScale, 300.0f * kScale, 1.0f);
  expected.AddText("BACK", 550.0f * kScale, 500.0f * kScale, 1.0f);
  const atlasmodel::Comparison result =
      atlasmodel::Compare(DrawOverBackdrop(DrawIntroScene, 5000, kBackdrop), expected, kBackdrop);
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
}

// --- Finale ---------------------------------------------------------------------

struct FinaleCase {
  DWORD t;
  int words;           // how many words are drawn
  float brightness[3]; // of each drawn word
  float darkness;      // opacity of the black fade over them
};

void PrintTo(const FinaleCase& c, std::ostream* out) { *out << "t=" << c.t; }

const FinaleCase kFinaleCases[] = {
    {79532, 1, {0.0f}, 0.0f},                     // "REDUCE " starts at nothing
    {81032, 1, {0.5f}, 0.0f},
    {82531, 1, {2999.0f / 3000.0f}, 0.0f},
    {82532, 2, {1.0f, 0.0f}, 0.0f},               // "REUSE " joins at nothing
    {84032, 2, {1.0f, 0.5f}, 0.0f},
    {87032, 3, {1.0f, 1.0f, 0.5f}, 0.0f},
    {88532, 3, {1.0f, 1.0f, 1.0f}, 0.0f},
    {97531, 3, {1.0f, 1.0f, 1.0f}, 0.0f},
    {98500, 3, {1.0f, 1.0f, 1.0f}, 968.0f / 3000.0f},
    {101531, 3, {1.0f, 1.0f, 1.0f}, 1.0f},        // held under black
    {101532, 0, {}, 0.0f},                        // nothing but the clear
    {105531, 0, {}, 0.0f},
};

class FinaleFrame : public testing::TestWithParam<FinaleCase> {};

TEST_P(FinaleFrame, ShowsItsWordsAtTheirBrightness) {
  const FinaleCase& c = GetParam();
  static const char* const kWords[] = {"REDUCE ", "REUSE ", "RECYCLE"};
  static const float kWordX[] = {100.0f * kScale, 500.0f * kScale, 850.0f * kScale};
  atlasmodel::Image expected;
  for (int w = 0; w < c.words; ++w)
    expected.AddText(kWords[w], kWordX[w], 360.0f * kScale, c.brightness[w]);
  expected.Darken(c.darkness);

  const atlasmodel::Comparison result = atlasmodel::Compare(RenderAt(c.t), expected);
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
  EXPECT_TRUE(result.greyOnly);
}

INSTANTIATE_TEST_SUITE_P(Times, FinaleFrame, testing::ValuesIn(kFinaleCases));

TEST(FinaleScene, AddsEveryWordToWhatLiesUnderIt) {
  atlasmodel::Image expected;
  expected.AddText("REDUCE ", 100.0f * kScale, 360.0f * kScale, 1.0f);
  expected.AddText("REUSE ", 500.0f * kScale, 360.0f * kScale, 1.0f);
  expected.AddText("RECYCLE", 850.0f * kScale, 360.0f * kScale, 0.5f);
  const atlasmodel::Comparison result = atlasmodel::Compare(
      DrawOverBackdrop(DrawFinaleScene, kFinaleStart + 7500, kBackdrop), expected, kBackdrop);
  EXPECT_LE(result.worstDifference, 2) << result.Describe();
}

struct BrightnessCase {
  DWORD f;
  DWORD word;
  float brightness;
};

// Right at the edges of each word's period, where a frame cannot tell 2999/3000 from 1.
TEST(FinaleWordBrightness, RisesOverTheWordsOwnPeriodThenStaysFull) {
  const BrightnessCase cases[] = {
      {0, 0, 0.0f},       {1500, 0, 0.5f},          {2999, 0, 2999.0f / 3000.0f},
      {3000, 0, 1.0f},    {3000, 1, 0.0f},          {5999, 1, 2999.0f / 3000.0f},
      {6000, 1, 1.0f},    {6000, 2, 0.0f},          {8999, 2, 2999.0f / 3000.0f},
      {9000, 2, 1.0f},    {21999, 2, 1.0f},
  };
  for (const BrightnessCase& c : cases)
    EXPECT_EQ(FinaleWordBrightness(c.f, c.word), c.brightness) << "f=" << c.f << " word " << c.word;
}

// --- Sound ------------------------------------------------------------------------

constexpr DWORD kPlayOnce = SND_FILENAME | SND_ASYNC;

class SceneSound : public testing::Test {
 protected:
  void SetUp() override {
    for (bool& started : g_SoundCueStarted) started = false;
    g_FinaleSoundStopped = false;
    PlaySoundA(nullptr, nullptr, 0);
    StandinClearSoundLog();
  }
};

TEST_F(SceneSound, IntroStartsItsToneOnceOnItsFirstFrame) {
  RenderAt(1000);
  EXPECT_EQ(StandinSoundCallCount(), 0u);
  RenderAt(1001);
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  const StandinSoundCallRecord call = StandinSoundCall(0);
  EXPECT_EQ(call.name, std::string(g_WindowsDir) + "\\media\\Ring05.wav");
  EXPECT_EQ(call.flags, kPlayOnce);
  for (DWORD t : {1002u, 5000u, 13871u, 13872u}) RenderAt(t);
  EXPECT_EQ(StandinSoundCallCount(), 1u);
}

TEST_F(SceneSound, IntroReachedLateStillStartsItsTone) {
  RenderAt(9000);
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  EXPECT_EQ(StandinSoundCall(0).flags, kPlayOnce);
}

struct FirstFinaleFrame {
  DWORD t;
  bool black;
};

class FinaleSound : public SceneSound, public testing::WithParamInterface<FirstFinaleFrame> {};

// The looping verse tone stops on the first finale frame, whenever it
// comes: also after a stall past the words, when the frame stays black.
TEST_P(FinaleSound, FirstFinaleFrameStopsTheToneOnce) {
  PlaySoundCue(0, true);
  ASSERT_EQ(StandinSoundCallCount(), 1u);

  const StandinFrame frame = RenderAt(GetParam().t);
  ASSERT_EQ(StandinSoundCallCount(), 2u);
  const StandinSoundCallRecord stop = StandinSoundCall(1);
  EXPECT_TRUE(stop.nameIsNull);
  EXPECT_EQ(stop.flags, 0u);
  EXPECT_TRUE(g_FinaleSoundStopped);
  EXPECT_FALSE(StandinCurrentSound().playing);
  if (GetParam().black) {
    const atlasmodel::Comparison result = atlasmodel::Compare(frame, atlasmodel::Image());
    EXPECT_EQ(result.worstDifference, 0) << result.Describe();
  }

  for (DWORD t = GetParam().t + 1; t < kShowLength; t += 2500) RenderAt(t);
  RenderAt(kShowLength + 5000);
  EXPECT_EQ(StandinSoundCallCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Times, FinaleSound,
                         testing::Values(FirstFinaleFrame{79532, false},
                                         FirstFinaleFrame{90000, false},
                                         FirstFinaleFrame{101532, true},
                                         FirstFinaleFrame{200000, true}),
                         [](const testing::TestParamInfo<FirstFinaleFrame>& info) {
                           return "At" + std::to_string(info.param.t);
                         });

}  // namespace
