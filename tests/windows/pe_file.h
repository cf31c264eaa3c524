// A reader for the parts of a PE file that the programs' checks look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeResource {
  uint32_t type;
  uint32_t id;
  std::string data;
};

struct PeFile {
  uint16_t machine = 0;
  uint16_t magic = 0;  // 0x10b PE32, 0x20b PE32+
  uint16_t subsystem = 0;
  std::vector<std::string> imports;  // DLL names as stored
  std::vector<PeResource> resources;
};

// Reads `path`; on failure returns false with a reason in `error`.
bool ReadPeFile(const std::string& path, PeFile* pe, std::string* error);
