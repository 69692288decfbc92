// The disk scan over a simulated machine: which disks are listed, where, what the window is told,
// and the volumes of each disk. Passes are run one by one with the clock moved by hand.
#include "Product_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Platformservices.h"
#include "Simclock.h"
#include "Simulator.h"

namespace {

class RecordingObserver : public DiskListObserver {
 public:
  void diskAdded(int position) override {
    DiskRecord at = mainDiskList().diskAt(position);
    events.push_back("added " + std::to_string(position) + " " + (at ? name(*at) : "-"));
  }
  void slotRemoved(int slot) override { events.push_back("removed " + std::to_string(slot)); }
  void noDisks() override { events.push_back("none"); }

  // The short name the tests gave the disk: the part of the path after the last '#'.
  static std::string name(const DiskInfo& d) { return d.devicePath.substr(d.devicePath.rfind('#') + 1); }

  std::vector<std::string> events;
};

std::vector<std::string> names(const std::vector<DiskRecord>& records) {
  std::vector<std::string> out;
  for (const DiskRecord& r : records) out.push_back(RecordingObserver::name(*r));
  return out;
}

std::vector<int> occupiedBays(const DiskInfo& d) {
  std::vector<int> out;
  for (int i = 0; i < kBayTableSize; ++i) {
    if (d.bayOccupied[size_t(i)]) out.push_back(i);
  }
  return out;
}

std::string volumeLetters(const DiskInfo& d) {
  std::string out;
  for (const VolumeInfo& v : d.volumes.snapshot()) out.push_back(v.driveLetter);
  return out;
}

sim::VolumeSpec volume(char letter, std::u16string label = u"DATA", uint64_t total = 1000) {
  sim::VolumeSpec v;
  v.letter = letter;
  v.label = std::move(label);
  v.fileSystem = u"NTFS";
  v.totalBytes = total;
  v.freeBytes = total / 2;
  return v;
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::reset();
    mainDiskList().clearDisks();
    mainDiskList().setObserver(&observer_);
    setDebugSink([this](const std::string& text) { diagnostics_.push_back(text); });
  }
  void TearDown() override {
    mainDiskList().setObserver(nullptr);
    mainDiskList().clearDisks();
    setDebugSink(nullptr);
    sim::reset();
  }

  // A disk whose path ends in "#name"; in a bay of the station when one is given.
  sim::DiskId addDisk(const std::string& name, sim::StationId station = sim::kNone, int bay = 0,
                      uint8_t busType = 7, uint8_t removable = 0) {
    sim::DiskSpec spec;
    spec.path = "\\\\?\\usbstor#disk&ven_sunnywl&prod_bay#" + name;
    spec.deviceNumber = uint32_t(nextNumber_++);
    spec.busType = busType;
    spec.removableMedia = removable;
    spec.vendorId = "SUNNYWL";
    spec.productId = "BAY DISK";
    spec.length = 64 << 20;
    spec.backing = sim::Backing::discarding;
    sim::setIdentifyModel(spec.identify, "MODEL " + name);
    sim::setIdentifySerial(spec.identify, "SN-" + name);
    const sim::DiskId id = sim::addDisk(spec);
    EXPECT_NE(id, sim::kNone) << name;
    if (station != sim::kNone) {
      EXPECT_TRUE(sim::insertDisk(station, bay, id)) << name;
    }
    return id;
  }

  sim::StationId addStation(uint32_t parent, sim::StationModel model = sim::StationModel::sywl) {
    return sim::addStation({model, sim::BayReplyForm::jm, parent});
  }

  // One pass, ten seconds after the previous one as the scan thread runs them.
  void pass() {
    simClockAdvance(kScanInterval);
    ASSERT_TRUE(scanOnce());
  }

  std::vector<std::string> takeEvents() { return std::exchange(observer_.events, {}); }

  RecordingObserver observer_;
  std::vector<std::string> diagnostics_;
  int nextNumber_ = 1;
};

