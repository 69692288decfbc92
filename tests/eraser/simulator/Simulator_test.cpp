// The simulator's disks: opening and sharing, handles, queries, writes, backings and faults.
#include <cstdio>
#include <filesystem>
#include <functional>

#include "Simtest.h"

using namespace simtest;

namespace {

const char* kDiskA = "\\\\?\\usbstor#disk&ven_sunnywl&prod_a#1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const char* kDiskB = "\\\\?\\usbstor#disk&ven_sunnywl&prod_b#2&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

sim::VolumeSpec letter(char c) {
  sim::VolumeSpec v;
  v.letter = c;
  return v;
}

class SimDisks : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    auto spec = diskSpec(kDiskA, 8 * kMiB, 3);
    spec.volumes = {{'e', u"DATA", u"NTFS", 6 * kMiB, 2 * kMiB}};
    a_ = mustAdd(spec);
  }

  // Lets the disk's sectors be written: volume e lies at 1 MiB to 7 MiB and guards them while mounted.
  void dismountE() {
    DevHandle v = open("\\\\.\\e:");
    EXPECT_EQ(dismountVolume(v), 0u);
    devClose(v);
  }

  DevHandle open(const char* path, DevOpenMode mode = DevOpenMode::shared) {
    uint32_t error = 99;
    DevHandle h = devOpen(path, mode, &error);
    EXPECT_EQ(error, 0u) << path;
    return h;
  }

  sim::DiskId a_ = sim::kNone;
};

TEST_F(SimDisks, OpensDisksByPathAndVolumesByLetter) {
  uint32_t error = 0;
  EXPECT_FALSE(isValidDevHandle(devOpen("\\\\?\\usbstor#nothing", DevOpenMode::shared, &error)));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(isValidDevHandle(devOpen("\\\\.\\f:", DevOpenMode::shared, &error)));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(isValidDevHandle(devOpen(nullptr, DevOpenMode::shared, &error)));

  std::string upper = kDiskA;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  DevHandle disk = open(upper.c_str());
  DevHandle volume = open("\\\\.\\E:");
  EXPECT_EQ(queryDeviceNumber(disk), 3);
  EXPECT_EQ(queryDeviceNumber(volume), 3);  // a volume answers with its disk's number
  int64_t length = 0;
  EXPECT_EQ(queryDiskLength(volume, &length), 0u);
  EXPECT_EQ(length, 6 * kMiB);
  EXPECT_EQ(sim::openHandleCount(a_), 2);
  devClose(disk);
  devClose(volume);
  EXPECT_EQ(sim::openHandleCount(a_), 0);
}

TEST_F(SimDisks, SharingFollowsWindows) {
  const char* volume = "\\\\.\\e:";
  constexpr auto shared = DevOpenMode::shared;
  constexpr auto exclusive = DevOpenMode::exclusiveUnbuffered;
  struct Case {
    const char* firstPath;
    DevOpenMode first;
    const char* secondPath;
    DevOpenMode second;
    uint32_t expected;
  } cases[] = {
      {kDiskA, shared, kDiskA, shared, 0},
      {kDiskA, shared, kDiskA, exclusive, kErrorSharingViolation},
      {kDiskA, exclusive, kDiskA, shared, kErrorSharingViolation},
      {kDiskA, exclusive, kDiskA, exclusive, kErrorSharingViolation},
      {kDiskA, exclusive, volume, shared, kErrorSharingViolation},
      {volume, shared, kDiskA, exclusive, kErrorSharingViolation},  // volume handles count
      {volume, shared, kDiskA, shared, 0},
      {volume, exclusive, volume, shared, kErrorSharingViolation},
      {volume, exclusive, kDiskA, shared, 0},
      {kDiskA, exclusive, kDiskB, exclusive, 0},  // other disks are not affected
  };
  mustAdd(diskSpec(kDiskB, kMiB, 4));
  for (const auto& c : cases) {
    DevHandle first = open(c.firstPath, c.first);
    uint32_t error = 99;
    DevHandle second = devOpen(c.secondPath, c.second, &error);
    EXPECT_EQ(error, c.expected) << c.firstPath << " then " << c.secondPath;
    EXPECT_EQ(isValidDevHandle(second), c.expected == 0);
    devClose(second);
    devClose(first);
    // Once everything is closed the disk opens exclusively again.
    DevHandle again = open(kDiskA, exclusive);
    devClose(again);
  }
}

