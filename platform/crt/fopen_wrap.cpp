// fopen of the show's statically linked code, given Windows semantics on
// Linux. The link option --wrap=fopen routes every fopen reference in our
// own objects here; shared libraries keep libc's.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include "crt/path_translate.h"

extern "C" FILE* __real_fopen(const char* path, const char* mode);
extern "C" FILE* __wrap_fopen(const char* path, const char* mode);

extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  char linuxPath[kStandinMaxPath];
  if (!StandinTranslatePath(path, linuxPath, sizeof linuxPath)) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  FILE* file = __real_fopen(linuxPath, mode);
  if (!file) {
    // Windows refuses every open of a folder with EACCES.
    if (errno == EISDIR) errno = EACCES;
    return nullptr;
  }
  // Linux lets a folder be opened for reading; Windows does not.
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    fclose(file);
    errno = EACCES;
    return nullptr;
  }
  return file;
}