TEST_F(ScanTest, DisksOutsideAStationBayAreNeverListedButProbedEveryPass) {
  const sim::StationId station = addStation(100);
  struct Case {
    const char* what;
    sim::DiskId disk;
  } cases[] = {
      {"USB disk outside a station", addDisk("plain")},
      {"flash drive in a bay", addDisk("flash", station, 0, 7, 1)},
      {"SATA disk in a bay", addDisk("sata", station, 1, 11)},
      {"bay query refused", addDisk("refused", station, 2)},
      {"no length", addDisk("nolength", station, 3)},
      {"no device number", addDisk("nonumber", station, 4)},
  };
  sim::failRequest(cases[3].disk, sim::Request::bayQuery);
  sim::failRequest(cases[4].disk, sim::Request::length);
  sim::failRequest(cases[5].disk, sim::Request::deviceNumber);
  for (int i = 0; i < 3; ++i) pass();
  EXPECT_EQ(mainDiskList().topLevelCount(), 0);
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"none", "none", "none"}));
  for (const Case& c : cases) EXPECT_EQ(sim::requestCount(c.disk, sim::Request::open), 3u) << c.what;
  // Nothing about the rejected disks is left open.
  for (const Case& c : cases) EXPECT_EQ(sim::openHandleCount(c.disk), 0) << c.what;
}

TEST_F(ScanTest, StationFoundBay3ThenBay1IsOnePositionWithItsProbedRecords) {
  const sim::StationId station = addStation(0x4711);
  const sim::DiskId bay1 = addDisk("one", station, 1);
  const sim::DiskId bay3 = addDisk("three", station, 3);
  sim::setEnumerationOrder({bay3, bay1});
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"added 0 three"}));
  ASSERT_EQ(mainDiskList().topLevelCount(), 1);
  const DiskRecord head = mainDiskList().diskAt(0);
  EXPECT_EQ(names(groupOrder(head)), (std::vector<std::string>{"three", "one"}));
  EXPECT_EQ(occupiedBays(*head), (std::vector<int>{1, 3}));

  const DiskInfo& d = *head;
  EXPECT_EQ(d.devicePath, sim::diskSpec(bay3).path);
  EXPECT_EQ(d.deviceNumber, sim::diskSpec(bay3).deviceNumber);
  EXPECT_EQ(d.identityText, "SUNNYWL BAY DISK");
  EXPECT_EQ(d.modelName, "MODEL three" + std::string(29, ' '));
  EXPECT_EQ(d.serialNumber, "SN-three" + std::string(12, ' '));
  EXPECT_EQ(d.busType, 7);
  EXPECT_EQ(d.removableMedia, 0);
  EXPECT_EQ(d.parentInstance, 0x4711u);
  EXPECT_EQ(d.diskLength, 64 << 20);
  EXPECT_EQ(d.dockModel, 6u);
  EXPECT_EQ(d.bayCount, 6);
  EXPECT_EQ(d.bayIndex, 3);
  EXPECT_STREQ(diskTypeLabel(d), "Docking");

  // Known disks are visited, not probed again.
  const uint32_t inquiries = sim::requestCount(bay1, sim::Request::inquiry);
  pass();
  EXPECT_EQ(takeEvents(), std::vector<std::string>{});
  EXPECT_EQ(sim::requestCount(bay1, sim::Request::inquiry), inquiries);
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"three", "one"}));
}

TEST_F(ScanTest, StationsApartAndDisksOfUnknownParentEachGetAPosition) {
  const sim::StationId a = addStation(10, sim::StationModel::syw2);
  const sim::StationId b = addStation(20, sim::StationModel::syw4);
  addDisk("a0", a, 0);
  addDisk("b1", b, 1);
  addDisk("a1", a, 1);
  addDisk("b0", b, 0);
  // No parent could be read for these two: nothing says they share a station.
  const sim::StationId c = addStation(0);
  addDisk("c0", c, 0);
  addDisk("c1", c, 1);
  pass();
  EXPECT_EQ(names(mainDiskList().records()), (std::vector<std::string>{"a0", "b1", "c0", "c1"}));
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"a0", "a1"}));
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(1))), (std::vector<std::string>{"b1", "b0"}));
  EXPECT_EQ(mainDiskList().diskAt(1)->dockModel, 4u);
  EXPECT_EQ(mainDiskList().diskAt(2)->groupMembers.records().size(), 0u);
}

TEST_F(ScanTest, DiskThatDisappearsIsDroppedByTheFirstPassThatMissesIt) {
  std::vector<sim::DiskId> disks;
  for (const char* name : {"x", "y", "z"}) disks.push_back(addDisk(name, addStation(uint32_t(name[0])), 0));
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"added 0 x", "added 1 y", "added 2 z"}));

  sim::unplug(disks[1]);
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"removed 2", "added 0 x", "added 1 z"}));

  sim::replug(disks[1]);
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"added 2 y"}));

  for (sim::DiskId d : disks) sim::unplug(d);
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"removed 2", "removed 1", "removed 0", "none"}));
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"none"}));
}