TEST_F(SimDisks, ClosedAndInvalidHandlesFail) {
  DevHandle h = open(kDiskA);
  DevHandle other = open(kDiskA);
  EXPECT_NE(h, nullptr);
  EXPECT_NE(h, invalidDevHandle());
  EXPECT_NE(h, other);
  devClose(h);
  Block block(512);
  int64_t length = -5;
  uint8_t address[8];
  // A closed handle gets what the system says about it; an invalid one is refused up front.
  for (DevHandle bad : {h, invalidDevHandle(), DevHandle(nullptr)}) {
    const uint32_t expected = bad == h ? sim::kErrorInvalidHandle : kErrorFileNotFound;
    EXPECT_EQ(devWrite(bad, 0, block.data(), 512), expected);
    EXPECT_EQ(queryDiskLength(bad, &length), expected);
    EXPECT_EQ(deleteDriveLayout(bad), expected);
    EXPECT_EQ(queryDeviceNumber(bad), -1);
    EXPECT_EQ(querySectorSize(bad), 0u);
    EXPECT_FALSE(queryScsiAddress(bad, address));
    EXPECT_TRUE(queryStorageDescriptor(bad).empty());
  }
  EXPECT_EQ(length, -5);
  devClose(h);  // closing twice is harmless
  EXPECT_EQ(querySectorSize(other), 512u);
  devClose(other);
}

TEST_F(SimDisks, AnswersTheQueriesFromItsSpec) {
  auto spec = diskSpec(kDiskB, 4096 * 100, 9);
  spec.sectorSize = 4096;
  spec.busType = 11;
  spec.removableMedia = 1;
  spec.scsiTarget = 5;
  spec.scsiLun = 2;
  const sim::DiskId b = mustAdd(spec);
  spec = diskSpec("\\\\?\\ide#cdrom", 2048 * 10, 0);
  spec.deviceType = sim::kDeviceTypeCdRom;
  mustAdd(spec);

  DevHandle h = open(kDiskB);
  EXPECT_EQ(queryDeviceNumber(h), 9);
  EXPECT_EQ(querySectorSize(h), 4096u);
  int64_t length = 0;
  EXPECT_EQ(queryDiskLength(h, &length), 0u);
  EXPECT_EQ(length, 409600);
  uint8_t address[8] = {};
  ASSERT_TRUE(queryScsiAddress(h, address));
  EXPECT_EQ(address[6], 5);
  EXPECT_EQ(address[7], 2);
  StorageDescriptorInfo info;
  ASSERT_TRUE(readStorageDescriptor(queryStorageDescriptor(h), &info));
  EXPECT_EQ(info.busType, 11);
  EXPECT_EQ(info.removableMedia, 1);
  EXPECT_EQ(info.vendorId, "SUNNYWL");
  EXPECT_EQ(info.productId, "Bay Disk");
  EXPECT_EQ(sim::requestCount(b, sim::Request::descriptor), 1u);
  devClose(h);

  h = open("\\\\?\\IDE#CDROM");
  EXPECT_EQ(queryDeviceNumber(h), -1);  // not a disk
  devClose(h);
}

TEST_F(SimDisks, RefusesBadSpecs) {
  auto good = diskSpec("\\\\?\\x", 4096);
  auto spec = good;
  spec.path = "";
  EXPECT_EQ(sim::addDisk(spec), sim::kNone);
  spec = good;
  spec.path = kDiskA;  // taken
  EXPECT_EQ(sim::addDisk(spec), sim::kNone);
  spec = good;
  spec.length = 4000;  // not whole sectors
  EXPECT_EQ(sim::addDisk(spec), sim::kNone);
  spec = good;
  spec.volumes = {letter('e')};  // taken letter
  EXPECT_EQ(sim::addDisk(spec), sim::kNone);
  spec = good;
  spec.backing = sim::Backing::sparseFile;  // no file named
  EXPECT_EQ(sim::addDisk(spec), sim::kNone);
  EXPECT_NE(sim::addDisk(good), sim::kNone);
  EXPECT_FALSE(sim::addVolume(a_, letter('E')));
  EXPECT_TRUE(sim::addVolume(a_, letter('f')));
  EXPECT_FALSE(sim::addVolume(a_, letter('f')));
}

