#include "Product.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Simclock.h"

namespace {

// Records what the list reported and, for diskAdded, which record the list then holds there: an
// observer that reads the list also proves no lock is held during delivery.
class RecordingObserver : public DiskListObserver {
 public:
  explicit RecordingObserver(DiskList& list) : list_(list) {}
  void diskAdded(int position) override {
    DiskRecord at = list_.diskAt(position);
    events.push_back("added " + std::to_string(position) + " " + (at ? at->devicePath : "-"));
  }
  void slotRemoved(int slot) override { events.push_back("removed " + std::to_string(slot)); }
  void noDisks() override { events.push_back("none"); }

  std::vector<std::string> events;

 private:
  DiskList& list_;
};

DiskRecord makeDisk(const std::string& path, uint32_t parent = 0, int32_t bayCount = 0,
                    int32_t bayIndex = 0) {
  auto d = std::make_shared<DiskInfo>();
  d->devicePath = path;
  d->parentInstance = parent;
  d->busType = 7;
  d->bayCount = bayCount;
  d->bayIndex = bayIndex;
  d->diskLength = 1 << 20;
  d->dockModel = bayCount == 6 ? 6 : uint32_t(bayCount);
  return d;
}

std::vector<std::string> paths(const std::vector<DiskRecord>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) out.push_back(r->devicePath);
  return out;
}

std::vector<int> occupiedBays(const DiskInfo& d) {
  std::vector<int> out;
  for (int i = 0; i < kBayTableSize; ++i) {
    if (d.bayOccupied[size_t(i)]) out.push_back(i);
  }
  return out;
}

class DiskListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    simClockSetMode(SimClockMode::manual);
    simClockSet(100000);
    list.setObserver(&observer);
  }

  // Appends records whose lastSeenTick lies the given ages in the past.
  void appendAged(const std::vector<uint32_t>& ages) {
    for (size_t i = 0; i < ages.size(); ++i) {
      DiskRecord d = makeDisk("p" + std::to_string(i));
      d->lastSeenTick = 100000 - ages[i];
      ASSERT_TRUE(list.appendDisk(d));
    }
    observer.events.clear();
  }

  DiskList list;
  RecordingObserver observer{list};
};

TEST_F(DiskListTest, AppendReportsEachNewPositionAndDiskAtStopsAtTheEnd) {
  for (const char* p : {"a", "b", "c"}) ASSERT_TRUE(list.appendDisk(makeDisk(p)));
  EXPECT_EQ(observer.events, (std::vector<std::string>{"added 0 a", "added 1 b", "added 2 c"}));
  EXPECT_EQ(list.topLevelCount(), 3);
  EXPECT_EQ(list.diskAt(2)->devicePath, "c");
  EXPECT_EQ(list.diskAt(3), nullptr);
  EXPECT_EQ(list.diskAt(-1), nullptr);
  EXPECT_FALSE(list.appendDisk(nullptr));

  // A group members list tells nobody.
  list.diskAt(0)->groupMembers.appendDisk(makeDisk("m"));
  EXPECT_EQ(observer.events.size(), 3u);
  EXPECT_EQ(list.topLevelCount(), 3);
}

TEST_F(DiskListTest, ExpiryInTheMiddleShiftsPositionsAndRefillsEverySlot) {
  appendAged({1000, 9000, 0});
  EXPECT_EQ(list.expireDisks(8000), 1);
  EXPECT_EQ(observer.events, (std::vector<std::string>{"removed 2", "added 0 p0", "added 1 p2"}));
  EXPECT_EQ(list.topLevelCount(), 2);
  EXPECT_EQ(list.diskAt(1)->devicePath, "p2");
}

