// The pictures as the test program carries them: its own resources.
#include <windows.h>

#include <cstring>

#include "Picturesource.h"

namespace {

std::vector<uint8_t> resourceBytes(LPCSTR type, uint32_t id) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!info) return {};
  HGLOBAL handle = LoadResource(module, info);
  const uint8_t* data = handle ? static_cast<const uint8_t*>(LockResource(handle)) : nullptr;
  DWORD size = SizeofResource(module, info);
  if (!data) return {};
  return std::vector<uint8_t>(data, data + size);
}

void put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>* out, uint32_t v) {
  put16(out, uint16_t(v));
  put16(out, uint16_t(v >> 16));
}

// An icon group and its images put back together as an icon file: the group's 14-byte entries
// name their image by resource id where the file's 16-byte entries give an offset.
std::vector<uint8_t> iconFileFromGroup(uint32_t id) {
  std::vector<uint8_t> group = resourceBytes(RT_GROUP_ICON, id);
  if (group.size() < 6) return {};
  size_t count = size_t(group[4] | group[5] << 8);
  if (group.size() < 6 + 14 * count) return {};
  std::vector<std::vector<uint8_t>> images;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &group[6 + 14 * i];
    images.push_back(resourceBytes(RT_ICON, uint32_t(entry[12] | entry[13] << 8)));
    if (images.back().empty()) return {};
  }
  std::vector<uint8_t> file(group.begin(), group.begin() + 6);
  uint32_t offset = uint32_t(6 + 16 * count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &group[6 + 14 * i];
    file.insert(file.end(), entry, entry + 8);
    put32(&file, uint32_t(images[i].size()));
    put32(&file, offset);
    offset += uint32_t(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

}  // namespace

std::string pictureTableText(const std::string&) {
  std::vector<uint8_t> bytes = resourceBytes("PICTURETABLE", 1);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> pictureBytes(const PictureRow& row) {
  if (row.kind == "rcdata") return resourceBytes(RT_RCDATA, row.id);
  if (row.kind == "binres") return resourceBytes("BINRES", row.id);
  if (row.kind == "bitmap") return resourceBytes(RT_BITMAP, row.id);
  if (row.kind == "icon") return iconFileFromGroup(row.id);
  return {};
}
