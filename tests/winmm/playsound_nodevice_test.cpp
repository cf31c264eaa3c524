// PlaySoundA on a machine without audio: nothing is heard, the results are
// those of a machine with sound, and the program goes on.
#include <mmsystem.h>
#include <standin.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace {

class NoDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdir::Make("nodevice");
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/tone.wav", wavtest::ToneWav(1, 22050, 16, 500)));
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/bad.wav", wavtest::Bytes(100, 'x')));
    StandinUseVirtualClock(1000);
    PlaySoundA(nullptr, nullptr, 0);
    StandinClearSoundLog();
  }
  void TearDown() override {
    StandinUseRealClock();
    testdir::Remove(dir_);
  }
  std::string dir_;
};

TEST_F(NoDeviceTest, DecodedFileReturnsTrueAndLastsItsLength) {
  ASSERT_EQ(PlaySoundA((dir_ + "/tone.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), TRUE);
  EXPECT_FALSE(StandinSoundDeviceOpen());
  EXPECT_EQ(StandinSoundFramesPlayed(), 0u);
  EXPECT_TRUE(StandinCurrentSound().playing);
  StandinAdvanceClock(499);
  EXPECT_TRUE(StandinCurrentSound().playing);
  StandinAdvanceClock(1);
  EXPECT_FALSE(StandinCurrentSound().playing);
}

TEST_F(NoDeviceTest, LoopPlaysUntilStopped) {
  ASSERT_EQ(PlaySoundA((dir_ + "/tone.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP), TRUE);
  StandinAdvanceClock(60000);
  EXPECT_TRUE(StandinCurrentSound().playing);
  EXPECT_EQ(PlaySoundA(nullptr, nullptr, 0), TRUE);
  EXPECT_FALSE(StandinCurrentSound().playing);
}

TEST_F(NoDeviceTest, MissingOrBrokenFiles) {
  for (const char* name : {"/missing.wav", "/bad.wav"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_ + name;
    EXPECT_EQ(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), FALSE);
    EXPECT_FALSE(StandinCurrentSound().playing);
    EXPECT_EQ(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC), TRUE);
    EXPECT_TRUE(StandinCurrentSound().isDefaultSound);
    EXPECT_TRUE(StandinCurrentSound().playing);
    StandinAdvanceClock(StandinCurrentSound().durationMs);
    EXPECT_FALSE(StandinCurrentSound().playing);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // An audio driver that does not exist: SDL's audio cannot start, as on a
  // machine without sound.
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
