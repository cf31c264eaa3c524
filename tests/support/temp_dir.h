// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testdir {

inline int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  // Restore access first so a folder made unreadable by a test can go too.
  chmod(path, 0700);
  return remove(path);
}

// Creates a fresh folder under TMPDIR (or /tmp); "" on failure.
inline std::string Make(const char* tag) {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/" + tag + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

inline void Remove(const std::string& path) {
  if (!path.empty()) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

inline bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      const std::string prefix = path.substr(0, i);
      if (mkdir(prefix.c_str(), 0755) != 0) {
        struct stat info;
        if (stat(prefix.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
      }
    }
  }
  return true;
}

// Writes with the system calls, not fopen: in programs on the stand-in
// fopen takes Windows paths and would match names whatever their case.
inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && done == bytes.size();
}

}  // namespace testdir
