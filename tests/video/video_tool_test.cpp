// show-capture-720 --video run as a program on the sample Windows folder,
// its files read back with libavformat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frame_clock.h"
#include "media_reader.h"
#include "support/temp_dir.h"
#include "unwritable.h"
#include "winmm/wav.h"

namespace {

// How closely a sound's start must be found where it was put: the codec
// smears a sharp start a little, but an encoder delay left in the file
// (1024 samples, 21 ms) must show.
constexpr double kOnsetTolerance = 0.003;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Starts `program` with `args`, its output going to files in `scratch`.
pid_t Start(const std::string& program, const std::vector<std::string>& args, const std::string& scratch) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string outPath = scratch + "/stdout.txt";
  const std::string errPath = scratch + "/stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

ToolRun Finish(pid_t pid, const std::string& scratch) {
  ToolRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.out = ReadAll(scratch + "/stdout.txt");
  run.err = ReadAll(scratch + "/stderr.txt");
  return run;
}

// A PlaySoundA call as the tool reports it: "sound <show time>: ...".
struct ReportedSound {
  long showTime;
  std::string text;
};

std::vector<ReportedSound> Sounds(const std::string& out) {
  std::vector<ReportedSound> sounds;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 6, "sound ") != 0) continue;
    char* end = nullptr;
    const long t = strtol(line.c_str() + 6, &end, 10);
    if (end && *end == ':') sounds.push_back(ReportedSound{t, line});
  }
  return sounds;
}

class VideoTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    suiteRoot_ = new std::string(testdir::Make("video-tool"));
    windows_ = new std::string(SAMPLE_WINDOWS_DIR);
    cache_ = new std::map<std::string, ToolRun>();
    // Made by the test run's set-up step, or here when run on its own.
    sampleMade_ = Exists(*windows_ + "/media/Ring03.wav") && Exists(*windows_ + "/web/screen/img100.jpg");
    if (!sampleMade_) {
      const pid_t pid = Start(SAMPLE_WINDOWS_TOOL, {*windows_}, *suiteRoot_);
      sampleMade_ = Finish(pid, *suiteRoot_).exitCode == 0;
    }
  }
  static void TearDownTestSuite() {
    testdir::Remove(*suiteRoot_);
    delete suiteRoot_;
    delete windows_;
    delete cache_;
  }
  void SetUp() override {
    ASSERT_TRUE(sampleMade_) << "sample-windows failed";
    root_ = testdir::Make("video-run");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { testdir::Remove(root_); }

  ToolRun Capture(std::vector<std::string> args) {
    args.insert(args.begin(), {"--windir", *windows_});
    return Finish(Start(CAPTURE_TOOL, args, root_), root_);
  }
  // Runs that several tests read are made once, into the suite's folder.
  const ToolRun& Shared(const std::string& name, std::vector<std::string> args) {
    auto found = cache_->find(name);
    if (found != cache_->end()) return found->second;
    args.insert(args.begin(), {"--video", SharedPath(name)});
    return (*cache_)[name] = Capture(args);
  }
  static std::string SharedPath(const std::string& name) { return *suiteRoot_ + "/" + name + ".mp4"; }

  static std::string* suiteRoot_;
  static std::string* windows_;
  static std::map<std::string, ToolRun>* cache_;
  static bool sampleMade_;
  std::string root_;
};

std::string* VideoTool::suiteRoot_ = nullptr;
std::string* VideoTool::windows_ = nullptr;
std::map<std::string, ToolRun>* VideoTool::cache_ = nullptr;
bool VideoTool::sampleMade_ = false;

const std::vector<std::string> kFirstTwoSeconds = {"--from", "0", "--to", "2000", "--fps", "30", "--quiet"};
const std::vector<std::string> kAcrossVerseStart = {"--from", "13000", "--to", "15000", "--fps", "30", "--quiet"};

