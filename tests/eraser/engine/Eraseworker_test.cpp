// Erase runs on simulated disks and stations: the bytes on every disk, the jobs, the mode commands
// and the logs.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <regex>
#include <thread>

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Logfolder.h"
#include "Platformservices.h"
#include "Simclock.h"
#include "Simmachine.h"
#include "Sunnywilldeviceutil.h"

namespace {

using namespace testsupport;
constexpr uint64_t MiB = 1048576;

class EraseRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMachine();
    setDebugSink([this](const std::string& text) {
      std::lock_guard<std::mutex> hold(lock_);
      diagnostics_.push_back(text);
    });
  }
  void TearDown() override { resetMachine(); }

  std::vector<std::string> startWrites() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> lines;
    for (const auto& d : diagnostics_)
      if (d.rfind("Start Write:", 0) == 0) lines.push_back(d);
    return lines;
  }
  bool diagnosed(const std::string& prefix) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& d : diagnostics_)
      if (d.rfind(prefix, 0) == 0) return true;
    return false;
  }

  LogFolder folder_;
  std::mutex lock_;
  std::vector<std::string> diagnostics_;
};

void cancelAll() {
  for (const EraseRunHandle& run : liveEraseRuns()) run->cancel();
}

// Data a user had on the disk before the run: size bytes of the byte at an offset (whole sectors).
void plant(sim::DiskId disk, uint64_t at, uint32_t size, uint8_t byte) {
  DevHandle h = devOpen(sim::diskSpec(disk).path.c_str(), DevOpenMode::shared, nullptr);
  ASSERT_TRUE(isValidDevHandle(h));
  const std::vector<uint8_t> data(size, byte);
  ASSERT_EQ(devWrite(h, at, data.data(), size), 0u);
  devClose(h);
}

void fill(sim::DiskId disk, uint8_t byte) {
  for (uint64_t at = 0; at < sim::diskSpec(disk).length; at += MiB) plant(disk, at, uint32_t(MiB), byte);
}

// Every byte of the disk is the byte.
void expectAllBytes(sim::DiskId disk, uint8_t byte) {
  const uint64_t length = sim::diskSpec(disk).length;
  for (uint64_t at = 0; at < length; at += MiB) {
    const auto block = sim::readBytes(disk, at, uint32_t(std::min<uint64_t>(MiB, length - at)));
    for (size_t i = 0; i < block.size(); ++i)
      if (block[i] != byte) FAIL() << "disk " << disk << " byte " << at + i << " is " << int(block[i]);
  }
}

// What a mirror target receives besides the passes: the marks its check will look for, written before
// the mirror goes on (18 blocks of 4 KiB at most), and, where the mirror stopped short of them on a
// disk that is not erased on its own afterwards, the blocks they replaced put back.
constexpr uint64_t kMarks = 2 * 18 * 4096;

// Bytes received: the passes, and at most the marks of a mirror target.
bool receivedPasses(uint64_t received, uint64_t passesBytes) {
  return received >= passesBytes && received <= passesBytes + kMarks;
}

void expectWholeDiskPasses(sim::DiskId disk, int passes) {
  const uint64_t length = sim::diskSpec(disk).length;
  EXPECT_EQ(sim::coverage(disk), (std::vector<sim::ByteRange>{{0, length}})) << "disk " << disk;
  EXPECT_TRUE(receivedPasses(sim::bytesWritten(disk), uint64_t(passes) * length))
      << "disk " << disk << " received " << sim::bytesWritten(disk) << " for " << passes << " passes";
}

// The log with its timestamps replaced by "T".
std::string untimed(const std::string& log) {
  static const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)");
  return std::regex_replace(log, stamp, "T");
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string creationLines(int disk, uint64_t capacity, const char* method) {
  return "Disk" + std::to_string(disk) +
         "\r\nModel Name:SIM DISK\r\nSerial Number:SN\r\nErase Type:" + method +
         "\r\nCapacity:" + std::to_string(capacity) + " bytes\r\n===============================\r\n";
}

TEST_F(EraseRunTest, PlainDiskWithThreePassesWritesWholeBlocksAndLogsEveryPass) {
  const uint64_t length = 3 * MiB + MiB / 2;
  const sim::DiskId disk = addPlainDisk(length);
  eraseNow(0, 3);

  expectWholeDiskPasses(disk, 3);
  EXPECT_EQ(sim::writeCount(disk), 12u);  // 1, 1, 1 and 0.5 MiB per pass
  const std::string range = "(0 - " + std::to_string(length) + ")";
  EXPECT_EQ(untimed(folder_.log("_Disk1.txt")),
            creationLines(1, length, "US DoD 5220-22.M") + "T Starting new task" + range +
                " 00 \r\nT Task completed\r\n" + "T Starting new task" + range +
                " FF \r\nT Task completed\r\n" + "T Starting new task" + range +
                " Random\r\nT Task completed\r\n===============================\r\nErase Success\r\n");
  // A random pass repeats one 1 MiB block of generated data.
  const auto first = sim::readBytes(disk, 0, uint32_t(MiB));
  EXPECT_EQ(sim::readBytes(disk, 2 * MiB, uint32_t(MiB)), first);
  EXPECT_EQ(sim::readBytes(disk, 3 * MiB, uint32_t(MiB / 2)),
            std::vector<uint8_t>(first.begin(), first.begin() + MiB / 2));
}

TEST_F(EraseRunTest, AllBaysSelectedMirrorTheCommonRangeOnce) {
  // Lengths of bays 0, 1, 2: L1 < L3 < L2, the bay-0 disk found first.
  const auto s = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 5 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  eraseNow(0, 6);  // ends with AA

  // The smallest disk has nothing beyond the common range: it gets no job of its own.
  EXPECT_EQ(startWrites(), (std::vector<std::string>{"Start Write:0, StartOffset:0, EndOffset:3145728",
                                                     "Start Write:1, StartOffset:3145728, EndOffset:5242880",
                                                     "Start Write:2, StartOffset:3145728, EndOffset:4194304"}));
  // Reset to independent, mirror all bays for the common range, independent again.
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2, 1, 2}));
  for (sim::DiskId d : s.disks) {
    expectWholeDiskPasses(d, 7);
    expectAllBytes(d, 0xAA);
  }
  // The smallest disk got no job of its own beyond the mirrored one.
  EXPECT_EQ(sim::writeCount(s.disks[0]), 7u * 3);
}

// Every 1 MiB block of [start, end) repeats the block at start (a random pass's generator block).
void expectRepeatedBlock(sim::DiskId disk, uint64_t start, uint64_t end) {
  const auto first = sim::readBytes(disk, start, uint32_t(std::min<uint64_t>(MiB, end - start)));
  for (uint64_t at = start + MiB; at < end; at += MiB) {
    const uint32_t size = uint32_t(std::min<uint64_t>(MiB, end - at));
    EXPECT_EQ(sim::readBytes(disk, at, size), std::vector<uint8_t>(first.begin(), first.begin() + size))
        << "disk " << disk << " block at " << at;
  }
}

TEST_F(EraseRunTest, RandomPassReachesEveryBayThroughTheMirrorThenEachRemainder) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 5 * MiB + 4096}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  eraseNow(0, 2);
  const uint64_t common = 3 * MiB;
  const auto mirrored = sim::readBytes(s.disks[0], 0, uint32_t(common));
  for (sim::DiskId d : s.disks) {
    expectWholeDiskPasses(d, 1);
    EXPECT_EQ(sim::readBytes(d, 0, uint32_t(common)), mirrored) << "the same block through the mirror";
    expectRepeatedBlock(d, 0, common);
    expectRepeatedBlock(d, common, sim::diskSpec(d).length);
  }
  EXPECT_NE(mirrored, std::vector<uint8_t>(common, 0));
}