TEST_F(ScanTest, MissingForLessThanEightSecondsIsNotYetGone) {
  const sim::DiskId disk = addDisk("x", addStation(1), 0);
  pass();
  sim::unplug(disk);
  simClockAdvance(kDiskMaxAge);
  ASSERT_TRUE(scanOnce());
  EXPECT_EQ(mainDiskList().topLevelCount(), 1);
  simClockAdvance(1);
  ASSERT_TRUE(scanOnce());
  EXPECT_EQ(mainDiskList().topLevelCount(), 0);
}

TEST_F(ScanTest, DiskInABayTakesThePlaceOfTheMemberItReplaced) {
  const sim::StationId station = addStation(7);
  addDisk("head", station, 0);
  const sim::DiskId old = addDisk("old", station, 2);
  addDisk("other", station, 4);
  pass();
  const DiskRecord head = mainDiskList().diskAt(0);
  const DiskRecord oldRecord = mainDiskList().findByPath(sim::diskSpec(old).path);
  ASSERT_TRUE(oldRecord);
  takeEvents();

  ASSERT_TRUE(sim::removeFromBay(old));
  pass();  // an empty bay: the member stays listed, as members do
  EXPECT_EQ(names(groupOrder(head)), (std::vector<std::string>{"head", "old", "other"}));

  addDisk("new", station, 2);
  pass();
  EXPECT_EQ(names(groupOrder(head)), (std::vector<std::string>{"head", "new", "other"}));
  EXPECT_EQ(occupiedBays(*head), (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(takeEvents(), std::vector<std::string>{});
  // A worker that still holds the old record keeps a whole one.
  EXPECT_EQ(RecordingObserver::name(*oldRecord), "old");
}

TEST_F(ScanTest, DiskInTheHeadsBayStartsTheStationAfresh) {
  const sim::StationId station = addStation(7);
  const sim::DiskId oldHead = addDisk("head", station, 0);
  addDisk("member", station, 2);
  pass();
  takeEvents();

  ASSERT_TRUE(sim::removeFromBay(oldHead));
  addDisk("new", station, 0);
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"removed 0", "added 0 new"}));
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"new"}));
  pass();  // the old head took its members along; they join the new one at the next pass
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"new", "member"}));
  EXPECT_EQ(occupiedBays(*mainDiskList().diskAt(0)), (std::vector<int>{0, 2}));
}

// --- a disk swapped under the same path ---------------------------------------------------------------

// What sets the disk put into a bay apart from the one that was there.
enum class Differs : uint8_t { serial, length, number };

sim::DiskSpec swappedSpec(sim::DiskId old, Differs what) {
  sim::DiskSpec spec = sim::diskSpec(old);
  spec.volumes.clear();
  switch (what) {
    case Differs::serial:
      sim::setIdentifySerial(spec.identify, "SN-swapped");
      break;
    case Differs::length:
      spec.length *= 2;
      break;
    case Differs::number:
      spec.deviceNumber += 100;
      break;
  }
  return spec;
}

