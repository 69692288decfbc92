// Volume locks of an erase on simulated disks: locked and dismounted volumes let the disk be written
// whole, a volume that lets go of nothing keeps the disk from being written, and the locks end.
#include <gtest/gtest.h>

#include <mutex>

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_volumes.h"
#include "Platformservices.h"
#include "Simmachine.h"

namespace {

using namespace testsupport;
constexpr uint64_t MiB = 1048576;
constexpr uint64_t kLength = 16 * MiB;

enum class Trouble { none, openFiles, refusesBoth };

class EraseVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMachine();
    setDebugSink([this](const std::string& text) {
      std::lock_guard<std::mutex> hold(lock_);
      diagnostics_ += text + "\n";
    });
    disk_ = addPlainDisk(kLength);
    record_ = mainDiskList().diskAt(0);
    ASSERT_TRUE(record_);
  }
  void TearDown() override {
    setDebugSink(nullptr);
    resetMachine();
  }

  // e: at 1 MiB to 5 MiB, known to the record, and a volume without a letter after it.
  void addVolumes(Trouble trouble) {
    for (char letter : {'e', char(0)}) {
      sim::VolumeSpec v;
      v.letter = letter;
      v.fileSystem = u"NTFS";
      v.totalBytes = letter != 0 ? 4 * MiB : 2 * MiB;
      v.openFiles = trouble == Trouble::openFiles;
      v.refuseBoth = trouble == Trouble::refusesBoth;
      ASSERT_TRUE(sim::addVolume(disk_, v));
    }
    VolumeRefresh seen;
    seen.driveLetter = 'e';
    refreshVolume(*record_, seen);
  }

  // One job over the whole disk with four passes of FF, as the worker runs it.
  bool eraseWhole() {
    clErase job;
    const bool ready = job.open(record_->devicePath, 0, 0);
    buildPasses(job, kMethodUserDefined, {256, 256, 256, 256});
    while (job.step(false) == 1) {
    }
    job.close();
    return ready;
  }

  std::string diagnostics() {
    std::lock_guard<std::mutex> hold(lock_);
    return diagnostics_;
  }

  sim::DiskId disk_ = sim::kNone;
  DiskRecord record_;
  std::mutex lock_;
  std::string diagnostics_;
};

TEST_F(EraseVolumes, VolumesLetGoOrTheDiskIsNotWritten) {
  struct Case {
    const char* name;
    bool volumes;
    Trouble trouble;
    bool lockFirst;  // false: the job locks its own disk's volumes
    bool locked;
    const char* told;  // in the diagnostics
  } cases[] = {
      {"mounted volumes", true, Trouble::none, true, true, "locked and dismounted"},
      {"mounted volumes, the job alone", true, Trouble::none, false, true, "locked and dismounted"},
      {"files open", true, Trouble::openFiles, true, true, "refused the lock (5), dismounted anyway"},
      {"neither lock nor dismount", true, Trouble::refusesBoth, true, false,
       "can be neither locked (5) nor dismounted (5)"},
      {"no volumes", false, Trouble::none, true, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    resetMachine();
    SetUp();
    if (c.volumes) addVolumes(c.trouble);
    VolumeLocks locks;
    const uint32_t before = devTickCount();
    if (c.lockFirst) {
      EXPECT_EQ(lockDiskVolumes(*record_, locks), c.locked);
    }
    EXPECT_EQ(locks.count(), c.lockFirst && c.locked && c.volumes ? 2u : 0u);
    // A volume that keeps refusing the lock is asked for three seconds.
    if (c.trouble != Trouble::none) {
      EXPECT_GE(uint32_t(devTickCount() - before), 3000u);
    }

    EXPECT_EQ(eraseWhole(), c.locked);
    if (c.locked) {
      EXPECT_EQ(sim::coverage(disk_), (std::vector<sim::ByteRange>{{0, kLength}}));
      EXPECT_EQ(sim::bytesWritten(disk_), 4 * kLength);
      EXPECT_EQ(sim::diskSpec(disk_).volumes.size(), 0u) << "dismounted volumes go with the layout";
    } else {
      EXPECT_EQ(sim::bytesWritten(disk_), 0u);
      EXPECT_EQ(sim::layoutDeletions(disk_), 0u);
    }
    EXPECT_NE(diagnostics().find(c.told), std::string::npos) << diagnostics();
    if (c.volumes) {
      EXPECT_NE(diagnostics().find("Volume \\\\?\\Volume{"), std::string::npos);
    }
    locks.release();
    EXPECT_EQ(sim::openHandleCount(disk_), 0);
  }
}

TEST_F(EraseVolumes, LocksLastUntilReleasedAndEachVolumeIsTakenOnce) {
  addVolumes(Trouble::none);
  const std::string e = sim::diskSpec(disk_).volumes.at(0).path;
  {
    VolumeLocks locks;
    ASSERT_TRUE(lockDiskVolumes(*record_, locks));
    EXPECT_EQ(locks.count(), 2u);  // e: by its letter and by the enumeration is one volume
    EXPECT_TRUE(locks.holds(e));
    EXPECT_TRUE(sim::volumeState("\\\\.\\e:").locked);
    uint32_t error = 0;
    EXPECT_FALSE(isValidDevHandle(devOpen("\\\\.\\e:", DevOpenMode::shared, &error)));
    EXPECT_EQ(error, kErrorAccessDenied);
    // Another run of the process asks again: nothing more is opened.
    VolumeLocks again;
    EXPECT_TRUE(lockDiskVolumes(*record_, again));
    EXPECT_EQ(again.count(), 0u);
  }  // the destructor releases
  EXPECT_EQ(sim::openHandleCount(disk_), 0);
  EXPECT_FALSE(sim::volumeState("\\\\.\\e:").locked);
  uint32_t error = 99;
  DevHandle h = devOpen("\\\\.\\e:", DevOpenMode::shared, &error);
  EXPECT_EQ(error, 0u);
  EXPECT_TRUE(sim::volumeState("\\\\.\\e:").mounted) << "opened again, it is mounted again";
  devClose(h);

  // Should the disk holding Windows ever be passed, its volumes are not touched.
  sim::setSystemDriveLetter('e');
  VolumeLocks refused;
  EXPECT_FALSE(lockDiskVolumes(*record_, refused));
  EXPECT_EQ(refused.count(), 0u);
  EXPECT_TRUE(sim::volumeState("\\\\.\\e:").mounted);
  EXPECT_NE(diagnostics().find("holds Windows: not touched"), std::string::npos) << diagnostics();
  sim::setSystemDriveLetter(0);

  // A letter the record still lists but whose volume has gone is passed over.
  ASSERT_TRUE(sim::removeVolume('e'));
  VolumeLocks locks;
  EXPECT_TRUE(lockDiskVolumes(*record_, locks));
  EXPECT_EQ(locks.count(), 1u);
  EXPECT_NE(diagnostics().find("Volume \\\\.\\e: is gone"), std::string::npos) << diagnostics();
}

}  // namespace
