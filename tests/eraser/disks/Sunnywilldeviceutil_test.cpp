// Station model and bay detection, and the bay mode command, against simulated stations.
#include "Sunnywilldeviceutil.h"

#include <gtest/gtest.h>

#include "Product.h"
#include "Simulator.h"

namespace {

sim::DiskId diskIn(sim::StationId station, int bay, const std::string& path) {
  sim::DiskSpec spec;
  spec.path = path;
  spec.length = 1048576;
  const sim::DiskId disk = sim::addDisk(spec);
  if (station != sim::kNone) sim::insertDisk(station, bay, disk);
  return disk;
}

bool detect(const std::string& path, DiskInfo& info) {
  DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  const bool ok = detectDockBay(info, h);
  devClose(h);
  return ok;
}

TEST(DockBay, ModelAndBayFromBothReplyForms) {
  struct Case {
    sim::StationModel model;
    sim::BayReplyForm form;
    int bay;
    uint32_t dockModel;
    int32_t bayCount;
  } cases[] = {
      {sim::StationModel::sywl, sim::BayReplyForm::jm, 3, 6, 6},
      {sim::StationModel::sywl, sim::BayReplyForm::plain, 5, 6, 6},
      {sim::StationModel::syw2, sim::BayReplyForm::plain, 1, 2, 2},
      {sim::StationModel::syw4, sim::BayReplyForm::jm, 0, 4, 2},
  };
  for (const Case& c : cases) {
    sim::reset();
    const sim::StationId station = sim::addStation({c.model, c.form, 7});
    diskIn(station, c.bay, "bay-disk");
    DiskInfo info;
    ASSERT_TRUE(detect("bay-disk", info));
    EXPECT_EQ(info.dockModel, c.dockModel);
    EXPECT_EQ(info.bayCount, c.bayCount);
    EXPECT_EQ(info.bayIndex, c.bay);
    for (int i = 0; i < kBayTableSize; ++i) EXPECT_EQ(info.bayOccupied[size_t(i)], i == c.bay ? 1 : 0);
  }
  sim::reset();
}

TEST(DockBay, DisksOutsideAStationAreNotDetected) {
  sim::reset();
  diskIn(sim::kNone, 0, "plain");
  DiskInfo plain;
  EXPECT_FALSE(detect("plain", plain));
  EXPECT_EQ(plain.bayCount, 0);

  // A reply shorter than 40 bytes leaves zeros where the model would be.
  sim::DiskSpec spec;
  spec.path = "short";
  spec.length = 1048576;
  spec.inquiryData = std::vector<uint8_t>(36, 'S');
  sim::addDisk(spec);
  DiskInfo shortReply;
  EXPECT_FALSE(detect("short", shortReply));
  EXPECT_EQ(shortReply.bayCount, 0);

  const sim::StationId station = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 7});
  const sim::DiskId failing = diskIn(station, 2, "failing");
  sim::failRequest(failing, sim::Request::bayQuery, {});
  DiskInfo noBay;
  EXPECT_FALSE(detect("failing", noBay));
  EXPECT_EQ(noBay.bayOccupied[2], 0);
  sim::reset();
}

TEST(DockBay, ModeCommandValuesByModel) {
  struct Case {
    sim::StationModel model;
    uint32_t dockModel;
    uint8_t independent, all, fromSecond;
  } cases[] = {{sim::StationModel::sywl, 6, 2, 1, 0},
               {sim::StationModel::syw2, 2, 2, 1, 0},
               {sim::StationModel::syw4, 4, 2, 0, 2}};
  for (const Case& c : cases) {
    sim::reset();
    const sim::StationId station = sim::addStation({c.model, sim::BayReplyForm::jm, 7});
    diskIn(station, 0, "head");
    DiskInfo head;
    ASSERT_TRUE(detect("head", head));
    head.devicePath = "head";
    EXPECT_TRUE(setBayMode(head, BayMode::mirrorAllBays));
    EXPECT_TRUE(setBayMode(head, BayMode::mirrorFromSecondBay));
    EXPECT_TRUE(setBayMode(head, BayMode::independent));
    EXPECT_EQ(sim::modeCommands(station), (std::vector<uint8_t>{c.all, c.fromSecond, c.independent}));
    EXPECT_EQ(bayModeValue(c.dockModel, BayMode::mirrorFromSecondBay), c.fromSecond);
  }
  sim::reset();
}

TEST(DockBay, RefusedOrUnreachableModeCommandFails) {
  sim::reset();
  const sim::StationId station = sim::addStation({sim::StationModel::sywl, sim::BayReplyForm::jm, 7});
  const sim::DiskId disk = diskIn(station, 0, "head");
  DiskInfo head;
  ASSERT_TRUE(detect("head", head));
  head.devicePath = "head";
  sim::Fault busy;
  busy.scsiStatus = sim::kScsiBusy;
  sim::failModeCommand(station, busy);
  EXPECT_FALSE(setBayMode(head, BayMode::mirrorAllBays));
  sim::clearModeCommandFault(station);
  sim::unplug(disk);
  EXPECT_FALSE(setBayMode(head, BayMode::independent));
  sim::reset();
}

}  // namespace
