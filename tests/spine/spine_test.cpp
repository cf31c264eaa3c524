// The program's life: start-up, the main loop and its clock, the ways it
// ends, and the device state it sets up. Each case that runs WinMain runs
// in a child process (a death test), since the program ends the process.
#include <gtest/gtest.h>
#include <standin.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/frame.h"
#include "show/loading.h"

namespace {

const char kFolderPrefix[] = "/tmp/spine-windir-";

// A Windows folder holding the files the start-up check probes (their
// contents do not matter to these tests), made once by the parent process
// and inherited by the children through WINDIR.
std::string MakeWindowsFolder() {
  const char* inherited = std::getenv("WINDIR");
  if (inherited && std::string(inherited).rfind(kFolderPrefix, 0) == 0) return "";
  std::string pattern = std::string(kFolderPrefix) + "XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  const std::string root = pattern;
  for (const char* folder : {"/web", "/web/screen", "/media"})
    mkdir((root + folder).c_str(), 0755);
  for (const char* file : {"/web/screen/img100.jpg", "/web/screen/img101.png",
                           "/web/screen/img102.jpg", "/web/screen/img103.png",
                           "/web/screen/img104.jpg", "/media/Ring03.wav"})
    if (FILE* f = std::fopen((root + file).c_str(), "wb")) std::fclose(f);
  setenv("WINDIR", root.c_str(), 1);
  return root;
}

void StartHeadless(DWORD startTick) {
  StandinSetHeadless(true);
  StandinUseVirtualClock(startTick);
}

int RunWinMain() {
  return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
}

// What the program did, reported by the exit hook on standard error so the
// parent can match it.
DWORD g_showFrames = 0;
DWORD g_framesAtOrPastEnd = 0;
DWORD g_lastShowTime = 0;
bool g_showTimeWentBack = false;

// The loading screen presents its own frames first; show frames are those
// after the show clock started (the start ticks used here are never 0).
bool ShowStarted() { return g_ShowStartTick != 0; }

void RecordFrame(DWORD, void*) {
  if (!ShowStarted()) return;
  ++g_showFrames;
  if (g_ShowTime < g_lastShowTime) g_showTimeWentBack = true;
  g_lastShowTime = g_ShowTime;
  if (g_ShowTime >= kShowLength) ++g_framesAtOrPastEnd;
}

void ReportOnExit(UINT code) {
  std::fprintf(stderr, "exit=%u frames=%u last=%u past_end=%u back=%d\n", code, g_showFrames,
               g_lastShowTime, g_framesAtOrPastEnd, g_showTimeWentBack);
}

// --- How the show ends ----------------------------------------------------

struct EndCase {
  const char* name;
  DWORD startTick;
  DWORD stepPerFrame;
  void (*atShowFrame3)();
  const char* report;  // what the exit hook must print
};

void PressEscape() { StandinPressKey(VK_ESCAPE, false); }
void CloseWindow() { StandinCloseWindow(StandinMainWindow()); }
void PressAltF4() { StandinPressKey(VK_F4, true); }
void PressAltEscape() { StandinPressKey(VK_ESCAPE, true); }
void Nothing() {}

const EndCase kEndCases[] = {
    // Ended early: the frame that saw the key is the last one.
    {"Escape", 5000, 16, PressEscape, "exit=0 frames=4 "},
    {"CloseButton", 5000, 16, CloseWindow, "exit=0 frames=4 "},
    {"AltF4", 5000, 16, PressAltF4, "exit=0 frames=4 "},
    // Alt+Escape is a system key: the show goes on to its end.
    {"AltEscapeIgnored", 5000, 1000, PressAltEscape, "exit=0 frames=10[0-9] last=10[0-9]+ past_end=1 back=0"},
    // To the end: exactly one frame is drawn at or past 105532.
    {"ClockRunsOut", 5000, 1000, Nothing, "exit=0 frames=10[0-9] last=10[0-9]+ past_end=1 back=0"},
    // GetTickCount wraps past 2^32 during the show.
    {"TickCountWraps", 0xFFFFFFFFu - 20000, 1000, Nothing, "exit=0 frames=10[0-9] last=10[0-9]+ past_end=1 back=0"},
};

class ShowEnds : public testing::TestWithParam<EndCase> {};

TEST_P(ShowEnds, WithExitCodeZero) {
  const EndCase& c = GetParam();
  EXPECT_EXIT(
      {
        StartHeadless(c.startTick);
        StandinSetClockStepPerPresent(c.stepPerFrame);
        static void (*action)() = c.atShowFrame3;
        StandinSetPresentHook(
            [](DWORD index, void*) {
              RecordFrame(index, nullptr);
              if (g_showFrames == 4) action();
            },
            nullptr);
        StandinSetExitHook(ReportOnExit);
        RunWinMain();
        std::exit(99);  // WinMain must not return after a show
      },
      testing::ExitedWithCode(0), c.report);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShowEnds, testing::ValuesIn(kEndCases),
                         [](const testing::TestParamInfo<EndCase>& info) {
                           return std::string(info.param.name);
                         });

// --- The main loop's contract -----------------------------------------------

TEST(MainLoop, HandlesEveryWaitingMessageBeforeTheNextFrame) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        StandinSetClockStepPerPresent(16);
        StandinSetPresentHook(
            [](DWORD, void*) {
              if (!ShowStarted()) return;
              static int frame = 0;
              ++frame;
              MSG msg;
              // Whatever was posted after the last frame is gone by now.
              if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) std::_Exit(3);
              if (frame == 2)
                for (int i = 0; i < 50; ++i) PostMessageA(StandinMainWindow(), WM_NULL, 0, 0);
              if (frame == 5) StandinPressKey(VK_ESCAPE, false);
            },
            nullptr);
        RunWinMain();
      },
      testing::ExitedWithCode(0), "");
}