TEST_F(EraseRunTest, SelectionDecidesTheMirrorAndUnselectedDisksStayUntouched) {
  struct Case {
    const char* name;
    sim::StationModel model;
    std::vector<BayDisk> bays;
    std::vector<int> selected;
    std::vector<uint8_t> modeCommands;
  } cases[] = {
      {"bay 0 not selected",
       sim::StationModel::sywl,
       {{0, 2 * MiB}, {1, 3 * MiB}, {2, 2 * MiB}},
       {1, 2},
       {2, 0, 2}},
      {"a gap in the selection",
       sim::StationModel::sywl,
       {{0, 2 * MiB}, {1, 3 * MiB}, {2, 2 * MiB}},
       {0, 1},
       {2}},
      {"SYW4 all bays", sim::StationModel::syw4, {{0, 2 * MiB}, {1, 3 * MiB}}, {0, 1}, {2, 0, 2}},
      {"SYW4 second bay alone: nothing to mirror", sim::StationModel::syw4, {{0, 2 * MiB}, {1, 3 * MiB}}, {1}, {2}},
      {"SYW2 bays found 1 then 0", sim::StationModel::syw2, {{1, 3 * MiB}, {0, 2 * MiB}}, {0, 1}, {2, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const auto s = addStation(c.model, c.bays);
    sim::DiskId outside = addPlainDisk(MiB);
    selectBays(c.selected);
    eraseNow(0, 8);  // FF, 00, R
    EXPECT_EQ(sim::modeCommands(s.id), c.modeCommands);
    for (size_t i = 0; i < s.disks.size(); ++i) {
      const int bay = c.bays[i].bay;
      const bool chosen = std::find(c.selected.begin(), c.selected.end(), bay) != c.selected.end();
      if (chosen) {
        expectWholeDiskPasses(s.disks[i], 3);
        EXPECT_NE(folder.log("_Disk" + std::to_string(bay + 1) + ".txt"), "");
      } else {
        EXPECT_EQ(sim::bytesWritten(s.disks[i]), 0u);
        EXPECT_EQ(folder.log("_Disk" + std::to_string(bay + 1) + ".txt"), "");
      }
    }
    EXPECT_EQ(sim::bytesWritten(outside), 0u);
  }
}

TEST_F(EraseRunTest, StationLogsRepeatEveryLineAfterTheirOwnCreation) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 2 * MiB}, {2, 3 * MiB}});
  selectBays({0, 2});
  eraseNow(0, 1);
  const std::string disk1 = untimed(folder_.log("_Disk1.txt"));
  const std::string disk3 = untimed(folder_.log("_Disk3.txt"));
  ASSERT_EQ(folder_.logs().size(), 2u);
  const std::string lines =
      "T Starting new task(0 - 2097152) 00 \r\nT Task completed\r\n"
      "===============================\r\nErase Success\r\n"
      "T Starting new task(0 - 3145728) 00 \r\nT Task completed\r\n"
      "===============================\r\nErase Success\r\n";
  EXPECT_EQ(disk1, creationLines(1, 2 * MiB, "One Pass Zeros") + lines);
  EXPECT_EQ(disk3, creationLines(3, 3 * MiB, "One Pass Zeros") + lines);
  EXPECT_EQ(sim::bytesWritten(s.disks[1]), 0u);
}

TEST_F(EraseRunTest, BayDroppedDuringTheRunIsLeftAloneAndEndsCancelled) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 2 * MiB}, {2, 3 * MiB}});
  selectBays({0, 2});
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    if (disk == s.disks[0]) eraseRunOf(*s.head)->dropBay(2);
  });
  eraseNow(0, 1);
  expectWholeDiskPasses(s.disks[0], 1);
  EXPECT_EQ(sim::bytesWritten(s.disks[2]), 0u);
  // The dropped disk's log has the lines of the disk that was erased, then its own ending.
  const std::string dropped = untimed(folder_.log("_Disk3.txt"));
  EXPECT_EQ(dropped, creationLines(3, 3 * MiB, "One Pass Zeros") +
                         "T Starting new task(0 - 2097152) 00 \r\nT Task completed\r\n"
                         "===============================\r\nErase Success\r\n"
                         "===============================\r\nErase Cancel\r\n");
  EXPECT_EQ(folder_.log("_Disk1.txt").find("Erase Cancel"), std::string::npos);
}

TEST_F(EraseRunTest, CancelDuringTheSecondPassEndsWithCancelLines) {
  const sim::DiskId disk = addPlainDisk(4 * MiB);
  sim::setWriteHook([&](sim::DiskId, uint64_t bytes) {
    if (bytes == 5 * MiB) cancelAll();
  });
  eraseNow(0, 3);
  EXPECT_EQ(sim::bytesWritten(disk), 5 * MiB);
  EXPECT_EQ(
      untimed(folder_.log("_Disk1.txt")),
      creationLines(1, 4 * MiB, "US DoD 5220-22.M") +
          "T Starting new task(0 - 4194304) 00 \r\nT Task completed\r\n"
          "T Starting new task(0 - 4194304) FF \r\n===============================\r\nErase Cancel\r\n");
}

TEST_F(EraseRunTest, CancelLinesGoToTheStoppedDiskAndTheDisksAfterIt) {
  const auto s =
      addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 2 * MiB}, {2, 2 * MiB}, {3, 2 * MiB}});
  selectBays({0, 2, 3});  // bay 1 not selected: no mirror
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    if (disk == s.disks[2]) cancelAll();
  });
  eraseNow(0, 1);
  EXPECT_EQ(folder_.log("_Disk1.txt").find("Erase Cancel"), std::string::npos);
  EXPECT_NE(folder_.log("_Disk3.txt").find("===============================\r\nErase Cancel\r\n"),
            std::string::npos);
  EXPECT_NE(folder_.log("_Disk4.txt").find("===============================\r\nErase Cancel\r\n"),
            std::string::npos);
  EXPECT_EQ(sim::bytesWritten(s.disks[3]), 0u);
}

TEST_F(EraseRunTest, WriteErrorEndsTheJobAndTheRunGoesOn) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 3 * MiB}, {2, 2 * MiB}});
  selectBays({0, 1});
  sim::failWritesAt(s.disks[0], 2 * MiB + 512, 23);
  eraseNow(0, 3);
  const std::string log = untimed(folder_.log("_Disk1.txt"));
  EXPECT_NE(log.find("T Error when write file(2097152 - 3145728) 00 \r\n===============================\r\n"
                     "WriteFile Error:23\r\n"),
            std::string::npos);
  EXPECT_EQ(sim::coverage(s.disks[0]), (std::vector<sim::ByteRange>{{0, 2 * MiB}}));
  expectWholeDiskPasses(s.disks[1], 3);
  EXPECT_TRUE(endsWith(folder_.log("_Disk2.txt"), "===============================\r\nErase Success\r\n"));
  // Each log ends with its own disk's verdict, whatever the other disk's job wrote after it.
  EXPECT_TRUE(endsWith(folder_.log("_Disk1.txt"), "===============================\r\nWriteFile Error:23\r\n"));
}

TEST_F(EraseRunTest, RefusedMirrorFallsBackToEachDiskOnItsOwn) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 5 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  sim::Fault busy;  // the mirror command only: the station can still be switched back
  busy.scsiStatus = sim::kScsiBusy;
  busy.modeValue = 1;
  sim::failModeCommand(s.id, busy);
  std::vector<int32_t> bars;
  struct Sink : ProgressSink {
    std::vector<int32_t>* bars;
    void progress(uint64_t, const ProgressValues& v) override { bars->push_back(v.barPosition); }
  } sink;
  sink.bars = &bars;
  setProgressSink(&sink);
  sim::setWriteHook([](sim::DiskId, uint64_t) { simClockAdvance(600); });
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    simClockAdvance(600);
    if (const EraseRunHandle run = eraseRunOf(*s.head)) shownEraseRun = run->id();
  });
  eraseNow(0, 6);
  for (sim::DiskId d : s.disks) {
    expectWholeDiskPasses(d, 7);
    expectAllBytes(d, 0xAA);
  }
  EXPECT_TRUE(diagnosed("Docking mirror not used"));
  ASSERT_FALSE(bars.empty());
  for (int32_t b : bars) EXPECT_TRUE(b >= 0 && b <= 10000) << b;
}