TEST_F(DiskListTest, ExpiryAges) {
  struct Case {
    const char* name;
    std::vector<uint32_t> ages;
    std::vector<std::string> events;
  } cases[] = {
      {"none too old", {0, 8000, 5}, {}},  // exactly the limit stays
      {"all too old", {8001, 9000, 20000}, {"removed 2", "removed 1", "removed 0"}},
      {"first and last", {8001, 0, 9000, 1}, {"removed 3", "removed 2", "added 0 p1", "added 1 p3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    list.clearDisks();
    appendAged(c.ages);
    list.expireDisks(8000);
    EXPECT_EQ(observer.events, c.events);
  }
}

TEST_F(DiskListTest, TickDifferenceWrapsAround) {
  simClockSet(500);  // the tick count wrapped since the disk was seen 1000 ms ago
  DiskRecord d = makeDisk("a");
  d->lastSeenTick = uint32_t(500 - 1000);
  list.appendDisk(d);
  EXPECT_EQ(list.expireDisks(8000), 0);
  simClockAdvance(7001);
  EXPECT_EQ(list.expireDisks(8000), 1);
}

TEST_F(DiskListTest, ClearTellsNobodyAndNoDisksOnlyWhenEmpty) {
  appendAged({0, 0});
  EXPECT_FALSE(list.notifyIfEmpty());
  list.clearDisks();
  EXPECT_EQ(list.topLevelCount(), 0);
  EXPECT_TRUE(observer.events.empty());
  EXPECT_TRUE(list.notifyIfEmpty());
  EXPECT_EQ(observer.events, (std::vector<std::string>{"none"}));

  list.setObserver(nullptr);
  list.appendDisk(makeDisk("x"));
  EXPECT_EQ(observer.events.size(), 1u);
}

TEST_F(DiskListTest, StationFoundBay3ThenBay1FormsOneGroup) {
  ASSERT_TRUE(list.addByGroupingRule(makeDisk("bay3", 0x42, 6, 3)));
  ASSERT_TRUE(list.addByGroupingRule(makeDisk("bay1", 0x42, 6, 1)));
  ASSERT_TRUE(list.addByGroupingRule(makeDisk("other", 0x43, 2, 0)));

  EXPECT_EQ(observer.events, (std::vector<std::string>{"added 0 bay3", "added 1 other"}));
  DiskRecord head = list.diskAt(0);
  EXPECT_EQ(paths(groupOrder(head)), (std::vector<std::string>{"bay3", "bay1"}));
  EXPECT_EQ(occupiedBays(*head), (std::vector<int>{1, 3}));
  EXPECT_EQ(paths(groupOrder(list.diskAt(1))), (std::vector<std::string>{"other"}));
  EXPECT_EQ(occupiedBays(*list.diskAt(1)), (std::vector<int>{0}));
  EXPECT_EQ(list.findGroupHead(0x42), head);
  EXPECT_EQ(list.findGroupHead(0x99), nullptr);
  EXPECT_TRUE(groupOrder(nullptr).empty());
}

TEST_F(DiskListTest, DisksThatDoNotFormAStationEachGetAPosition) {
  struct Case {
    const char* name;
    uint32_t parent;
    int32_t bayCount;
  } cases[] = {
      {"no bays", 0x42, 0},
      {"one bay", 0x42, 1},
      {"unknown parent", 0, 6},  // a failed parent query must not join two stations
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    list.clearDisks();
    ASSERT_TRUE(list.addByGroupingRule(makeDisk("a", c.parent, c.bayCount, 0)));
    ASSERT_TRUE(list.addByGroupingRule(makeDisk("b", c.parent, c.bayCount, 1)));
    EXPECT_EQ(list.topLevelCount(), 2);
    EXPECT_EQ(groupOrder(list.diskAt(0)).size(), 1u);
  }
}

TEST_F(DiskListTest, FindByPathSearchesMembersWithExactBytes) {
  list.addByGroupingRule(makeDisk("\\\\?\\usbstor#disk&a", 7, 6, 0));
  list.addByGroupingRule(makeDisk("\\\\?\\usbstor#disk&b", 7, 6, 4));
  list.addByGroupingRule(makeDisk("\\\\?\\usbstor#disk&c", 8, 2, 0));

  DiskRecord member = list.findByPath("\\\\?\\usbstor#disk&b");
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->bayIndex, 4);
  EXPECT_EQ(list.findByPath("\\\\?\\usbstor#disk&c"), list.diskAt(1));
  EXPECT_EQ(list.findByPath("\\\\?\\USBSTOR#DISK&B"), nullptr);
  EXPECT_EQ(list.findByPath("\\\\?\\usbstor#disk&"), nullptr);
  EXPECT_EQ(list.findByPath(std::string("\\\\?\\usbstor#disk&b\0", 19)), nullptr);
}

TEST_F(DiskListTest, BayOutsideTheTableIsNeverMarked) {
  for (int32_t bay : {-1, 8, 100, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(bay);
    list.clearDisks();
    ASSERT_TRUE(list.addByGroupingRule(makeDisk("head", 5, 6, bay)));
    ASSERT_TRUE(list.addByGroupingRule(makeDisk("member", 5, 6, bay)));
    EXPECT_EQ(list.topLevelCount(), 1);
    EXPECT_EQ(groupOrder(list.diskAt(0)).size(), 2u);
    EXPECT_TRUE(occupiedBays(*list.diskAt(0)).empty());
  }
  DiskInfo d;
  EXPECT_TRUE(markBayOccupied(d, 7));
  EXPECT_FALSE(markBayOccupied(d, 8));
  EXPECT_EQ(occupiedBays(d), (std::vector<int>{7}));
}

TEST_F(DiskListTest, RemovedMemberLeavesItsBayMarkedOnlyWhileAnotherDiskSitsThere) {
  list.addByGroupingRule(makeDisk("head", 9, 6, 0));
  list.addByGroupingRule(makeDisk("twin", 9, 6, 2));
  list.addByGroupingRule(makeDisk("two", 9, 6, 2));  // a bay the station reported twice
  list.addByGroupingRule(makeDisk("four", 9, 6, 4));
  list.addByGroupingRule(makeDisk("zero", 9, 6, 0));  // in the head's own bay
  observer.events.clear();
  const DiskRecord head = list.diskAt(0);
  DiskRecord other = makeDisk("other", 9, 6, 4);

  struct Step {
    const char* member;
    bool removed;
    std::vector<int> bays;
  } steps[] = {
      {"four", true, {0, 2}},   // nobody else in bay 4
      {"two", true, {0, 2}},    // twin still sits in bay 2
      {"zero", true, {0, 2}},   // the head sits in bay 0
      {"four", false, {0, 2}},  // already gone
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.member);
    DiskRecord member = list.findByPath(s.member);
    if (!member) member = makeDisk(s.member, 9, 6, 4);
    EXPECT_EQ(list.removeGroupMember(head, member), s.removed);
    EXPECT_EQ(occupiedBays(*head), s.bays);
  }
  EXPECT_EQ(paths(groupOrder(head)), (std::vector<std::string>{"head", "twin"}));
  EXPECT_FALSE(list.removeGroupMember(head, nullptr));
  EXPECT_FALSE(list.removeGroupMember(nullptr, other));
  EXPECT_TRUE(observer.events.empty());  // a member has no slot to tell the window about
}

TEST_F(DiskListTest, FullListRefusesNewPositionsButStillTakesMembers) {
  DiskList small(2);
  RecordingObserver seen(small);
  small.setObserver(&seen);
  ASSERT_TRUE(small.addByGroupingRule(makeDisk("a", 1, 6, 0)));
  ASSERT_TRUE(small.addByGroupingRule(makeDisk("b", 2, 6, 0)));
  EXPECT_FALSE(small.addByGroupingRule(makeDisk("c", 3, 6, 0)));
  EXPECT_FALSE(small.appendDisk(makeDisk("d")));
  EXPECT_TRUE(small.addByGroupingRule(makeDisk("a2", 1, 6, 2)));
  EXPECT_EQ(seen.events, (std::vector<std::string>{"added 0 a", "added 1 b"}));
  EXPECT_EQ(small.findByPath("c"), nullptr);
  EXPECT_NE(small.findByPath("a2"), nullptr);
}

TEST(MainDiskList, KeepsPositionsBeyondTheWindowsSlotsListed) {
  DiskList& main = mainDiskList();
  EXPECT_EQ(&main, &mainDiskList());
  main.clearDisks();
  for (int i = 0; i < kDiskSlots + 5; ++i) ASSERT_TRUE(main.appendDisk(makeDisk("d" + std::to_string(i))));
  EXPECT_EQ(main.topLevelCount(), kDiskSlots + 5);
  EXPECT_NE(main.diskAt(kDiskSlots + 4), nullptr);
  main.clearDisks();
}

TEST_F(DiskListTest, RecordOutlivesItsRemovalWhileHeld) {
  list.addByGroupingRule(makeDisk("head", 9, 6, 0));
  list.addByGroupingRule(makeDisk("member", 9, 6, 1));
  DiskRecord held = list.diskAt(0);
  held->lastSeenTick = 100000;
  refreshVolume(*held, {.driveLetter = 'e', .haveSizes = true, .totalBytes = 100, .freeBytes = 50});

  simClockAdvance(8001);
  ASSERT_EQ(list.expireDisks(8000), 1);
  EXPECT_EQ(list.findByPath("member"), nullptr);
  EXPECT_EQ(held.use_count(), 1);
  EXPECT_EQ(paths(groupOrder(held)), (std::vector<std::string>{"head", "member"}));
  EXPECT_EQ(held->volumes.snapshot().at(0).totalBytes, 100u);
  EXPECT_EQ(occupiedBays(*held), (std::vector<int>{0, 1}));
}

TEST(Volumes, RefreshKeepsFirstFoundOrderAndUnreadParts) {
  simClockSetMode(SimClockMode::manual);
  simClockSet(5000);
  DiskInfo d;
  refreshVolume(d, {'c', true, 1000, 400, true, u"SYSTEM", u"NTFS"});
  refreshVolume(d, {.driveLetter = 'e'});  // new, nothing readable: zero sizes
  simClockAdvance(10000);
  refreshVolume(d, {.driveLetter = 'e', .haveSizes = true, .totalBytes = 2000, .freeBytes = 1500});
  refreshVolume(d, {.driveLetter = 'c', .haveNames = true, .volumeLabel = u"", .fileSystemName = u"FAT32"});

  auto v = d.volumes.snapshot();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].driveLetter, 'c');
  EXPECT_EQ(v[0].totalBytes, 1000u);  // sizes kept when the query failed
  EXPECT_EQ(v[0].freeBytes, 400u);
  EXPECT_EQ(v[0].volumeLabel, u"");
  EXPECT_EQ(v[0].fileSystemName, u"FAT32");
  EXPECT_EQ(v[0].lastSeenTick, 15000u);
  EXPECT_EQ(v[1].driveLetter, 'e');
  EXPECT_EQ(v[1].totalBytes, 2000u);
  EXPECT_EQ(v[1].volumeLabel, u"");
}

