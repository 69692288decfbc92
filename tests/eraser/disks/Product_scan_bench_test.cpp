// How long one scan pass takes over twenty six-bay stations: the first pass, which probes all 120
// disks, and the passes after it, which visit them and check each is still the disk it was. Prints
// the times and the device requests of a later pass; checks what the passes found.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Product_scan.h"
#include "Simclock.h"
#include "Simulator.h"

namespace {

constexpr int kStations = 20;
constexpr int kBaysEach = 6;
constexpr int kSteadyPasses = 50;

double millisecondsOf(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

TEST(ScanBench, TwentySixBayStations) {
  sim::reset();
  mainDiskList().clearDisks();
  int n = 0;
  for (int s = 0; s < kStations; ++s) {
    const sim::StationId station =
        sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, uint32_t(s + 1)});
    for (int bay = 0; bay < kBaysEach; ++bay, ++n) {
      sim::DiskSpec spec;
      spec.path = "\\\\?\\usbstor#disk&ven_sunnywl&prod_bay#" + std::to_string(n) +
                  "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
      spec.deviceNumber = uint32_t(n + 1);
      spec.vendorId = "SUNNYWL";
      spec.productId = "BAY DISK";
      spec.length = uint64_t(1) << 40;
      spec.backing = sim::Backing::discarding;
      sim::setIdentifyModel(spec.identify, "BENCH DISK " + std::to_string(n));
      sim::setIdentifySerial(spec.identify, "BENCH SN " + std::to_string(n));
      // One volume each on the first disks, as many as there are letters from c to z.
      if (n < 24) spec.volumes.push_back({char('c' + n), u"DATA", u"NTFS", 1 << 30, 1 << 29});
      const sim::DiskId disk = sim::addDisk(spec);
      ASSERT_NE(disk, sim::kNone);
      ASSERT_TRUE(sim::insertDisk(station, bay, disk));
    }
  }

  const double first = millisecondsOf([] {
    simClockAdvance(kScanInterval);
    scanOnce();
  });
  const double steady = millisecondsOf([] {
                          for (int i = 0; i < kSteadyPasses; ++i) {
                            simClockAdvance(kScanInterval);
                            scanOnce();
                          }
                        }) /
                        kSteadyPasses;
  // What a later pass asks of the disks: on real bridges each request is a round trip.
  const sim::Request asked[] = {sim::Request::open, sim::Request::deviceNumber, sim::Request::length,
                                sim::Request::ataIdentify};
  uint64_t before = 0, after = 0;
  for (sim::DiskId d : sim::disks())
    for (sim::Request r : asked) before += sim::requestCount(d, r);
  simClockAdvance(kScanInterval);
  scanOnce();
  for (sim::DiskId d : sim::disks())
    for (sim::Request r : asked) after += sim::requestCount(d, r);
  std::printf("scan pass over %d six-bay stations: first (probing %d disks) %.3f ms, then %.3f ms per pass\n",
              kStations, n, first, steady);
  std::printf("a later pass asks %s opens, device numbers, lengths and IDENTIFYs of its %d disks\n",
              std::to_string(after - before).c_str(), n);
  RecordProperty("first_pass_ms", std::to_string(first));
  RecordProperty("pass_ms", std::to_string(steady));

  ASSERT_EQ(mainDiskList().topLevelCount(), kStations);
  for (int s = 0; s < kStations; ++s) {
    const std::vector<DiskRecord> group = groupOrder(mainDiskList().diskAt(s));
    ASSERT_EQ(group.size(), size_t(kBaysEach));
    for (int bay = 0; bay < kBaysEach; ++bay) EXPECT_EQ(group[size_t(bay)]->bayIndex, bay);
  }
  EXPECT_EQ(mainDiskList().diskAt(3)->groupMembers.diskAt(1)->volumes.snapshot().at(0).driveLetter, 'c' + 20);
  mainDiskList().clearDisks();
  sim::reset();
}

}  // namespace
