#include "started_show.h"

#include <gtest/gtest.h>

#include "gfx/shaders.h"
#include "show/loading.h"
#include "support/temp_dir.h"
#include "text/glyph_atlas.h"

namespace {

std::vector<ProgressRecord> g_Recorded;
std::string g_Root;

void RecordProgressFrame(DWORD, void*) {
  ProgressRecord record;
  record.frame = showtest::LastFrame();
  record.slept = StandinTotalSleep();
  for (int i = 0; i < kWallpaperTextureCount; ++i)
    if (g_Wallpapers[i]) record.loadedMask |= 1u << i;
  record.shadersReady = g_ColorShader.pShader && g_TextureShader.pShader;
  record.atlasReady = g_GlyphAtlas != nullptr;
  g_Recorded.push_back(std::move(record));
}

class LoadedShow : public testing::Environment {
 public:
  void SetUp() override {
    g_Root = testdir::Make("loading-test");
    ASSERT_FALSE(g_Root.empty());
    const std::string windows = g_Root + "/windows";
    ASSERT_TRUE(showtest::WriteWindowsFolder(windows));
    ASSERT_TRUE(showtest::StartShow(windows));
    StandinSetPresentHook(RecordProgressFrame, nullptr);
    RunLoadingSequence();
    StandinSetPresentHook(nullptr, nullptr);
  }
  void TearDown() override { testdir::Remove(g_Root); }
};

const testing::Environment* const kLoadedShow = testing::AddGlobalTestEnvironment(new LoadedShow);

}  // namespace

const std::vector<ProgressRecord>& RecordedProgress() { return g_Recorded; }

const std::string& ScratchRoot() { return g_Root; }
