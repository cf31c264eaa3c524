// Start-up checks (Windows version, required system files) and the rules by
// which every system file path is formed.
#pragma once

#include <stddef.h>
#include <windows.h>

constexpr int kWallpaperCount = 5;
// Lock-screen image numbers in wallpaper order; the extension follows from
// the position: "jpg" at even positions, "png" at odd ones.
extern const int kWallpaperImageNumbers[kWallpaperCount];

// One 1-bit shifted in from the right for every probed file that is missing.
extern DWORD g_MissingMask;

// True on Windows 10.0 or later.
bool IsWindows10OrLater();

// "<g_WindowsDir>\web\screen\img<number>.<ext>" for wallpaper `position`
// (0 to 4), formatted into `buffer` of `size` bytes. Returns false, with
// the buffer emptied, when the path does not fit.
bool FormatWallpaperPath(char* buffer, size_t size, int position);

// "<g_WindowsDir>\media\<fileName>", formatted as above.
bool FormatSoundPath(char* buffer, size_t size, const char* fileName);

// Opens `path` for reading and closes it again; a file that cannot be
// opened is recorded as missing in g_MissingMask.
void ProbeAsset(const char* path);

// Probes the five wallpapers and Ring03.wav. Returns true when none is
// missing; otherwise shows "Missing resources : <mask in hex>" and returns
// false.
bool CheckRequiredAssets();
