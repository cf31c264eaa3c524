// A folder in which this process cannot create files, for the tests of
// bad output paths.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

// A read-only folder under `scratch`; for root, who writes into read-only
// folders all the same, /sys, which refuses new files to everyone. "" when
// neither works here.
inline std::string UnwritableFolder(const std::string& scratch) {
  const std::string folder = scratch + "/read-only";
  mkdir(folder.c_str(), 0755);
  chmod(folder.c_str(), 0555);
  if (access(folder.c_str(), W_OK) != 0) return folder;
  const std::string probe = "/sys/show-capture-write-probe";
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return "/sys";
  close(fd);
  unlink(probe.c_str());
  return "";
}

inline bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}