TEST(Volumes, ExpireDropsOnlyThoseUnrefreshedPastTheLimit) {
  simClockSetMode(SimClockMode::manual);
  simClockSet(0xFFFFF000u);  // the limit is measured across the tick wrap too
  DiskInfo d;
  for (char letter : {'c', 'd', 'e'})
    refreshVolume(d, {.driveLetter = letter, .haveSizes = true, .totalBytes = 1, .freeBytes = 1});
  simClockAdvance(30000);
  refreshVolume(d, {.driveLetter = 'd'});
  EXPECT_EQ(expireVolumes(d, 30000), 0);  // exactly the limit stays
  simClockAdvance(1);
  EXPECT_EQ(expireVolumes(d, 30000), 2);
  auto v = d.volumes.snapshot();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].driveLetter, 'd');
}

TEST(DiskTypeLabel, DecidedInOrder) {
  struct Case {
    uint8_t bus, removable;
    int32_t bayCount;
    uint16_t rotation;
    const char* label;
    bool dock;
  } cases[] = {
      {7, 1, 6, 1, "USB Flash", true},  // removable wins over a station
      {7, 1, 0, 0, "USB Flash", false},
      {7, 0, 2, 1, "Docking", true},
      {7, 0, 0, 1, "SSD", false},
      {7, 0, 0, 7200, "HDD", false},
      {11, 1, 6, 1, "SSD", false},  // a station bay count on another bus is
                                    // no dock
      {11, 0, 0, 0, "HDD", false},
      {3, 0, 0, 1, "SSD", false},
  };
  for (const auto& c : cases) {
    DiskInfo d;
    d.busType = c.bus;
    d.removableMedia = c.removable;
    d.bayCount = c.bayCount;
    d.rotationRate = c.rotation;
    SCOPED_TRACE(c.label);
    EXPECT_STREQ(diskTypeLabel(d), c.label);
    EXPECT_EQ(isDockDisk(d), c.dock);
  }
}

}  // namespace
