// The Windows deliverables and their 64-bit twins, checked as files: machine,
// subsystem, what they import and the manifest they carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>

#include "pe_file.h"

namespace {

struct Target {
  const char* preset;
  uint16_t machine;
  uint16_t magic;
};

const Target kTargets[] = {
    {"windows-i686", 0x014c, 0x10b},  // IMAGE_FILE_MACHINE_I386, PE32
    {"windows-x64", 0x8664, 0x20b},   // IMAGE_FILE_MACHINE_AMD64, PE32+
};
const char* const kPrograms[] = {"show-1080", "show-720", "show-1080-windowed",
                                 "show-720-windowed"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

class WindowsProgram : public testing::TestWithParam<std::tuple<Target, const char*>> {
 protected:
  void SetUp() override {
    const auto& [target, program] = GetParam();
    path_ = std::string(SHOW_BUILD_ROOT) + "/" + target.preset + "/bin/" + program + ".exe";
    std::string error;
    ASSERT_TRUE(ReadPeFile(path_, &pe_, &error))
        << error << " (build the " << target.preset << " preset first)";
  }
  std::string path_;
  PeFile pe_;
};

TEST_P(WindowsProgram, IsAGuiProgramForItsMachine) {
  const Target& target = std::get<0>(GetParam());
  EXPECT_EQ(pe_.machine, target.machine);
  EXPECT_EQ(pe_.magic, target.magic);
  EXPECT_EQ(pe_.subsystem, 2) << "IMAGE_SUBSYSTEM_WINDOWS_GUI";
}

TEST_P(WindowsProgram, ImportsOnlyTheSystemLibraries) {
  std::set<std::string> imports;
  for (const std::string& name : pe_.imports) imports.insert(Lower(name));
  const std::set<std::string> expected = {"d3d9.dll",   "d3dx9_43.dll", "winmm.dll",
                                          "user32.dll", "kernel32.dll", "msvcrt.dll"};
  EXPECT_EQ(imports, expected);
}

TEST_P(WindowsProgram, CarriesTheManifestAndNoIconOrVersion) {
  const PeResource* manifest = nullptr;
  for (const PeResource& r : pe_.resources) {
    EXPECT_NE(r.type, 3u) << "icon";
    EXPECT_NE(r.type, 14u) << "icon group";
    EXPECT_NE(r.type, 16u) << "version block";
    if (r.type == 24) {
      EXPECT_EQ(manifest, nullptr) << "more than one manifest";
      manifest = &r;
    }
  }
  ASSERT_NE(manifest, nullptr) << "no RT_MANIFEST resource";
  EXPECT_EQ(manifest->id, 1u);
  const std::string& xml = manifest->data;
  const char* const kElements[] = {
      R"(<requestedExecutionLevel\s+level="asInvoker"\s+uiAccess="false"\s*/>)",
      R"(<dpiAware[^>]*>\s*True/PM\s*</dpiAware>)",
      R"(<supportedOS\s+Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"\s*/>)",
      R"(<assembly\s+xmlns="urn:schemas-microsoft-com:asm.v1"\s+manifestVersion="1.0">)",
  };
  for (const char* element : kElements)
    EXPECT_TRUE(std::regex_search(xml, std::regex(element))) << element << "\nin\n" << xml;
}

INSTANTIATE_TEST_SUITE_P(
    All, WindowsProgram, testing::Combine(testing::ValuesIn(kTargets), testing::ValuesIn(kPrograms)),
    [](const testing::TestParamInfo<WindowsProgram::ParamType>& info) {
      std::string name = std::string(std::get<0>(info.param).preset) + "_" + std::get<1>(info.param);
      std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
      return name;
    });

}  // namespace