TEST_F(ScanTest, DiskSwappedUnderTheSamePathReplacesItsRecordAtTheNextPass) {
  struct Case {
    const char* what;
    Differs differs;
    bool head;  // the swapped disk heads its station
    std::vector<std::string> events;
    std::vector<std::string> groupAfter;
  } cases[] = {
      // The head goes as a removed disk goes (its slot, then every slot refilled) and the station
      // comes back at the end with its members.
      {"head, serial", Differs::serial, true, {"removed 1", "added 0 b", "added 1 a0"}, {"a0", "a2", "a4"}},
      {"head, length", Differs::length, true, {"removed 1", "added 0 b", "added 1 a0"}, {"a0", "a2", "a4"}},
      {"head, number", Differs::number, true, {"removed 1", "added 0 b", "added 1 a0"}, {"a0", "a2", "a4"}},
      // A member has no slot: it leaves the group and joins it again at the end.
      {"member, serial", Differs::serial, false, {}, {"a0", "a4", "a2"}},
      {"member, length", Differs::length, false, {}, {"a0", "a4", "a2"}},
      {"member, number", Differs::number, false, {}, {"a0", "a4", "a2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    const sim::StationId station = addStation(7);
    const sim::DiskId head = addDisk("a0", station, 0);
    const sim::DiskId member = addDisk("a2", station, 2);
    addDisk("a4", station, 4);
    addDisk("b", addStation(8), 0);
    pass();
    takeEvents();
    const sim::DiskId old = c.head ? head : member;
    const std::string path = sim::diskSpec(old).path;
    const DiskRecord oldRecord = mainDiskList().findByPath(path);

    const sim::DiskId swapped = sim::swapDisk(old, swappedSpec(old, c.differs));
    ASSERT_NE(swapped, sim::kNone);
    pass();
    EXPECT_EQ(takeEvents(), c.events);
    const DiskRecord now = mainDiskList().findByPath(path);
    ASSERT_TRUE(now);
    EXPECT_NE(now, oldRecord);
    const sim::DiskSpec spec = sim::diskSpec(swapped);
    EXPECT_EQ(now->deviceNumber, spec.deviceNumber);
    EXPECT_EQ(now->diskLength, int64_t(spec.length));
    const std::string serial = c.differs == Differs::serial ? "SN-swapped" : c.head ? "SN-a0" : "SN-a2";
    EXPECT_EQ(now->serialNumber, serial + std::string(20 - serial.size(), ' '));
    EXPECT_EQ(now->bayIndex, c.head ? 0 : 2);
    const DiskRecord stationHead = mainDiskList().findGroupHead(7);
    ASSERT_TRUE(stationHead);
    EXPECT_EQ(names(groupOrder(stationHead)), c.groupAfter);
    EXPECT_EQ(occupiedBays(*stationHead), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(mainDiskList().topLevelCount(), 2);

    // The new record is the disk now in the bay: the next pass leaves it be.
    pass();
    EXPECT_EQ(takeEvents(), std::vector<std::string>{});
    EXPECT_EQ(mainDiskList().findByPath(path), now);
  }
}

TEST_F(ScanTest, SwappedDiskIsNotReplacedWhileHeldOrWhileTheQueryThatWouldTellFails) {
  struct Case {
    const char* what;
    Differs differs;
    sim::Request fails;  // Request::count: the disk is held by an erase instead
  } cases[] = {
      {"held exclusively", Differs::length, sim::Request::count},
      {"device number unreadable", Differs::number, sim::Request::deviceNumber},
      {"length unreadable", Differs::length, sim::Request::length},
      {"IDENTIFY refused", Differs::serial, sim::Request::ataIdentify},
      {"pass-through failing", Differs::serial, sim::Request::passThrough},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    const sim::StationId station = addStation(7);
    const sim::DiskId head = addDisk("a0", station, 0);
    addDisk("a1", station, 1);
    pass();
    takeEvents();
    const DiskRecord oldRecord = mainDiskList().diskAt(0);

    const sim::DiskId swapped = sim::swapDisk(head, swappedSpec(head, c.differs));
    ASSERT_NE(swapped, sim::kNone);
    DevHandle erase = invalidDevHandle();
    if (c.fails == sim::Request::count) {
      erase = devOpen(sim::diskSpec(swapped).path.c_str(), DevOpenMode::exclusiveUnbuffered, nullptr);
      ASSERT_TRUE(isValidDevHandle(erase));
    } else {
      sim::failRequest(swapped, c.fails);
    }
    pass();
    pass();
    EXPECT_EQ(takeEvents(), std::vector<std::string>{});
    EXPECT_EQ(mainDiskList().diskAt(0), oldRecord);
    EXPECT_EQ(names(groupOrder(oldRecord)), (std::vector<std::string>{"a0", "a1"}));

    // Once the answer can be had, it tells.
    devClose(erase);
    sim::clearFault(swapped, c.fails);
    pass();
    EXPECT_NE(mainDiskList().diskAt(0), oldRecord);
    EXPECT_EQ(mainDiskList().diskAt(0)->diskLength, int64_t(sim::diskSpec(swapped).length));
  }
}

TEST_F(ScanTest, SwapForADiskTheScanRejectsDropsTheRecordAndKeepsTheOthers) {
  const sim::StationId station = addStation(7);
  const sim::DiskId head = addDisk("a0", station, 0);
  const sim::DiskId member = addDisk("a1", station, 1);
  addDisk("a2", station, 2);
  pass();
  takeEvents();
  auto flashFor = [](sim::DiskId old) {
    sim::DiskSpec flash = swappedSpec(old, Differs::serial);
    flash.removableMedia = 1;
    return flash;
  };

  ASSERT_NE(sim::swapDisk(member, flashFor(member)), sim::kNone);
  pass();
  EXPECT_EQ(takeEvents(), std::vector<std::string>{});
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"a0", "a2"}));
  EXPECT_EQ(occupiedBays(*mainDiskList().diskAt(0)), (std::vector<int>{0, 2}));

  // The members of a head that is not replaced by anything stay listed: the first one leads now.
  ASSERT_NE(sim::swapDisk(head, flashFor(head)), sim::kNone);
  pass();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"removed 0", "added 0 a2"}));
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"a2"}));
  EXPECT_EQ(occupiedBays(*mainDiskList().diskAt(0)), (std::vector<int>{2}));
}