TEST(MainLoop, EscapeWaitingBeforeTheLoopEndsItWithoutAFrame) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        if (!CreateShowWindow(GetModuleHandleA(nullptr))) std::_Exit(2);
        const DWORD framesBefore = StandinPresentCount();
        StandinPressKey(VK_ESCAPE, false);  // pressed while loading
        RunMainLoop();
        std::_Exit(StandinPresentCount() == framesBefore && g_pd3dDevice == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MainLoop, QuitMessageEndsTheLoopWithNoFurtherFrame) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        StandinSetClockStepPerPresent(16);
        if (!CreateShowWindow(GetModuleHandleA(nullptr))) std::_Exit(2);
        StandinSetPresentHook(
            [](DWORD index, void*) {
              if (index == 2) PostQuitMessage(0);
            },
            nullptr);
        RunMainLoop();
        std::_Exit(StandinPresentCount() == 3 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MainLoop, FirstFrameTimeIsTheTimeSinceTheClockStarted) {
  EXPECT_EXIT(
      {
        StartHeadless(777);
        if (!CreateShowWindow(GetModuleHandleA(nullptr))) std::_Exit(2);
        StandinSetPresentHook(
            [](DWORD, void*) {
              // No time passes in a virtual clock without a step.
              std::_Exit(g_ShowTime == 0 && g_ShowStartTick == 777 ? 0 : 1);
            },
            nullptr);
        RunMainLoop();
        std::_Exit(4);
      },
      testing::ExitedWithCode(0), "");
}

// --- Start-up failures ---------------------------------------------------------

TEST(Startup, OlderWindowsGetsItsMessageBeforeAnyWindow) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        StandinSetWindowsVersion(6, 3, 0);  // Windows 8.1
        const int code = RunWinMain();
        std::_Exit(code == -1 && StandinMainWindow() == nullptr ? 255 : 1);
      },
      testing::ExitedWithCode(255), "Error: Windows 10 required!");
}

TEST(Startup, MissingFilesEndItBeforeAnyWindow) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        setenv("WINDIR", "/nonexistent-windows-folder", 1);
        const int code = RunWinMain();
        std::_Exit(code == -1 && StandinMainWindow() == nullptr ? 255 : 1);
      },
      testing::ExitedWithCode(255), "Error: Missing resources : 3f");
}

struct FailureCase {
  StandinFailure failure;
  const char* message;
};

const FailureCase kFailureCases[] = {
    {kStandinFailRegisterClass, "Error: The window class could not be registered."},
    {kStandinFailCreateWindow, "Error: The window could not be created."},
    {kStandinFailDirect3DCreate, "Error: Direct3D 9 could not be created."},
    {kStandinFailCreateDevice, "Error: The Direct3D 9 device could not be created."},
};

class StartupFails : public testing::TestWithParam<FailureCase> {};

TEST_P(StartupFails, WithAMessageAndExitCodeMinusOne) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        StandinSetFailure(GetParam().failure, true);
        const int code = RunWinMain();
        // Nothing may have been drawn or presented.
        std::_Exit(code == -1 && StandinPresentCount() == 0 && StandinMessageBoxCount() == 1
                       ? 255
                       : 1);
      },
      testing::ExitedWithCode(255), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupFails, testing::ValuesIn(kFailureCases));

