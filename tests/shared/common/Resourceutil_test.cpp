#include "Resourceutil.h"

#include <gtest/gtest.h>

namespace {

// Must match Resourceutil_payload.bin, which Resourceutil_test.rc compiles in as id 101.
const std::vector<uint8_t> kPayload = {0x00, 0x01, 0x02, 0xFE, 0xFF, 'B', 'I',
                                       'N',  'R',  'E',  'S',  '\r', '\n'};

TEST(Resourceutil, ReadsOwnBinresBytes) {
  ResourceBlock block;
  ASSERT_EQ(findResourceBlock(nullptr, 101, &block), 0u);
  ASSERT_NE(block.data, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block.data, block.data + block.size), kPayload);
  EXPECT_EQ(resourceBlockSize(101), kPayload.size());
  uint32_t error = 1;
  EXPECT_EQ(readResourceBytes(101, &error), kPayload);
  EXPECT_EQ(error, 0u);
}

TEST(Resourceutil, MissingIdGivesErrorAndNothing) {
  for (uint32_t id : {102u, 0u, 0x10065u}) {
    SCOPED_TRACE(id);
    ResourceBlock block{kPayload.data(), 5};
    EXPECT_EQ(findResourceBlock(nullptr, id, &block), static_cast<uint32_t>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(block.data, nullptr);
    EXPECT_EQ(block.size, 0u);
    EXPECT_EQ(resourceBlockSize(id), 0u);
    uint32_t error = 0;
    EXPECT_TRUE(readResourceBytes(id, &error).empty());
    EXPECT_NE(error, 0u);
  }
}

}  // namespace
