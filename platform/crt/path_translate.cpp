#include "crt/path_translate.h"

#include <ctype.h>
#include <dirent.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

namespace {

// Finds the entry of `folder` whose name equals `name` (length `length`)
// ignoring ASCII case and copies it over `name`. Returns false when the
// folder cannot be read or holds no such entry.
bool FindFolderEntry(const char* folder, char* name, size_t length) {
  DIR* dir = opendir(folder);
  if (!dir) return false;
  char best[256];
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    const char* candidate = entry->d_name;
    if (strlen(candidate) != length || length >= sizeof best) continue;
    if (strncasecmp(candidate, name, length) != 0) continue;
    if (!found || strcmp(candidate, best) < 0) {
      memcpy(best, candidate, length + 1);
      found = true;
    }
  }
  closedir(dir);
  // ASCII case folding keeps the length, so the match fits where the
  // written name was.
  if (found) memcpy(name, best, length);
  return found;
}

}  // namespace

bool StandinTranslatePath(const char* windowsPath, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  if (!windowsPath) return false;
  const size_t limit = outSize < kStandinMaxPath ? outSize : kStandinMaxPath;

  const char* source = windowsPath;
  if (isalpha(static_cast<unsigned char>(source[0])) && source[1] == ':') source += 2;
  const size_t length = strnlen(source, limit);
  if (length >= limit) return false;
  for (size_t i = 0; i < length; ++i) out[i] = source[i] == '\\' ? '/' : source[i];
  out[length] = '\0';

  // Walk the components left to right, fixing the case of each that is not
  // there as written. Once a component is found nowhere, nothing below it
  // can exist, so the rest is left alone.
  char folder[kStandinMaxPath];
  size_t start = 0;
  while (start < length) {
    while (start < length && out[start] == '/') ++start;
    size_t end = start;
    while (end < length && out[end] != '/') ++end;
    const size_t componentLength = end - start;
    if (componentLength == 0) break;
    const bool dots = (componentLength == 1 && out[start] == '.') ||
                      (componentLength == 2 && out[start] == '.' && out[start + 1] == '.');
    if (!dots) {
      const char saved = out[end];
      out[end] = '\0';
      struct stat info;
      const bool exists = lstat(out, &info) == 0;
      out[end] = saved;
      if (!exists) {
        if (start == 0) {
          strcpy(folder, ".");
        } else {
          memcpy(folder, out, start);
          folder[start] = '\0';
        }
        if (!FindFolderEntry(folder, out + start, componentLength)) break;
      }
    }
    start = end;
  }
  return true;
}
