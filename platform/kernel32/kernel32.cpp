// The stand-in process services: module handle, Windows folder, clock,
// sleeping, process end and the version check; plus the failure switches of
// the test interface, shared by every stand-in library.
#include <SDL.h>
#include <standin.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel32/clock.h"

struct StandinModule {
  int unused;
};

namespace {

StandinModule g_module;
bool g_virtualClock = false;
DWORD g_virtualTick = 0;
DWORD g_stepPerPresent = 0;
DWORD g_totalSleep = 0;
bool g_failures[kStandinFailureCount] = {};
StandinExitHook g_exitHook = nullptr;
DWORD g_versionMajor = 10, g_versionMinor = 0, g_servicePackMajor = 0;

DWORD RealTick() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Milliseconds since boot, wrapping at 2^32 like Windows' tick count.
  const unsigned long long ms =
      static_cast<unsigned long long>(ts.tv_sec) * 1000ull + ts.tv_nsec / 1000000;
  return static_cast<DWORD>(ms);
}

// The 3-bit condition of one version field in a condition mask.
int ConditionShift(DWORD typeBit) {
  int index = 0;
  while (typeBit > 1) {
    typeBit >>= 1;
    ++index;
  }
  return index * 3;
}

BYTE ConditionOf(DWORDLONG mask, DWORD typeBit) {
  return static_cast<BYTE>((mask >> ConditionShift(typeBit)) & 7);
}

bool Compare(long long actual, long long wanted, BYTE condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

}  // namespace

void StandinClockAfterPresent() {
  if (g_virtualClock) g_virtualTick += g_stepPerPresent;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  return moduleName ? nullptr : &g_module;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const char* dir = std::getenv("WINDIR");
  if (!dir || !dir[0]) return 0;
  size_t length = std::strlen(dir);
  // Windows gives the folder without a trailing separator.
  while (length > 0 && (dir[length - 1] == '/' || dir[length - 1] == '\\')) --length;
  if (!buffer || length + 1 > size) return static_cast<UINT>(length + 1);
  std::memcpy(buffer, dir, length);
  buffer[length] = '\0';
  return static_cast<UINT>(length);
}

DWORD WINAPI GetTickCount(void) { return g_virtualClock ? g_virtualTick : RealTick(); }

void WINAPI Sleep(DWORD milliseconds) {
  g_totalSleep += milliseconds;
  if (g_virtualClock) {
    g_virtualTick += milliseconds;
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000),
              static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void WINAPI ExitProcess(UINT exitCode) {
  if (g_exitHook) g_exitHook(exitCode);
  std::fflush(nullptr);
  // Stops the sound thread and closes windows before the process goes.
  if (SDL_WasInit(0)) SDL_Quit();
  _exit(static_cast<int>(exitCode));
}

ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition) {
  if (condition == 0 || condition > VER_LESS_EQUAL) return conditionMask;
  for (DWORD bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1) {
    if (!(typeMask & bit)) continue;
    const int shift = ConditionShift(bit);
    conditionMask &= ~(ULONGLONG(7) << shift);
    conditionMask |= ULONGLONG(condition) << shift;
  }
  return conditionMask;
}

BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask,
                               DWORDLONG conditionMask) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW) || typeMask == 0)
    return FALSE;
  // Major, minor and service pack compare as one number, most significant
  // field first, the way Windows evaluates them together.
  const DWORD versionBits = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR;
  if (typeMask & versionBits) {
    long long actual = 0, wanted = 0;
    BYTE condition = 0;
    const DWORD fields[3] = {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR};
    const DWORD have[3] = {g_versionMajor, g_versionMinor, g_servicePackMajor};
    const DWORD want[3] = {info->dwMajorVersion, info->dwMinorVersion, info->wServicePackMajor};
    for (int i = 0; i < 3; ++i) {
      actual <<= 16;
      wanted <<= 16;
      if (!(typeMask & fields[i])) continue;
      actual |= have[i] & 0xFFFF;
      wanted |= want[i] & 0xFFFF;
      if (!condition) condition = ConditionOf(conditionMask, fields[i]);
    }
    if (!Compare(actual, wanted, condition)) return FALSE;
  }
  return TRUE;
}

// --- Test interface --------------------------------------------------------------

void StandinUseVirtualClock(DWORD startTick) {
  g_virtualClock = true;
  g_virtualTick = startTick;
}

void StandinUseRealClock() { g_virtualClock = false; }

void StandinSetTickCount(DWORD tick) { g_virtualTick = tick; }

void StandinAdvanceClock(DWORD milliseconds) { g_virtualTick += milliseconds; }

void StandinSetClockStepPerPresent(DWORD milliseconds) { g_stepPerPresent = milliseconds; }

DWORD StandinTotalSleep() { return g_totalSleep; }

void StandinSetFailure(StandinFailure failure, bool fail) {
  if (failure >= 0 && failure < kStandinFailureCount) g_failures[failure] = fail;
}

bool StandinShouldFail(StandinFailure failure) {
  return failure >= 0 && failure < kStandinFailureCount && g_failures[failure];
}

void StandinSetWindowsVersion(DWORD major, DWORD minor, DWORD servicePackMajor) {
  g_versionMajor = major;
  g_versionMinor = minor;
  g_servicePackMajor = servicePackMajor;
}

void StandinSetExitHook(StandinExitHook hook) { g_exitHook = hook; }
