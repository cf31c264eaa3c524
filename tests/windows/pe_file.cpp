#include "pe_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace {

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Image {
 public:
  explicit Image(std::vector<char> bytes) : bytes_(std::move(bytes)) {}

  bool Read(uint64_t offset, void* out, size_t size) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, size);
    return true;
  }
  template <typename T>
  bool Get(uint64_t offset, T* out) const {
    return Read(offset, out, sizeof(T));
  }
  // File offset of a relative virtual address, or -1.
  int64_t Offset(uint32_t rva) const {
    for (const Section& s : sections)
      if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
        return int64_t(s.rawOffset) + (rva - s.virtualAddress);
    return -1;
  }
  bool String(uint32_t rva, std::string* out) const {
    int64_t at = Offset(rva);
    if (at < 0) return false;
    out->clear();
    for (; size_t(at) < bytes_.size() && out->size() < 256; ++at) {
      if (bytes_[at] == '\0') return true;
      out->push_back(bytes_[at]);
    }
    return false;
  }
  std::vector<Section> sections;

 private:
  std::vector<char> bytes_;
};

bool ReadResources(const Image& image, uint32_t rootRva, PeFile* pe, std::string* error) {
  const int64_t root = image.Offset(rootRva);
  if (root < 0) return *error = "resource directory outside the sections", false;
  // Type -> id -> language -> data; every level a directory of entries.
  auto entries = [&](uint32_t dirOffset, std::vector<std::pair<uint32_t, uint32_t>>* out) {
    uint16_t named = 0, ids = 0;
    if (!image.Get(root + dirOffset + 12, &named) || !image.Get(root + dirOffset + 14, &ids))
      return false;
    for (uint32_t i = 0; i < uint32_t(named) + ids && i < 4096; ++i) {
      uint32_t name = 0, target = 0;
      if (!image.Get(root + dirOffset + 16 + 8 * i, &name) ||
          !image.Get(root + dirOffset + 20 + 8 * i, &target))
        return false;
      out->push_back({name, target});
    }
    return true;
  };
  std::vector<std::pair<uint32_t, uint32_t>> types;
  if (!entries(0, &types)) return *error = "truncated resource directory", false;
  for (auto [type, typeTarget] : types) {
    if (!(typeTarget & 0x80000000u)) return *error = "resource type without directory", false;
    std::vector<std::pair<uint32_t, uint32_t>> ids;
    if (!entries(typeTarget & 0x7fffffffu, &ids)) return *error = "truncated resource ids", false;
    for (auto [id, idTarget] : ids) {
      std::vector<std::pair<uint32_t, uint32_t>> languages;
      if (!(idTarget & 0x80000000u) || !entries(idTarget & 0x7fffffffu, &languages) ||
          languages.empty())
        return *error = "resource without language entry", false;
      uint32_t dataRva = 0, size = 0;
      const uint32_t dataEntry = languages[0].second & 0x7fffffffu;
      if (!image.Get(root + dataEntry, &dataRva) || !image.Get(root + dataEntry + 4, &size))
        return *error = "truncated resource data entry", false;
      const int64_t at = image.Offset(dataRva);
      std::string data(size, '\0');
      if (at < 0 || !image.Read(uint64_t(at), data.data(), size))
        return *error = "resource data outside the file", false;
      pe->resources.push_back(PeResource{type, id, data});
    }
  }
  return true;
}

}  // namespace

bool ReadPeFile(const std::string& path, PeFile* pe, std::string* error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return *error = "cannot open " + path, false;
  std::vector<char> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
    return *error = "cannot read " + path, false;
  Image image(std::move(bytes));

  uint16_t mz = 0;
  uint32_t peOffset = 0, signature = 0;
  if (!image.Get(0, &mz) || mz != 0x5A4D || !image.Get(0x3C, &peOffset) ||
      !image.Get(peOffset, &signature) || signature != 0x00004550)
    return *error = "not a PE file", false;
  const uint64_t coff = peOffset + 4;
  uint16_t sectionCount = 0, optionalSize = 0;
  image.Get(coff, &pe->machine);
  image.Get(coff + 2, &sectionCount);
  image.Get(coff + 16, &optionalSize);
  const uint64_t optional = coff + 20;
  if (!image.Get(optional, &pe->magic) || (pe->magic != 0x10b && pe->magic != 0x20b))
    return *error = "unknown optional header", false;
  image.Get(optional + 68, &pe->subsystem);
  const uint64_t directories = optional + (pe->magic == 0x10b ? 96 : 112);
  uint32_t importRva = 0, resourceRva = 0;
  image.Get(directories + 8, &importRva);
  image.Get(directories + 16, &resourceRva);

  const uint64_t table = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    Section s{};
    const uint64_t at = table + 40ull * i;
    if (!image.Get(at + 8, &s.virtualSize) || !image.Get(at + 12, &s.virtualAddress) ||
        !image.Get(at + 16, &s.rawSize) || !image.Get(at + 20, &s.rawOffset))
      return *error = "truncated section table", false;
    image.sections.push_back(s);
  }

  if (importRva) {
    const int64_t at = image.Offset(importRva);
    if (at < 0) return *error = "import directory outside the sections", false;
    for (int i = 0; i < 64; ++i) {
      uint32_t nameRva = 0, firstThunk = 0;
      if (!image.Get(at + 20 * i + 12, &nameRva) || !image.Get(at + 20 * i + 16, &firstThunk))
        return *error = "truncated import directory", false;
      if (nameRva == 0 && firstThunk == 0) break;
      std::string name;
      if (!image.String(nameRva, &name)) return *error = "bad import name", false;
      pe->imports.push_back(name);
    }
  }
  if (resourceRva && !ReadResources(image, resourceRva, pe, error)) return false;
  return true;
}
