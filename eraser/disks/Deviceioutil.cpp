// Device layer: the portable reading and building of storage device descriptors.
#include "Deviceioutil.h"

#include <cstring>

namespace {

// STORAGE_DEVICE_DESCRIPTOR: Version, Size, DeviceType, DeviceTypeModifier, RemovableMedia,
// CommandQueueing, VendorIdOffset, ProductIdOffset, ProductRevisionOffset, SerialNumberOffset,
// BusType, RawPropertiesLength, RawDeviceProperties[1] (padded to 40 bytes).
constexpr size_t kRemovableMediaAt = 10;
constexpr size_t kVendorOffsetAt = 12;
constexpr size_t kProductOffsetAt = 16;
constexpr size_t kBusTypeAt = 28;
constexpr size_t kFixedSize = 36;
constexpr size_t kDescriptorSize = 40;

uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void writeU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

std::string readString(const std::vector<uint8_t>& b, uint32_t offset) {
  std::string s;
  for (size_t i = offset; i < b.size() && b[i] != 0; ++i) s.push_back(char(b[i]));
  return s;
}

}  // namespace

bool readStorageDescriptor(const std::vector<uint8_t>& bytes, StorageDescriptorInfo* info) {
  if (bytes.size() < kFixedSize || info == nullptr) return false;
  *info = StorageDescriptorInfo{};
  info->busType = uint8_t(readU32(bytes, kBusTypeAt));
  info->removableMedia = bytes[kRemovableMediaAt];
  const uint32_t vendorAt = readU32(bytes, kVendorOffsetAt);
  const uint32_t productAt = readU32(bytes, kProductOffsetAt);
  info->hasVendor = vendorAt != 0;
  info->hasProduct = productAt != 0;
  if (info->hasVendor) info->vendorId = readString(bytes, vendorAt);
  if (info->hasProduct) info->productId = readString(bytes, productAt);
  return true;
}

std::vector<uint8_t> makeStorageDescriptor(uint8_t busType, uint8_t removableMedia,
                                           const std::string& vendorId, const std::string& productId) {
  std::vector<uint8_t> b(kDescriptorSize, 0);
  writeU32(b, 0, uint32_t(kDescriptorSize));  // Version carries the structure size
  b[kRemovableMediaAt] = removableMedia;
  writeU32(b, kBusTypeAt, busType);
  auto append = [&b](const std::string& s, size_t fieldAt) {
    if (s.empty()) return;
    writeU32(b, fieldAt, uint32_t(b.size()));
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
  };
  append(vendorId, kVendorOffsetAt);
  append(productId, kProductOffsetAt);
  writeU32(b, 4, uint32_t(b.size()));  // Size: the whole descriptor
  return b;
}
