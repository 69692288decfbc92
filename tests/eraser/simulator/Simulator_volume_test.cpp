// The simulator's volumes: extents, the writes Windows refuses, locks and dismounts, and the volume
// enumeration.
#include "Simtest.h"

using namespace simtest;

namespace {

const char* kDisk = "\\\\?\\usbstor#disk&ven_sunnywl&prod_vol#1&0";
const char* kE = "\\\\.\\e:";

sim::VolumeSpec volume(char letter, uint64_t total) {
  sim::VolumeSpec v;
  v.letter = letter;
  v.fileSystem = u"NTFS";
  v.totalBytes = total;
  v.freeBytes = total / 2;
  return v;
}

class SimVolumes : public SimTest {
 protected:
  // 16 MiB: e: at 1 MiB to 5 MiB, a volume without a letter at 5 MiB to 7 MiB.
  void SetUp() override {
    SimTest::SetUp();
    auto spec = diskSpec(kDisk, 16 * kMiB, 4);
    spec.volumes = {volume('e', 4 * kMiB), volume(0, 2 * kMiB)};
    disk_ = mustAdd(spec);
    hidden_ = sim::diskSpec(disk_).volumes.at(1).path;
  }

  DevHandle open(const std::string& path, DevOpenMode mode = DevOpenMode::shared, uint32_t expected = 0) {
    uint32_t error = 99;
    DevHandle h = devOpen(path.c_str(), mode, &error);
    EXPECT_EQ(error, expected) << path;
    return h;
  }

