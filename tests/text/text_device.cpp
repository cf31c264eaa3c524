#include "text_device.h"

#include <gtest/gtest.h>
#include <standin.h>
#include <windows.h>

#include "app/main_loop.h"
#include "gfx/device.h"
#include "text/glyph_atlas.h"

bool StartTextDevice() {
  StandinSetHeadless(true);
  StandinUseVirtualClock(0);
  if (!CreateShowWindow(GetModuleHandleA(nullptr))) return false;
  BuildGlyphAtlas();
  return g_GlyphAtlas != nullptr;
}

void RebuildGlyphAtlas() {
  if (g_GlyphAtlas) g_GlyphAtlas->Release();
  g_GlyphAtlas = nullptr;
  BuildGlyphAtlas();
}

ULONG DeviceReferences() {
  g_pDevice->AddRef();
  return g_pDevice->Release();
}

namespace {

class TextDevice : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(StartTextDevice()); }
};

const testing::Environment* const kTextDevice =
    testing::AddGlobalTestEnvironment(new TextDevice);

}  // namespace