TEST_F(VideoTool, ShortStretchIsH264AndAacOfTheRightShape) {
  const ToolRun& run = Shared("first-two-seconds", kFirstTwoSeconds);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("wrote " + SharedPath("first-two-seconds") + ": 60 frames at 30 fps"), std::string::npos)
      << run.out;
  EXPECT_FALSE(Exists(SharedPath("first-two-seconds") + ".partial"));
  EXPECT_EQ(run.err.find(" frames"), std::string::npos) << "--quiet shows no progress: " << run.err;

  const MediaInfo info = ReadMedia(SharedPath("first-two-seconds"), true);
  ASSERT_EQ(info.error, "");
  EXPECT_EQ(info.videoStreams, 1);
  EXPECT_EQ(info.audioStreams, 1);
  EXPECT_EQ(info.videoCodec, "h264");
  EXPECT_EQ(info.width, 1280);
  EXPECT_EQ(info.height, 720);
  EXPECT_EQ(info.pixelFormat, "yuv420p");
  EXPECT_EQ(info.frameRateNum, 30);
  EXPECT_EQ(info.frameRateDen, 1);
  EXPECT_EQ(info.videoPackets, 60);
  EXPECT_NEAR(info.videoDuration, 2.0, 1e-6);
  EXPECT_EQ(info.audioCodec, "aac");
  EXPECT_EQ(info.sampleRate, 48000);
  EXPECT_EQ(info.channels, 2);
  const double soundEnd = info.firstSampleTime + static_cast<double>(info.samples.size() / 2) / 48000.0;
  EXPECT_NEAR(soundEnd, 2.0, 1024.0 / 48000.0);

  // The sound begins where the first PlaySoundA call was made; with none,
  // there is none.
  const std::vector<ReportedSound> sounds = Sounds(run.out);
  const int64_t loud = FirstLoudFrame(info.samples, 0, 0.01f);
  if (sounds.empty()) {
    EXPECT_EQ(loud, -1) << "sound without a PlaySoundA call";
  } else {
    ASSERT_GE(loud, 0) << sounds[0].text;
    const double heard = info.firstSampleTime + static_cast<double>(loud) / 48000.0;
    EXPECT_NEAR(heard, sounds[0].showTime / 1000.0, kOnsetTolerance) << sounds[0].text;
  }
}

TEST_F(VideoTool, IntroToneStartsAtTheFirstIntroFrame) {
  const ToolRun& run = Shared("first-two-seconds", kFirstTwoSeconds);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<ReportedSound> sounds = Sounds(run.out);
  if (sounds.empty()) GTEST_SKIP() << "the show asks for no sound yet (its intro has not landed)";
  // At 30 frames a second the first intro frame is drawn at 1033 ms.
  EXPECT_EQ(sounds[0].showTime, 1033) << sounds[0].text;
  EXPECT_NE(sounds[0].text.find("Ring05.wav"), std::string::npos) << sounds[0].text;
  const MediaInfo info = ReadMedia(SharedPath("first-two-seconds"), true);
  ASSERT_EQ(info.error, "");
  EXPECT_EQ(FirstLoudFrame(info.samples, 0, 0.001f) >= 0, true);
  const double heard = info.firstSampleTime + static_cast<double>(FirstLoudFrame(info.samples, 0, 0.001f)) / 48000.0;
  EXPECT_NEAR(heard, 1.033, kOnsetTolerance);
  EXPECT_GE(heard, 1.001 - 1024.0 / 48000.0);
}

