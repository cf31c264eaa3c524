// Windows paths on Linux: the translation shared by fopen, PlaySoundA and
// the texture loader, and fopen's Windows behaviour.
#include "crt/path_translate.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "support/temp_dir.h"

namespace {

std::string Translate(const std::string& path) {
  char out[kStandinMaxPath];
  EXPECT_TRUE(StandinTranslatePath(path.c_str(), out, sizeof out)) << path;
  return out;
}

// A small Windows-like folder: the case of the names is Windows' own.
class PathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testdir::Make("paths");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/Web/Screen"));
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/Media"));
    ASSERT_TRUE(testdir::MakeFolders(root_ + "/media.wav"));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Web/Screen/img100.jpg", {1, 2, 3}));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Media/Ring03.wav", {4, 5}));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Media/ring03.wav", {6}));
    ASSERT_TRUE(testdir::WriteFile(root_ + "/Media/Alarm01.WAV", {7}));
  }
  void TearDown() override { testdir::Remove(root_); }
  std::string root_;
};

TEST_F(PathTest, DriveLettersAndBackslashes) {
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"C:\\no\\such\\file.txt", "/no/such/file.txt"},
      {"d:relative\\name", "relative/name"},
      {"\\at\\root", "/at/root"},
      {"plain/linux/path", "plain/linux/path"},
      {"mixed\\and/both", "mixed/and/both"},
      {"", ""},
      {"C:", ""},
      {"1:\\not-a-drive", "1:/not-a-drive"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Translate(c.in), c.out) << c.in;
}

TEST_F(PathTest, FindsEachComponentWhateverItsCase) {
  EXPECT_EQ(Translate(root_ + "\\web\\screen\\IMG100.JPG"), root_ + "/Web/Screen/img100.jpg");
  EXPECT_EQ(Translate("C:" + root_ + "\\WEB\\Screen\\img100.jpg"), root_ + "/Web/Screen/img100.jpg");
  EXPECT_EQ(Translate(root_ + "\\media\\alarm01.wav"), root_ + "/Media/Alarm01.WAV");
  // The exact name wins where it exists; among other matches the smallest
  // name in byte order, so the choice never depends on folder order.
  EXPECT_EQ(Translate(root_ + "\\Media\\ring03.wav"), root_ + "/Media/ring03.wav");
  EXPECT_EQ(Translate(root_ + "\\Media\\Ring03.wav"), root_ + "/Media/Ring03.wav");
  EXPECT_EQ(Translate(root_ + "\\Media\\RING03.WAV"), root_ + "/Media/Ring03.wav");
  // Below a component that exists nowhere the rest is left as written.
  EXPECT_EQ(Translate(root_ + "\\nowhere\\WEB\\x"), root_ + "/nowhere/WEB/x");
  EXPECT_EQ(Translate(root_ + "\\web\\.\\screen\\..\\Screen\\img100.jpg"),
            root_ + "/Web/./Screen/../Screen/img100.jpg");
}

TEST_F(PathTest, TooLongOrMissingArgumentsFailCleanly) {
  char out[32];
  memset(out, 'q', sizeof out);
  // Exactly fits: 31 characters and the NUL.
  const std::string fits(31, 'a');
  EXPECT_TRUE(StandinTranslatePath(fits.c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), fits);
  const std::string tooLong(32, 'a');
  EXPECT_FALSE(StandinTranslatePath(tooLong.c_str(), out, sizeof out));
  EXPECT_EQ(out[0], '\0');
  // The drive letter is not part of the result, so it does not count.
  EXPECT_TRUE(StandinTranslatePath(("C:" + fits).c_str(), out, sizeof out));
  // Longer than any path the platform handles, whatever the buffer.
  static char big[kStandinMaxPath * 2];
  const std::string huge(kStandinMaxPath, 'b');
  EXPECT_FALSE(StandinTranslatePath(huge.c_str(), big, sizeof big));
  EXPECT_FALSE(StandinTranslatePath(nullptr, out, sizeof out));
  EXPECT_FALSE(StandinTranslatePath("x", nullptr, 10));
  EXPECT_FALSE(StandinTranslatePath("x", out, 0));
}

TEST_F(PathTest, FopenOpensWindowsPaths) {
  FILE* file = fopen((root_ + "\\WEB\\screen\\Img100.jpg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  unsigned char bytes[4] = {};
  EXPECT_EQ(fread(bytes, 1, sizeof bytes, file), 3u);
  EXPECT_EQ(bytes[2], 3);
  fclose(file);
  file = fopen(("C:" + root_ + "\\media\\ALARM01.wav").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  fclose(file);
}

TEST_F(PathTest, FopenFailsAsOnWindows) {
  // A folder cannot be opened, for reading or writing.
  for (const char* mode : {"rb", "r", "wb"}) {
    errno = 0;
    EXPECT_EQ(fopen((root_ + "\\MEDIA").c_str(), mode), nullptr) << mode;
    EXPECT_EQ(errno, EACCES) << mode;
  }
  errno = 0;
  EXPECT_EQ(fopen((root_ + "\\media.wav").c_str(), "rb"), nullptr);
  EXPECT_EQ(errno, EACCES);
  errno = 0;
  EXPECT_EQ(fopen((root_ + "\\Media\\Ring04.wav").c_str(), "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(fopen(std::string(kStandinMaxPath + 10, 'z').c_str(), "rb"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

}  // namespace
