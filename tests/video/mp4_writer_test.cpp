// The MP4 writer: what it writes reads back as written, and a file at the
// target path is always complete.
#include "video_writer.h"

#include <gtest/gtest.h>
#include <math.h>

#include <fstream>
#include <string>
#include <vector>

#include "media_reader.h"
#include "support/temp_dir.h"
#include "unwritable.h"
#include "yuv.h"

namespace {

// How closely a sound's start must be found where it was put: the codec
// smears a sharp start a little, but an encoder delay left in the file
// (1024 samples, 21 ms) must show.
constexpr double kOnsetTolerance = 0.003;

constexpr int kWidth = 320;
constexpr int kHeight = 180;

class Mp4WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testdir::Make("mp4");
    ASSERT_FALSE(root_.empty());
    settings_.width = kWidth;
    settings_.height = kHeight;
    settings_.rate = FrameRate{30, 1};
  }
  void TearDown() override { testdir::Remove(root_); }

  std::string root_;
  VideoSettings settings_;
};

// One second at 30 frames a second of one colour, silent but for a tone
// from half a second on.
bool WriteSecond(Mp4Writer* writer, uint32_t colour, std::string* error) {
  const std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight, colour);
  std::vector<float> sound(48000 * 2, 0.0f);
  for (size_t i = 24000; i < 48000; ++i) {
    const float v = 0.5f * static_cast<float>(sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0));
    sound[2 * i] = v;
    sound[2 * i + 1] = v;
  }
  for (int frame = 0; frame < 30; ++frame) {
    // Sound in frame-sized pieces, as the capture hands it over.
    if (!writer->AddAudio(sound.data() + frame * 1600 * 2, 1600, error)) return false;
    if (!writer->AddVideoFrame(pixels.data(), kWidth, error)) return false;
  }
  return true;
}

TEST_F(Mp4WriterTest, WritesH264AndAacThatReadBack) {
  const std::string path = root_ + "/out.mp4";
  Mp4Writer writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, settings_, &error)) << error;
  const uint32_t colour = 0xFFC86432;
  ASSERT_TRUE(WriteSecond(&writer, colour, &error)) << error;
  // Until the trailer is written only the partial file exists.
  EXPECT_FALSE(Exists(path));
  EXPECT_TRUE(Exists(path + ".partial"));
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_TRUE(Exists(path));
  EXPECT_FALSE(Exists(path + ".partial"));

  const MediaInfo info = ReadMedia(path, true);
  ASSERT_EQ(info.error, "");
  EXPECT_NE(info.formatName.find("mp4"), std::string::npos);
  EXPECT_EQ(info.videoStreams, 1);
  EXPECT_EQ(info.audioStreams, 1);
  EXPECT_EQ(info.videoCodec, "h264");
  EXPECT_EQ(info.width, kWidth);
  EXPECT_EQ(info.height, kHeight);
  EXPECT_EQ(info.pixelFormat, "yuv420p");
  EXPECT_EQ(info.frameRateNum, 30);
  EXPECT_EQ(info.frameRateDen, 1);
  EXPECT_EQ(info.videoPackets, 30);
  EXPECT_NEAR(info.videoDuration, 1.0, 1e-6);
  EXPECT_EQ(info.audioCodec, "aac");
  EXPECT_EQ(info.sampleRate, 48000);
  EXPECT_EQ(info.channels, 2);

  // The picture's colour survives (within the encoder's loss).
  uint8_t y, u, v;
  const uint32_t block[4] = {colour, colour, colour, colour};
  ConvertToYuv420(block, 2, 2, 2, YuvPlanes{&y, &u, &v, 2, 1, 1});
  EXPECT_NEAR(info.centreY, y, 3);
  EXPECT_NEAR(info.centreU, u, 3);
  EXPECT_NEAR(info.centreV, v, 3);

  // The sound starts where it was put, on the file's timeline.
  const int64_t loud = FirstLoudFrame(info.samples, 0, 0.05f);
  ASSERT_GE(loud, 0);
  const double start = info.firstSampleTime + static_cast<double>(loud) / 48000.0;
  EXPECT_NEAR(start, 0.5, kOnsetTolerance);
  const double length = info.firstSampleTime + static_cast<double>(info.samples.size() / 2) / 48000.0;
  EXPECT_NEAR(length, 1.0, 1024.0 / 48000.0);
}