TEST_F(EraseRunTest, WriteErrorInsideTheMirrorErasesTheOtherDisksOnTheirOwn) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 3 * MiB}, {1, 5 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  sim::failWritesAt(s.disks[2], MiB + 4096, 23);  // a bad sector on a disk only the mirror reaches
  eraseNow(0, 1);
  // The mirrored write failed for all; the healthy disks, the first included, are then written whole
  // on their own, and the faulty one ends with its own error.
  for (sim::DiskId d : {s.disks[0], s.disks[1]}) {
    expectAllBytes(d, 0x00);
    EXPECT_EQ(sim::coverage(d), (std::vector<sim::ByteRange>{{0, sim::diskSpec(d).length}}));
  }
  EXPECT_TRUE(endsWith(folder_.log("_Disk1.txt"), "===============================\r\nErase Success\r\n"));
  EXPECT_TRUE(endsWith(folder_.log("_Disk2.txt"), "===============================\r\nErase Success\r\n"));
  EXPECT_TRUE(endsWith(folder_.log("_Disk3.txt"), "===============================\r\nWriteFile Error:23\r\n"));
}

TEST_F(EraseRunTest, DriveLayoutThatCannotBeDeletedGivesDiskInitError) {
  const sim::DiskId disk = addPlainDisk(2 * MiB);
  sim::failRequest(disk, sim::Request::deleteLayout, {5});
  eraseNow(0, 1);
  EXPECT_EQ(sim::bytesWritten(disk), 0u);
  EXPECT_EQ(untimed(folder_.log("_Disk1.txt")), creationLines(1, 2 * MiB, "One Pass Zeros") +
                                                    "===============================\r\nDisk Init Error\r\n");
}

TEST_F(EraseRunTest, ExclusiveOpenWaitsForABriefSharedHandle) {
  // The scan holds a disk open for a moment; the job tries again rather than failing the disk.
  const sim::DiskId disk = addPlainDisk(2 * MiB);
  sim::Fault busy;
  busy.error = 32;
  busy.times = 3;
  sim::failRequest(disk, sim::Request::open, busy);
  eraseNow(0, 1);
  expectWholeDiskPasses(disk, 1);
  EXPECT_TRUE(endsWith(folder_.log("_Disk1.txt"), "Erase Success\r\n"));

  // A disk that stays held gives "Disk Init Error" within a bounded time.
  resetMachine();
  LogFolder folder;
  const sim::DiskId held = addPlainDisk(2 * MiB);
  busy.times = -1;
  sim::failRequest(held, sim::Request::open, busy);
  eraseNow(0, 1);
  EXPECT_EQ(sim::bytesWritten(held), 0u);
  EXPECT_TRUE(endsWith(folder.log("_Disk1.txt"), "Disk Init Error\r\n"));
}

TEST_F(EraseRunTest, QuickMethodStopsAfterTenSeconds) {
  const sim::DiskId disk = addPlainDisk(64 * 1024 * MiB, 512, sim::Backing::discarding);
  sim::setWriteHook([](sim::DiskId, uint64_t) { simClockAdvance(1000); });
  eraseNow(0, 20);
  EXPECT_EQ(sim::writeCount(disk), 11u);
  const std::string range = "(0 - " + std::to_string(64 * 1024 * MiB) + ")";
  EXPECT_EQ(untimed(folder_.log("_Disk1.txt")),
            creationLines(1, 64 * 1024 * MiB, "Quick Zeros") + "T Starting new task" + range +
                " 00 \r\n===============================\r\nErase Success\r\n");
}