TEST_F(SimDisks, WritesAreCheckedLikeADisk) {
  Block block(2 * 512 + 1, 0xAB);
  struct Case {
    const char* what;
    bool exclusive;
    uint64_t offset;
    uint32_t size;
    uint32_t dataShift;
    uint32_t expected;
  } cases[] = {
      {"inside", true, 0, 1024, 0, 0},
      {"last sector", true, 8 * kMiB - 512, 512, 0, 0},
      {"straddles the end", true, 8 * kMiB - 512, 1024, 0, kErrorInvalidParameter},
      {"past the end", true, 8 * kMiB, 512, 0, kErrorInvalidParameter},
      {"far past the end", true, ~uint64_t(0) - 100, 512, 0, kErrorInvalidParameter},
      {"offset not a sector", true, 100, 512, 0, kErrorInvalidParameter},
      {"size not a sector", true, 0, 513, 0, kErrorInvalidParameter},
      {"data not aligned", true, 0, 512, 1, kErrorInvalidParameter},
      {"nothing", true, 0, 0, 0, 0},
      {"shared handle, any alignment", false, 100, 513, 1, 0},
  };
  for (const auto& c : cases) {
    DevHandle h = open(kDiskA, c.exclusive ? DevOpenMode::exclusiveUnbuffered : DevOpenMode::shared);
    const uint64_t before = sim::bytesWritten(a_);
    EXPECT_EQ(devWrite(h, c.offset, block.data() + c.dataShift, c.size), c.expected) << c.what;
    EXPECT_EQ(sim::bytesWritten(a_) - before, c.expected == 0 ? c.size : 0u) << c.what;
    devClose(h);
  }
  DevHandle volume = open("\\\\.\\e:");
  EXPECT_EQ(devWrite(volume, 0, block.data(), 512), kErrorAccessDenied);
  EXPECT_EQ(deleteDriveLayout(volume), sim::kErrorInvalidFunction);
  devClose(volume);
}

TEST_F(SimDisks, MemoryDiskKeepsEveryByte) {
  auto spec = diskSpec(kDiskB, 64 * 512, 4);
  spec.recordWrites = true;
  const sim::DiskId b = mustAdd(spec);
  DevHandle h = open(kDiskB, DevOpenMode::exclusiveUnbuffered);
  Block ones(1024, 0x11), twos(512, 0x22);
  ASSERT_EQ(devWrite(h, 512, ones.data(), 1024), 0u);
  ASSERT_EQ(devWrite(h, 1024, twos.data(), 512), 0u);
  devClose(h);

  const auto bytes = sim::readBytes(b, 0, 2048);
  ASSERT_EQ(bytes.size(), 2048u);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t expected = i < 512 ? 0 : i < 1024 ? 0x11 : i < 1536 ? 0x22 : 0;
    ASSERT_EQ(bytes[i], expected) << i;
  }
  EXPECT_TRUE(sim::readBytes(b, 64 * 512 - 1, 2).empty());
  EXPECT_EQ(sim::writeCount(b), 2u);
  EXPECT_EQ(sim::bytesWritten(b), 1536u);
  EXPECT_EQ(sim::writeLog(b), (std::vector<sim::WriteRecord>{{512, 1024, false}, {1024, 512, false}}));
  EXPECT_EQ(sim::coverage(b), (std::vector<sim::ByteRange>{{512, 1536}}));
}

TEST_F(SimDisks, DiscardingDiskKeepsMergedCoverage) {
  constexpr uint64_t kTwoTB = 2ull << 40;
  const sim::DiskId big = mustAdd(diskSpec(kDiskB, kTwoTB, 4, sim::Backing::discarding));
  DevHandle h = open(kDiskB, DevOpenMode::exclusiveUnbuffered);
  Block block(4 * kMiB);  // the largest write below
  auto write = [&](uint64_t offset, uint32_t size) {
    ASSERT_EQ(devWrite(h, offset, block.data(), size), 0u);
  };
  using R = std::vector<sim::ByteRange>;
  write(kTwoTB - kMiB, kMiB);
  EXPECT_EQ(sim::coverage(big), (R{{kTwoTB - kMiB, kTwoTB}}));
  write(4 * kMiB, kMiB);
  write(0, kMiB);
  EXPECT_EQ(sim::coverage(big), (R{{0, kMiB}, {4 * kMiB, 5 * kMiB}, {kTwoTB - kMiB, kTwoTB}}));
  write(kMiB, 512);       // touches the first range
  write(3 * kMiB, kMiB);  // touches the second from below
  write(2 * kMiB, kMiB);  // bridges the gap between them
  EXPECT_EQ(sim::coverage(big), (R{{0, kMiB + 512}, {2 * kMiB, 5 * kMiB}, {kTwoTB - kMiB, kTwoTB}}));
  write(0, 4 * kMiB);  // swallows a gap and overlaps
  EXPECT_EQ(sim::coverage(big), (R{{0, 5 * kMiB}, {kTwoTB - kMiB, kTwoTB}}));
  EXPECT_EQ(sim::bytesWritten(big), 9 * uint64_t(kMiB) + 512);  // overlaps count every time
  EXPECT_EQ(sim::writeCount(big), 7u);

  // A whole disk written in blocks, in any order, is one range.
  const sim::DiskId whole = mustAdd(diskSpec("\\\\?\\whole", 64 * kMiB, 5, sim::Backing::discarding));
  DevHandle w = open("\\\\?\\whole", DevOpenMode::exclusiveUnbuffered);
  for (uint64_t i = 64; i-- > 0;) ASSERT_EQ(devWrite(w, i * kMiB, block.data(), kMiB), 0u);
  EXPECT_EQ(sim::coverage(whole), (R{{0, 64 * kMiB}}));
  devClose(w);
  devClose(h);
}

