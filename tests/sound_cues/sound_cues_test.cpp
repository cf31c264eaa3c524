// Sound cues: each starts once, with the show's path and flags, and a
// stopped cue stays silent.
#include "show/sound_cues.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <standin.h>
#include <stdio.h>

#include <string>

#include "app/main_loop.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace {

constexpr DWORD kOnce = 0x20001;  // SND_FILENAME | SND_ASYNC
constexpr DWORD kLoop = 0x20009;  // SND_FILENAME | SND_ASYNC | SND_LOOP

class SoundCues : public ::testing::Test {
 protected:
  void SetUp() override {
    // The log and the playing state are what is checked; no device needed.
    StandinSetSoundOutputEnabled(false);
    StandinUseVirtualClock(50000);
    root_ = testdir::Make("cues");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/Media"));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Media/Ring03.wav", wavtest::ToneWav(2, 44100, 16, 400)));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Media/Ring05.wav", wavtest::ToneWav(2, 44100, 16, 300)));
    snprintf(g_WindowsDir, sizeof g_WindowsDir, "%s", root_.c_str());
    for (bool& started : g_SoundCueStarted) started = false;
    PlaySoundA(nullptr, nullptr, 0);
    StandinClearSoundLog();
  }
  void TearDown() override {
    PlaySoundA(nullptr, nullptr, 0);
    StandinUseRealClock();
    testdir::Remove(root_);
  }
  std::string CuePath(const char* file) const { return root_ + "\\media\\" + file; }

  std::string root_;
};

TEST_F(SoundCues, TableOfCues) {
  EXPECT_STREQ(kSoundCueFiles[0], "Ring03.wav");
  EXPECT_STREQ(kSoundCueFiles[1], "Ring05.wav");
  EXPECT_STREQ(kSoundCueFiles[2], "Alarm01.wav");
}

TEST_F(SoundCues, CueStartsOnceHoweverOftenItIsAskedFor) {
  for (int frame = 0; frame < 500; ++frame) {
    PlaySoundCue(1, false);
    StandinAdvanceClock(16);
  }
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  const StandinSoundCallRecord call = StandinSoundCall(0);
  EXPECT_EQ(call.name, CuePath("Ring05.wav"));
  EXPECT_EQ(call.flags, kOnce);
  EXPECT_EQ(call.tick, 50000u);  // the first request, not a later one
  EXPECT_TRUE(g_SoundCueStarted[1]);
  EXPECT_FALSE(g_SoundCueStarted[0]);
  EXPECT_FALSE(g_SoundCueStarted[2]);
  // The file was found and played, not the default sound.
  EXPECT_FALSE(StandinCurrentSound().isDefaultSound);
}

TEST_F(SoundCues, OnlyTheFirstRequestsLoopFlagCounts) {
  PlaySoundCue(0, true);
  PlaySoundCue(0, false);
  PlaySoundCue(1, false);
  PlaySoundCue(1, true);
  ASSERT_EQ(StandinSoundCallCount(), 2u);
  EXPECT_EQ(StandinSoundCall(0).name, CuePath("Ring03.wav"));
  EXPECT_EQ(StandinSoundCall(0).flags, kLoop);
  EXPECT_EQ(StandinSoundCall(1).name, CuePath("Ring05.wav"));
  EXPECT_EQ(StandinSoundCall(1).flags, kOnce);
}

TEST_F(SoundCues, TheShowsCourse) {
  // Intro: cue 1 once; first verse frame: cue 0 loops and ends cue 1;
  // finale: everything stops.
  PlaySoundCue(1, false);
  StandinAdvanceClock(100);
  EXPECT_TRUE(StandinCurrentSound().playing);
  PlaySoundCue(0, true);
  EXPECT_EQ(StandinCurrentSound().name, CuePath("Ring03.wav"));
  EXPECT_TRUE(StandinCurrentSound().looping);
  StandinAdvanceClock(60000);
  EXPECT_TRUE(StandinCurrentSound().playing);

  StopSoundCues();
  EXPECT_FALSE(StandinCurrentSound().playing);
  ASSERT_EQ(StandinSoundCallCount(), 3u);
  const StandinSoundCallRecord stop = StandinSoundCall(2);
  EXPECT_TRUE(stop.nameIsNull);
  EXPECT_EQ(stop.flags, 0u);

  // A stopped cue is never heard again, and stopping resets no cue.
  for (int frame = 0; frame < 10; ++frame) {
    PlaySoundCue(0, true);
    PlaySoundCue(1, false);
  }
  EXPECT_EQ(StandinSoundCallCount(), 3u);
  EXPECT_FALSE(StandinCurrentSound().playing);
  EXPECT_TRUE(g_SoundCueStarted[0]);
  EXPECT_TRUE(g_SoundCueStarted[1]);
  EXPECT_FALSE(g_SoundCueStarted[2]);
}

TEST_F(SoundCues, MissingToneStillCountsAndPlaysTheDefaultSound) {
  ASSERT_EQ(unlink((root_ + "/Media/Ring05.wav").c_str()), 0);
  PlaySoundCue(1, false);
  PlaySoundCue(1, false);
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  EXPECT_EQ(StandinSoundCall(0).result, TRUE);
  EXPECT_TRUE(StandinCurrentSound().isDefaultSound);
  EXPECT_TRUE(g_SoundCueStarted[1]);
}

TEST_F(SoundCues, WindowsFolderTooLongForThePathOpensNothing) {
  // A folder of 242 characters: "\media\Ring05.wav" still fits the
  // 260-byte buffer; one character more and it does not.
  const std::string longDir = "/" + std::string(241, 'w');
  snprintf(g_WindowsDir, sizeof g_WindowsDir, "%s", longDir.c_str());
  PlaySoundCue(1, false);
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  EXPECT_EQ(StandinSoundCall(0).name, longDir + "\\media\\Ring05.wav");

  const std::string longerDir = "/" + std::string(242, 'w');
  snprintf(g_WindowsDir, sizeof g_WindowsDir, "%s", longerDir.c_str());
  PlaySoundCue(0, true);
  EXPECT_EQ(StandinSoundCallCount(), 1u);  // no call with a cut-off path
  EXPECT_TRUE(g_SoundCueStarted[0]);       // and the cue is not retried
  PlaySoundCue(0, true);
  EXPECT_EQ(StandinSoundCallCount(), 1u);
}

TEST_F(SoundCues, CueNumbersOutsideTheTableAreIgnored) {
  PlaySoundCue(-1, false);
  PlaySoundCue(kSoundCueCount, false);
  EXPECT_EQ(StandinSoundCallCount(), 0u);
}

}  // namespace