TEST_F(EraseRunTest, TwoRunsAtOnceKeepTheirLogsAndOnlyTheShownOnePublishes) {
  const sim::DiskId a = addPlainDisk(6 * MiB);
  const sim::DiskId b = addPlainDisk(8 * MiB);
  std::mutex seenLock;
  std::vector<uint64_t> seen;
  struct Sink : ProgressSink {
    std::function<void(uint64_t)> f;
    void progress(uint64_t run, const ProgressValues&) override { f(run); }
  } sink;
  sink.f = [&](uint64_t run) {
    std::lock_guard<std::mutex> hold(seenLock);
    seen.push_back(run);
  };
  setProgressSink(&sink);
  sim::setWriteHook([](sim::DiskId, uint64_t) { simClockAdvance(300); });
  const EraseRunHandle first = startErase(requestAt(0, 3));
  const EraseRunHandle second = startErase(requestAt(1, 3));
  ASSERT_TRUE(first && second);
  shownEraseRun = second->id();
  EXPECT_FALSE(startErase(requestAt(1, 3)));  // a second Start while the first is alive starts nothing
  for (int i = 0; i < 2000 && (first->alive() || second->alive()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(first->alive() || second->alive());
  expectWholeDiskPasses(a, 3);
  expectWholeDiskPasses(b, 3);
  const auto logs = folder_.logs();
  ASSERT_EQ(logs.size(), 2u);  // the same bay in the same second: the second log gets its own name
  int capacities = 0;
  for (const auto& [name, content] : logs) {
    const bool isA = content.find("Capacity:6291456 bytes") != std::string::npos;
    const bool isB = content.find("Capacity:8388608 bytes") != std::string::npos;
    EXPECT_TRUE(isA != isB) << name;
    EXPECT_EQ(content.find(isA ? "(0 - 8388608)" : "(0 - 6291456)"), std::string::npos) << name;
    capacities += isA ? 1 : 2;
  }
  EXPECT_EQ(capacities, 3);
  std::lock_guard<std::mutex> hold(seenLock);
  EXPECT_FALSE(seen.empty());
  for (uint64_t run : seen) EXPECT_EQ(run, second->id());
}

TEST_F(EraseRunTest, ShutdownCancelsEveryRunWithinItsBound) {
  const sim::DiskId disk = addPlainDisk(256 * 1024 * MiB, 512, sim::Backing::discarding);
  sim::setWriteHook([](sim::DiskId, uint64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  const EraseRunHandle run = startErase(requestAt(0, 1));
  ASSERT_TRUE(run);
  while (sim::writeCount(disk) < 3) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(stopEraseWorkers(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(run->alive());
  EXPECT_TRUE(endsWith(folder_.log("_Disk1.txt"), "Erase Cancel\r\n"));
}

TEST_F(EraseRunTest, ShutdownReturnsAtItsBoundWhenAWorkerHangs) {
  addPlainDisk(4 * MiB);
  std::atomic<bool> release{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a write that never returns
  });
  const EraseRunHandle run = startErase(requestAt(0, 1));
  ASSERT_TRUE(run);
  while (sim::writeCount(0) == 0) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(stopEraseWorkers(200));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(200));
  EXPECT_LT(waited, std::chrono::seconds(3));
  release = true;
  EXPECT_TRUE(stopEraseWorkers(5000));
}

TEST_F(EraseRunTest, StartNeedsAHeadAndDisksAndAnIdleStation) {
  EXPECT_FALSE(startErase(EraseRequest{}));
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 2 * MiB}});
  selectBays({});
  EXPECT_FALSE(startErase(requestAt(0, 1))) << "a station without a ticked bay";
  EXPECT_TRUE(liveEraseRuns().empty());
}

// --- each log ends with its own disk's truth -------------------------------------------------------

// The ending after the last equal-sign line, which is the log's last line.
std::string lastEnding(const std::string& log) {
  const std::string rule = "===============================\r\n";
  const size_t at = log.rfind(rule);
  if (at == std::string::npos || !endsWith(log, "\r\n")) return "";
  return log.substr(at + rule.size(), log.size() - at - rule.size() - 2);
}

TEST_F(EraseRunTest, FaultsOfOneDiskLeaveTheOthersWholeAndEveryLogEndsWithItsOwnVerdict) {
  const auto D = sim::Backing::discarding;
  struct Case {
    const char* name;
    sim::StationModel model;
    std::vector<BayDisk> bays;
    int32_t method;
    std::function<void(const SimStation&)> fault;
    std::vector<uint64_t> received;  // per disk, in the order of bays
    std::vector<std::string> endings;
  } cases[] = {
      {"a disk that cannot be opened",
       sim::StationModel::syw4,
       {{0, 12 * MiB}, {1, 8 * MiB}},
       1,
       [](const SimStation& s) { sim::failRequest(s.disks[0], sim::Request::open, {5}); },
       {0, 8 * MiB},
       {"Disk Init Error", "Erase Success"}},
      {"a mirror target pulled out inside the mirrored range",
       sim::StationModel::sywl,
       {{0, 64 * MiB, 512, D}, {1, 32 * MiB, 512, D}, {2, 48 * MiB, 512, D}},
       1,
       [](const SimStation& s) { sim::unplugAfterBytes(s.disks[1], 8 * MiB); },
       {32 * MiB + 64 * MiB, 8 * MiB, 32 * MiB + 48 * MiB},
       {"Erase Success", "Disk Init Error", "Erase Success"}},
      {"a bad sector on a mirror target",
       sim::StationModel::sywl,
       {{0, 64 * MiB, 512, D}, {1, 32 * MiB, 512, D}, {2, 48 * MiB, 512, D}},
       3,
       [](const SimStation& s) { sim::failWritesAt(s.disks[1], 8 * MiB, 23); },
       {8 * MiB + 3 * 64 * MiB, 8 * MiB + 8 * MiB, 8 * MiB + 3 * 48 * MiB},
       {"Erase Success", "WriteFile Error:23", "Erase Success"}},
      {"the disk the mirror writes through pulled out",
       sim::StationModel::sywl,
       {{0, 16 * MiB, 512, D}, {1, 32 * MiB, 512, D}, {2, 24 * MiB, 512, D}},
       1,
       [](const SimStation& s) { sim::unplugAfterBytes(s.disks[0], 8 * MiB); },
       {8 * MiB, 8 * MiB + 32 * MiB, 8 * MiB + 24 * MiB},
       {"Disk Init Error", "Erase Success", "Erase Success"}},
      {"a station that takes every mode and answers busy: its mode is never known, nothing is written",
       sim::StationModel::sywl,
       {{0, 4 * MiB}, {1, 6 * MiB}},
       1,
       [](const SimStation& s) {
         sim::Fault busy;
         busy.scsiStatus = sim::kScsiBusy;
         busy.applied = true;
         sim::failModeCommand(s.id, busy);
       },
       {0, 0},
       {"Disk Init Error", "Disk Init Error"}},
      {"a station that takes the mirror and answers busy for a moment",
       sim::StationModel::sywl,
       {{0, 4 * MiB}, {1, 6 * MiB}},
       1,
       [](const SimStation& s) {
         sim::Fault busy;
         busy.scsiStatus = sim::kScsiBusy;
         busy.applied = true;
         busy.modeValue = 1;
         busy.times = 2;
         sim::failModeCommand(s.id, busy);
       },
       {4 * MiB, 6 * MiB},
       {"Erase Success", "Erase Success"}},
      {"a station that makes no copies",
       sim::StationModel::sywl,
       {{0, 4 * MiB}, {1, 6 * MiB}},
       3,
       [](const SimStation& s) { sim::dropMirrorCopies(s.id, true); },
       {3 * 4 * MiB, 3 * 2 * MiB},
       {"Erase Success", "Verify Error"}},
      {"a disk that keeps nothing",
       sim::StationModel::syw2,
       {{0, 4 * MiB}, {1, 6 * MiB}},
       3,
       [](const SimStation& s) { sim::forgetWrites(s.disks[1], true); },
       {3 * 4 * MiB, 3 * 6 * MiB},
       {"Erase Success", "Verify Error"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const SimStation s = addStation(c.model, c.bays);
    std::vector<int> bays;
    for (const BayDisk& b : c.bays) bays.push_back(b.bay);
    selectBays(bays);
    c.fault(s);
    eraseNow(0, c.method);
    for (size_t i = 0; i < c.bays.size(); ++i) {
      SCOPED_TRACE("bay " + std::to_string(c.bays[i].bay));
      EXPECT_TRUE(receivedPasses(sim::bytesWritten(s.disks[i]), c.received[i]))
          << sim::bytesWritten(s.disks[i]) << " bytes, " << c.received[i] << " expected";
      EXPECT_EQ(lastEnding(folder.log("_Disk" + std::to_string(c.bays[i].bay + 1) + ".txt")), c.endings[i]);
    }
    EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent) << "the station is left mirroring";
  }
}

TEST_F(EraseRunTest, TheMirrorStaysOffWhileTheStationHoldsADiskTheRunDoesNotKnow) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 3 * MiB}});
  // Pushed into bay 2 after the scan listed the station: no record, no log, no byte.
  sim::DiskSpec spec = sim::diskSpec(s.disks[0]);
  spec.path += "-new";
  spec.deviceNumber = 77;
  const sim::DiskId stranger = sim::addDisk(spec);
  ASSERT_TRUE(sim::insertDisk(s.id, 2, stranger));
  selectBays({0, 1});
  eraseNow(0, 1);
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2}));
  EXPECT_EQ(sim::bytesWritten(stranger), 0u);
  expectWholeDiskPasses(s.disks[0], 1);
  expectWholeDiskPasses(s.disks[1], 1);
}

TEST_F(EraseRunTest, AStationNobodyCouldResetIsTriedAgainByTheNextRunAndTheCloseWait) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 3 * MiB}});
  selectBays({0, 1});
  // The head goes right after the mirror is on; the other disk refuses the reset too.
  sim::Fault refused;
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    if (disk == s.disks[0] && sim::stationMode(s.id) != sim::BayMode::independent) {
      sim::failModeCommand(s.id, refused);
      sim::unplug(s.disks[0]);
    }
  });
  eraseNow(0, 1);
  EXPECT_TRUE(stationMayBeMirroring(s.head->parentInstance));
  EXPECT_TRUE(diagnosed("Docking reset to independent failed"));
  EXPECT_NE(sim::stationMode(s.id), sim::BayMode::independent);
  // Once the station answers again, the close wait switches it back through the disk that is left.
  sim::setWriteHook({});
  sim::clearModeCommandFault(s.id);
  EXPECT_TRUE(stopEraseWorkers(1000));
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  EXPECT_FALSE(stationMayBeMirroring(s.head->parentInstance));
}

TEST_F(EraseRunTest, ACancelRightAfterStartHoldsAndTheRunNeverLooksItsDisksUpAgain) {
  const sim::DiskId disk = addPlainDisk(64 * MiB, 512, sim::Backing::discarding);
  const EraseRequest request = requestAt(0, 1);
  // The list changes at once: another disk now stands at position 0.
  mainDiskList().clearDisks();
  const sim::DiskId other = addPlainDisk(8 * MiB);
  const EraseRunHandle run = startErase(request);
  ASSERT_TRUE(run);
  run->cancel();
  EXPECT_TRUE(stopEraseWorkers(5000));
  EXPECT_LE(sim::bytesWritten(disk), MiB) << "at most the write in progress";
  EXPECT_EQ(sim::bytesWritten(other), 0u);
  EXPECT_EQ(lastEnding(folder_.log("_Disk1.txt")), "Erase Cancel");
}

TEST_F(EraseRunTest, TheReadBackIsCountedAndItsErrorsEndTheLog) {
  addPlainDisk(4 * MiB);
  eraseNow(0, 1);
  EXPECT_TRUE(diagnosed("Check of bay 0: 18 blocks read back"));
  struct Case {
    sim::Request request;
    uint32_t error;
    const char* ending;
  } cases[] = {{sim::Request::read, 23, "ReadFile Error:23"}, {sim::Request::flush, 1117, "WriteFile Error:1117"}};
  for (const Case& c : cases) {
    resetMachine();
    LogFolder folder;
    const sim::DiskId disk = addPlainDisk(4 * MiB);
    sim::failRequest(disk, c.request, {c.error});
    eraseNow(0, 1);
    expectWholeDiskPasses(disk, 1);
    EXPECT_EQ(lastEnding(folder.log("_Disk1.txt")), c.ending);
  }
}