TEST_F(SimDisks, FileDiskRoundTrips) {
  const auto dir = std::filesystem::temp_directory_path();
  for (bool unbuffered : {false, true}) {
    sim::reset();
    const std::string path =
        (dir / (unbuffered ? "velmora-sim-direct.bin" : "velmora-sim-cached.bin")).string();
    auto spec = diskSpec(kDiskB, 16 * kMiB, 4, sim::Backing::sparseFile);
    spec.filePath = path;
    spec.fileUnbuffered = unbuffered;
    const sim::DiskId b = mustAdd(spec);
    ASSERT_NE(b, sim::kNone);
    EXPECT_EQ(std::filesystem::file_size(path), 16u * kMiB);
    if (!unbuffered) {
      EXPECT_FALSE(sim::usesDirectIo(b));
    }

    DevHandle h = open(kDiskB, DevOpenMode::exclusiveUnbuffered);
    Block block(kMiB);
    for (uint32_t i = 0; i < kMiB; ++i) block.data()[i] = uint8_t(i * 7 + 3);
    ASSERT_EQ(devWrite(h, 15 * kMiB, block.data(), kMiB), 0u);
    ASSERT_EQ(devWrite(h, 512, block.data(), 512), 0u);  // too small for the uncached route
    devClose(h);
    EXPECT_EQ(sim::readBytes(b, 15 * kMiB, kMiB), block.bytes());
    auto head = sim::readBytes(b, 0, 1024);
    ASSERT_EQ(head.size(), 1024u);
    EXPECT_EQ(std::vector<uint8_t>(head.begin(), head.begin() + 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(std::vector<uint8_t>(head.begin() + 512, head.end()),
              std::vector<uint8_t>(block.data(), block.data() + 512));
    sim::reset();  // closes the file
    std::filesystem::remove(path);
  }
}

TEST_F(SimDisks, RequestFaultsFailTheirRequestOnly) {
  DevHandle h = open(kDiskA);
  uint8_t address[8], identify[512];
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, 0x28, 0};
  const uint8_t ataIdentify[12] = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};
  const uint8_t registers[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
  auto passIn = [&](const uint8_t* cdb, uint8_t n) {
    uint32_t length = 512;
    return scsiPassThroughIn(h, 0, 0, 0, cdb, n, identify, &length);
  };
  auto openWorks = [&] {
    uint32_t error = 0;
    DevHandle o = devOpen(kDiskA, DevOpenMode::shared, &error);
    devClose(o);
    return error == 0;
  };
  int64_t length = 0;
  struct Case {
    sim::Request request;
    std::function<bool()> works;
  } cases[] = {
      {sim::Request::open, openWorks},
      {sim::Request::deviceNumber, [&] { return queryDeviceNumber(h) == 3; }},
      {sim::Request::geometry, [&] { return querySectorSize(h) == 512; }},
      {sim::Request::length, [&] { return queryDiskLength(h, &length) == 0; }},
      {sim::Request::scsiAddress, [&] { return queryScsiAddress(h, address); }},
      {sim::Request::descriptor, [&] { return !queryStorageDescriptor(h).empty(); }},
      {sim::Request::passThrough, [&] { return passIn(inquiry, 6); }},
      {sim::Request::inquiry, [&] { return passIn(inquiry, 6); }},
      {sim::Request::ataIdentify, [&] { return passIn(ataIdentify, 12); }},
      {sim::Request::miniport, [&] { return miniportIdentify(h, 0, registers, identify, 512) == 0; }},
      {sim::Request::smart, [&] { return smartIdentify(h, identify); }},
      {sim::Request::deleteLayout, [&] { return deleteDriveLayout(h) == 0; }},
  };
  for (const auto& c : cases) {
    const uint32_t before = sim::requestCount(a_, c.request);
    sim::failRequest(a_, c.request, {kErrorIoDevice, sim::kScsiCheckCondition, 2});
    EXPECT_FALSE(c.works()) << int(c.request);
    EXPECT_FALSE(c.works()) << int(c.request);
    EXPECT_TRUE(c.works()) << int(c.request);  // the fault was for two requests
    EXPECT_EQ(sim::requestCount(a_, c.request), before + 3) << int(c.request);
    sim::failRequest(a_, c.request);
    EXPECT_FALSE(c.works()) << int(c.request);
    sim::clearFault(a_, c.request);
    EXPECT_TRUE(c.works()) << int(c.request);
  }
  devClose(h);
}

TEST_F(SimDisks, FaultsCarryTheirErrorCodes) {
  dismountE();
  sim::failRequest(a_, sim::Request::open, {kErrorAccessDenied});
  uint32_t error = 0;
  EXPECT_FALSE(isValidDevHandle(devOpen(kDiskA, DevOpenMode::shared, &error)));
  EXPECT_EQ(error, kErrorAccessDenied);
  sim::clearFault(a_, sim::Request::open);
  DevHandle h = open(kDiskA, DevOpenMode::exclusiveUnbuffered);
  sim::failRequest(a_, sim::Request::length, {kErrorNotReady});
  sim::failRequest(a_, sim::Request::deleteLayout, {kErrorAccessDenied});
  int64_t length = 0;
  EXPECT_EQ(queryDiskLength(h, &length), kErrorNotReady);
  EXPECT_EQ(deleteDriveLayout(h), kErrorAccessDenied);
  EXPECT_EQ(sim::layoutDeletions(a_), 0u);
  const uint8_t registers[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
  uint8_t out[512];
  sim::failRequest(a_, sim::Request::miniport, {kErrorNotReady});
  EXPECT_EQ(miniportIdentify(h, 0, registers, out, 512), kErrorNotReady);

  // A bad byte fails every write that covers it, and only those.
  sim::failWritesAt(a_, 3 * kMiB + 100);
  sim::failWritesAt(a_, 5 * kMiB, kErrorIoDevice);
  Block block(kMiB);
  EXPECT_EQ(devWrite(h, 2 * kMiB, block.data(), kMiB), 0u);
  EXPECT_EQ(devWrite(h, 3 * kMiB, block.data(), kMiB), kErrorCrc);
  EXPECT_EQ(devWrite(h, 3 * kMiB, block.data(), kMiB), kErrorCrc);
  EXPECT_EQ(devWrite(h, 3 * kMiB + 512, block.data(), 512), 0u);
  EXPECT_EQ(devWrite(h, 4 * kMiB, block.data(), kMiB), 0u);  // ends right before the bad byte
  EXPECT_EQ(devWrite(h, 5 * kMiB, block.data(), 512), kErrorIoDevice);
  EXPECT_EQ(sim::writeCount(a_), 3u);
  sim::clearWriteFaults(a_);
  EXPECT_EQ(devWrite(h, 3 * kMiB, block.data(), kMiB), 0u);
  devClose(h);
}

TEST_F(SimDisks, DeletingTheLayoutTakesOnlyDismountedVolumes) {
  sim::VolumeSpec second;
  second.letter = 'f';
  second.totalBytes = kMiB / 2;  // after e: 7 MiB to 7.5 MiB
  ASSERT_TRUE(sim::addVolume(a_, second));
  DevHandle f = open("\\\\.\\f:");
  ASSERT_EQ(dismountVolume(f), 0u);
  DevHandle h = open(kDiskA);
  EXPECT_EQ(deleteDriveLayout(h), 0u);
  EXPECT_EQ(sim::layoutDeletions(a_), 1u);
  // The file system keeps e: mounted, and its sectors stay guarded.
  EXPECT_EQ(sim::findVolume('e', nullptr), a_);
  Block block(512);
  EXPECT_EQ(devWrite(h, kMiB, block.data(), 512), kErrorAccessDenied);
  EXPECT_EQ(sim::findVolume('f', nullptr), sim::kNone);
  EXPECT_EQ(queryDeviceNumber(f), -1);  // the volume is gone
  EXPECT_EQ(devWrite(h, 7 * kMiB, block.data(), 512), 0u);
  uint32_t error = 0;
  EXPECT_FALSE(isValidDevHandle(devOpen("\\\\.\\f:", DevOpenMode::shared, &error)));
  devClose(f);
  devClose(h);
}

TEST_F(SimDisks, UnpluggedDiskFailsEveryRequest) {
  DevHandle h = open(kDiskA);
  DevHandle volume = open("\\\\.\\e:");
  sim::unplug(a_);
  Block block(512);
  int64_t length = 0;
  uint8_t identify[512];
  EXPECT_EQ(devWrite(h, 0, block.data(), 512), kErrorDeviceNotConnected);
  EXPECT_EQ(queryDiskLength(h, &length), kErrorDeviceNotConnected);
  EXPECT_EQ(queryDiskLength(volume, &length), kErrorDeviceNotConnected);
  EXPECT_EQ(deleteDriveLayout(h), kErrorDeviceNotConnected);
  EXPECT_EQ(queryDeviceNumber(h), -1);
  EXPECT_FALSE(smartIdentify(h, identify));
  uint32_t error = 0;
  EXPECT_FALSE(isValidDevHandle(devOpen(kDiskA, DevOpenMode::shared, &error)));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(sim::openHandleCount(a_), 0);

  // Plugged in again, the disk opens anew (even exclusively); old handles stay dead.
  sim::replug(a_);
  DevHandle fresh = open(kDiskA, DevOpenMode::exclusiveUnbuffered);
  EXPECT_EQ(devWrite(h, 0, block.data(), 512), kErrorDeviceNotConnected);
  EXPECT_EQ(devWrite(fresh, 0, block.data(), 512), 0u);
  for (DevHandle x : {h, volume, fresh}) devClose(x);
}

TEST_F(SimDisks, UnplugsAfterBytesWritten) {
  dismountE();
  DevHandle h = open(kDiskA, DevOpenMode::exclusiveUnbuffered);
  Block block(kMiB);
  sim::unplugAfterBytes(a_, 2 * kMiB + 1);
  EXPECT_EQ(devWrite(h, 0, block.data(), kMiB), 0u);
  EXPECT_EQ(devWrite(h, kMiB, block.data(), kMiB), 0u);
  EXPECT_TRUE(sim::isPlugged(a_));
  EXPECT_EQ(devWrite(h, 2 * kMiB, block.data(), kMiB), 0u);  // crosses the mark and lands
  EXPECT_FALSE(sim::isPlugged(a_));
  EXPECT_EQ(devWrite(h, 3 * kMiB, block.data(), kMiB), kErrorDeviceNotConnected);
  EXPECT_EQ(sim::bytesWritten(a_), 3u * kMiB);
  devClose(h);
}

TEST_F(SimDisks, WriteHookSeesEverySuccessfulWrite) {
  dismountE();
  std::vector<std::pair<sim::DiskId, uint64_t>> seen;
  sim::setWriteHook([&](sim::DiskId disk, uint64_t total) {
    seen.emplace_back(disk, total);
    if (total >= 2 * kMiB) sim::unplug(disk);  // the hook may act on the simulator
  });
  DevHandle h = open(kDiskA, DevOpenMode::exclusiveUnbuffered);
  Block block(kMiB);
  EXPECT_EQ(devWrite(h, 0, block.data(), kMiB), 0u);
  EXPECT_EQ(devWrite(h, 8 * kMiB, block.data(), kMiB), kErrorInvalidParameter);  // not seen
  EXPECT_EQ(devWrite(h, kMiB, block.data(), kMiB), 0u);
  EXPECT_EQ(devWrite(h, 2 * kMiB, block.data(), kMiB), kErrorDeviceNotConnected);
  using Seen = std::vector<std::pair<sim::DiskId, uint64_t>>;
  EXPECT_EQ(seen, (Seen{{a_, kMiB}, {a_, 2 * kMiB}}));
  sim::setWriteHook(nullptr);
  devClose(h);
}

TEST_F(SimDisks, ResetForgetsEverything) {
  DevHandle h = open(kDiskA);
  sim::reset();
  EXPECT_TRUE(sim::disks().empty());
  EXPECT_EQ(queryDeviceNumber(h), -1);
  uint32_t error = 0;
  EXPECT_FALSE(isValidDevHandle(devOpen(kDiskA, DevOpenMode::shared, &error)));
  EXPECT_EQ(sim::findVolume('e', nullptr), sim::kNone);
}

}  // namespace