TEST_F(Mp4WriterTest, FractionalRateIsKeptExactly) {
  const std::string path = root_ + "/ntsc.mp4";
  settings_.rate = FrameRate{30000, 1001};
  Mp4Writer writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, settings_, &error)) << error;
  ASSERT_TRUE(WriteSecond(&writer, 0xFF000000, &error)) << error;
  ASSERT_TRUE(writer.Finish(&error)) << error;
  const MediaInfo info = ReadMedia(path, false);
  ASSERT_EQ(info.error, "");
  EXPECT_EQ(info.frameRateNum, 30000);
  EXPECT_EQ(info.frameRateDen, 1001);
  EXPECT_EQ(info.videoPackets, 30);
  EXPECT_NEAR(info.videoDuration, 30 * 1001 / 30000.0, 1e-4);
}

TEST_F(Mp4WriterTest, BadTargetsFailWithAReasonAndLeaveNothing) {
  ASSERT_TRUE(testdir::MakeFolders(root_ + "/a-folder"));
  const std::string unwritable = UnwritableFolder(root_);
  struct Case {
    std::string path;
    const char* says;
  };
  std::vector<Case> cases = {
      {root_ + "/no/such/folder/out.mp4", "does not exist"},
      {root_ + "/a-folder", "is a folder"},
      {root_ + "/a-folder/", "folder"},
      {"", "no output path"},
  };
  if (!unwritable.empty()) cases.push_back({unwritable + "/out.mp4", "ermission denied"});
  for (const Case& c : cases) {
    Mp4Writer writer;
    std::string error;
    EXPECT_FALSE(writer.Open(c.path, settings_, &error)) << c.path;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.path << ": " << error;
    EXPECT_FALSE(Exists(c.path + ".partial")) << c.path;
  }
  EXPECT_FALSE(Exists(root_ + "/no"));
}

TEST_F(Mp4WriterTest, FileThatCannotBeMovedIntoPlaceIsRemoved) {
  const std::string path = root_ + "/taken.mp4";
  Mp4Writer writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, settings_, &error)) << error;
  ASSERT_TRUE(WriteSecond(&writer, 0xFF404040, &error)) << error;
  // Something else takes the name meanwhile: a folder with a file in it.
  ASSERT_TRUE(testdir::MakeFolders(path));
  ASSERT_TRUE(testdir::WriteFile(path + "/other", {'x'}));
  EXPECT_FALSE(writer.Finish(&error));
  EXPECT_NE(error.find("cannot move"), std::string::npos) << error;
  EXPECT_FALSE(Exists(path + ".partial"));
  EXPECT_TRUE(Exists(path + "/other"));
}

TEST_F(Mp4WriterTest, MissingEncoderIsNamed) {
  // Not there at all, and there but not an H.264 encoder.
  for (const char* name : {"no-such-encoder", "mpeg4"}) {
    settings_.videoEncoder = name;
    Mp4Writer writer;
    std::string error;
    EXPECT_FALSE(writer.Open(root_ + "/out.mp4", settings_, &error)) << name;
    EXPECT_NE(error.find(std::string("encoder ") + name + " is not available"), std::string::npos) << error;
    EXPECT_FALSE(Exists(root_ + "/out.mp4.partial")) << name;
    EXPECT_FALSE(Exists(root_ + "/out.mp4")) << name;
  }
}

TEST_F(Mp4WriterTest, OddPictureSizeIsRefused) {
  settings_.width = 321;
  Mp4Writer writer;
  std::string error;
  EXPECT_FALSE(writer.Open(root_ + "/odd.mp4", settings_, &error));
  EXPECT_NE(error.find("even"), std::string::npos) << error;
  EXPECT_FALSE(Exists(root_ + "/odd.mp4.partial"));
}

TEST_F(Mp4WriterTest, UnfinishedFileIsRemovedAndAnOldFileKept) {
  const std::string path = root_ + "/keep.mp4";
  ASSERT_TRUE(testdir::WriteFile(path, {'o', 'l', 'd'}));
  {
    Mp4Writer writer;
    std::string error;
    ASSERT_TRUE(writer.Open(path, settings_, &error)) << error;
    ASSERT_TRUE(WriteSecond(&writer, 0xFF202020, &error)) << error;
    EXPECT_TRUE(Exists(path + ".partial"));
  }  // dropped without Finish, as when a capture fails half-way
  EXPECT_FALSE(Exists(path + ".partial"));
  std::ifstream in(path, std::ios::binary);
  const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "old");

  Mp4Writer again;
  std::string error;
  ASSERT_TRUE(again.Open(path, settings_, &error)) << error;
  again.Abandon();
  EXPECT_FALSE(Exists(path + ".partial"));
  std::string unused;
  EXPECT_FALSE(again.AddVideoFrame(nullptr, 0, &unused));
}

}  // namespace