TEST_F(EraseRunTest, EveryVolumeTheMirrorReachesIsLockedAndDismountedBeforeItGoesOnAndHeldToTheEnd) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 6 * MiB}});
  sim::VolumeSpec v;
  v.letter = 'k';
  v.fileSystem = u"NTFS";
  v.totalBytes = 2 * MiB;
  ASSERT_TRUE(sim::addVolume(s.disks[1], v));  // on the disk only the mirror writes at first
  std::vector<sim::VolumeState> seen;
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (seen.empty()) seen.push_back(sim::volumeState("\\\\.\\k:"));
  });
  selectBays({0, 1});
  eraseNow(0, 1);
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2, 1, 2})) << "the mirror was used, not a fallback";
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].locked || !seen[0].mounted) << "the volume was let go before the first write";
  expectWholeDiskPasses(s.disks[0], 1);
  expectWholeDiskPasses(s.disks[1], 1);
  EXPECT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Erase Success");
  // The run has ended: its handles are closed and the volume can be opened again.
  DevHandle h = devOpen("\\\\.\\k:", DevOpenMode::shared, nullptr);
  EXPECT_TRUE(isValidDevHandle(h) || !sim::volumeState("\\\\.\\k:").exists);
  if (isValidDevHandle(h)) devClose(h);
  EXPECT_EQ(sim::openHandleCount(s.disks[1]), 0);
}

TEST_F(EraseRunTest, AVolumeThatWillNotLetGoKeepsItsDiskOutAndTheOthersAreErasedOnTheirOwn) {
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 6 * MiB}, {2, 5 * MiB}});
  sim::VolumeSpec v;
  v.fileSystem = u"NTFS";
  v.totalBytes = 2 * MiB;
  ASSERT_TRUE(sim::addVolume(s.disks[1], v));  // no drive letter: found through the volume enumeration
  sim::refuseLockAndDismount(s.disks[1], true);
  selectBays({0, 1, 2});
  eraseNow(0, 1);
  EXPECT_EQ(sim::bytesWritten(s.disks[1]), 0u);
  EXPECT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Disk Init Error");
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2})) << "no mirror over a disk that is out";
  expectWholeDiskPasses(s.disks[0], 1);
  expectWholeDiskPasses(s.disks[2], 1);
}

// --- unticks and vanishing disks inside the mirrored range ---------------------------------------

TEST_F(EraseRunTest, AnUntickInsideTheMirroredRangeStopsThatDiskAndItsLogEndsCancelled) {
  // Equal lengths: the mirrored range is every disk's whole length, so nothing after it would
  // tell the dropped disk apart.
  struct Case {
    const char* name;
    size_t dropped;  // index into the station's disks
  } cases[] = {{"a target of the mirror", 1}, {"the disk the mirror writes through", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const auto D = sim::Backing::discarding;
    const auto s = addStation(sim::StationModel::sywl, {{0, 16 * MiB, 512, D}, {1, 16 * MiB, 512, D}, {2, 16 * MiB, 512, D}});
    selectBays({0, 1, 2});
    std::atomic<uint64_t> atDrop{0};
    std::atomic<bool> done{false};
    sim::setWriteHook([&](sim::DiskId, uint64_t) {
      if (done || sim::stationMode(s.id) == sim::BayMode::independent) return;
      if (sim::bytesWritten(s.disks[c.dropped]) < 4 * MiB) return;
      done = true;
      atDrop = sim::bytesWritten(s.disks[c.dropped]);
      eraseRunOf(*s.head)->dropBay(int32_t(c.dropped));  // the disks sit in bays 0, 1, 2
    });
    eraseNow(0, 6);  // seven passes, ending AA
    ASSERT_TRUE(done);
    EXPECT_LE(sim::bytesWritten(s.disks[c.dropped]), atDrop + MiB) << "the unticked disk went on receiving the mirror";
    EXPECT_EQ(lastEnding(folder.log("_Disk" + std::to_string(c.dropped + 1) + ".txt")), "Erase Cancel");
    for (size_t i = 0; i < s.disks.size(); ++i) {
      if (i == c.dropped) continue;
      SCOPED_TRACE("bay " + std::to_string(i));
      EXPECT_EQ(sim::coverage(s.disks[i]), (std::vector<sim::ByteRange>{{0, 16 * MiB}}));
      EXPECT_GE(sim::bytesWritten(s.disks[i]), 7 * 16 * MiB);
      EXPECT_EQ(lastEnding(folder.log("_Disk" + std::to_string(i + 1) + ".txt")), "Erase Success");
    }
    EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  }
}

TEST_F(EraseRunTest, AMirrorTargetThatWasGoneForAMomentIsNotCreditedWithTheCopiesItMissed) {
  // The target is pulled out and pushed back in during the first pass: the station made no copy
  // for it meanwhile, and the later passes hide the gap from any read-back.
  const auto D = sim::Backing::discarding;
  const auto s = addStation(sim::StationModel::sywl, {{0, 32 * MiB, 512, D}, {1, 32 * MiB, 512, D}});
  selectBays({0, 1});
  std::atomic<int> state{0};  // 0 before, 1 gone, 2 back
  sim::setWriteHook([&](sim::DiskId disk, uint64_t bytes) {
    if (disk != s.disks[0] || sim::stationMode(s.id) == sim::BayMode::independent) return;
    if (state == 0 && bytes >= 8 * MiB) {
      state = 1;
      sim::unplug(s.disks[1]);
    } else if (state == 1 && bytes >= 10 * MiB) {
      state = 2;
      sim::replug(s.disks[1]);
    }
  });
  eraseNow(0, 6);  // seven passes
  ASSERT_EQ(state, 2);
  const std::string ending = lastEnding(folder_.log("_Disk2.txt"));
  if (ending == "Erase Success") {
    EXPECT_GE(sim::bytesWritten(s.disks[1]), 7 * 32 * MiB) << "success claimed for a disk that missed writes";
  }
  // The run falls back: the disk written through is erased again on its own.
  EXPECT_EQ(sim::coverage(s.disks[0]), (std::vector<sim::ByteRange>{{0, 32 * MiB}}));
  EXPECT_GE(sim::bytesWritten(s.disks[0]), 7 * 32 * MiB);
  EXPECT_EQ(lastEnding(folder_.log("_Disk1.txt")), "Erase Success");
}

TEST_F(EraseRunTest, AStationThatStaysMirroringAfterTheMirroredRangeNeverCopiesOneDisksWritesOntoAnother) {
  // The station takes the mirror, then refuses every later mode command. The remainders are no
  // longer each disk's own: whatever is written to bay 1 would also reach bay 2.
  const auto s = addStation(sim::StationModel::sywl, {{0, 2 * MiB}, {1, 3 * MiB}, {2, 3 * MiB}});
  selectBays({0, 1, 2});
  sim::failWritesAt(s.disks[2], 2 * MiB + MiB / 2, 23);  // a bad sector of bay 2, past the mirrored range
  std::atomic<bool> refused{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (!refused && sim::stationMode(s.id) != sim::BayMode::independent) {
      refused = true;
      sim::failModeCommand(s.id, {});
    }
  });
  eraseNow(0, 1);
  ASSERT_TRUE(refused);
  EXPECT_NE(lastEnding(folder_.log("_Disk2.txt")), "WriteFile Error:23") << "bay 1 took the blame for bay 2's sector";
}

TEST_F(EraseRunTest, ADiskSwappedUnderItsPathAfterItsCheckNeverReceivesTheMirror) {
  // A bridge whose path belongs to the bay: bay 1's disk is exchanged for a stranger of the same
  // length while the run still prepares the disk after it.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  std::atomic<sim::DiskId> stranger{sim::kNone};
  setDebugSink([&](const std::string& text) {
    if (stranger != sim::kNone || text.rfind("Disk 2, TotalByte", 0) != 0) return;
    sim::DiskSpec spec = sim::diskSpec(s.disks[1]);
    spec.deviceNumber += 300;
    sim::setAtaString(spec.identify, 10, 1, "XX");
    stranger = sim::swapDisk(s.disks[1], spec);
  });
  eraseNow(0, 1);
  ASSERT_NE(stranger, sim::kNone);
  EXPECT_EQ(sim::bytesWritten(stranger), 0u) << "the mirror wrote a disk nobody ticked";
  EXPECT_NE(lastEnding(folder_.log("_Disk2.txt")), "Erase Success");
  for (size_t i : {size_t(0), size_t(2)}) expectWholeDiskPasses(s.disks[i], 1);
}

