// The simulator's docking stations and IDENTIFY routes: INQUIRY, the bay query, the mode command
// and the mirroring of writes between bays.
#include <set>

#include "Simtest.h"

using namespace simtest;

namespace {

const uint8_t kInquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x28, 0x00};
const uint8_t kBayQuery[12] = {0xFE, 0x04, 0x67, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const uint8_t kAtaIdentify[12] = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};

std::string bayPath(int bay) { return "\\\\?\\usbstor#disk&ven_sunnywl#bay" + std::to_string(bay); }

bool sendMode(const std::string& path, uint8_t value) {
  uint32_t error = 0;
  DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, &error);
  const uint8_t cdb[12] = {0xFE, 0x04, 0x64, value, 0, 0, 0, 0, 0, 0, 0, 0};
  uint32_t length = 0;
  const bool ok = scsiPassThroughOut(h, 0, 0, 0, cdb, 12, nullptr, &length);
  devClose(h);
  return ok;
}

std::vector<uint8_t> askIn(const std::string& path, const uint8_t* cdb, uint8_t cdbLength, uint32_t size,
                           bool* ok) {
  uint32_t error = 0;
  DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, &error);
  std::vector<uint8_t> data(size, 0);
  uint32_t length = size;
  *ok = scsiPassThroughIn(h, 0, 0, 0, cdb, cdbLength, data.data(), &length);
  devClose(h);
  data.resize(*ok ? length : 0);
  return data;
}

class SimStation : public SimTest {
 protected:
  // A station of the model with disks in the given bays; bay n's disk is (n + 2) MiB long.
  sim::StationId build(sim::StationModel model, std::vector<int> bays,
                       sim::BayReplyForm form = sim::BayReplyForm::jm) {
    const sim::StationId st = sim::addStation({model, form, 0x4711});
    for (int bay : bays) {
      disk_[bay] = mustAdd(diskSpec(bayPath(bay), uint64_t(bay + 2) * kMiB, uint32_t(bay + 1)));
      EXPECT_TRUE(sim::insertDisk(st, bay, disk_[bay]));
    }
    return st;
  }

  sim::DiskId disk_[6] = {sim::kNone, sim::kNone, sim::kNone, sim::kNone, sim::kNone, sim::kNone};
};

