// The erase worker: plans a run over a disk or the selected bays of a station, writes every pass
// with one job per byte range, using the station's mirroring for the range all selected disks share.
#include "Eraseutil_worker.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_log.h"
#include "Eraseutil_progress.h"
#include "Platformservices.h"
#include "Product.h"
#include "Sunnywilldeviceutil.h"

std::atomic<uint8_t> eraseRunning[kErasePositions];
std::atomic<uint8_t> eraseAlive[kErasePositions];
std::atomic<uint8_t> baySelected[kBays];
std::atomic<int32_t> shownPage{0};

namespace {

constexpr uint32_t kQuickMilliseconds = 10000;
constexpr uint32_t kProgressMilliseconds = 500;

bool selected(int32_t bay) { return bay >= 0 && bay < kBays && baySelected[bay] != 0; }

class EraseRun {
 public:
  explicit EraseRun(int32_t position) : position_(position) {}

  void run() {
    head_ = mainDiskList().diskAt(position_);
    if (!head_) return;
    method_ = selectedMethod.load();
    pattern_ = loadUserPattern();
    plan();
    runStartTick_ = devTickCount();
    const size_t stop = eraseGroup();
    if (stop < group_.size()) {
      std::vector<std::shared_ptr<const DiskInfo>> rest(group_.begin() + std::ptrdiff_t(stop), group_.end());
      logs_.logCancel(rest);
    }
    logs_.closeRunLogs();
  }

 private:
  bool running() const { return eraseRunning[position_] != 0; }

  void plan() {
    logs_.resetRunLogs();
    // The group as it is now: disks the scan adds later were not planned and get no log.
    group_ = groupOrder(head_);
    dock_ = isDockDisk(*head_);
    if (!dock_) {
      group_.resize(1);
      runTotalBytes_ = head_->diskLength;
      logs_.createDiskLog(*head_, methodName(method_));
      return;
    }
    // A station left mirroring by an earlier run would copy our writes onto disks nobody ticked.
    if (!setBayMode(*head_, BayMode::independent)) debugOutputf("Docking reset to independent failed");

    allBaysSelected_ = true;
    otherBaysSelected_ = true;
    uint32_t largestSector = 0;
    std::vector<DiskRecord> chosen;
    for (int32_t bay = 0; bay < head_->bayCount && bay < kBayTableSize; ++bay) {
      if (head_->bayOccupied[size_t(bay)] == 0) continue;
      if (!selected(bay)) {
        allBaysSelected_ = false;
        if (bay > 0) otherBaysSelected_ = false;
        continue;
      }
      DiskRecord disk = recordOfBay(bay);
      if (!disk) continue;
      if (commonBytes_ == 0 || commonBytes_ > disk->diskLength) commonBytes_ = disk->diskLength;
      runTotalBytes_ += disk->diskLength;
      debugOutputf("Disk %d, TotalByte:%" PRId64, bay, disk->diskLength);
      clErase probe;  // deletes the drive layout and reseeds; writes nothing
      probe.open(disk->devicePath, 0, 0);
      largestSector = std::max(largestSector, probe.bytesPerSector);
      probe.close();
      logs_.createDiskLog(*disk, methodName(method_));
      chosen.push_back(disk);
    }
    // Every disk's remainder must start on a whole sector of that disk.
    if (largestSector > 0) commonBytes_ -= commonBytes_ % largestSector;
    if (otherBaysSelected_) {
      for (const DiskRecord& disk : chosen) {
        if (disk->bayIndex > 0 || allBaysSelected_) runTotalBytes_ -= commonBytes_;
      }
      runTotalBytes_ += commonBytes_;
    }
    debugOutputf("Docking bA123456:%d, bA23456:%d, lMaxByte:%" PRId64 ", lMiniByte:%" PRId64,
                 int(allBaysSelected_), int(otherBaysSelected_), runTotalBytes_, commonBytes_);
  }

  DiskRecord recordOfBay(int32_t bay) const {
    for (const DiskRecord& disk : group_)
      if (disk->bayIndex == bay) return disk;
    return nullptr;
  }

  BayMode mirrorMode() const {
    return allBaysSelected_ ? BayMode::mirrorAllBays : BayMode::mirrorFromSecondBay;
  }

  // Switches the mirror on. When the station refuses, every remaining selected disk (from index
  // `next` on) is erased on its own over its whole length, so no log claims what only the mirror
  // would have written.
  bool switchMirrorOn(size_t next, int64_t pending) {
    if (setBayMode(*head_, mirrorMode())) {
      mirrorOn_ = true;
      return true;
    }
    debugOutputf("Docking mirror refused, erasing each disk on its own");
    eraseEachDiskWhole(next, pending);
    return false;
  }

  // From now on no mirror: the disks from index `next` on are written from their start. `pending`
  // is what is still to be written on the current disk.
  void eraseEachDiskWhole(size_t next, int64_t pending) {
    otherBaysSelected_ = false;
    eachDiskWhole_ = true;
    int64_t total = bytesBefore_ + pending;
    for (size_t i = next; i < group_.size(); ++i)
      if (selected(group_[i]->bayIndex)) total += group_[i]->diskLength;
    runTotalBytes_ = std::max(runTotalBytes_, total);
  }