TEST_F(EraseRunTest, TheCloseWaitThatGivesUpOnAHungWorkerLeavesNoStationMirroring) {
  // The window goes after its bound while a write inside the mirrored range never returns: the
  // process ends, the station stays on, and nothing of ours is left to switch it back.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}});
  selectBays({0, 1});
  std::atomic<bool> release{false}, hung{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (sim::stationMode(s.id) == sim::BayMode::independent) return;
    hung = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  const EraseRunHandle run = startErase(requestAt(0, 1));
  ASSERT_TRUE(run);
  for (int i = 0; i < 5000 && !hung; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(hung);
  EXPECT_FALSE(stopEraseWorkers(200));
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent) << "the station was left mirroring at the close";
  release = true;
  EXPECT_TRUE(stopEraseWorkers(5000));
}

TEST_F(EraseRunTest, TheDiskTheMirrorWritesThroughMovedToAnotherStationDoesNotSwitchBackTheWrongStation) {
  // Pulled out inside the mirrored range and pushed into the other station: its path now carries
  // mode commands to that station, not to the one still mirroring.
  const auto a = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}}, 100);
  const auto b = addStation(sim::StationModel::syw2, {{0, 2 * MiB}}, 200);
  selectBays({0, 1, 2});
  const EraseRequest request = requestAt(0, 1);
  std::atomic<bool> moved{false};
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    if (moved || disk != a.disks[0] || sim::stationMode(a.id) == sim::BayMode::independent) return;
    moved = true;
    sim::removeFromBay(a.disks[0]);
    sim::insertDisk(b.id, 1, a.disks[0]);
    sim::replug(a.disks[0]);
  });
  ASSERT_TRUE(runEraseHere(request));
  ASSERT_TRUE(moved);
  EXPECT_EQ(sim::stationMode(a.id), sim::BayMode::independent) << "the station of the run was left mirroring";
  EXPECT_EQ(sim::bytesWritten(b.disks[0]), 0u);
  for (size_t i : {size_t(1), size_t(2)}) {
    SCOPED_TRACE("bay " + std::to_string(i));
    EXPECT_EQ(lastEnding(folder_.log("_Disk" + std::to_string(i + 1) + ".txt")), "Erase Success");
    EXPECT_EQ(sim::coverage(a.disks[i]), (std::vector<sim::ByteRange>{{0, 4 * MiB}}));
  }
}

TEST_F(EraseRunTest, ACancelWhileTheRunPreparesLeavesTheDrivesLayoutsOfItsDisksAlone) {
  // Deleting a drive layout destroys the partition table: a run cancelled before its first job
  // (and a Start whose thread could not be made, which runs cancelled) must not do it.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  std::atomic<bool> cancelled{false};
  setDebugSink([&](const std::string& text) {
    if (cancelled || text.rfind("Disk 0, TotalByte", 0) != 0) return;
    cancelled = true;
    cancelAll();
  });
  eraseNow(0, 1);
  ASSERT_TRUE(cancelled);
  for (size_t i = 0; i < s.disks.size(); ++i) {
    SCOPED_TRACE("bay " + std::to_string(i));
    EXPECT_EQ(sim::layoutDeletions(s.disks[i]), 0u) << "the layout of a disk of a cancelled run was deleted";
    EXPECT_EQ(sim::bytesWritten(s.disks[i]), 0u);
    EXPECT_EQ(lastEnding(folder_.log("_Disk" + std::to_string(i + 1) + ".txt")), "Erase Cancel");
  }
}

TEST_F(EraseRunTest, ADiskPushedIntoAFreeBayInsideTheMirroredRangeStopsTheMirrorSoon) {
  // The station copies onto every occupied bay: the run cannot refuse the first copies a newcomer
  // gets, but it must notice it and stop mirroring soon (it looks every 32 writes), not at the
  // range's end.
  const auto D = sim::Backing::discarding;
  const auto s = addStation(sim::StationModel::sywl, {{0, 64 * MiB, 512, D}, {1, 64 * MiB, 512, D}});
  selectBays({0, 1});
  sim::DiskSpec spec = sim::diskSpec(s.disks[0]);
  spec.path += "-late";
  spec.deviceNumber += 400;
  spec.parentInstance = 0;  // the station gives it its own when it goes in
  const sim::DiskId stranger = sim::addDisk(spec);
  std::atomic<bool> inserted{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t bytes) {
    if (inserted || bytes < 4 * MiB || sim::stationMode(s.id) == sim::BayMode::independent) return;
    inserted = true;
    sim::insertDisk(s.id, 3, stranger);
  });
  eraseNow(0, 1);
  ASSERT_TRUE(inserted);
  EXPECT_LE(sim::bytesWritten(stranger), 33 * MiB) << "the mirror went on writing a disk nobody ticked";
  for (sim::DiskId d : s.disks) EXPECT_EQ(sim::coverage(d), (std::vector<sim::ByteRange>{{0, 64 * MiB}}));
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
}

TEST_F(EraseRunTest, AMirrorTargetThatGotNoCopiesIsNotReadBackAsErasedByAPassOfZeros) {
  // A disk mostly empty, as most are: zeros everywhere but a few files. The station takes the
  // mirror and makes no copies; the target's samples read zeros, as the pass of zeros would leave them.
  const auto s = addStation(sim::StationModel::syw2, {{0, 4 * MiB}, {1, 4 * MiB}});
  plant(s.disks[1], MiB + 65536, 4096, 0x5A);
  sim::dropMirrorCopies(s.id, true);
  selectBays({0, 1});
  eraseNow(0, 1);
  // Its marks were never written over: the check finds them.
  EXPECT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Verify Error");
  EXPECT_EQ(lastEnding(folder_.log("_Disk1.txt")), "Erase Success");
}


// --- the marks written before the mirror -------------------------------------------------------------

TEST_F(EraseRunTest, AQuickMethodThroughTheMirrorLeavesNoMarkOnATargetWhoseLogSaysErased) {
  // The marks go where the check of the whole mirrored range would read; a quick method writes only
  // its first seconds of that range, and its check reads only there.
  const auto s = addStation(sim::StationModel::syw2, {{0, 64 * MiB}, {1, 64 * MiB}});
  selectBays({0, 1});
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (sim::stationMode(s.id) != sim::BayMode::independent) simClockAdvance(1000);
  });
  eraseNow(0, 20);  // Quick Zeros: a mark is FF where zeros go
  ASSERT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Erase Success");
  for (uint64_t at = 0; at < 64 * MiB; at += MiB) {
    const auto block = sim::readBytes(s.disks[1], at, uint32_t(MiB));
    for (size_t i = 0; i < block.size(); ++i)
      if (block[i] == 0xFF) FAIL() << "a mark of the run is left at byte " << at + i << " of a disk its log calls erased";
  }
}

TEST_F(EraseRunTest, AnUntickBeforeTheMirrorGoesOnLeavesTheUntickedDiskWithoutAMark) {
  // The user unticks bay 1 while the run plans the mirror: the run has not reached that disk, and
  // its data must stay as it was.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  std::atomic<bool> dropped{false};
  setDebugSink([&](const std::string& text) {
    if (dropped || text.rfind("Docking mirror:", 0) != 0) return;
    dropped = true;
    eraseRunOf(*s.head)->dropBay(1);
  });
  eraseNow(0, 1);
  ASSERT_TRUE(dropped);
  EXPECT_EQ(sim::bytesWritten(s.disks[1]), 0u) << "the unticked disk was written";
  EXPECT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Erase Cancel");
  for (size_t i : {size_t(0), size_t(2)}) {
    SCOPED_TRACE("bay " + std::to_string(i));
    EXPECT_EQ(lastEnding(folder_.log("_Disk" + std::to_string(i + 1) + ".txt")), "Erase Success");
    EXPECT_EQ(sim::coverage(s.disks[i]), (std::vector<sim::ByteRange>{{0, 4 * MiB}}));
  }
}