TEST_F(ScanTest, FailedEnumerationChangesNothingAndIsDiagnosed) {
  addDisk("x", addStation(1), 0);
  pass();
  sim::failEnumeration({.error = 13, .times = 1});
  simClockAdvance(60000);
  EXPECT_FALSE(scanOnce());
  EXPECT_EQ(mainDiskList().topLevelCount(), 1);  // not dropped: it was not looked for
  ASSERT_EQ(diagnostics_.size(), 1u);
  EXPECT_EQ(diagnostics_[0].rfind("SetupDiGetClassDevs : ", 0), 0u) << diagnostics_[0];
  EXPECT_EQ(diagnostics_[0].substr(diagnostics_[0].size() - 5), " (13)") << diagnostics_[0];
  EXPECT_TRUE(scanOnce());
}

TEST_F(ScanTest, UnreadableMemberIsSkippedWithADiagnosticAndTheOthersAreScanned) {
  const sim::StationId station = addStation(1);
  addDisk("head", station, 0);
  const sim::DiskId member = addDisk("member", station, 1);
  addDisk("last", station, 2);
  sim::failRequest(member, sim::Request::detail, {.error = 1784, .times = 1});
  pass();
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))), (std::vector<std::string>{"head", "last"}));
  ASSERT_EQ(diagnostics_.size(), 1u);
  EXPECT_EQ(diagnostics_[0].rfind("SetupDi : ", 0), 0u) << diagnostics_[0];
  EXPECT_EQ(diagnostics_[0].substr(diagnostics_[0].size() - 7), " (1784)") << diagnostics_[0];
  pass();
  EXPECT_EQ(names(groupOrder(mainDiskList().diskAt(0))),
            (std::vector<std::string>{"head", "last", "member"}));
}

// --- volumes ------------------------------------------------------------------------------------------

TEST_F(ScanTest, VolumesKeepTheirFirstFoundOrderAndAreRefreshedInPlace) {
  const sim::StationId station = addStation(1);
  const sim::DiskId disk = addDisk("x", station, 0);
  const sim::DiskId other = addDisk("y", station, 1);
  const sim::DiskId internal = addDisk("internal", sim::kNone, 0, 11);
  ASSERT_TRUE(sim::addVolume(disk, volume('e', u"FIRST", 4096)));
  ASSERT_TRUE(sim::addVolume(internal, volume('c', u"SYSTEM")));
  ASSERT_TRUE(sim::addVolume(other, volume('f')));
  sim::setForeignDriveLetters(1u << ('d' - 'a'));
  pass();
  const DiskRecord head = mainDiskList().diskAt(0);
  EXPECT_EQ(volumeLetters(*head), "e");
  const uint32_t firstSeen = head->volumes.snapshot()[0].lastSeenTick;
  EXPECT_EQ(firstSeen, devTickCount());

  // A volume at c joins behind e; e is updated where it stands.
  ASSERT_TRUE(sim::removeVolume('c'));
  ASSERT_TRUE(sim::addVolume(disk, volume('c', u"LATER")));
  ASSERT_TRUE(sim::updateVolume(volume('e', u"RENAMED", 8192)));
  pass();
  const std::vector<VolumeInfo> v = head->volumes.snapshot();
  ASSERT_EQ(volumeLetters(*head), "ec");
  EXPECT_EQ(v[0].volumeLabel, u"RENAMED");
  EXPECT_EQ(v[0].fileSystemName, u"NTFS");
  EXPECT_EQ(v[0].totalBytes, 8192u);
  EXPECT_EQ(v[0].freeBytes, 4096u);
  EXPECT_EQ(v[0].lastSeenTick, firstSeen + kScanInterval);
  EXPECT_EQ(v[1].volumeLabel, u"LATER");
  EXPECT_EQ(volumeLetters(*head->groupMembers.diskAt(0)), "f");
}