TEST_F(SimStation, InquiryNamesTheModelOnlyInAStation) {
  for (auto model : {sim::StationModel::sywl, sim::StationModel::syw2, sim::StationModel::syw4}) {
    sim::reset();
    build(model, {1});
    mustAdd(diskSpec("\\\\?\\usbstor#loose", kMiB, 9));
    bool ok = false;
    auto reply = askIn(bayPath(1), kInquiry, 6, 40, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(std::string(reply.begin() + 36, reply.end()), sim::modelText(model));
    EXPECT_EQ(std::string(reply.begin() + 8, reply.begin() + 15), "SUNNYWL");

    // A disk outside a station gives the usual 36 bytes: bytes 36 to 39 stay as they were.
    reply = askIn("\\\\?\\usbstor#loose", kInquiry, 6, 40, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(reply.size(), 36u);
  }
  // The allocation length limits the reply.
  const uint8_t shortInquiry[6] = {0x12, 0, 0, 0, 0x10, 0};
  bool ok = false;
  EXPECT_EQ(askIn(bayPath(1), shortInquiry, 6, 40, &ok).size(), 16u);
}

TEST_F(SimStation, BayQueryAnswersInTheStationsForm) {
  struct Case {
    sim::StationModel model;
    sim::BayReplyForm form;
    int bay;
    std::vector<uint8_t> reply;
  } cases[] = {
      {sim::StationModel::sywl, sim::BayReplyForm::jm, 3, {0x4A, 0x4D, 0x00, 0x03}},
      {sim::StationModel::sywl, sim::BayReplyForm::plain, 5, {0x00, 0x05, 0x00, 0x00}},
      {sim::StationModel::syw2, sim::BayReplyForm::jm, 0, {0x4A, 0x4D, 0x00, 0x00}},
      {sim::StationModel::syw4, sim::BayReplyForm::plain, 1, {0x00, 0x01, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    sim::reset();
    build(c.model, {c.bay}, c.form);
    bool ok = false;
    EXPECT_EQ(askIn(bayPath(c.bay), kBayQuery, 12, 4, &ok), c.reply) << c.bay;
    EXPECT_TRUE(ok);
  }
  // Only station disks know the command.
  mustAdd(diskSpec("\\\\?\\usbstor#loose", kMiB, 9));
  bool ok = true;
  askIn("\\\\?\\usbstor#loose", kBayQuery, 12, 4, &ok);
  EXPECT_FALSE(ok);
}

TEST_F(SimStation, IdentifyAnswersOnEveryRoute) {
  auto spec = diskSpec("\\\\?\\usbstor#ata", kMiB);
  sim::setIdentifyModel(spec.identify, "WDC WD20EZRX-00D8PB0");
  sim::setIdentifySerial(spec.identify, "WD-WCC4M1234567");
  sim::setIdentifyRotation(spec.identify, 5400);
  spec.scsiTarget = 2;
  const sim::DiskId d = mustAdd(spec);
  EXPECT_EQ(spec.identify[27], uint16_t('W' << 8 | 'D'));  // first character in the high byte
  EXPECT_EQ(spec.identify[46], uint16_t(' ' << 8 | ' '));  // padded with spaces

  const auto expected = sim::identifyBytes(spec.identify);
  const std::vector<uint8_t> want(expected.begin(), expected.end());
  bool ok = false;
  EXPECT_EQ(askIn(spec.path, kAtaIdentify, 12, 512, &ok), want);
  EXPECT_TRUE(ok);
  EXPECT_EQ(want[2 * 217], 5400 & 0xFF);
  EXPECT_EQ(want[2 * 217 + 1], 5400 >> 8);

  uint32_t error = 0;
  DevHandle h = devOpen(spec.path.c_str(), DevOpenMode::shared, &error);
  std::vector<uint8_t> out(512);
  ASSERT_TRUE(smartIdentify(h, out.data()));
  EXPECT_EQ(out, want);
  const uint8_t registers[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
  std::fill(out.begin(), out.end(), 0);
  EXPECT_EQ(miniportIdentify(h, 2, registers, out.data(), 512), 0u);
  EXPECT_EQ(out, want);
  EXPECT_EQ(miniportIdentify(h, 0, registers, out.data(), 512), kErrorIoDevice);  // no drive at target 0
  EXPECT_EQ(miniportIdentify(h, 2, registers, nullptr, 512), kErrorInvalidParameter);
  // Another ATA command through the pass-through is not answered.
  uint8_t other[12];
  std::copy(kAtaIdentify, kAtaIdentify + 12, other);
  other[9] = 0xEF;
  uint32_t length = 512;
  EXPECT_FALSE(scsiPassThroughIn(h, 0, 0, 0, other, 12, out.data(), &length));
  devClose(h);
  EXPECT_EQ(sim::requestCount(d, sim::Request::ataIdentify), 1u);
  EXPECT_EQ(sim::requestCount(d, sim::Request::passThrough), 2u);
}

TEST_F(SimStation, ModeCommandValuesPerModel) {
  using M = sim::BayMode;
  struct Case {
    sim::StationModel model;
    uint8_t value;
    bool accepted;
    M mode;
  } cases[] = {
      {sim::StationModel::sywl, 2, true, M::independent},
      {sim::StationModel::sywl, 1, true, M::mirrorAllBays},
      {sim::StationModel::sywl, 0, true, M::mirrorFromSecondBay},
      {sim::StationModel::sywl, 3, false, M::mirrorAllBays},
      {sim::StationModel::syw2, 2, true, M::independent},
      {sim::StationModel::syw2, 1, true, M::mirrorAllBays},
      {sim::StationModel::syw2, 0, true, M::mirrorFromSecondBay},
      {sim::StationModel::syw4, 2, true, M::independent},
      {sim::StationModel::syw4, 0, true, M::mirrorAllBays},
      {sim::StationModel::syw4, 1, false, M::mirrorAllBays},
      {sim::StationModel::syw4, 0xFF, false, M::mirrorAllBays},
  };
  for (const auto& c : cases) {
    sim::reset();
    const sim::StationId st = build(c.model, {0, 1});
    EXPECT_EQ(sim::stationMode(st), M::independent);  // stations start independent
    // From a mirroring start, so that a refused command visibly changes nothing.
    ASSERT_TRUE(sendMode(bayPath(1), c.model == sim::StationModel::syw4 ? 0 : 1));
    EXPECT_EQ(sendMode(bayPath(0), c.value), c.accepted) << int(c.model) << " " << int(c.value);
    EXPECT_EQ(sim::stationMode(st), c.mode) << int(c.model) << " " << int(c.value);
    EXPECT_EQ(sim::modeCommands(st).back(), c.value);
  }
  // Loose disks refuse the command.
  mustAdd(diskSpec("\\\\?\\usbstor#loose", kMiB, 9));
  EXPECT_FALSE(sendMode("\\\\?\\usbstor#loose", 2));
}

TEST_F(SimStation, BusyOrRefusedModeCommandChangesNothing) {
  const sim::StationId st = build(sim::StationModel::syw2, {0, 1});
  sim::failModeCommand(st, {0, sim::kScsiBusy, 1});
  EXPECT_FALSE(sendMode(bayPath(0), 1));
  EXPECT_EQ(sim::stationMode(st), sim::BayMode::independent);
  EXPECT_TRUE(sendMode(bayPath(0), 1));  // busy only once
  EXPECT_EQ(sim::stationMode(st), sim::BayMode::mirrorAllBays);
  sim::failModeCommand(st, {0, sim::kScsiCheckCondition, -1});
  EXPECT_FALSE(sendMode(bayPath(0), 2));
  EXPECT_FALSE(sendMode(bayPath(1), 2));
  EXPECT_EQ(sim::stationMode(st), sim::BayMode::mirrorAllBays);
  sim::clearModeCommandFault(st);
  EXPECT_TRUE(sendMode(bayPath(1), 2));
  EXPECT_EQ(sim::modeCommands(st), (std::vector<uint8_t>{1, 1, 2, 2, 2}));
}

// Which bays a write sent to one bay reaches, for every model and mode.
TEST_F(SimStation, MirrorsWritesAsTheModeSays) {
  using S = std::set<int>;
  struct Case {
    sim::StationModel model;
    uint8_t value;
    int writtenBay;
    S reached;
  } cases[] = {
      // Bays 0, 1, 3 and 5 occupied on the six-bay station.
      {sim::StationModel::sywl, 2, 0, {0}},
      {sim::StationModel::sywl, 2, 3, {3}},
      {sim::StationModel::sywl, 1, 0, {0, 1, 3, 5}},
      {sim::StationModel::sywl, 1, 5, {0, 1, 3, 5}},
      {sim::StationModel::sywl, 0, 0, {0}},
      {sim::StationModel::sywl, 0, 1, {1, 3, 5}},
      {sim::StationModel::sywl, 0, 3, {1, 3, 5}},
      {sim::StationModel::syw2, 2, 1, {1}},
      {sim::StationModel::syw2, 1, 0, {0, 1}},
      {sim::StationModel::syw2, 1, 1, {0, 1}},
      {sim::StationModel::syw2, 0, 0, {0}},
      {sim::StationModel::syw2, 0, 1, {1}},
      {sim::StationModel::syw4, 2, 0, {0}},
      {sim::StationModel::syw4, 2, 1, {1}},  // mirrorFromSecondBay sends 2: independent
      {sim::StationModel::syw4, 0, 0, {0, 1}},
      {sim::StationModel::syw4, 0, 1, {0, 1}},
  };
  for (const auto& c : cases) {
    sim::reset();
    const std::vector<int> bays =
        c.model == sim::StationModel::sywl ? std::vector<int>{0, 1, 3, 5} : std::vector<int>{0, 1};
    build(c.model, bays);
    ASSERT_TRUE(sendMode(bayPath(bays[0]), c.value));
    uint32_t error = 0;
    DevHandle h = devOpen(bayPath(c.writtenBay).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
    Block block(4096, 0x5A);
    ASSERT_EQ(devWrite(h, kMiB, block.data(), 4096), 0u);
    devClose(h);
    for (int bay : bays) {
      const bool reached = c.reached.count(bay) != 0;
      const auto bytes = sim::readBytes(disk_[bay], kMiB, 4096);
      EXPECT_EQ(bytes, std::vector<uint8_t>(4096, reached ? 0x5A : 0))
          << "model " << int(c.model) << " value " << int(c.value) << " to bay " << c.writtenBay << ", bay "
          << bay;
      EXPECT_EQ(sim::bytesWritten(disk_[bay]), reached ? 4096u : 0u);
    }
  }
}

TEST_F(SimStation, MirroredCopiesStopAtEachDisksEnd) {
  // Bay 0 is 2 MiB, bay 1 is 3 MiB, bay 2 is 4 MiB; writes go to the longest.
  for (auto& d : disk_) d = sim::kNone;
  const sim::StationId st = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 0});
  for (int bay = 0; bay < 3; ++bay) {
    auto spec = diskSpec(bayPath(bay), uint64_t(bay + 2) * kMiB, uint32_t(bay + 1));
    spec.recordWrites = true;
    disk_[bay] = mustAdd(spec);
    ASSERT_TRUE(sim::insertDisk(st, bay, disk_[bay]));
  }
  ASSERT_TRUE(sendMode(bayPath(0), 1));
  uint32_t error = 0;
  DevHandle h = devOpen(bayPath(2).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  Block block(kMiB + 512 * 2, 0x77);
  ASSERT_EQ(devWrite(h, 2 * kMiB - 512, block.data(), kMiB + 1024), 0u);
  devClose(h);

  using W = std::vector<sim::WriteRecord>;
  EXPECT_EQ(sim::writeLog(disk_[0]), (W{{2 * kMiB - 512, 512, true}}));
  EXPECT_EQ(sim::writeLog(disk_[1]), (W{{2 * kMiB - 512, kMiB + 512, true}}));
  EXPECT_EQ(sim::writeLog(disk_[2]), (W{{2 * kMiB - 512, kMiB + 1024, false}}));
  EXPECT_EQ(sim::readBytes(disk_[1], 3 * kMiB - 512, 512), std::vector<uint8_t>(512, 0x77));
  EXPECT_EQ(sim::coverage(disk_[0]), (std::vector<sim::ByteRange>{{2 * kMiB - 512, 2 * kMiB}}));
}

TEST_F(SimStation, MirroringReachesDisksHeldByOthersButNotUnpluggedOnes) {
  build(sim::StationModel::sywl, {0, 1, 2});
  ASSERT_TRUE(sendMode(bayPath(0), 1));
  uint32_t error = 0;
  DevHandle held = devOpen(bayPath(1).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  ASSERT_EQ(error, 0u);
  DevHandle h = devOpen(bayPath(0).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  sim::unplug(disk_[2]);
  Block block(512, 0x33);
  ASSERT_EQ(devWrite(h, 0, block.data(), 512), 0u);
  EXPECT_EQ(sim::readBytes(disk_[1], 0, 512), block.bytes());
  EXPECT_EQ(sim::bytesWritten(disk_[2]), 0u);

  // A bad sector on a disk the write reaches fails the whole write.
  sim::failWritesAt(disk_[1], 1024);
  EXPECT_EQ(devWrite(h, 1024, block.data(), 512), kErrorCrc);
  EXPECT_EQ(sim::bytesWritten(disk_[0]), 512u);
  devClose(h);
  devClose(held);
}

TEST_F(SimStation, DroppingStationTakesTheModeAndMakesNoCopies) {
  const sim::StationId st = build(sim::StationModel::sywl, {0, 1});
  sim::dropMirrorCopies(st, true);
  ASSERT_TRUE(sendMode(bayPath(0), 1));
  EXPECT_EQ(sim::stationMode(st), sim::BayMode::mirrorAllBays);
  uint32_t error = 0;
  DevHandle h = devOpen(bayPath(0).c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  Block block(kMiB, 0x5A);
  EXPECT_EQ(devWrite(h, 0, block.data(), kMiB), 0u);
  EXPECT_EQ(sim::readBytes(disk_[0], 0, kMiB), block.bytes());
  EXPECT_EQ(sim::readBytes(disk_[1], 0, kMiB), std::vector<uint8_t>(kMiB, 0));
  EXPECT_EQ(sim::bytesWritten(disk_[1]), 0u);  // nothing reached it
  EXPECT_TRUE(sim::coverage(disk_[1]).empty());
  sim::dropMirrorCopies(st, false);
  EXPECT_EQ(devWrite(h, 0, block.data(), kMiB), 0u);
  EXPECT_EQ(sim::readBytes(disk_[1], 0, kMiB), block.bytes());
  devClose(h);
}

TEST_F(SimStation, StationGivesItsDisksItsParent) {
  const sim::StationId st = build(sim::StationModel::syw2, {0, 1});
  EXPECT_EQ(sim::diskSpec(disk_[0]).parentInstance, 0x4711u);
  EXPECT_EQ(sim::diskSpec(disk_[1]).parentInstance, 0x4711u);
  EXPECT_EQ(sim::stationOf(disk_[1]), st);
  EXPECT_EQ(sim::bayOf(disk_[1]), 1);
  EXPECT_EQ(sim::diskInBay(st, 1), disk_[1]);
  const sim::DiskId extra = mustAdd(diskSpec("\\\\?\\x", kMiB));
  EXPECT_FALSE(sim::insertDisk(st, 1, extra));  // taken
  EXPECT_FALSE(sim::insertDisk(st, 2, extra));  // two bays only
  EXPECT_FALSE(sim::insertDisk(st + 1, 0, extra));
  EXPECT_FALSE(sim::insertDisk(st, 0, disk_[0]));
}

}  // namespace

namespace {

TEST_F(SimStation, SwappedDiskTakesTheBayAndThePathAndTheOldOneIsOutForGood) {
  const sim::StationId st = build(sim::StationModel::syw2, {0, 1});
  const std::string path = sim::diskSpec(disk_[1]).path;
  sim::VolumeSpec e;
  e.letter = 'e';
  e.totalBytes = kMiB;
  ASSERT_TRUE(sim::addVolume(disk_[1], e));
  DevHandle old = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  ASSERT_TRUE(isValidDevHandle(old));

  sim::DiskSpec spec = diskSpec("\\\\?\\ignored", 8 * kMiB, 42);
  spec.volumes.push_back(e);  // the old disk's letter is free again
  const sim::DiskId swapped = sim::swapDisk(disk_[1], spec);
  ASSERT_NE(swapped, sim::kNone);
  EXPECT_EQ(sim::diskSpec(swapped).path, path);
  EXPECT_EQ(sim::diskSpec(swapped).parentInstance, 0x4711u);
  EXPECT_EQ(sim::diskInBay(st, 1), swapped);
  EXPECT_EQ(sim::findDisk(path), swapped);
  EXPECT_EQ(sim::bayOf(disk_[1]), sim::kNone);
  EXPECT_EQ(queryDeviceNumber(old), -1);  // the old disk's handles died with it
  devClose(old);

  DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  int64_t length = 0;
  EXPECT_EQ(queryDiskLength(h, &length), 0u);
  EXPECT_EQ(length, int64_t(8 * kMiB));
  EXPECT_EQ(queryDeviceNumber(h), 42);
  devClose(h);
  sim::replug(disk_[1]);
  EXPECT_FALSE(sim::isPlugged(disk_[1]));
  EXPECT_EQ(sim::findDisk(path), swapped);

  // Only a disk in a bay can be swapped, and only for a usable disk.
  EXPECT_EQ(sim::swapDisk(disk_[1], spec), sim::kNone);
  EXPECT_EQ(sim::swapDisk(sim::addDisk(diskSpec("\\\\?\\loose", kMiB)), spec), sim::kNone);
  sim::DiskSpec ragged = diskSpec("", kMiB + 1);
  EXPECT_EQ(sim::swapDisk(disk_[0], ragged), sim::kNone);
  EXPECT_EQ(sim::diskInBay(st, 0), disk_[0]);
  // The swapped-in disk can itself be swapped.
  EXPECT_NE(sim::swapDisk(swapped, diskSpec("", kMiB, 43)), sim::kNone);
  EXPECT_EQ(sim::diskSpec(sim::findDisk(path)).deviceNumber, 43u);
}

}  // namespace
