#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Deviceioutil.h"
#include "Product.h"
#include "Simclock.h"

namespace {

constexpr int kRounds = 200;
constexpr int kStationsPerRound = 3;
constexpr int kBaysPerStation = 3;

std::string stationPrefix(int round, int station) {
  return "r" + std::to_string(round) + "s" + std::to_string(station) + "-";
}

DiskRecord makeBayDisk(int round, int station, int bay) {
  auto d = std::make_shared<DiskInfo>();
  d->devicePath = stationPrefix(round, station) + std::to_string(bay);
  d->parentInstance = uint32_t(round * 10 + station + 1);
  d->busType = 7;
  d->bayCount = 6;
  d->bayIndex = bay;
  d->diskLength = int64_t(bay + 1) << 30;
  return d;
}

// Counts what a reader found wrong; checked on the test thread.
std::atomic<int> faults{0};

void checkGroup(const DiskRecord& head) {
  std::vector<DiskRecord> group = groupOrder(head);
  std::string prefix = head->devicePath.substr(0, head->devicePath.find('-') + 1);
  for (const DiskRecord& d : group) {
    if (d->devicePath.compare(0, prefix.size(), prefix) != 0 || d->diskLength <= 0) ++faults;
    std::vector<VolumeInfo> volumes = d->volumes.snapshot();
    for (size_t i = 0; i < volumes.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        if (volumes[i].driveLetter == volumes[j].driveLetter) ++faults;  // refreshed in place
      }
    }
    (void)d->lastSeenTick.load();
  }
  if (!head->bayOccupied[0]) ++faults;  // the head marks its own bay before it is published
}

// Reads the list the way the window does on every redraw and while it is told about changes.
class ReadingObserver : public DiskListObserver {
 public:
  explicit ReadingObserver(DiskList& list) : list_(list) {}
  void diskAdded(int position) override {
    if (DiskRecord d = list_.diskAt(position)) checkGroup(d);
  }
  void slotRemoved(int slot) override { (void)list_.diskAt(slot); }
  void noDisks() override {}

 private:
  DiskList& list_;
};

bool fromRound(const DiskInfo& d, int round) {
  return d.devicePath.rfind("r" + std::to_string(round) + "s", 0) == 0;
}

void writer(DiskList& list, std::atomic<bool>& done) {
  for (int round = 0; round < kRounds; ++round) {
    simClockAdvance(5000);
    for (int s = 0; s < kStationsPerRound; ++s) {
      for (int bay = 0; bay < kBaysPerStation; ++bay) list.addByGroupingRule(makeBayDisk(round, s, bay));
    }
    // A scan visit: volumes refreshed in place or dropped, and only the stations of this round and
    // the one before are seen again, so each station stays listed for two rounds.
    for (const DiskRecord& head : list.records()) {
      for (const DiskRecord& d : groupOrder(head)) {
        for (char letter : {'c', 'e', 'f'}) {
          if ((round + letter) % 3)
            refreshVolume(*d, {.driveLetter = letter, .haveSizes = true, .totalBytes = 1});
        }
        expireVolumes(*d, 4000);
        if (fromRound(*d, round) || fromRound(*d, round - 1)) d->lastSeenTick = devTickCount();
      }
    }
    list.expireDisks(8000);
    list.notifyIfEmpty();
    if (round % 50 == 49) list.clearDisks();
  }
  list.clearDisks();
  done = true;
}

void reader(const DiskList& list, const std::atomic<bool>& done) {
  while (!done) {
    for (const DiskRecord& head : list.records()) checkGroup(head);
    for (int position = 0; position <= kDiskSlots; ++position) {
      if (DiskRecord d = list.diskAt(position)) checkGroup(d);
    }
    (void)list.findByPath(stationPrefix(kRounds / 2, 1) + "2");
    (void)list.topLevelCount();
  }
}

// Takes the first record it sees and keeps using it after the writer has dropped it.
void holder(const DiskList& list, const std::atomic<bool>& done, std::atomic<int>& heldAcrossRemoval) {
  DiskRecord held;
  while (!held && !done) held = list.diskAt(0);
  if (!held) return;
  std::string path = held->devicePath;
  size_t groupSize = groupOrder(held).size();
  while (list.findByPath(path) && !done) checkGroup(held);
  if (list.findByPath(path)) return;
  // Dropped by the list; still whole for us.
  checkGroup(held);
  if (held->devicePath == path && groupOrder(held).size() >= groupSize) ++heldAcrossRemoval;
}

TEST(DiskListThreads, OneWriterManyReadersAndAHolder) {
  simClockSetMode(SimClockMode::manual);
  simClockSet(1000);
  DiskList list(kDiskSlots);
  ReadingObserver observer(list);
  list.setObserver(&observer);

  std::atomic<bool> done{false};
  std::atomic<int> heldAcrossRemoval{0};
  std::thread holding(holder, std::cref(list), std::cref(done), std::ref(heldAcrossRemoval));
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i) readers.emplace_back(reader, std::cref(list), std::cref(done));
  std::thread writing(writer, std::ref(list), std::ref(done));

  writing.join();
  for (auto& t : readers) t.join();
  holding.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(heldAcrossRemoval.load(), 1);
  EXPECT_EQ(list.topLevelCount(), 0);
}

}  // namespace
