// The scan thread: its rhythm on the simulated clock, its retries, stopping it, and running it beside
// a reader of the list and a worker erasing a station that is pulled out in the middle of the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Eraseutil.h"
#include "Eraseutil_worker.h"
#include "Logfolder.h"
#include "Platformservices.h"
#include "Product_scan.h"
#include "Simclock.h"
#include "Simmachine.h"
#include "Simulator.h"

namespace {

using namespace std::chrono_literals;
constexpr uint64_t MiB = 1048576;

// Polls (in real time) until the condition holds; false after timeout.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class ScanThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetMachine();
    setDebugSink([this](const std::string& text) {
      std::lock_guard hold(lock_);
      diagnostics_.push_back(text);
    });
  }
  void TearDown() override {
    stopDiskScan();
    testsupport::resetMachine();
  }

  sim::DiskId addBayDisk(sim::StationId station, int bay, uint64_t length = MiB,
                         const std::string& serial = "") {
    sim::DiskSpec spec;
    spec.path = "\\\\?\\usbstor#disk#" + std::to_string(next_);
    spec.deviceNumber = uint32_t(next_++);
    spec.length = length;
    if (!serial.empty()) sim::setIdentifySerial(spec.identify, serial);
    const sim::DiskId id = sim::addDisk(spec);
    EXPECT_TRUE(sim::insertDisk(station, bay, id));
    return id;
  }

  std::vector<std::string> diagnostics() {
    std::lock_guard hold(lock_);
    return diagnostics_;
  }

  std::mutex lock_;
  std::vector<std::string> diagnostics_;
  int next_ = 1;
};

TEST_F(ScanThreadTest, ClearsTheListThenScansEveryTenSecondsOfTheClockAndStopsAtOnce) {
  auto stale = std::make_shared<DiskInfo>();
  stale->devicePath = "left over";
  mainDiskList().appendDisk(stale);
  addBayDisk(sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 1}), 0);

  startDiskScan();
  ASSERT_TRUE(waitForDiskScanPasses(1, 20000));
  ASSERT_EQ(mainDiskList().topLevelCount(), 1);
  EXPECT_NE(mainDiskList().diskAt(0)->devicePath, "left over");
  startDiskScan();  // runs already: nothing happens

  addBayDisk(sim::addStation({sim::StationModel::syw2, sim::BayReplyForm::plain, 2}), 1);
  simClockAdvance(kScanInterval - 1);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(diskScanPasses(), 1u);  // the manual clock has not moved far enough
  EXPECT_EQ(mainDiskList().topLevelCount(), 1);
  simClockAdvance(1);
  ASSERT_TRUE(waitForDiskScanPasses(2, 20000));
  EXPECT_EQ(mainDiskList().topLevelCount(), 2);

  const auto before = std::chrono::steady_clock::now();
  stopDiskScan();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
  simClockAdvance(kScanInterval);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(diskScanPasses(), 2u);
}

TEST_F(ScanThreadTest, FailedEnumerationIsAskedAgainEveryHundredMilliseconds) {
  sim::failEnumeration({.error = 13, .times = 2});
  startDiskScan();
  ASSERT_TRUE(eventually([] { return sim::enumerationCount() == 1; }));
  simClockAdvance(kEnumerationRetry - 1);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(sim::enumerationCount(), 1u);
  simClockAdvance(1);
  ASSERT_TRUE(eventually([] { return sim::enumerationCount() == 2; }));
  simClockAdvance(kEnumerationRetry);
  ASSERT_TRUE(waitForDiskScanPasses(1, 20000));
  EXPECT_EQ(sim::enumerationCount(), 3u);
  const auto lines = diagnostics();
  ASSERT_EQ(lines.size(), 2u);
  for (const std::string& line : lines) EXPECT_EQ(line.rfind("SetupDiGetClassDevs : ", 0), 0u) << line;
}

TEST_F(ScanThreadTest, StopsWhileTheEnumerationKeepsFailing) {
  sim::failEnumeration({.error = 5});
  startDiskScan();
  ASSERT_TRUE(eventually([] { return sim::enumerationCount() >= 1; }));
  const auto before = std::chrono::steady_clock::now();
  stopDiskScan();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
  EXPECT_EQ(diskScanPasses(), 0u);
}

// Reads the list as the window does while it draws, until told to stop.
void readList(const std::atomic<bool>& done, std::atomic<uint64_t>& walks) {
  while (!done) {
    for (int position = 0; position <= kDiskSlots; ++position) {
      const DiskRecord head = mainDiskList().diskAt(position);
      if (!head) continue;
      for (const DiskRecord& d : groupOrder(head)) {
        (void)diskTypeLabel(*d);
        (void)d->lastSeenTick.load();
        for (const VolumeInfo& v : d->volumes.snapshot()) (void)v.totalBytes;
        (void)mainDiskList().findByPath(d->devicePath);
      }
    }
    ++walks;
  }
}

