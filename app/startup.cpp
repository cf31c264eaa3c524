#include "app/startup.h"

#include <stdio.h>
#include <string.h>

#include "app/main_loop.h"

const int kWallpaperImageNumbers[kWallpaperCount] = {104, 101, 102, 103, 100};

DWORD g_MissingMask = 0;

namespace {

void RecordMissingAsset() { g_MissingMask = g_MissingMask * 2 + 1; }

// snprintf reports the length it needed; a path that did not fit is
// dropped entirely rather than left cut short, where it could name some
// other file.
bool Fits(char* buffer, size_t size, int written) {
  if (written >= 0 && static_cast<size_t>(written) < size) return true;
  if (size > 0) buffer[0] = '\0';
  return false;
}

}  // namespace

bool IsWindows10OrLater() {
  OSVERSIONINFOEXW info;
  memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = 10;
  info.dwMinorVersion = 0;
  info.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != 0;
}

bool FormatWallpaperPath(char* buffer, size_t size, int position) {
  if (position < 0 || position >= kWallpaperCount) {
    if (size > 0) buffer[0] = '\0';
    return false;
  }
  const char* extension = position % 2 == 0 ? "jpg" : "png";
  return Fits(buffer, size,
              snprintf(buffer, size, "%s\\web\\screen\\img%d.%s", g_WindowsDir, kWallpaperImageNumbers[position],
                       extension));
}

bool FormatSoundPath(char* buffer, size_t size, const char* fileName) {
  return Fits(buffer, size, snprintf(buffer, size, "%s\\media\\%s", g_WindowsDir, fileName));
}

void ProbeAsset(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file) {
    fclose(file);
  } else {
    RecordMissingAsset();
  }
}

bool CheckRequiredAssets() {
  char path[260];
  for (int i = 0; i < kWallpaperCount; ++i) {
    if (FormatWallpaperPath(path, sizeof path, i)) {
      ProbeAsset(path);
    } else {
      RecordMissingAsset();
    }
  }
  if (FormatSoundPath(path, sizeof path, "Ring03.wav")) {
    ProbeAsset(path);
  } else {
    RecordMissingAsset();
  }
  if (g_MissingMask == 0) return true;
  char message[256];
  snprintf(message, sizeof message, "Missing resources : %x", static_cast<unsigned>(g_MissingMask));
  MessageBoxA(nullptr, message, "Error", MB_OK);
  return false;
}
