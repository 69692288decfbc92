#include <gtest/gtest.h>

#include "Deviceioutil.h"

namespace {

TEST(StorageDescriptor, RoundTripsTheFieldsTheScanReads) {
  struct Case {
    uint8_t bus, removable;
    const char *vendor, *product;
  } cases[] = {{7, 0, "SUNNYWL", "SYWL Bay Disk"}, {11, 1, "", "Samsung SSD"}, {3, 0, "ATA", ""}, {7, 0, "", ""}};
  for (const auto& c : cases) {
    StorageDescriptorInfo info;
    ASSERT_TRUE(readStorageDescriptor(makeStorageDescriptor(c.bus, c.removable, c.vendor, c.product), &info));
    EXPECT_EQ(info.busType, c.bus);
    EXPECT_EQ(info.removableMedia, c.removable);
    EXPECT_EQ(info.vendorId, c.vendor);
    EXPECT_EQ(info.productId, c.product);
    EXPECT_EQ(info.hasVendor, *c.vendor != 0);
    EXPECT_EQ(info.hasProduct, *c.product != 0);
  }
}

TEST(StorageDescriptor, LongDescriptorGivesItsSize) {
  auto bytes = makeStorageDescriptor(7, 0, "VENDOR", "A PRODUCT NAME LONGER THAN THE HEADER");
  EXPECT_GT(bytes.size(), 40u);
  EXPECT_EQ(bytes[4] | bytes[5] << 8, int(bytes.size()));
}

TEST(StorageDescriptor, HostileBytesAreReadSafely) {
  std::vector<uint8_t> shortBytes(35, 0);
  StorageDescriptorInfo info;
  EXPECT_FALSE(readStorageDescriptor(shortBytes, &info));

  // Offsets past the end, and a string without its NUL at the end of the bytes.
  auto bytes = makeStorageDescriptor(7, 0, "V", "P");
  bytes[12] = 0xFF, bytes[13] = 0xFF, bytes[14] = 0xFF, bytes[15] = 0x7F;
  bytes.back() = 'Q';
  ASSERT_TRUE(readStorageDescriptor(bytes, &info));
  EXPECT_TRUE(info.hasVendor);
  EXPECT_EQ(info.vendorId, "");
  EXPECT_EQ(info.productId, "PQ");
}

}  // namespace