TEST_F(VideoTool, VerseToneTakesOverAcrossTheVerseStart) {
  const ToolRun& run = Shared("across-verse-start", kAcrossVerseStart);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const MediaInfo info = ReadMedia(SharedPath("across-verse-start"), true);
  ASSERT_EQ(info.error, "");
  // Frames at show times 13000 <= t < 15000: frames 390 to 449 at 30 fps.
  EXPECT_EQ(info.videoPackets, 60);

  const std::vector<ReportedSound> sounds = Sounds(run.out);
  if (sounds.empty()) GTEST_SKIP() << "the show asks for no sound yet (its scenes have not landed)";
  // The intro's cue was made while catching up, so it is known here too.
  ASSERT_GE(sounds.size(), 2u) << run.out;
  EXPECT_NE(sounds[0].text.find("Ring05.wav"), std::string::npos) << run.out;
  EXPECT_EQ(sounds[0].showTime, 1033);
  EXPECT_NE(sounds[1].text.find("Ring03.wav"), std::string::npos) << run.out;
  EXPECT_NE(sounds[1].text.find("0x20009"), std::string::npos) << "looped: " << sounds[1].text;
  // The first verse frame after 13872 at 30 fps.
  EXPECT_EQ(sounds[1].showTime, 13900);

  // Ring05 played out long before 13000, so the stretch is silent until
  // the verse tone starts, which then holds.
  std::vector<uint8_t> bytes;
  WavSound ring05;
  char reason[kWavReasonSize];
  ASSERT_TRUE(ReadWavFile((*windows_ + "/media/Ring05.wav").c_str(), &bytes, &ring05, reason)) << reason;
  ASSERT_LT(1033 + ring05.frameCount * 1000 / ring05.sampleRate, 13000u);
  const int64_t loud = FirstLoudFrame(info.samples, 0, 0.001f);
  ASSERT_GE(loud, 0);
  const double heard = 13.0 + info.firstSampleTime + static_cast<double>(loud) / 48000.0;
  EXPECT_NEAR(heard, 13.900, kOnsetTolerance);
  const int64_t lateStart = static_cast<int64_t>((14.8 - 13.0 - info.firstSampleTime) * 48000.0);
  EXPECT_EQ(FirstLoudFrame(info.samples, lateStart, 0.001f) >= 0 &&
                FirstLoudFrame(info.samples, lateStart, 0.001f) < lateStart + 4800,
            true)
      << "the verse tone still sounds at 14.8 s";
}

TEST_F(VideoTool, FractionalFrameRate) {
  const std::string path = root_ + "/ntsc.mp4";
  const ToolRun run = Capture({"--video", path, "--to", "1000", "--fps", "29.97", "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const MediaInfo info = ReadMedia(path, false);
  ASSERT_EQ(info.error, "");
  EXPECT_EQ(info.frameRateNum, 2997);
  EXPECT_EQ(info.frameRateDen, 100);
  // Frames at floor(i * 1000 / 29.97) < 1000: i = 0 to 29.
  EXPECT_EQ(info.videoPackets, 30);
  EXPECT_NEAR(info.videoDuration, 30 * 100 / 2997.0, 1e-4);
  EXPECT_NE(run.out.find("30 frames at 29.97 fps"), std::string::npos) << run.out;
}

TEST_F(VideoTool, BadOutputPathsFailAndLeaveNothing) {
  ASSERT_TRUE(testdir::MakeFolders(root_ + "/a-folder"));
  std::vector<std::string> paths = {root_ + "/missing/out.mp4", root_ + "/a-folder"};
  const std::string unwritable = UnwritableFolder(root_);
  if (!unwritable.empty()) paths.push_back(unwritable + "/out.mp4");
  for (const std::string& path : paths) {
    const ToolRun run = Capture({"--video", path, "--to", "500", "--quiet"});
    EXPECT_EQ(run.exitCode, 1) << path;
    EXPECT_NE(run.err.find("cannot write " + path), std::string::npos) << run.err;
    EXPECT_FALSE(Exists(path + ".partial")) << path;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(Exists(root_ + "/missing"));
  if (!unwritable.empty()) {
    EXPECT_FALSE(Exists(unwritable + "/out.mp4"));
  }
}

TEST_F(VideoTool, MissingWindowsFilesFailAndLeaveNothing) {
  const std::string path = root_ + "/out.mp4";
  std::vector<std::string> args = {"--windir", root_ + "/no-windows", "--video", path, "--to", "500", "--quiet"};
  const ToolRun run = Finish(Start(CAPTURE_TOOL, args, root_), root_);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + ".partial"));
}

TEST_F(VideoTool, UsageErrorsSayWhatIsWrong) {
  const std::string path = root_ + "/out.mp4";
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"--video", path, "--fps", "0"}, "--fps 0"},
      {{"--video", path, "--fps", "fast"}, "--fps fast"},
      {{"--video", path, "--to", "200000"}, "the show ends at 105532"},
      {{"--video", path, "--from", "2000", "--to", "1000"}, "--from must come before --to"},
      {{"--video", path, "--from", "-5"}, "not a show time"},
      {{"--video", path, "--with-loading", "--from", "100"}, "--with-loading"},
      {{"--video", path, "--at", "100"}, "--video writes one file"},
      {{"--fps", "30", "--at", "100"}, "go with --video"},
      {{"--video"}, "incomplete option"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Capture(c.args);
    EXPECT_EQ(run.exitCode, 2) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(Exists(path));
}