// --- the looks at a mirroring station that get no full answer ------------------------------------

TEST_F(EraseRunTest, AStrangerInsideTheMirroredRangeStopsTheMirrorSoonEvenWhenTheStationCannotBeListedWhole) {
  // The newcomer's arrival is exactly when the system may fail to list it, or the whole list: a look
  // without an answer must not let the mirror copy the rest of the range onto it.
  struct Case {
    const char* name;
    bool wholeEnumeration;  // else only the newcomer's interface cannot be read
  } cases[] = {{"the newcomer's path cannot be read", false}, {"the enumeration fails", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const auto D = sim::Backing::discarding;
    const auto s = addStation(sim::StationModel::sywl, {{0, 64 * MiB, 512, D}, {1, 64 * MiB, 512, D}});
    selectBays({0, 1});
    sim::DiskSpec spec = sim::diskSpec(s.disks[0]);
    spec.path += "-late";
    spec.deviceNumber += 400;
    spec.parentInstance = 0;
    const sim::DiskId stranger = sim::addDisk(spec);
    std::atomic<bool> inserted{false};
    sim::setWriteHook([&](sim::DiskId, uint64_t bytes) {
      if (inserted || bytes < 4 * MiB || sim::stationMode(s.id) == sim::BayMode::independent) return;
      inserted = true;
      sim::insertDisk(s.id, 3, stranger);
      if (c.wholeEnumeration) {
        sim::failEnumeration({});
      } else {
        sim::failRequest(stranger, sim::Request::detail);
      }
    });
    eraseNow(0, 1);
    ASSERT_TRUE(inserted);
    EXPECT_LE(sim::bytesWritten(stranger), 33 * MiB) << "the mirror went on writing a disk nobody ticked";
    EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  }
}

TEST_F(EraseRunTest, AStationWhoseDisksTheSystemCannotListForAMomentIsStillSwitchedBackThroughThem) {
  // At the end of the mirrored range the system lists no disk of the station (their interfaces
  // cannot be read), yet every disk answers at its path: the reset must go through them, not leave
  // the station mirroring and the run's remainders unwritten.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 6 * MiB}});
  selectBays({0, 1});
  std::atomic<bool> hidden{false};
  sim::setWriteHook([&](sim::DiskId disk, uint64_t bytes) {
    if (hidden || disk != s.disks[0] || bytes < 4 * MiB) return;  // the last write of the mirrored range
    hidden = true;
    for (sim::DiskId d : s.disks) sim::failRequest(d, sim::Request::detail, {.times = 400});
  });
  eraseNow(0, 1);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent) << "the run left its station mirroring";
  EXPECT_EQ(sim::coverage(s.disks[1]), (std::vector<sim::ByteRange>{{0, 6 * MiB}})) << "a disk without a fault was not written whole";
  EXPECT_EQ(lastEnding(folder_.log("_Disk2.txt")), "Erase Success");
}

TEST_F(EraseRunTest, ATargetSwappedUnderItsPathInsideTheMirroredRangeStopsTheMirrorSoon) {
  // A bridge whose path belongs to the bay: the target is exchanged for a stranger while the mirror
  // copies. The path alone still looks planned; the handle held on the target already knows.
  const auto D = sim::Backing::discarding;
  const auto s = addStation(sim::StationModel::sywl, {{0, 64 * MiB, 512, D}, {1, 64 * MiB, 512, D}});
  selectBays({0, 1});
  std::atomic<sim::DiskId> stranger{sim::kNone};
  sim::setWriteHook([&](sim::DiskId, uint64_t bytes) {
    if (stranger != sim::kNone || bytes < 4 * MiB || sim::stationMode(s.id) == sim::BayMode::independent) return;
    sim::DiskSpec spec = sim::diskSpec(s.disks[1]);
    spec.deviceNumber += 300;
    sim::setAtaString(spec.identify, 10, 1, "XX");
    spec.backing = D;
    stranger = sim::swapDisk(s.disks[1], spec);
  });
  eraseNow(0, 1);
  ASSERT_NE(stranger, sim::kNone);
  EXPECT_LE(sim::bytesWritten(stranger), 33 * MiB) << "the mirror went on writing a disk nobody ticked";
  EXPECT_NE(lastEnding(folder_.log("_Disk2.txt")), "Erase Success");
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
}

TEST_F(EraseRunTest, AMirrorTargetThatCouldNotBeMarkedIsNotReadBackAsErasedWhenTheStationMadeNoCopies) {
  // Another program holds the target open while the run marks it, longer than the exclusive open
  // waits; it lets go before the mirror goes on. The station then takes the mirror and makes no
  // copies, and the target, mostly zeros, reads back as a pass of zeros would leave it.
  const auto s = addStation(sim::StationModel::syw2, {{0, 4 * MiB}, {1, 4 * MiB}});
  plant(s.disks[1], MiB + 65536, 4096, 0x5A);
  const std::string path = sim::diskSpec(s.disks[1]).path;
  sim::dropMirrorCopies(s.id, true);
  selectBays({0, 1});
  std::atomic<DevHandle> other{invalidDevHandle()};
  setDebugSink([&](const std::string& text) {
    if (text.rfind("Docking mirror:", 0) == 0) other = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  });
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (sim::stationMode(s.id) == sim::BayMode::independent) return;
    const DevHandle h = other.exchange(invalidDevHandle());
    if (isValidDevHandle(h)) devClose(h);
  });
  eraseNow(0, 1);
  if (const DevHandle h = other.exchange(invalidDevHandle()); isValidDevHandle(h)) devClose(h);
  if (lastEnding(folder_.log("_Disk2.txt")) == "Erase Success") {
    EXPECT_EQ(sim::readBytes(s.disks[1], MiB + 65536, 4096), std::vector<uint8_t>(4096, 0))
        << "success claimed for a disk that still holds its data";
  }
}

TEST_F(EraseRunTest, ACancelWhileTheTargetsAreMarkedNeverSwitchesTheMirrorOn) {
  // Cancelled at the first mark: nothing more of the run is to happen, least of all a mode that
  // would copy writes onto every bay (and that a busy station might then keep).
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  std::atomic<bool> cancelled{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (cancelled || sim::stationMode(s.id) != sim::BayMode::independent) return;
    cancelled = true;
    cancelAll();
  });
  eraseNow(0, 1);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2})) << "the mirror went on after the cancel";
  for (int bay : {0, 1, 2}) EXPECT_EQ(lastEnding(folder_.log("_Disk" + std::to_string(bay + 1) + ".txt")), "Erase Cancel");
}


// --- marks the mirror never reached ---------------------------------------------------------------

// The first byte in [from, to) of the disk that is not the byte; to when there is none.
uint64_t firstByteOtherThan(sim::DiskId disk, uint64_t from, uint64_t to, uint8_t byte) {
  for (uint64_t at = from; at < to; at += MiB) {
    const auto block = sim::readBytes(disk, at, uint32_t(std::min<uint64_t>(MiB, to - at)));
    for (size_t i = 0; i < block.size(); ++i)
      if (block[i] != byte) return at + i;
  }
  return to;
}

