// Storage descriptors come from device drivers: any bytes must be read without going out of bounds.
#include <cstddef>
#include <cstdint>

#include "Deviceioutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  StorageDescriptorInfo info;
  readStorageDescriptor(bytes, &info);
  return 0;
}