TEST_F(ScanThreadTest, StationPulledOutDuringAnEraseWhileTheScanRunsAndTheWindowReads) {
  testsupport::LogFolder folder;
  const sim::StationId station = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 9});
  std::vector<sim::DiskId> disks;
  for (int bay : {0, 2, 3}) disks.push_back(addBayDisk(station, bay, 8 * MiB));
  const char letters[] = {'e', 'f', 'g'};
  for (size_t i = 0; i < disks.size(); ++i) {
    sim::VolumeSpec v;
    v.letter = letters[i];
    v.totalBytes = 8 * MiB;
    ASSERT_TRUE(sim::addVolume(disks[i], v));
  }

  startDiskScan();
  ASSERT_TRUE(waitForDiskScanPasses(1, 20000));
  ASSERT_EQ(groupOrder(mainDiskList().diskAt(0)).size(), 3u);

  // Every few writes the clock moves on by a scan interval, so the scan visits while the worker
  // writes; after a while the station is unplugged.
  std::atomic<int> writes{0};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    const int n = ++writes;
    if (n % 3 == 0) simClockAdvance(kScanInterval);
    if (n == 12) {
      for (sim::DiskId d : disks) sim::unplug(d);
    }
  });
  std::atomic<bool> done{false};
  std::atomic<uint64_t> walks{0};
  std::thread reader(readList, std::cref(done), std::ref(walks));

  testsupport::selectBays({0, 2, 3});
  selectedMethod = 3;
  const EraseRunHandle run = startErase(testsupport::requestAt(0, 3));
  ASSERT_TRUE(run);
  const bool ended = eventually([&] { return !run->alive(); }, 60s);
  EXPECT_TRUE(ended);
  // The station is gone: a pass that starts from here drops it. (One still running may have listed
  // the disks before the unplug and visits them now, which refreshes them as any visit does.)
  for (int i = 0; i < 2; ++i) {
    const uint64_t passes = diskScanPasses();
    simClockAdvance(kScanInterval);
    ASSERT_TRUE(waitForDiskScanPasses(passes + 1, 20000));
  }
  done = true;
  reader.join();
  sim::setWriteHook(nullptr);
  if (!ended) stopEraseWorkers();

  EXPECT_EQ(mainDiskList().topLevelCount(), 0);
  EXPECT_GT(walks.load(), 0u);
  const auto logs = folder.logs();
  EXPECT_EQ(logs.size(), 3u);
  for (const auto& [name, text] : logs) {
    EXPECT_EQ(text.find("Erase Success"), std::string::npos) << name;
    // Each ends with its own disk's failure: a write to the gone disk, or nothing more written.
    const bool failed = text.size() > 20 && (text.compare(text.size() - 17, 17, "Disk Init Error\r\n") == 0 ||
                                            text.compare(text.size() - 22, 22, "WriteFile Error:1167\r\n") == 0);
    EXPECT_TRUE(failed) << name << ": " << text;
  }
}

TEST_F(ScanThreadTest, DisksSwappedInTheirBaysWhileTheScanRunsAndTheWindowReads) {
  const sim::StationId station = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 9});
  for (int bay : {0, 1, 2}) addBayDisk(station, bay, MiB, "SN " + std::to_string(bay));
  startDiskScan();
  ASSERT_TRUE(waitForDiskScanPasses(1, 20000));
  ASSERT_EQ(groupOrder(mainDiskList().diskAt(0)).size(), 3u);

  std::atomic<bool> done{false};
  std::atomic<uint64_t> walks{0};
  std::thread reader(readList, std::cref(done), std::ref(walks));
  // The head's bay and a member's bay in turn, one swap per pass: same length, same number, only
  // the serial differs.
  std::string serials[3] = {"SN 0", "SN 1", "SN 2"};
  for (int k = 0; k < 6; ++k) {
    const int bay = k % 2;
    sim::DiskSpec spec = sim::diskSpec(sim::diskInBay(station, bay));
    serials[bay] = "SWAP " + std::to_string(k);
    sim::setIdentifySerial(spec.identify, serials[bay]);
    ASSERT_NE(sim::swapDisk(sim::diskInBay(station, bay), spec), sim::kNone);
    const uint64_t passes = diskScanPasses();
    simClockAdvance(kScanInterval);
    ASSERT_TRUE(waitForDiskScanPasses(passes + 1, 20000));
  }
  done = true;
  reader.join();
  stopDiskScan();

  ASSERT_EQ(mainDiskList().topLevelCount(), 1);
  const std::vector<DiskRecord> group = groupOrder(mainDiskList().diskAt(0));
  ASSERT_EQ(group.size(), 3u);
  for (const DiskRecord& d : group) {
    ASSERT_GE(d->bayIndex, 0);
    ASSERT_LT(d->bayIndex, 3);
    EXPECT_EQ(d->serialNumber.rfind(serials[d->bayIndex], 0), 0u) << d->bayIndex << ": " << d->serialNumber;
  }
  for (int bay = 0; bay < 3; ++bay) EXPECT_EQ(mainDiskList().diskAt(0)->bayOccupied[size_t(bay)], 1) << bay;
  EXPECT_GT(walks.load(), 0u);
}

}  // namespace
