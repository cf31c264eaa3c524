// Windows-style path to Linux path, shared by the stand-in's fopen, its
// PlaySoundA and its texture loader so they all find the same files.
#pragma once

#include <stddef.h>

// Longest translated path, with its NUL.
constexpr size_t kStandinMaxPath = 4096;

// Translates `windowsPath` into `out` (`outSize` bytes):
//  - a leading drive letter ("C:") is dropped;
//  - backslashes become slashes;
//  - each component that does not exist with its exact case is looked up
//    case-insensitively (ASCII) in its folder, as Windows' file system would
//    find it; when several names match, the smallest in byte order wins so
//    the choice is stable. Components that match nothing are kept as written.
// Returns false, with `out` empty, when the result does not fit `outSize`
// or kStandinMaxPath, or an argument is null.
bool StandinTranslatePath(const char* windowsPath, char* out, size_t outSize);
