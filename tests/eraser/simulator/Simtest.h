// Helpers shared by the simulator's tests: disk specs and aligned data blocks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Simulator.h"

namespace simtest {

constexpr uint32_t kMiB = 1u << 20;

inline sim::DiskSpec diskSpec(const std::string& path, uint64_t length, uint32_t number = 1,
                              sim::Backing backing = sim::Backing::memory) {
  sim::DiskSpec spec;
  spec.path = path;
  spec.length = length;
  spec.deviceNumber = number;
  spec.vendorId = "SUNNYWL";
  spec.productId = "Bay Disk";
  spec.backing = backing;
  return spec;
}

inline sim::DiskId mustAdd(const sim::DiskSpec& spec) {
  const sim::DiskId id = sim::addDisk(spec);
  EXPECT_NE(id, sim::kNone) << spec.path;
  return id;
}

// A block of bytes at a 4096-aligned address, as the engine's buffer is.
class Block {
 public:
  explicit Block(uint32_t size, uint8_t fill = 0) : storage_(size + 4096, fill), size_(size) {
    const auto at = reinterpret_cast<uintptr_t>(storage_.data());
    data_ = storage_.data() + (4096 - at % 4096) % 4096;
  }
  uint8_t* data() { return data_; }
  uint32_t size() const { return size_; }
  std::vector<uint8_t> bytes() const { return {data_, data_ + size_}; }

 private:
  std::vector<uint8_t> storage_;
  uint8_t* data_;
  uint32_t size_;
};

// Resets the simulator around every test.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::reset(); }
  void TearDown() override { sim::reset(); }
};

}  // namespace simtest