TEST_F(ScanTest, LettersAAndBNeverGetAVolume) {
  const sim::DiskId disk = addDisk("x", addStation(1), 0);
  for (char letter : {'a', 'b', 'g'}) ASSERT_TRUE(sim::addVolume(disk, volume(letter)));
  pass();
  EXPECT_EQ(volumeLetters(*mainDiskList().diskAt(0)), "g");
}

TEST_F(ScanTest, VanishedVolumeIsDroppedOnceThirtySecondsHavePassed) {
  const sim::DiskId disk = addDisk("x", addStation(1), 0);
  ASSERT_TRUE(sim::addVolume(disk, volume('e')));
  ASSERT_TRUE(sim::addVolume(disk, volume('f')));
  pass();
  const DiskRecord d = mainDiskList().diskAt(0);
  ASSERT_TRUE(sim::removeVolume('e'));
  for (int i = 0; i < 3; ++i) pass();  // 30 seconds: not more than the limit
  EXPECT_EQ(volumeLetters(*d), "ef");
  pass();
  EXPECT_EQ(volumeLetters(*d), "f");
}

TEST_F(ScanTest, UnreadablePartsOfAVolumeKeepWhatWasKnown) {
  const sim::DiskId disk = addDisk("x", addStation(1), 0);
  sim::VolumeSpec e = volume('e', u"LABEL", 5000);
  e.labelUnreadable = true;
  sim::VolumeSpec f = volume('f', u"NEW", 7000);
  f.sizesUnreadable = true;
  ASSERT_TRUE(sim::addVolume(disk, e));
  ASSERT_TRUE(sim::addVolume(disk, f));
  pass();
  const DiskRecord d = mainDiskList().diskAt(0);
  std::vector<VolumeInfo> v = d->volumes.snapshot();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].totalBytes, 5000u);  // sizes without a label
  EXPECT_EQ(v[0].volumeLabel, u"");
  EXPECT_EQ(v[1].totalBytes, 0u);  // a label without sizes
  EXPECT_EQ(v[1].volumeLabel, u"NEW");

  e.labelUnreadable = false;
  e.sizesUnreadable = true;
  e.totalBytes = 9999;
  ASSERT_TRUE(sim::updateVolume(e));
  pass();
  v = d->volumes.snapshot();
  EXPECT_EQ(v[0].totalBytes, 5000u);  // the known sizes stay
  EXPECT_EQ(v[0].freeBytes, 2500u);
  EXPECT_EQ(v[0].volumeLabel, u"LABEL");
}

TEST_F(ScanTest, DiskHeldByAnEraseStaysListedWhileItsVolumesExpire) {
  const sim::StationId station = addStation(1);
  const sim::DiskId disk = addDisk("x", station, 0);
  const sim::DiskId member = addDisk("y", station, 1);
  ASSERT_TRUE(sim::addVolume(disk, volume('e')));
  ASSERT_TRUE(sim::addVolume(member, volume('f')));
  pass();
  const DiskRecord d = mainDiskList().diskAt(0);
  takeEvents();

  DevHandle erase = devOpen(sim::diskSpec(disk).path.c_str(), DevOpenMode::exclusiveUnbuffered, nullptr);
  ASSERT_TRUE(isValidDevHandle(erase));
  for (int i = 0; i < 3; ++i) pass();
  EXPECT_EQ(volumeLetters(*d), "e");
  pass();
  EXPECT_EQ(volumeLetters(*d), "");
  EXPECT_EQ(mainDiskList().topLevelCount(), 1);
  EXPECT_EQ(takeEvents(), std::vector<std::string>{});
  EXPECT_EQ(volumeLetters(*d->groupMembers.diskAt(0)), "f");  // the other bay is refreshed as before

  devClose(erase);
  pass();
  EXPECT_EQ(volumeLetters(*d), "e");
}

}  // namespace