// --- Window, device and their start-up state ---------------------------------

class Started : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartHeadless(1000);
    ASSERT_TRUE(CreateShowWindow(GetModuleHandleA(nullptr)));
  }
};

TEST_F(Started, WindowHasTheBuildsClientSizeAtTheOrigin) {
  int width = 0, height = 0;
  ASSERT_TRUE(StandinWindowClientSize(g_hWnd, &width, &height));
  EXPECT_EQ(width, kScreenWidth);
  EXPECT_EQ(height, kScreenHeight);
  RECT outer;
  ASSERT_TRUE(StandinWindowOuterRect(g_hWnd, &outer));
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_STREQ(StandinWindowTitle(g_hWnd), "VORNEL (R3)");
  EXPECT_TRUE(StandinWindowVisible(g_hWnd));
}

TEST_F(Started, FullScreenOnlyWithoutWindowedAndThenTheCursorIsHidden) {
  EXPECT_EQ(StandinWindowFullscreen(g_hWnd), !kWindowed);
  EXPECT_EQ(StandinCursorCounter(), kWindowed ? 0 : -1);
  EXPECT_EQ(g_d3dpp.Windowed, kWindowed ? TRUE : FALSE);
}

TEST_F(Started, BackBufferIsTheBuildsSizeWithDepth) {
  EXPECT_EQ(g_d3dpp.BackBufferWidth, UINT(kScreenWidth));
  EXPECT_EQ(g_d3dpp.BackBufferHeight, UINT(kScreenHeight));
  EXPECT_EQ(g_d3dpp.BackBufferFormat, D3DFMT_A8R8G8B8);
  EXPECT_EQ(g_d3dpp.AutoDepthStencilFormat, D3DFMT_D24X8);
  EXPECT_EQ(g_d3dpp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
  EXPECT_EQ(g_ScreenWidth, UINT(kScreenWidth));
  EXPECT_EQ(g_ScreenHeight, UINT(kScreenHeight));
  EXPECT_EQ(g_pDevice, g_pd3dDevice);
  StandinFrame frame;
  ASSERT_TRUE(StandinBackBuffer(&frame));
  EXPECT_EQ(frame.width, UINT(kScreenWidth));
  EXPECT_EQ(frame.height, UINT(kScreenHeight));
}

TEST_F(Started, ResetLeavesDefaultsAndTheSamplersAreSetUp) {
  DWORD value = 0;
  struct {
    D3DRENDERSTATETYPE state;
    DWORD expected;
  } const kRenderStates[] = {
      {D3DRS_LIGHTING, TRUE},  // the switch before Reset does not survive it
      {D3DRS_ZENABLE, D3DZB_TRUE},         {D3DRS_ZWRITEENABLE, TRUE},
      {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},     {D3DRS_CULLMODE, D3DCULL_CCW},
      {D3DRS_ALPHABLENDENABLE, FALSE},     {D3DRS_SRCBLEND, D3DBLEND_ONE},
      {D3DRS_DESTBLEND, D3DBLEND_ZERO},    {D3DRS_ALPHATESTENABLE, FALSE},
  };
  for (const auto& c : kRenderStates) {
    g_pDevice->GetRenderState(c.state, &value);
    EXPECT_EQ(value, c.expected) << "render state " << c.state;
  }
  for (DWORD s = 0; s < 8; ++s) {
    g_pDevice->GetSamplerState(s, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_WRAP)) << "sampler " << s;
    g_pDevice->GetSamplerState(s, D3DSAMP_ADDRESSV, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_WRAP)) << "sampler " << s;
    g_pDevice->GetSamplerState(s, D3DSAMP_MAGFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_LINEAR)) << "sampler " << s;
    g_pDevice->GetSamplerState(s, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_LINEAR)) << "sampler " << s;
    g_pDevice->GetSamplerState(s, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_POINT)) << "sampler " << s;
  }
  g_pDevice->GetSamplerState(8, D3DSAMP_MAGFILTER, &value);
  EXPECT_EQ(value, DWORD(D3DTEXF_POINT)) << "only samplers 0 to 7 are set";
  g_pDevice->GetTextureStageState(0, D3DTSS_COLOROP, &value);
  EXPECT_EQ(value, DWORD(D3DTOP_MODULATE));
  g_pDevice->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
  EXPECT_EQ(value, DWORD(D3DTOP_SELECTARG1));
  g_pDevice->GetTextureStageState(1, D3DTSS_COLOROP, &value);
  EXPECT_EQ(value, DWORD(D3DTOP_DISABLE));
}