TEST_F(VideoTool, WithLoadingHoldsTheLoadingScreenThenTheShow) {
  const std::string path = root_ + "/loading.mp4";
  const ToolRun run = Capture({"--video", path, "--with-loading", "--to", "1000", "--fps", "30", "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const size_t at = run.out.find("loading screen ");
  ASSERT_NE(at, std::string::npos) << run.out;
  long loadingMs = -1;
  long progressFrames = -1;
  ASSERT_EQ(sscanf(run.out.c_str() + at, "loading screen %ld ms in %ld progress frames", &loadingMs, &progressFrames),
            2)
      << run.out;
  EXPECT_GE(progressFrames, 0);
  // Zero progress frames is fine (a loading sequence that draws nothing);
  // one that draws holds its screen through its four one-second pauses.
  if (progressFrames > 0) {
    EXPECT_EQ(loadingMs, 4000);
  } else {
    EXPECT_GE(loadingMs, 0);
  }
  // The loading screen's time and then the show to 1000 ms, at 30 fps.
  const MediaInfo info = ReadMedia(path, false);
  ASSERT_EQ(info.error, "");
  EXPECT_EQ(info.videoPackets,
            static_cast<int64_t>(FirstFrameAtOrAfter(FrameRate{30, 1}, static_cast<uint64_t>(loadingMs) + 1000)));
}

TEST_F(VideoTool, SameInputGivesTheSameFile) {
  const std::string first = root_ + "/a.mp4";
  const std::string second = root_ + "/b.mp4";
  ASSERT_EQ(Capture({"--video", first, "--to", "600", "--fps", "30", "--quiet"}).exitCode, 0);
  ASSERT_EQ(Capture({"--video", second, "--to", "600", "--fps", "30", "--quiet"}).exitCode, 0);
  const std::string a = ReadAll(first);
  EXPECT_FALSE(a.empty());
  EXPECT_TRUE(a == ReadAll(second)) << "two captures of the same stretch differ";
}

TEST_F(VideoTool, ProgressGoesToStandardErrorAsLines) {
  const std::string path = root_ + "/progress.mp4";
  const ToolRun run = Capture({"--video", path, "--to", "300", "--fps", "30"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Not a terminal here: whole lines, no carriage returns.
  EXPECT_NE(run.err.find("encoding ["), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("9/9 frames"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

TEST_F(VideoTool, InterruptedCaptureLeavesNothing) {
  const std::string path = root_ + "/stopped.mp4";
  std::vector<std::string> args = {"--windir", *windows_, "--video", path, "--quiet"};
  const pid_t pid = Start(CAPTURE_TOOL, args, root_);
  ASSERT_GT(pid, 0);
  // Wait for the partial file: the capture is under way.
  for (int i = 0; i < 600 && !Exists(path + ".partial"); ++i) {
    const timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  ASSERT_TRUE(Exists(path + ".partial"));
  kill(pid, SIGINT);
  const ToolRun run = Finish(pid, root_);
  EXPECT_EQ(run.exitCode, 130) << run.err;
  EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + ".partial"));
}

}  // namespace
