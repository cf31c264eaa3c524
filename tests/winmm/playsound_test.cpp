// PlaySoundA on an audio device (SDL's dummy driver, which consumes sound
// at the real rate without a sound card): what starts, what ends, what is
// logged and what is heard.
#include <mmsystem.h>
#include <standin.h>

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace {

bool WaitUntil(const std::function<bool()>& condition, Uint32 timeoutMs) {
  const Uint32 start = SDL_GetTicks();
  while (!condition()) {
    if (SDL_GetTicks() - start > timeoutMs) return false;
    SDL_Delay(5);
  }
  return true;
}

// Sound frames the device has taken stop growing: nothing is playing.
bool DeviceFallsSilent() {
  const uint64_t before = StandinSoundFramesPlayed();
  SDL_Delay(150);
  return StandinSoundFramesPlayed() == before;
}

class PlaySoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdir::Make("playsound");
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(testdir::MakeFolders(dir_ + "/Media"));
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/long.wav", wavtest::ToneWav(2, 44100, 16, 500)));
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/short.wav", wavtest::ToneWav(1, 8000, 8, 100)));
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/Media/Ring03.wav", wavtest::ToneWav(1, 22050, 16, 300)));
    ASSERT_TRUE(testdir::WriteFile(dir_ + "/text.wav", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'}));
    ASSERT_TRUE(testdir::MakeFolders(dir_ + "/folder.wav"));
    PlaySoundA(nullptr, nullptr, 0);
    StandinClearSoundLog();
  }
  void TearDown() override {
    PlaySoundA(nullptr, nullptr, 0);
    testdir::Remove(dir_);
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(PlaySoundTest, AsyncFileReturnsWhilePlayingAndIsHeard) {
  const std::string path = Path("long.wav");
  ASSERT_EQ(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC), TRUE);
  const StandinSoundState state = StandinCurrentSound();
  EXPECT_TRUE(state.playing);  // still playing: the call did not wait for it
  EXPECT_FALSE(state.looping);
  EXPECT_FALSE(state.isDefaultSound);
  EXPECT_EQ(state.name, path);
  EXPECT_EQ(state.durationMs, 500u);
  EXPECT_TRUE(StandinSoundDeviceOpen());
  ASSERT_EQ(StandinSoundCallCount(), 1u);
  const StandinSoundCallRecord call = StandinSoundCall(0);
  EXPECT_EQ(call.name, path);
  EXPECT_FALSE(call.nameIsNull);
  EXPECT_EQ(call.flags, static_cast<DWORD>(SND_FILENAME | SND_ASYNC));
  EXPECT_EQ(call.result, TRUE);

  const uint64_t before = StandinSoundFramesPlayed();
  EXPECT_TRUE(WaitUntil([&] { return StandinSoundFramesPlayed() > before; }, 2000));
}

TEST_F(PlaySoundTest, SoundPlayedOnceEndsByItself) {
  ASSERT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC), TRUE);
  EXPECT_TRUE(WaitUntil([] { return !StandinCurrentSound().playing; }, 3000));
  EXPECT_TRUE(DeviceFallsSilent());
}

TEST_F(PlaySoundTest, LoopRepeatsUntilStopped) {
  ASSERT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP), TRUE);
  const uint64_t start = StandinSoundFramesPlayed();
  const uint64_t oneLoop = 100u * 44100u / 1000u;  // at the dummy device's rate
  ASSERT_TRUE(WaitUntil([&] { return StandinSoundFramesPlayed() - start > 3 * oneLoop; }, 3000));
  EXPECT_TRUE(StandinCurrentSound().playing);
  EXPECT_TRUE(StandinCurrentSound().looping);

  EXPECT_EQ(PlaySoundA(nullptr, nullptr, 0), TRUE);
  EXPECT_FALSE(StandinCurrentSound().playing);
  EXPECT_TRUE(DeviceFallsSilent());
  const StandinSoundCallRecord stop = StandinSoundCall(1);
  EXPECT_TRUE(stop.nameIsNull);
  EXPECT_EQ(stop.flags, 0u);
  EXPECT_EQ(stop.result, TRUE);
}

TEST_F(PlaySoundTest, NewSoundEndsTheOneLooping) {
  ASSERT_EQ(PlaySoundA(Path("long.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP), TRUE);
  ASSERT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC), TRUE);
  EXPECT_EQ(StandinCurrentSound().name, Path("short.wav"));
  EXPECT_FALSE(StandinCurrentSound().looping);
  // Once the short sound is over the device falls silent: the loop did not
  // carry on underneath it.
  EXPECT_TRUE(WaitUntil([] { return !StandinCurrentSound().playing; }, 3000));
  EXPECT_TRUE(DeviceFallsSilent());
}

TEST_F(PlaySoundTest, UnplayableFilePlaysTheDefaultSound) {
  for (const char* name : {"missing.wav", "text.wav", "folder.wav"}) {
    SCOPED_TRACE(name);
    const std::string path = Path(name);
    ASSERT_EQ(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC), TRUE);
    const StandinSoundState state = StandinCurrentSound();
    EXPECT_TRUE(state.playing);
    EXPECT_TRUE(state.isDefaultSound);
    EXPECT_EQ(state.name, path);
    EXPECT_GT(state.durationMs, 100u);
    EXPECT_LT(state.durationMs, 1000u);
    const uint64_t before = StandinSoundFramesPlayed();
    EXPECT_TRUE(WaitUntil([&] { return StandinSoundFramesPlayed() > before; }, 2000));
  }
}

