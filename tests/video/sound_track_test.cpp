// The sound track follows PlaySoundA's rules sample by sample: where a
// sound starts, what ends it, what loops, what replaces a missing file.
#include "sound_track.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "winmm/default_sound.h"

namespace {

constexpr DWORD kOnce = SND_FILENAME | SND_ASYNC;
constexpr DWORD kLoop = SND_FILENAME | SND_ASYNC | SND_LOOP;

// 16-bit stereo frames as a WAV image.
wavtest::Bytes Wav16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
  wavtest::Bytes data;
  for (int16_t s : samples) wavtest::Put16(&data, static_cast<uint16_t>(s));
  return wavtest::Riff({wavtest::Chunk("fmt ", wavtest::FmtBody(1, channels, rate, 16)), wavtest::Chunk("data", data)});
}

class SoundTrackTest : public ::testing::Test {
 protected:
  static constexpr size_t kRampFrames = 1000;
  static constexpr size_t kOtherFrames = 500;

  void SetUp() override {
    root_ = testdir::Make("track");
    ASSERT_FALSE(root_.empty());
    // A ramp whose every frame is distinct, left and right apart.
    std::vector<int16_t> ramp;
    for (size_t k = 0; k < kRampFrames; ++k) {
      ramp.push_back(static_cast<int16_t>((k + 1) * 10));
      ramp.push_back(static_cast<int16_t>(-static_cast<int>((k + 1) * 10)));
    }
    ASSERT_TRUE(testdir::WriteFile(root_ + "/ramp48.wav", Wav16(2, 48000, ramp)));
    std::vector<int16_t> other;
    for (size_t k = 0; k < kOtherFrames; ++k) {
      other.push_back(20000);
      other.push_back(10000);
    }
    ASSERT_TRUE(testdir::WriteFile(root_ + "/other48.wav", Wav16(2, 48000, other)));
    // 8-bit unsigned mono: 192 is half scale above the middle.
    wavtest::Bytes mono8(100, 192);
    ASSERT_TRUE(testdir::WriteFile(
        root_ + "/mono8.wav",
        wavtest::Riff({wavtest::Chunk("fmt ", wavtest::FmtBody(1, 1, 48000, 8)), wavtest::Chunk("data", mono8)})));
    // One second at 44.1 kHz, silent but for one click in the middle.
    std::vector<int16_t> click(44100, 0);
    click[22050] = 30000;
    ASSERT_TRUE(testdir::WriteFile(root_ + "/click44.wav", Wav16(1, 44100, click)));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/corrupt.wav", wavtest::Bytes{'R', 'I', 'F', 'F', 1, 2, 3}));
  }
  void TearDown() override { testdir::Remove(root_); }

  // A call as the stand-in logs it; names are Windows-style, with a drive.
  StandinSoundCallRecord Call(const char* file, DWORD flags, BOOL result = TRUE) const {
    StandinSoundCallRecord call;
    call.name = "C:" + root_ + "/" + file;
    for (char& c : call.name) {
      if (c == '/') c = '\\';
    }
    call.flags = flags;
    call.result = result;
    return call;
  }
  static StandinSoundCallRecord Stop() {
    StandinSoundCallRecord call;
    call.nameIsNull = true;
    call.result = TRUE;
    return call;
  }
  static std::vector<float> Render(SoundTrack* track, int64_t end) {
    std::vector<float> out;
    track->RenderTo(end, &out);
    return out;
  }
  static float RampLeft(size_t k) { return static_cast<float>((k + 1) * 10) / 32768.0f; }
  static float Left(const std::vector<float>& s, size_t frame) { return s[2 * frame]; }
  static float Right(const std::vector<float>& s, size_t frame) { return s[2 * frame + 1]; }
  static bool SilentBetween(const std::vector<float>& s, size_t from, size_t to) {
    for (size_t i = 2 * from; i < 2 * to && i < s.size(); ++i) {
      if (s[i] != 0.0f) return false;
    }
    return true;
  }

  std::string root_;
};

TEST_F(SoundTrackTest, SilenceWithoutCalls) {
  SoundTrack track;
  const std::vector<float> out = Render(&track, 4800);
  ASSERT_EQ(out.size(), 9600u);
  EXPECT_TRUE(SilentBetween(out, 0, 4800));
  EXPECT_EQ(track.position(), 4800);
}

TEST_F(SoundTrackTest, SoundStartsAtItsSampleAndPlaysOnce) {
  SoundTrack track;
  track.AddCall(300, Call("ramp48.wav", kOnce));
  const std::vector<float> out = Render(&track, 2000);
  EXPECT_TRUE(SilentBetween(out, 0, 300));
  for (size_t k = 0; k < kRampFrames; ++k) {
    ASSERT_FLOAT_EQ(Left(out, 300 + k), RampLeft(k)) << k;
    ASSERT_FLOAT_EQ(Right(out, 300 + k), -RampLeft(k)) << k;
  }
  EXPECT_TRUE(SilentBetween(out, 300 + kRampFrames, 2000));
}

