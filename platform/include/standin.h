// The test interface of the stand-in platform: used by tests and tools to
// drive and observe a program built on it. The show's own code never
// includes this header.
#pragma once

#include <d3d9.h>

// --- Display -----------------------------------------------------------
// Headless: no display is opened; windows are virtual and Present keeps the
// frame in memory. Also switched on by the environment variable
// STANDIN_HEADLESS=1. Set it before the first window is created.
void StandinSetHeadless(bool headless);
bool StandinIsHeadless();

// --- Clock -------------------------------------------------------------
// A virtual clock: GetTickCount returns its value, Sleep advances it, and
// every Present advances it by the step (0 by default).
void StandinUseVirtualClock(DWORD startTick);
void StandinUseRealClock();
void StandinSetTickCount(DWORD tick);
void StandinAdvanceClock(DWORD milliseconds);
void StandinSetClockStepPerPresent(DWORD milliseconds);
// How long the program has slept in Sleep, in total.
DWORD StandinTotalSleep();

// --- Input ---------------------------------------------------------------
// The main window (the first one created and not destroyed), or null.
HWND StandinMainWindow();
// A key pressed and released as the keyboard would deliver it: with alt the
// press arrives as WM_SYSKEYDOWN, as on Windows.
void StandinPressKey(int virtualKey, bool alt);
// The user clicks the window's close button.
void StandinCloseWindow(HWND window);

// --- Windows -------------------------------------------------------------
bool StandinWindowClientSize(HWND window, int* width, int* height);
bool StandinWindowOuterRect(HWND window, RECT* rect);
const char* StandinWindowTitle(HWND window);
bool StandinWindowVisible(HWND window);
bool StandinWindowFullscreen(HWND window);
// The ShowCursor display counter (the cursor shows while it is >= 0).
int StandinCursorCounter();

// --- Frames --------------------------------------------------------------
struct StandinFrame {
  const DWORD* pixels;  // A8R8G8B8, row-major, `width` pixels a row
  UINT width;
  UINT height;
};
// The frame shown by the last Present of the device; false before any.
bool StandinLastFrame(StandinFrame* frame);
// The device's back buffer as it is now (for tests that draw without
// presenting).
bool StandinBackBuffer(StandinFrame* frame);
// How many frames the device has presented.
DWORD StandinPresentCount();
// Called after every Present, on the thread that presented.
typedef void (*StandinPresentHook)(DWORD presentIndex, void* user);
void StandinSetPresentHook(StandinPresentHook hook, void* user);
// The device of the process (null before CreateDevice), for tests that read
// its states.
IDirect3DDevice9* StandinDevice();
// Loses the device as a full-screen program does when the user switches
// away: Present reports D3DERR_DEVICELOST and nothing is drawn. After
// StandinAllowDeviceReset (the user is back) TestCooperativeLevel reports
// D3DERR_DEVICENOTRESET until Reset succeeds.
void StandinLoseDevice();
void StandinAllowDeviceReset();
// Row padding in bytes added to the pitch of textures created from now on,
// as some drivers do; 0 by default.
void StandinSetTexturePitchPadding(UINT bytes);

// --- Message boxes ---------------------------------------------------------
struct StandinMessageBox {
  const char* caption;
  const char* text;
  HWND owner;
};
DWORD StandinMessageBoxCount();
bool StandinMessageBoxAt(DWORD index, StandinMessageBox* box);

// --- Failures --------------------------------------------------------------
enum StandinFailure {
  kStandinFailRegisterClass,
  kStandinFailCreateWindow,
  kStandinFailDirect3DCreate,
  kStandinFailCreateDevice,
  kStandinFailCreateTexture,
  kStandinFailLockRect,
  kStandinFailCreateFont,
  kStandinFailCreateSprite,
  kStandinFailureCount
};
// Makes every later call of that kind fail until cleared.
void StandinSetFailure(StandinFailure failure, bool fail);
bool StandinShouldFail(StandinFailure failure);
// The version VerifyVersionInfoW compares against (10.0 by default).
void StandinSetWindowsVersion(DWORD major, DWORD minor, DWORD servicePackMajor);

// --- Process end -------------------------------------------------------------
// Called by ExitProcess with its code before the process ends; a test can
// check what the program did there (the process ends all the same).
typedef void (*StandinExitHook)(UINT exitCode);
void StandinSetExitHook(StandinExitHook hook);

// --- Sound (the stand-in WinMM, platform/winmm) ------------------------------
// Every PlaySoundA call is logged; the sound it started can be observed.
#include <stdint.h>
#include <string>

// One PlaySoundA call as it was made.
struct StandinSoundCallRecord {
  bool nameIsNull = false;  // PlaySoundA(NULL, ...)
  std::string name;         // the name as passed, copied during the call
  DWORD flags = 0;
  DWORD tick = 0;     // GetTickCount() at the call
  BOOL result = FALSE;  // what PlaySoundA returned
};
size_t StandinSoundCallCount();
// The call at `index` (0 = oldest since the last clear); an empty record
// when `index` is out of range.
StandinSoundCallRecord StandinSoundCall(size_t index);
void StandinClearSoundLog();

// The sound PlaySoundA started last, and whether it is still playing: not
// stopped, not replaced and, for a sound played once, not at its end (the
// device's position when an audio device is open, GetTickCount otherwise).
struct StandinSoundState {
  bool playing = false;
  bool looping = false;
  bool isDefaultSound = false;  // the stand-in's own chime in place of a missing file
  std::string name;             // the name it was started with (empty if none yet)
  DWORD startTick = 0;          // GetTickCount() when it started
  DWORD durationMs = 0;         // length of one pass
};
StandinSoundState StandinCurrentSound();
// Whether an audio device is open (false on a machine without one, or when
// output is switched off).
bool StandinSoundDeviceOpen();
// Sample frames of sound (not of the silence between sounds) handed to the
// audio device so far.
uint64_t StandinSoundFramesPlayed();
// Off: PlaySoundA never opens an audio device and behaves as on a machine
// without one (for tools that render the show silently). On by default;
// takes effect before the first sound.
void StandinSetSoundOutputEnabled(bool enabled);