TEST_F(PlaySoundTest, NoDefaultMakesAMissingFileFail) {
  ASSERT_EQ(PlaySoundA(Path("long.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP), TRUE);
  for (const char* name : {"missing.wav", "text.wav", "folder.wav"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(PlaySoundA(Path(name).c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), FALSE);
    EXPECT_FALSE(StandinCurrentSound().playing);
  }
  // The request still ended the loop that was playing.
  EXPECT_TRUE(DeviceFallsSilent());
  ASSERT_EQ(StandinSoundCallCount(), 4u);
  EXPECT_EQ(StandinSoundCall(3).result, FALSE);
}

TEST_F(PlaySoundTest, WindowsPathIsFoundWhateverItsCase) {
  // The show's form: the Windows folder, then backslashes, in Windows' case.
  const std::string path = dir_ + "\\media\\ring03.WAV";
  ASSERT_EQ(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), TRUE);
  EXPECT_FALSE(StandinCurrentSound().isDefaultSound);
  EXPECT_EQ(StandinCurrentSound().durationMs, 300u);
  const std::string withDrive = "C:" + dir_ + "\\MEDIA\\Ring03.wav";
  EXPECT_EQ(PlaySoundA(withDrive.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT), TRUE);
}

TEST_F(PlaySoundTest, NameIsCopiedDuringTheCall) {
  char buffer[512];
  snprintf(buffer, sizeof buffer, "%s", Path("long.wav").c_str());
  ASSERT_EQ(PlaySoundA(buffer, nullptr, SND_FILENAME | SND_ASYNC), TRUE);
  memset(buffer, 'x', sizeof buffer - 1);
  EXPECT_EQ(StandinSoundCall(0).name, Path("long.wav"));
  EXPECT_EQ(StandinCurrentSound().name, Path("long.wav"));
  EXPECT_FALSE(StandinCurrentSound().isDefaultSound);
}

TEST_F(PlaySoundTest, NoStopLeavesAPlayingSoundAlone) {
  ASSERT_EQ(PlaySoundA(Path("long.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP), TRUE);
  EXPECT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NOSTOP), FALSE);
  EXPECT_EQ(StandinCurrentSound().name, Path("long.wav"));
  EXPECT_TRUE(StandinCurrentSound().playing);
  PlaySoundA(nullptr, nullptr, 0);
  EXPECT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NOSTOP), TRUE);
  EXPECT_EQ(StandinCurrentSound().name, Path("short.wav"));
}

TEST_F(PlaySoundTest, SynchronousCallReturnsWhenTheSoundIsOver) {
  // A loop cannot be synchronous: the sound plays once and the call returns.
  for (DWORD flags : {DWORD(SND_FILENAME | SND_SYNC), DWORD(SND_FILENAME | SND_SYNC | SND_LOOP)}) {
    const Uint32 start = SDL_GetTicks();
    ASSERT_EQ(PlaySoundA(Path("short.wav").c_str(), nullptr, flags), TRUE);
    EXPECT_GE(SDL_GetTicks() - start, 80u);
    EXPECT_FALSE(StandinCurrentSound().playing);
    EXPECT_FALSE(StandinCurrentSound().looping);
  }
}

TEST_F(PlaySoundTest, SoundInMemory) {
  const wavtest::Bytes image = wavtest::ToneWav(2, 11025, 16, 200);
  ASSERT_EQ(PlaySoundA(reinterpret_cast<LPCSTR>(image.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT),
            TRUE);
  EXPECT_FALSE(StandinCurrentSound().isDefaultSound);
  EXPECT_EQ(StandinCurrentSound().durationMs, 200u);
  EXPECT_EQ(StandinSoundCall(0).name, "(memory)");
  const wavtest::Bytes junk(64, 0x5A);
  EXPECT_EQ(PlaySoundA(reinterpret_cast<LPCSTR>(junk.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT),
            FALSE);
}

TEST_F(PlaySoundTest, SystemAliasesPlayTheChime) {
  EXPECT_EQ(PlaySoundA("SystemDefault", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT), TRUE);
  EXPECT_TRUE(StandinCurrentSound().isDefaultSound);
  EXPECT_EQ(PlaySoundA("SystemExclamation", nullptr, SND_ASYNC | SND_NODEFAULT), TRUE);
  EXPECT_EQ(PlaySoundA("NoSuchAlias", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT), FALSE);
  EXPECT_EQ(PlaySoundA("NoSuchAlias", nullptr, SND_ALIAS | SND_ASYNC), TRUE);
  EXPECT_TRUE(StandinCurrentSound().isDefaultSound);
}

TEST_F(PlaySoundTest, LogRecordsTheClockAtEachCall) {
  StandinUseVirtualClock(123456);
  PlaySoundA(Path("short.wav").c_str(), nullptr, SND_FILENAME | SND_ASYNC);
  StandinAdvanceClock(1000);
  PlaySoundA(nullptr, nullptr, 0);
  StandinUseRealClock();
  ASSERT_EQ(StandinSoundCallCount(), 2u);
  EXPECT_EQ(StandinSoundCall(0).tick, 123456u);
  EXPECT_EQ(StandinSoundCall(1).tick, 124456u);
  EXPECT_EQ(StandinCurrentSound().startTick, 123456u);
  // Out of range: an empty record, not a crash.
  EXPECT_TRUE(StandinSoundCall(2).name.empty());
  EXPECT_EQ(StandinSoundCall(2).flags, 0u);
  StandinClearSoundLog();
  EXPECT_EQ(StandinSoundCallCount(), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  // A device that plays at the real rate into nothing: the same on every
  // machine, and silent.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
