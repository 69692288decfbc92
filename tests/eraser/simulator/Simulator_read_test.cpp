// The simulator's reads and flushes, the compact content of discarding disks, and the faults that only
// reading back can catch.
#include <filesystem>
#include <functional>

#include "Simtest.h"

using namespace simtest;

namespace {

const char* kDisk = "\\\\?\\usbstor#disk&ven_sunnywl&prod_read#1&0";

DevHandle openDisk(const char* path, DevOpenMode mode = DevOpenMode::exclusiveUnbuffered) {
  uint32_t error = 99;
  DevHandle h = devOpen(path, mode, &error);
  EXPECT_EQ(error, 0u) << path;
  return h;
}

void fillNumbered(Block& block, uint32_t seed) {
  for (uint32_t i = 0; i < block.size(); ++i) block.data()[i] = uint8_t((i * 131 + seed) >> 3 ^ seed);
}

std::vector<uint8_t> readBack(DevHandle h, uint64_t offset, uint32_t size, uint32_t* error) {
  Block out(size, 0xEE);
  *error = devRead(h, offset, out.data(), size);
  return out.bytes();
}

using SimReads = SimTest;

TEST_F(SimReads, ReadsGiveWhatEachBackingHolds) {
  const std::string file = (std::filesystem::temp_directory_path() / "velmora-sim-read.bin").string();
  for (sim::Backing backing : {sim::Backing::memory, sim::Backing::sparseFile, sim::Backing::discarding}) {
    sim::reset();
    auto spec = diskSpec(kDisk, 16 * kMiB, 1, backing);
    spec.filePath = file;
    const sim::DiskId d = mustAdd(spec);
    DevHandle h = openDisk(kDisk);
    Block a(kMiB), b(4096);
    fillNumbered(a, 7);
    fillNumbered(b, 99);
    ASSERT_EQ(devWrite(h, 2 * kMiB, a.data(), kMiB), 0u);
    ASSERT_EQ(devWrite(h, 2 * kMiB + 8192, b.data(), 4096), 0u);  // over the middle of the first

    std::vector<uint8_t> expected(3 * kMiB, 0);  // from 1 MiB to 4 MiB
    std::copy(a.data(), a.data() + kMiB, expected.begin() + kMiB);
    std::copy(b.data(), b.data() + 4096, expected.begin() + kMiB + 8192);
    uint32_t error = 99;
    EXPECT_EQ(readBack(h, kMiB, 3 * kMiB, &error), expected) << int(backing);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(sim::readBytes(d, kMiB, 3 * kMiB), expected) << int(backing);
    EXPECT_EQ(devFlush(h), 0u);
    devClose(h);
  }
  sim::reset();
  std::filesystem::remove(file);
}

TEST_F(SimReads, ReadsAreRefusedAsWritesAre) {
  const sim::DiskId d = mustAdd(diskSpec(kDisk, 8 * kMiB, 1));
  Block block(2 * 512 + 1);
  struct Case {
    const char* what;
    bool exclusive;
    uint64_t offset;
    uint32_t size;
    uint32_t dataShift;
    uint32_t expected;
  } cases[] = {
      {"last sector", true, 8 * kMiB - 512, 512, 0, 0},
      {"straddles the end", true, 8 * kMiB - 512, 1024, 0, kErrorInvalidParameter},
      {"past the end", true, 8 * kMiB, 512, 0, kErrorInvalidParameter},
      {"offset not a sector", true, 100, 512, 0, kErrorInvalidParameter},
      {"size not a sector", true, 0, 513, 0, kErrorInvalidParameter},
      {"data not aligned", true, 0, 512, 1, kErrorInvalidParameter},
      {"shared handle, any alignment", false, 100, 513, 1, 0},
  };
  for (const auto& c : cases) {
    DevHandle h = openDisk(kDisk, c.exclusive ? DevOpenMode::exclusiveUnbuffered : DevOpenMode::shared);
    EXPECT_EQ(devRead(h, c.offset, block.data() + c.dataShift, c.size), c.expected) << c.what;
    devClose(h);
  }

  DevHandle h = openDisk(kDisk);
  for (sim::Request r : {sim::Request::read, sim::Request::flush}) {
    auto call = [&] { return r == sim::Request::read ? devRead(h, 0, block.data(), 512) : devFlush(h); };
    const uint32_t before = sim::requestCount(d, r);
    sim::failRequest(d, r, {kErrorCrc, sim::kScsiCheckCondition, 1});
    EXPECT_EQ(call(), kErrorCrc) << int(r);
    EXPECT_EQ(call(), 0u) << int(r);
    EXPECT_EQ(sim::requestCount(d, r), before + 2);
  }
  sim::unplug(d);
  EXPECT_EQ(devRead(h, 0, block.data(), 512), kErrorDeviceNotConnected);
  EXPECT_EQ(devFlush(h), kErrorDeviceNotConnected);
  devClose(h);
  EXPECT_EQ(devRead(h, 0, block.data(), 512), sim::kErrorInvalidHandle);
  EXPECT_EQ(devFlush(invalidDevHandle()), kErrorFileNotFound);
}

// The engine writes one buffer over and over: a gibibyte of it is one chunk, and overwriting parts,
// writing a short tail and starting the next pass keep the record small and every byte right.
TEST_F(SimReads, DiscardingDiskKeepsItsContentCompact) {
  constexpr uint64_t kGiB = uint64_t(1) << 30;
  const sim::DiskId d = mustAdd(diskSpec(kDisk, kGiB + kMiB / 2, 1, sim::Backing::discarding));
  DevHandle h = openDisk(kDisk);
  Block pass1(kMiB), pass2(kMiB), odd(4096);
  fillNumbered(pass1, 1);
  fillNumbered(pass2, 2);
  fillNumbered(odd, 3);
  auto writePass = [&](Block& buffer) {
    for (uint64_t at = 0; at < kGiB; at += kMiB) ASSERT_EQ(devWrite(h, at, buffer.data(), kMiB), 0u);
    ASSERT_EQ(devWrite(h, kGiB, buffer.data(), kMiB / 2), 0u);  // the tail: half the buffer
  };
  writePass(pass1);
  EXPECT_LT(sim::keptContentBytes(d), 2 * uint64_t(kMiB));
  ASSERT_EQ(devWrite(h, 700 * uint64_t(kMiB) + 4096, odd.data(), 4096), 0u);  // inside one block

  auto expectAt = [&](uint64_t offset, uint32_t size, const std::function<uint8_t(uint64_t)>& byteAt) {
    uint32_t error = 99;
    const auto got = readBack(h, offset, size, &error);
    ASSERT_EQ(error, 0u);
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(got[i], byteAt(offset + i)) << offset + i;
  };
  auto pass1At = [&](uint64_t x) { return pass1.data()[x % kMiB]; };
  expectAt(0, 8192, pass1At);
  expectAt(kGiB - 4096, 4096 + kMiB / 2, pass1At);  // across the last block into the tail
  expectAt(700 * uint64_t(kMiB), 3 * 4096, [&](uint64_t x) {
    const uint64_t in = x - 700 * uint64_t(kMiB);
    return in >= 4096 && in < 8192 ? odd.data()[in - 4096] : pass1At(x);
  });
  EXPECT_LT(sim::keptContentBytes(d), 3 * uint64_t(kMiB));

  writePass(pass2);  // the first pass's chunk is let go
  expectAt(700 * uint64_t(kMiB), 3 * 4096, [&](uint64_t x) { return pass2.data()[x % kMiB]; });
  EXPECT_LT(sim::keptContentBytes(d), 2 * uint64_t(kMiB));
  EXPECT_EQ(sim::coverage(d), (std::vector<sim::ByteRange>{{0, kGiB + kMiB / 2}}));
  devClose(h);

  // Never written: zeros.
  const sim::DiskId fresh = mustAdd(diskSpec("\\\\?\\fresh", 4 * kMiB, 2, sim::Backing::discarding));
  EXPECT_EQ(sim::readBytes(fresh, kMiB, 4096), std::vector<uint8_t>(4096, 0));
}

TEST_F(SimReads, ForgetfulDiskAcknowledgesWritesAndKeepsTheOldContent) {
  for (sim::Backing backing : {sim::Backing::memory, sim::Backing::discarding}) {
    sim::reset();
    const sim::DiskId d = mustAdd(diskSpec(kDisk, 4 * kMiB, 1, backing));
    DevHandle h = openDisk(kDisk);
    Block old(kMiB, 0x11), fresh(kMiB, 0x22);
    ASSERT_EQ(devWrite(h, 0, old.data(), kMiB), 0u);
    sim::forgetWrites(d, true);
    EXPECT_EQ(devWrite(h, 0, fresh.data(), kMiB), 0u);
    EXPECT_EQ(devWrite(h, kMiB, fresh.data(), kMiB), 0u);
    EXPECT_EQ(devFlush(h), 0u);
    uint32_t error = 99;
    EXPECT_EQ(readBack(h, 0, kMiB, &error), old.bytes()) << int(backing);
    EXPECT_EQ(readBack(h, kMiB, kMiB, &error), std::vector<uint8_t>(kMiB, 0)) << int(backing);
    EXPECT_EQ(sim::bytesWritten(d), 3u * kMiB);                             // received
    EXPECT_EQ(sim::coverage(d), (std::vector<sim::ByteRange>{{0, kMiB}}));  // kept
    sim::forgetWrites(d, false);
    EXPECT_EQ(devWrite(h, 0, fresh.data(), kMiB), 0u);
    EXPECT_EQ(readBack(h, 0, kMiB, &error), fresh.bytes());
    devClose(h);
  }
}

}  // namespace