  void switchMirrorOff() {
    setBayMode(*head_, BayMode::independent);
    mirrorOn_ = false;
  }

  // Walks the group; returns the index at which it stopped, or the group's size when it went through.
  size_t eraseGroup() {
    size_t cur = 0;
    while (running() && cur < group_.size()) {
      const DiskInfo& disk = *group_[cur];
      savedStart_ = 0;
      bool again = false;
      if (!dock_ || selected(disk.bayIndex)) {
        if (otherBaysSelected_) {
          if (!mirrorOn_ && rangeStart_ == 0 && (disk.bayIndex > 0 || allBaysSelected_)) {
            if (switchMirrorOn(cur, 0)) rangeEnd_ = commonBytes_;
          } else if (mirrorOn_ && !allBaysSelected_ && disk.bayIndex == 0) {
            switchMirrorOff();
            savedStart_ = rangeStart_;
            rangeStart_ = 0;
          }
        }
        debugOutputf("Start Write:%d, StartOffset:%" PRId64 ", EndOffset:%" PRId64, disk.bayIndex,
                     rangeStart_, rangeEnd_);
        if (disk.diskLength != rangeStart_) {
          const bool mirrored = mirrorOn_ && rangeEnd_ > 0;
          const int result = runJob(disk);
          again = advance(cur);
          // A mirrored range that failed part-way did not reach the other disks either.
          if (result < 0 && mirrored) eraseEachDiskWhole(cur + 1, disk.diskLength - rangeStart_);
        }
      }
      if (again) continue;
      if (!running()) break;
      ++cur;
      if (eachDiskWhole_) rangeStart_ = rangeEnd_ = 0;
    }
    if (mirrorOn_) switchMirrorOff();
    return cur;
  }

  // After a job on the disk at index cur: true when the same disk goes on outside the mirror.
  bool advance(size_t cur) {
    const DiskInfo& disk = *group_[cur];
    if (rangeEnd_ > 0) {
      bytesBefore_ += rangeEnd_;
      rangeStart_ = rangeEnd_;
      rangeEnd_ = 0;
      switchMirrorOff();
      return true;
    }
    if (savedStart_ > 0) {
      bytesBefore_ += disk.diskLength;
      const int64_t resume = savedStart_;
      savedStart_ = 0;
      if (mirrorOn_ || switchMirrorOn(cur + 1, 0)) rangeStart_ = resume;
      return false;
    }
    bytesBefore_ += disk.diskLength - rangeStart_;
    return false;
  }

  int runJob(const DiskInfo& disk) {
    clErase job;
    job.logs = &logs_;
    job.open(disk.devicePath, rangeStart_, rangeEnd_);
    buildPasses(job, method_, pattern_);
    uint32_t displayTick = devTickCount();
    int result = 1;
    while (running()) {
      const uint32_t now = devTickCount();
      const bool quickStop = job.quick != 0 && uint32_t(now - runStartTick_) > kQuickMilliseconds;
      result = job.step(quickStop);
      if (result != 1) break;
      if (shownPage == position_ && uint32_t(devTickCount() - displayTick) > kProgressMilliseconds) {
        publishProgress(position_, job, bytesBefore_, runTotalBytes_, runStartTick_);
        displayTick = devTickCount();
      }
    }
    job.close();
    return result;
  }

  const int32_t position_;
  DiskRecord head_;
  std::vector<DiskRecord> group_;
  bool dock_ = false;
  int32_t method_ = 1;
  UserPattern pattern_{};
  bool allBaysSelected_ = false;
  bool otherBaysSelected_ = false;
  int64_t runTotalBytes_ = 0;
  int64_t commonBytes_ = 0;
  int64_t bytesBefore_ = 0;
  bool mirrorOn_ = false;
  bool eachDiskWhole_ = false;
  int64_t rangeStart_ = 0;
  int64_t rangeEnd_ = 0;
  int64_t savedStart_ = 0;
  uint32_t runStartTick_ = 0;
  EraseRunLogs logs_;
};

bool validPosition(int32_t position) { return position >= 0 && position < kErasePositions; }

}  // namespace

void runErase(int32_t position) {
  if (!validPosition(position)) return;
  eraseRunning[position] = 1;
  eraseAlive[position] = 1;
  {
    EraseRun run(position);
    run.run();
  }
  // Last act: once alive is 0 the window may end the process.
  eraseRunning[position] = 0;
  eraseAlive[position] = 0;
}

bool startErase(int32_t position) {
  if (!validPosition(position)) return false;
  uint8_t idle = 0;
  if (!eraseAlive[position].compare_exchange_strong(idle, 1)) return false;
  if (!mainDiskList().diskAt(position)) {
    eraseAlive[position] = 0;
    return false;
  }
  eraseRunning[position] = 1;
  try {
    std::thread(runErase, position).detach();
  } catch (const std::system_error&) {
    eraseRunning[position] = 0;
    eraseAlive[position] = 0;
    return false;
  }
  return true;
}

bool stopEraseWorkers(uint32_t maxMilliseconds) {
  for (auto& flag : eraseRunning) flag = 0;
  for (auto& flag : baySelected) flag = 0;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    bool allEnded = true;
    for (auto& flag : eraseAlive) allEnded = allEnded && flag == 0;
    if (allEnded) return true;
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(maxMilliseconds)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
}
