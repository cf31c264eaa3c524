// Start-up checks: the Windows version, the probe of the system files, the
// message that names how many are missing, and the path rules.
#include "app/startup.h"

#include <gtest/gtest.h>
#include <standin.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "support/temp_dir.h"

namespace {

const char* const kProbedFiles[] = {"Web/Screen/img104.jpg", "Web/Screen/img101.png", "Web/Screen/img102.jpg",
                                    "Web/Screen/img103.png", "Web/Screen/img100.jpg", "Media/Ring03.wav"};

void SetWindowsDir(const std::string& dir) { snprintf(g_WindowsDir, sizeof g_WindowsDir, "%s", dir.c_str()); }

// A Windows folder with every probed file, its names in Windows' own case.
bool FillWindowsFolder(const std::string& dir) {
  if (!testdir::MakeFolders(dir + "/Web/Screen") || !testdir::MakeFolders(dir + "/Media")) return false;
  for (const char* file : kProbedFiles) {
    if (!testdir::WriteFile(dir + "/" + file, {'x'})) return false;
  }
  return true;
}

struct Box {
  bool shown;
  std::string caption, text;
  HWND owner;
};

Box LastBoxSince(DWORD countBefore) {
  const DWORD count = StandinMessageBoxCount();
  if (count == countBefore) return Box{false, "", "", nullptr};
  StandinMessageBox box;
  if (!StandinMessageBoxAt(count - 1, &box)) return Box{false, "", "", nullptr};
  return Box{true, box.caption, box.text, box.owner};
}

class StartupAssets : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinSetHeadless(true);
    root_ = testdir::Make("windir");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(FillWindowsFolder(root_));
    SetWindowsDir(root_);
    g_MissingMask = 0;
  }
  void TearDown() override { testdir::Remove(root_); }

  // Runs the check; returns its result and the message box it showed.
  bool Check(Box* box) {
    const DWORD before = StandinMessageBoxCount();
    const bool ok = CheckRequiredAssets();
    *box = LastBoxSince(before);
    EXPECT_LE(StandinMessageBoxCount(), before + 1);
    return ok;
  }

  std::string root_;
};

struct MissingCase {
  const char* name;
  std::vector<const char*> missing;
  DWORD mask;
  const char* text;  // null: no message
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

class MissingFiles : public StartupAssets, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingFiles, MaskCountsTheMissingFilesWhicheverTheyAre) {
  const MissingCase& c = GetParam();
  for (const char* file : c.missing) ASSERT_EQ(unlink((root_ + "/" + file).c_str()), 0) << file;
  Box box;
  const bool ok = Check(&box);
  EXPECT_EQ(g_MissingMask, c.mask);
  EXPECT_EQ(ok, c.text == nullptr);
  if (c.text) {
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, std::string("Missing resources : ") + c.text);
    EXPECT_EQ(box.owner, nullptr);
  } else {
    EXPECT_FALSE(box.shown);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MissingFiles,
    ::testing::Values(
        MissingCase{"none", {}, 0x0, nullptr},
        MissingCase{"img101_alone", {"Web/Screen/img101.png"}, 0x1, "1"},
        MissingCase{"ring03_alone", {"Media/Ring03.wav"}, 0x1, "1"},
        MissingCase{"img100_and_img104", {"Web/Screen/img100.jpg", "Web/Screen/img104.jpg"}, 0x3, "3"},
        MissingCase{"three", {"Web/Screen/img102.jpg", "Web/Screen/img103.png", "Media/Ring03.wav"}, 0x7, "7"},
        MissingCase{"four",
                    {"Web/Screen/img104.jpg", "Web/Screen/img101.png", "Web/Screen/img103.png", "Media/Ring03.wav"},
                    0xF, "f"},
        MissingCase{"all_wallpapers",
                    {"Web/Screen/img104.jpg", "Web/Screen/img101.png", "Web/Screen/img102.jpg",
                     "Web/Screen/img103.png", "Web/Screen/img100.jpg"},
                    0x1F, "1f"},
        MissingCase{"all_six",
                    {"Web/Screen/img104.jpg", "Web/Screen/img101.png", "Web/Screen/img102.jpg",
                     "Web/Screen/img103.png", "Web/Screen/img100.jpg", "Media/Ring03.wav"},
                    0x3F, "3f"}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

TEST_F(StartupAssets, OtherSoundsAreNeverProbed) {
  // Folders in their place would count as missing if they were opened.
  ASSERT_TRUE(testdir::MakeFolders(root_ + "/Media/Ring05.wav"));
  ASSERT_TRUE(testdir::MakeFolders(root_ + "/Media/Alarm01.wav"));
  Box box;
  EXPECT_TRUE(Check(&box));
  EXPECT_EQ(g_MissingMask, 0u);
  EXPECT_FALSE(box.shown);
}

TEST_F(StartupAssets, FileThatCannotBeReadCountsAsMissing) {
  ASSERT_EQ(unlink((root_ + "/Web/Screen/img102.jpg").c_str()), 0);
  ASSERT_TRUE(testdir::MakeFolders(root_ + "/Web/Screen/img102.jpg"));
  Box box;
  EXPECT_FALSE(Check(&box));
  EXPECT_EQ(g_MissingMask, 0x1u);
  EXPECT_EQ(box.text, "Missing resources : 1");
}

TEST_F(StartupAssets, FileWithoutReadPermissionCountsAsMissing) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions";
  ASSERT_EQ(chmod((root_ + "/Media/Ring03.wav").c_str(), 0), 0);
  Box box;
  EXPECT_FALSE(Check(&box));
  EXPECT_EQ(g_MissingMask, 0x1u);
}

TEST_F(StartupAssets, MissingWindowsFolderMissesEverything) {
  SetWindowsDir(root_ + "/NoSuchFolder");
  Box box;
  EXPECT_FALSE(Check(&box));
  EXPECT_EQ(box.text, "Missing resources : 3f");
}

// A Windows folder whose name is `length` characters long, holding every
// probed file. Paths that do not fit the 260-byte buffer are missing, even
// though the files are there.
TEST_F(StartupAssets, LongWindowsFolder) {
  const struct {
    size_t length;
    DWORD mask;
  } kCases[] = {
      {237, 0x0},   // the longest wallpaper path is 259 characters: it fits
      {238, 0x1F},  // no wallpaper path fits; Ring03.wav's still does
      {242, 0x1F},  // Ring03.wav's path is exactly 259 characters
      {243, 0x3F},  // nothing fits
      {255, 0x3F},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.length);
    std::string dir = root_ + "/";
    while (dir.size() < c.length) {
      const size_t chunk = c.length - dir.size() > 100 ? 100 : c.length - dir.size();
      dir += std::string(chunk, 'd');
      if (dir.size() < c.length - 1) dir += "/";
    }
    ASSERT_EQ(dir.size(), c.length);
    ASSERT_TRUE(FillWindowsFolder(dir));
    SetWindowsDir(dir);
    g_MissingMask = 0;
    Box box;
    EXPECT_EQ(Check(&box), c.mask == 0);
    EXPECT_EQ(g_MissingMask, c.mask);
  }
}