TEST_F(SoundTrackTest, LoopRepeatsUntilStopped) {
  SoundTrack track;
  track.AddCall(100, Call("ramp48.wav", kLoop));
  track.AddCall(100 + 2 * kRampFrames + 250, Stop());
  const std::vector<float> out = Render(&track, 4000);
  EXPECT_FLOAT_EQ(Left(out, 100), RampLeft(0));
  EXPECT_FLOAT_EQ(Left(out, 100 + kRampFrames), RampLeft(0));  // the second pass
  EXPECT_FLOAT_EQ(Left(out, 100 + kRampFrames - 1), RampLeft(kRampFrames - 1));
  EXPECT_FLOAT_EQ(Left(out, 100 + 2 * kRampFrames + 249), RampLeft(249));
  EXPECT_TRUE(SilentBetween(out, 100 + 2 * kRampFrames + 250, 4000));
}

TEST_F(SoundTrackTest, NewSoundEndsTheOldOne) {
  SoundTrack track;
  track.AddCall(0, Call("ramp48.wav", kLoop));
  track.AddCall(400, Call("other48.wav", kOnce));
  const std::vector<float> out = Render(&track, 2000);
  EXPECT_FLOAT_EQ(Left(out, 399), RampLeft(399));
  EXPECT_FLOAT_EQ(Left(out, 400), 20000.0f / 32768.0f);
  EXPECT_FLOAT_EQ(Right(out, 400), 10000.0f / 32768.0f);
  EXPECT_FLOAT_EQ(Left(out, 400 + kOtherFrames - 1), 20000.0f / 32768.0f);
  // The loop does not come back when the new sound ends.
  EXPECT_TRUE(SilentBetween(out, 400 + kOtherFrames, 2000));
}

TEST_F(SoundTrackTest, RenderingInPiecesGivesTheSameSamples) {
  SoundTrack whole;
  SoundTrack pieces;
  for (SoundTrack* track : {&whole, &pieces}) {
    track->AddCall(123, Call("ramp48.wav", kLoop));
    track->AddCall(2345, Call("other48.wav", kOnce));
  }
  const std::vector<float> expected = Render(&whole, 4000);
  std::vector<float> got;
  // Piece ends that fall before, on and after the calls and the loop's seam.
  for (int64_t end : {1, 122, 123, 124, 1122, 1123, 1124, 2000, 2345, 2346, 3999, 4000}) {
    pieces.RenderTo(end, &got);
  }
  EXPECT_EQ(got, expected);
}

TEST_F(SoundTrackTest, StopAndPurgeSilence) {
  for (const StandinSoundCallRecord& stop : {Stop(), Call("ramp48.wav", SND_PURGE)}) {
    SoundTrack track;
    track.AddCall(0, Call("ramp48.wav", kLoop));
    track.AddCall(50, stop);
    const std::vector<float> out = Render(&track, 1500);
    EXPECT_FLOAT_EQ(Left(out, 49), RampLeft(49));
    EXPECT_TRUE(SilentBetween(out, 50, 1500));
  }
}

TEST_F(SoundTrackTest, NoStopLeavesAPlayingSoundAlone) {
  SoundTrack track;
  track.AddCall(0, Call("ramp48.wav", kOnce));
  track.AddCall(200, Call("other48.wav", kOnce | SND_NOSTOP, FALSE));   // refused: the ramp plays
  track.AddCall(1500, Call("other48.wav", kOnce | SND_NOSTOP, TRUE));  // the ramp is over by then
  const std::vector<float> out = Render(&track, 2500);
  EXPECT_FLOAT_EQ(Left(out, 200), RampLeft(200));
  EXPECT_FLOAT_EQ(Left(out, 999), RampLeft(999));
  EXPECT_TRUE(SilentBetween(out, 1000, 1500));
  EXPECT_FLOAT_EQ(Left(out, 1500), 20000.0f / 32768.0f);
}

TEST_F(SoundTrackTest, LoopNeedsAsync) {
  SoundTrack track;
  track.AddCall(0, Call("ramp48.wav", SND_FILENAME | SND_LOOP));  // synchronous: plays once
  const std::vector<float> out = Render(&track, 2 * kRampFrames);
  EXPECT_TRUE(SilentBetween(out, kRampFrames, 2 * kRampFrames));
}