TEST_F(EraseRunTest, AMirrorEndedEarlyLeavesNoMarkWhereItNeverReachedOnADiskItStopped) {
  // The mirror stops a quarter into its range; the marks near the end of the range were never
  // written over. An unticked disk keeps its data there, and a cancelled run leaves none of its
  // marks behind.
  struct Case {
    const char* name;
    bool cancel;  // else bay 1 is unticked
  } cases[] = {{"an untick of a target", false}, {"a cancel of the run", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const auto s = addStation(sim::StationModel::sywl, {{0, 16 * MiB}, {1, 16 * MiB}, {2, 16 * MiB}});
    fill(s.disks[1], 0x5A);
    selectBays({0, 1, 2});
    std::atomic<uint64_t> atStop{0};
    sim::setWriteHook([&](sim::DiskId, uint64_t) {
      if (atStop != 0 || sim::stationMode(s.id) == sim::BayMode::independent) return;
      if (sim::bytesWritten(s.disks[0]) < 4 * MiB) return;
      atStop = sim::bytesWritten(s.disks[0]);
      if (c.cancel) {
        cancelAll();
      } else {
        eraseRunOf(*s.head)->dropBay(1);
      }
    });
    eraseNow(0, 1);  // One Pass Zeros: a mark is FF
    ASSERT_NE(atStop, 0u);
    EXPECT_EQ(lastEnding(folder.log("_Disk2.txt")), "Erase Cancel");
    const uint64_t from = atStop + MiB;
    const uint64_t at = firstByteOtherThan(s.disks[1], from, 16 * MiB, 0x5A);
    EXPECT_EQ(at, 16 * MiB) << "byte " << at << " of the stopped disk is " << int(sim::readBytes(s.disks[1], at, 1)[0])
                            << ", past where the run reached";
    EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  }
}

TEST_F(EraseRunTest, AMarkTheMirrorDidNotReachIsNotLeftBehindWhenTheStationIsSwitchedBackOnlyAtTheEnd) {
  // A quick method through the mirror; the station refuses to switch back after the mirrored range
  // and only takes independent at the run's last try. The target is then checked and called erased.
  const auto s = addStation(sim::StationModel::syw2, {{0, 64 * MiB}, {1, 64 * MiB}});
  selectBays({0, 1});
  std::atomic<bool> refused{false};
  sim::setWriteHook([&](sim::DiskId, uint64_t) {
    if (sim::stationMode(s.id) == sim::BayMode::independent) return;
    simClockAdvance(1000);
    if (!refused.exchange(true)) {
      sim::Fault busy;
      busy.scsiStatus = sim::kScsiBusy;
      busy.modeValue = 2;
      sim::failModeCommand(s.id, busy);
    }
  });
  setDebugSink([&](const std::string& text) {
    if (text.rfind("Docking still mirroring", 0) == 0) sim::clearModeCommandFault(s.id);
  });
  eraseNow(0, 20);  // Quick Zeros: a mark is FF where zeros go
  ASSERT_TRUE(refused);
  ASSERT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  if (lastEnding(folder_.log("_Disk2.txt")) == "Erase Success") {
    const uint64_t at = firstByteOtherThan(s.disks[1], 0, 64 * MiB, 0x00);
    EXPECT_EQ(at, 64 * MiB) << "a mark of the run is left at byte " << at << " of a disk its log calls erased";
  }
}

TEST_F(EraseRunTest, TheMirrorFromTheSecondBayIsNotEndedByTheDiskInBayZeroItNeverReaches) {
  // Bay 0 holds a disk that is not ticked; the plan mirrors from the second bay, which never copies
  // onto bay 0. The looks inside the mirrored range must not take that disk for a stranger.
  const auto D = sim::Backing::discarding;
  const auto s = addStation(sim::StationModel::sywl, {{0, 64 * MiB, 512, D}, {1, 64 * MiB, 512, D}, {2, 64 * MiB, 512, D}});
  selectBays({1, 2});
  eraseNow(0, 1);
  EXPECT_EQ(sim::bytesWritten(s.disks[0]), 0u);
  EXPECT_FALSE(diagnosed("Docking holds a disk the run does not know")) << "the mirror ended on the disk it never reaches";
  EXPECT_EQ(sim::bytesWritten(s.disks[1]), 64 * MiB) << "the disk written through was erased twice";
  for (int bay : {1, 2}) EXPECT_EQ(lastEnding(folder_.log("_Disk" + std::to_string(bay + 1) + ".txt")), "Erase Success");
}

TEST_F(EraseRunTest, MarksStayOffADiskStoppedWhileTheStationRefusesTheMirror) {
  // The station answers busy to the mirror command; while the run asks again, bay 1 is unticked, or
  // the run is cancelled. The mirror is not used, and the marks already written must be put back.
  struct Case {
    const char* name;
    bool cancel;
  } cases[] = {{"an untick of a target", false}, {"a cancel of the run", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    LogFolder folder;
    const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
    fill(s.disks[1], 0x5A);
    selectBays({0, 1, 2});
    sim::Fault busy;
    busy.scsiStatus = sim::kScsiBusy;
    busy.modeValue = 1;
    sim::failModeCommand(s.id, busy);
    std::atomic<bool> stopped{false};
    setDebugSink([&](const std::string& text) {
      if (stopped || text.rfind("Docking mode 1 refused", 0) != 0) return;
      stopped = true;
      if (c.cancel) {
        cancelAll();
      } else {
        eraseRunOf(*s.head)->dropBay(1);
      }
    });
    eraseNow(0, 1);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(lastEnding(folder.log("_Disk2.txt")), "Erase Cancel");
    const uint64_t at = firstByteOtherThan(s.disks[1], 0, 4 * MiB, 0x5A);
    EXPECT_EQ(at, 4 * MiB) << "byte " << at << " of the stopped disk is " << int(sim::readBytes(s.disks[1], at, 1)[0]);
    EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
  }
}

TEST_F(EraseRunTest, AMarkThatCannotBePutBackOnAnUntickedDiskIsNotLeftThereSilently) {
  // Bay 1 is unticked once its marks are written; another program opens it just then and holds it to
  // the run's end, so the disk cannot be opened alone again. The run had the disk alone when it
  // marked it: what the marks replaced must go back, or its log must not just say cancelled.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  fill(s.disks[1], 0x5A);
  selectBays({0, 1, 2});
  const std::string path = sim::diskSpec(s.disks[1]).path;
  std::atomic<DevHandle> other{invalidDevHandle()};
  std::atomic<bool> dropped{false};
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    if (dropped || disk != s.disks[2] || sim::stationMode(s.id) != sim::BayMode::independent) return;
    dropped = true;  // the first mark of the last target: bay 1 is marked
    eraseRunOf(*s.head)->dropBay(1);
    other = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  });
  eraseNow(0, 1);
  if (const DevHandle h = other.exchange(invalidDevHandle()); isValidDevHandle(h)) devClose(h);
  ASSERT_TRUE(dropped);
  // The disk stays held: the marks cannot go back, and its log says so before its own ending.
  const std::string log = folder_.log("_Disk2.txt");
  EXPECT_EQ(lastEnding(log), "Erase Cancel");
  EXPECT_NE(log.find("\r\nRestore Error:"), std::string::npos) << log;
  EXPECT_NE(firstByteOtherThan(s.disks[1], 0, 4 * MiB, 0x5A), 4 * MiB) << "the test held the disk too late";
}

TEST_F(EraseRunTest, ACancelWhileTheStationIsAskedAgainForTheMirrorStopsAskingForIt) {
  // The station answers busy to the first mirror commands; the run is cancelled at the first refusal.
  // A cancelled run switches no mirror on, and a station that took it late might keep it.
  const auto s = addStation(sim::StationModel::sywl, {{0, 4 * MiB}, {1, 4 * MiB}, {2, 4 * MiB}});
  selectBays({0, 1, 2});
  sim::Fault busy;
  busy.scsiStatus = sim::kScsiBusy;
  busy.modeValue = 1;
  busy.times = 3;
  sim::failModeCommand(s.id, busy);
  std::atomic<bool> cancelled{false};
  setDebugSink([&](const std::string& text) {
    if (cancelled || text.rfind("Docking mode 1 refused", 0) != 0) return;
    cancelled = true;
    cancelAll();
  });
  eraseNow(0, 1);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(sim::modeCommands(s.id), (std::vector<uint8_t>{2, 1, 2})) << "the mirror was asked for after the cancel";
  EXPECT_EQ(sim::stationMode(s.id), sim::BayMode::independent);
}

}  // namespace