TEST_F(Started, FontsAreMadeWithTheirSizesAndTheSpriteExists) {
  struct {
    const char* face;
    INT height;
    BOOL italic;
  } const kFonts[] = {{"Arial", -48, TRUE}, {"Arial", -128, FALSE}, {"Arial", -24, FALSE},
                      {"Webdings", -512, FALSE}};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(g_Fonts[i], nullptr);
    D3DXFONT_DESCA desc;
    ASSERT_EQ(g_Fonts[i]->GetDescA(&desc), D3D_OK);
    EXPECT_STREQ(desc.FaceName, kFonts[i].face);
    EXPECT_EQ(desc.Height, kFonts[i].height) << "the same in every build";
    EXPECT_EQ(desc.Italic, kFonts[i].italic);
    EXPECT_EQ(desc.Weight, UINT(FW_DONTCARE));
    EXPECT_EQ(desc.MipLevels, 1u);
    EXPECT_EQ(desc.CharSet, DEFAULT_CHARSET);
  }
  EXPECT_NE(g_pSprite, nullptr);
}

TEST(ReleaseDevice, TwiceIsHarmlessAndKeepsTheCopy) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        if (!CreateShowWindow(GetModuleHandleA(nullptr))) std::_Exit(2);
        IDirect3DDevice9* copy = g_pDevice;
        ReleaseDevice();
        const bool cleared = g_pd3dDevice == nullptr && g_pD3D == nullptr && g_pDevice == copy;
        ReleaseDevice();
        std::_Exit(cleared && g_pd3dDevice == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LostDevice, IsResetWhenItMayBeAndTheShowGoesOnAtTheClocksMoment) {
  EXPECT_EXIT(
      {
        StartHeadless(1000);
        if (!CreateShowWindow(GetModuleHandleA(nullptr))) std::_Exit(2);
        RunLoadingSequence();
        auto frameAt = [](DWORD t) {
          g_ShowTime = t;
          RenderFrame();
        };
        frameAt(2000);
        const DWORD shown = StandinPresentCount();
        StandinLoseDevice();  // the user switches away
        frameAt(3000);
        if (!g_DeviceLost || StandinPresentCount() != shown) std::_Exit(10);
        frameAt(4000);  // still away: no reset is tried yet
        DWORD filter = 0;
        g_pDevice->GetSamplerState(0, D3DSAMP_MAGFILTER, &filter);
        if (!g_DeviceLost || filter != D3DTEXF_LINEAR) std::_Exit(11);
        StandinAllowDeviceReset();  // back
        frameAt(5000);
        if (g_DeviceLost || StandinPresentCount() != shown + 1) std::_Exit(12);
        // The reset device has the start-up sampler states again.
        for (DWORD sampler = 0; sampler < 8; ++sampler) {
          g_pDevice->GetSamplerState(sampler, D3DSAMP_MAGFILTER, &filter);
          if (filter != D3DTEXF_LINEAR) std::_Exit(13);
        }
        StandinFrame frame;
        StandinLastFrame(&frame);
        const std::vector<DWORD> recovered(frame.pixels, frame.pixels + frame.width * frame.height);
        frameAt(5000);
        StandinLastFrame(&frame);
        const std::vector<DWORD> again(frame.pixels, frame.pixels + frame.width * frame.height);
        std::_Exit(recovered == again ? 0 : 14);
      },
      testing::ExitedWithCode(0), "");
}

// --- The stretch of the show for a show time ------------------------------------

TEST(Timeline, EveryBoundaryLandsInItsStretch) {
  struct {
    DWORD t;
    ShowStretch stretch;
  } const kCases[] = {
      {0, kStretchLeadIn},        {1000, kStretchLeadIn},     {1001, kStretchIntro},
      {13871, kStretchIntro},     {13872, kStretchGap},       {13873, kStretchVerses},
      {79531, kStretchVerses},    {79532, kStretchFinale},    {101532, kStretchFinale},
      {105532, kStretchFinale},   {0xFFFFFFFFu, kStretchFinale},
  };
  for (const auto& c : kCases) EXPECT_EQ(StretchAt(c.t), c.stretch) << "t = " << c.t;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Each program run starts from a fresh process, not a copy of this one.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string folder = MakeWindowsFolder();
  const int result = RUN_ALL_TESTS();
  if (!folder.empty()) std::system(("rm -rf '" + folder + "'").c_str());
  return result;
}