TEST_F(SoundTrackTest, UnreadableFilePlaysTheDefaultSoundUnlessNoDefault) {
  TrackClip chime;
  std::string reason;
  ASSERT_TRUE(MakeClip(DefaultSound(), &chime, &reason)) << reason;
  ASSERT_GT(chime.frames, 1000u);
  struct Case {
    const char* file;
    DWORD flags;
    BOOL result;
    bool expectChime;
  };
  const Case cases[] = {
      {"missing.wav", kOnce, TRUE, true},
      {"corrupt.wav", kOnce, TRUE, true},
      {"missing.wav", kOnce | SND_NODEFAULT, FALSE, false},
      {"corrupt.wav", kLoop | SND_NODEFAULT, FALSE, false},
  };
  for (const Case& c : cases) {
    SoundTrack track;
    track.AddCall(10, Call(c.file, c.flags, c.result));
    const std::vector<float> out = Render(&track, 10 + static_cast<int64_t>(chime.frames) + 100);
    if (c.expectChime) {
      const std::vector<float> placed(out.begin() + 20, out.begin() + 20 + static_cast<ptrdiff_t>(chime.samples.size()));
      EXPECT_EQ(placed, chime.samples) << c.file;
      EXPECT_TRUE(SilentBetween(out, 10 + chime.frames, 10 + chime.frames + 100)) << c.file;
    } else {
      EXPECT_TRUE(SilentBetween(out, 0, out.size() / 2)) << c.file;
    }
  }
}

TEST_F(SoundTrackTest, SoundFromMemoryIsSilenceWithAWarning) {
  SoundTrack track;
  StandinSoundCallRecord call;
  call.name = "(memory)";
  call.flags = SND_MEMORY | SND_ASYNC;
  call.result = TRUE;
  track.AddCall(0, call);
  const std::vector<float> out = Render(&track, 1000);
  EXPECT_TRUE(SilentBetween(out, 0, 1000));
  EXPECT_EQ(track.TakeWarnings().size(), 1u);
  EXPECT_TRUE(track.TakeWarnings().empty());
}

TEST_F(SoundTrackTest, CallBeforeThePositionIsHeardFromTheMiddle) {
  // A sound started before the stretch being rendered, as when a capture
  // starts after the sound's cue.
  SoundTrack track;
  track.AddCall(-600, Call("ramp48.wav", kOnce));
  const std::vector<float> out = Render(&track, 1000);
  EXPECT_FLOAT_EQ(Left(out, 0), RampLeft(600));
  EXPECT_FLOAT_EQ(Left(out, 399), RampLeft(999));
  EXPECT_TRUE(SilentBetween(out, 400, 1000));

  SoundTrack looped;
  looped.AddCall(-2500, Call("ramp48.wav", kLoop));
  const std::vector<float> loopOut = Render(&looped, 10);
  EXPECT_FLOAT_EQ(Left(loopOut, 0), RampLeft(500));
}

TEST_F(SoundTrackTest, MonoGoesToBothSidesAtFullLevel) {
  SoundTrack track;
  track.AddCall(0, Call("mono8.wav", kOnce));
  const std::vector<float> out = Render(&track, 200);
  EXPECT_FLOAT_EQ(Left(out, 50), 0.5f);
  EXPECT_FLOAT_EQ(Right(out, 50), 0.5f);
  EXPECT_TRUE(SilentBetween(out, 100, 200));
}

TEST_F(SoundTrackTest, ResampledSoundKeepsItsLengthAndTiming) {
  std::vector<uint8_t> bytes;
  WavSound sound;
  char reason[kWavReasonSize];
  ASSERT_TRUE(ReadWavFile((root_ + "/click44.wav").c_str(), &bytes, &sound, reason)) << reason;
  TrackClip clip;
  std::string why;
  ASSERT_TRUE(MakeClip(sound, &clip, &why)) << why;
  EXPECT_NEAR(static_cast<double>(clip.frames), 48000.0, 2.0);
  // The click, half a second in, stays half a second in.
  size_t loudest = 0;
  for (size_t i = 0; i < clip.frames; ++i) {
    if (clip.samples[2 * i] > clip.samples[2 * loudest]) loudest = i;
  }
  EXPECT_NEAR(static_cast<double>(loudest), 24000.0, 1.0);
  EXPECT_EQ(clip.samples[2 * loudest], clip.samples[2 * loudest + 1]);
}

TEST_F(SoundTrackTest, OverlongSoundIsCutToTheLongestKept) {
  // Three seconds of 8-bit mono; with a one-second limit only the first
  // second is kept, at full level.
  const wavtest::Bytes samples(3 * 8000, 192);
  WavSound sound;
  sound.formatTag = 1;
  sound.channels = 1;
  sound.bitsPerSample = 8;
  sound.blockAlign = 1;
  sound.sampleRate = 8000;
  sound.samples = samples.data();
  sound.sampleBytes = samples.size();
  sound.frameCount = samples.size();
  TrackClip clip;
  std::string reason;
  ASSERT_TRUE(MakeClip(sound, &clip, &reason, 1)) << reason;
  EXPECT_NEAR(static_cast<double>(clip.frames), 48000.0, 2.0);
  EXPECT_FLOAT_EQ(clip.samples[2 * 24000], 0.5f);
}

}  // namespace