  sim::DiskId disk_ = sim::kNone;
  std::string hidden_;
};

TEST_F(SimVolumes, VolumesGetNamesAndExtentsOneAfterAnother) {
  const auto vs = sim::diskSpec(disk_).volumes;
  ASSERT_EQ(vs.size(), 2u);
  EXPECT_EQ(vs[0].offset, kMiB);
  EXPECT_EQ(vs[0].length, 4 * kMiB);
  EXPECT_EQ(vs[1].offset, 5 * kMiB);
  EXPECT_EQ(vs[1].length, 2 * kMiB);
  EXPECT_EQ(vs[0].path.rfind("\\\\?\\Volume{", 0), 0u);
  EXPECT_NE(vs[0].path, vs[1].path);

  // The enumeration lists both for the disk's number; the letter leads to its volume's name.
  EXPECT_EQ(diskVolumePaths(4), (std::vector<std::string>{vs[0].path, vs[1].path}));
  EXPECT_TRUE(diskVolumePaths(5).empty());
  EXPECT_EQ(volumePathOfLetter('e'), vs[0].path);
  EXPECT_EQ(volumePathOfLetter('f'), "");
  EXPECT_EQ(logicalDriveMask(), 1u << ('e' - 'a'));  // the volume without a letter takes none

  // A volume opens by its name as by its letter: one volume, so the exclusive opens meet.
  DevHandle byName = open(vs[0].path, DevOpenMode::exclusiveUnbuffered);
  open(kE, DevOpenMode::shared, kErrorSharingViolation);
  devClose(byName);
  sim::unplug(disk_);
  EXPECT_TRUE(diskVolumePaths(4).empty());
  EXPECT_EQ(volumePathOfLetter('e'), "");
}

// Writes through the disk handle into a mounted volume are refused until it is locked or dismounted.
TEST_F(SimVolumes, WritesIntoAMountedVolumeAreRefused) {
  Block block(kMiB, 0x3C);
  DevHandle disk = open(kDisk);
  struct Case {
    uint64_t offset;
    uint32_t expected;
  } cases[] = {{0, 0},
               {kMiB - 512, kErrorAccessDenied},
               {3 * kMiB, kErrorAccessDenied},
               {6 * kMiB, kErrorAccessDenied},
               {7 * kMiB, 0},
               {15 * kMiB, 0}};
  for (const auto& c : cases) EXPECT_EQ(devWrite(disk, c.offset, block.data(), kMiB), c.expected) << c.offset;
  EXPECT_EQ(sim::bytesWritten(disk_), 3u * kMiB);

  DevHandle e = open(kE);
  ASSERT_EQ(lockVolume(e), 0u);
  EXPECT_EQ(devWrite(disk, 3 * kMiB, block.data(), kMiB), 0u);  // locked: its sectors are ours
  EXPECT_EQ(devWrite(disk, 5 * kMiB, block.data(), kMiB), kErrorAccessDenied);  // the other one is not
  DevHandle other = open(hidden_);
  ASSERT_EQ(dismountVolume(other), 0u);
  EXPECT_EQ(devWrite(disk, 5 * kMiB, block.data(), kMiB), 0u);
  // Reads are never refused; a volume handle reads its own extent.
  Block back(kMiB);
  EXPECT_EQ(devRead(e, 2 * kMiB, back.data(), kMiB), 0u);
  EXPECT_EQ(back.bytes(), block.bytes());
  EXPECT_EQ(devRead(e, 4 * kMiB, back.data(), 512), kErrorInvalidParameter);  // past its end
  devClose(other);
  devClose(e);
  devClose(disk);
}

TEST_F(SimVolumes, LocksAreRefusedWhileFilesOrHandlesAreOpenAndHeldUntilClosed) {
  DevHandle e = open(kE);
  DevHandle scan = open(kE);  // the scan looking at the volume
  EXPECT_EQ(lockVolume(e), kErrorAccessDenied);
  devClose(scan);
  sim::setOpenFiles(disk_, true);
  EXPECT_EQ(lockVolume(e), kErrorAccessDenied);
  sim::setOpenFiles(disk_, false);
  ASSERT_EQ(lockVolume(e), 0u);
  EXPECT_EQ(sim::volumeState(kE).locked, true);

  // Locked: no one else opens it or reads its sizes, and the disk opens exclusively beside it.
  open(kE, DevOpenMode::shared, kErrorAccessDenied);
  uint64_t total = 0, free = 0;
  EXPECT_FALSE(queryVolumeSpace(u"e:\\", &total, &free));
  DevHandle other = open(hidden_);
  open(kDisk, DevOpenMode::exclusiveUnbuffered, kErrorSharingViolation);  // the other volume is in use
  devClose(other);
  DevHandle disk = open(kDisk, DevOpenMode::exclusiveUnbuffered);
  devClose(disk);

  devClose(e);  // closing the handle releases the lock
  EXPECT_EQ(sim::volumeState(kE).locked, false);
  devClose(open(kE));
  EXPECT_TRUE(queryVolumeSpace(u"e:\\", &total, &free));
  EXPECT_EQ(total, 4u * kMiB);
}

TEST_F(SimVolumes, DismountIsForcedUnlessRefusedAndAccessMountsAgain) {
  sim::setOpenFiles(disk_, true);
  DevHandle e = open(kE);
  EXPECT_EQ(lockVolume(e), kErrorAccessDenied);
  EXPECT_EQ(dismountVolume(e), 0u);  // the open files are forced shut
  EXPECT_EQ(sim::volumeState(kE).mounted, false);
  EXPECT_FALSE(sim::diskSpec(disk_).volumes[0].openFiles);
  EXPECT_EQ(lockVolume(e), 0u);
  devClose(e);
  EXPECT_EQ(sim::volumeState(kE).mounted, false);
  uint64_t total = 0, free = 0;
  EXPECT_TRUE(queryVolumeSpace(u"e:\\", &total, &free));  // an unlocked volume is mounted by the next look
  EXPECT_EQ(sim::volumeState(kE).mounted, true);

  sim::refuseLockAndDismount(disk_, true);
  e = open(kE);
  EXPECT_EQ(lockVolume(e), kErrorAccessDenied);
  EXPECT_EQ(dismountVolume(e), kErrorAccessDenied);
  EXPECT_EQ(sim::volumeState(kE).mounted, true);
  DevHandle disk = open(kDisk);
  EXPECT_EQ(lockVolume(disk), sim::kErrorInvalidFunction);  // not a volume
  EXPECT_EQ(dismountVolume(disk), sim::kErrorInvalidFunction);
  devClose(disk);
  devClose(e);
  EXPECT_EQ(lockVolume(e), sim::kErrorInvalidHandle);
  EXPECT_EQ(dismountVolume(invalidDevHandle()), kErrorFileNotFound);
}

}  // namespace
