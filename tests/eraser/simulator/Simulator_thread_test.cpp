// The simulator under several threads: writers on the disks of one station while its mode changes
// and a scan-like thread queries the disks.
#include <atomic>
#include <thread>

#include "Simtest.h"

using namespace simtest;

namespace {

std::string bayPath(int bay) { return "\\\\?\\usbstor#disk&ven_sunnywl#bay" + std::to_string(bay); }

TEST_F(SimTest, ConcurrentWritersWhileTheModeChanges) {
  constexpr int kBays = 3;  // writers; one more bay carries the mode commands
  constexpr uint32_t kBlock = 64 * 1024;
  constexpr uint32_t kBlocks = 32;
  constexpr int kRounds = 8;
  const sim::StationId st = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::plain, 7});
  sim::DiskId disks[kBays + 1];
  for (int bay = 0; bay <= kBays; ++bay) {
    disks[bay] = mustAdd(diskSpec(bayPath(bay), uint64_t(kBlock) * kBlocks, uint32_t(bay + 1)));
    ASSERT_TRUE(sim::insertDisk(st, bay, disks[bay]));
  }
  std::atomic<uint64_t> hookCalls{0};
  sim::setWriteHook([&](sim::DiskId, uint64_t) { hookCalls.fetch_add(1, std::memory_order_relaxed); });

  std::atomic<bool> writing{true};
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int bay = 0; bay < kBays; ++bay) {
    threads.emplace_back([&, bay] {
      uint32_t error = 0;
      DevHandle h = devOpen(bayPath(bay).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
      Block block(kBlock, uint8_t(0x10 + bay));  // every writer its own byte
      for (int round = 0; round < kRounds; ++round) {
        for (uint32_t i = 0; i < kBlocks; ++i) {
          if (devWrite(h, uint64_t(i) * kBlock, block.data(), kBlock) != 0) failures.fetch_add(1);
        }
      }
      devClose(h);
    });
  }
  // The mode command and the queries go through the disk in bay 3, which no writer holds.
  threads.emplace_back([&] {
    const uint8_t values[] = {1, 0, 2};
    for (int n = 0; writing.load(); ++n) {
      uint32_t error = 0;
      DevHandle h = devOpen(bayPath(kBays).c_str(), DevOpenMode::shared, &error);
      const uint8_t cdb[12] = {0xFE, 0x04, 0x64, values[n % 3], 0, 0, 0, 0, 0, 0, 0, 0};
      uint32_t length = 0;
      if (!scsiPassThroughOut(h, 0, 0, 0, cdb, 12, nullptr, &length)) failures.fetch_add(1);
      if (queryDeviceNumber(h) != kBays + 1) failures.fetch_add(1);
      devClose(h);
      sim::bytesWritten(disks[n % kBays]);
      sim::coverage(disks[n % kBays]);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < kBays; ++i) threads[i].join();
  writing = false;
  for (size_t i = kBays; i < threads.size(); ++i) threads[i].join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(hookCalls.load(), uint64_t(kBays) * kRounds * kBlocks);
  for (int bay = 0; bay < kBays; ++bay) {
    // Each disk got at least its own writes, and every block holds one writer's bytes whole.
    EXPECT_GE(sim::writeCount(disks[bay]), uint64_t(kRounds) * kBlocks);
    EXPECT_EQ(sim::coverage(disks[bay]), (std::vector<sim::ByteRange>{{0, uint64_t(kBlock) * kBlocks}}));
    for (uint32_t i = 0; i < kBlocks; ++i) {
      const auto bytes = sim::readBytes(disks[bay], uint64_t(i) * kBlock, kBlock);
      ASSERT_EQ(bytes.size(), kBlock);
      EXPECT_EQ(bytes, std::vector<uint8_t>(kBlock, bytes[0])) << "bay " << bay << " block " << i;
    }
  }
}

}  // namespace