TEST(PathRules, WallpaperAndSoundPaths) {
  SetWindowsDir("C:\\Windows");
  const char* const kExpected[kWallpaperCount] = {
      "C:\\Windows\\web\\screen\\img104.jpg", "C:\\Windows\\web\\screen\\img101.png",
      "C:\\Windows\\web\\screen\\img102.jpg", "C:\\Windows\\web\\screen\\img103.png",
      "C:\\Windows\\web\\screen\\img100.jpg"};
  char buffer[268];
  for (int i = 0; i < kWallpaperCount; ++i) {
    ASSERT_TRUE(FormatWallpaperPath(buffer, sizeof buffer, i));
    EXPECT_STREQ(buffer, kExpected[i]);
  }
  ASSERT_TRUE(FormatSoundPath(buffer, sizeof buffer, "Ring05.wav"));
  EXPECT_STREQ(buffer, "C:\\Windows\\media\\Ring05.wav");
  EXPECT_FALSE(FormatWallpaperPath(buffer, sizeof buffer, 5));
  EXPECT_FALSE(FormatWallpaperPath(buffer, sizeof buffer, -1));

  // Without a Windows folder the paths start at the root of the drive.
  SetWindowsDir("");
  ASSERT_TRUE(FormatWallpaperPath(buffer, sizeof buffer, 0));
  EXPECT_STREQ(buffer, "\\web\\screen\\img104.jpg");
}

// A path that does not fit is reported, leaves the buffer empty (never a
// cut-off path that could name another file) and writes nothing past it.
TEST(PathRules, PathThatDoesNotFitIsNeitherWrittenPastNorCut) {
  SetWindowsDir("C:\\Windows");
  const std::string wallpaper = "C:\\Windows\\web\\screen\\img104.jpg";
  const std::string sound = "C:\\Windows\\media\\Ring03.wav";
  for (size_t size : {size_t(1), size_t(12), wallpaper.size() - 1, wallpaper.size(), wallpaper.size() + 1}) {
    SCOPED_TRACE(size);
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    const bool fits = FormatWallpaperPath(buffer, size, 0);
    EXPECT_EQ(fits, size > wallpaper.size());
    EXPECT_EQ(std::string(buffer), fits ? wallpaper : std::string());
    for (size_t i = size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;

    memset(buffer, '#', sizeof buffer);
    const bool soundFits = FormatSoundPath(buffer, size, "Ring03.wav");
    EXPECT_EQ(soundFits, size > sound.size());
    EXPECT_EQ(std::string(buffer), soundFits ? sound : std::string());
    for (size_t i = size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;
  }
}

TEST(Version, Windows10OrLater) {
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the record Windows expects");
  const struct {
    DWORD major, minor, servicePack;
    bool passes;
  } kCases[] = {
      {10, 0, 0, true}, {10, 0, 3, true}, {10, 1, 0, true}, {11, 0, 0, true},
      {6, 3, 0, false},  // Windows 8.1
      {6, 1, 1, false},  // Windows 7 SP1
      {5, 1, 3, false},  // Windows XP SP3
      {9, 9, 9, false},
  };
  for (const auto& c : kCases) {
    StandinSetWindowsVersion(c.major, c.minor, c.servicePack);
    EXPECT_EQ(IsWindows10OrLater(), c.passes) << c.major << "." << c.minor << " SP" << c.servicePack;
  }
  StandinSetWindowsVersion(10, 0, 0);
}

}  // namespace
