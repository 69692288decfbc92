// IDENTIFY data: decoding, and the route each bus takes to a simulated disk.
#include "Apphelputil.h"

#include <gtest/gtest.h>

#include <string>

#include "Product.h"
#include "Simulator.h"

namespace {

TEST(IdentifyDecoding, StringsTakeTheHighByteFirstAndKeepTheirPadding) {
  uint8_t data[kIdentifySize] = {};
  // Word 27 holds "AB" as 0x4142, stored little-endian: 0x42 then 0x41.
  data[54] = 'B', data[55] = 'A';
  data[20] = '2', data[21] = '1';      // word 10: "12"
  data[434] = 0x20, data[435] = 0x1C;  // word 217: 7200
  for (int w = 28; w <= 46; ++w) data[2 * w] = data[2 * w + 1] = ' ';
  const IdentifyFields f = decodeIdentify(data);
  EXPECT_EQ(f.modelName, "AB" + std::string(38, ' '));
  EXPECT_EQ(f.serialNumber, "12");  // word 11 is 0: the text ends there
  EXPECT_EQ(f.rotationRate, 7200);
}

TEST(IdentifyDecoding, ShortModelIsPaddedToFortyAndSerialToTwenty) {
  sim::IdentifyWords words{};
  sim::setIdentifyModel(words, "WDC WD10EZEX-08WN4");  // 18 characters
  sim::setIdentifySerial(words, "WD-WCC6Y0LSXZ7K");
  const auto bytes = sim::identifyBytes(words);
  uint8_t data[kIdentifySize];
  std::copy(bytes.begin(), bytes.end(), data);
  const IdentifyFields f = decodeIdentify(data);
  EXPECT_EQ(f.modelName, "WDC WD10EZEX-08WN4" + std::string(22, ' '));
  EXPECT_EQ(f.modelName.size(), 40u);
  EXPECT_EQ(f.serialNumber, "WD-WCC6Y0LSXZ7K     ");
}

TEST(IdentifyDecoding, OnlyRotationRateOneIsASolidStateDisk) {
  struct Case {
    uint16_t rate;
    const char* label;
  } cases[] = {{1, "SSD"}, {0, "HDD"}, {7200, "HDD"}, {0xFFFF, "HDD"}};
  for (const Case& c : cases) {
    sim::IdentifyWords words{};
    sim::setIdentifyRotation(words, c.rate);
    const auto bytes = sim::identifyBytes(words);
    uint8_t data[kIdentifySize];
    std::copy(bytes.begin(), bytes.end(), data);
    DiskInfo disk;
    disk.busType = 11;  // SATA: labelled by its medium
    disk.rotationRate = decodeIdentify(data).rotationRate;
    EXPECT_EQ(disk.rotationRate, c.rate);
    EXPECT_STREQ(diskTypeLabel(disk), c.label) << c.rate;
  }
}

class IdentifyRoutes : public ::testing::Test {
 protected:
  void SetUp() override { sim::reset(); }
  void TearDown() override {
    if (handle_ != nullptr) devClose(handle_);
    sim::reset();
  }

  // A disk on the bus whose IDENTIFY data names it, and a record of it as the probe leaves it.
  sim::DiskId addDisk(uint8_t busType, uint8_t removable = 0) {
    sim::DiskSpec spec;
    spec.path = "\\\\?\\disk#" + std::to_string(next_++);
    spec.length = 1 << 20;
    spec.busType = busType;
    spec.removableMedia = removable;
    spec.scsiTarget = 3;
    sim::setIdentifyModel(spec.identify, "MODEL");
    sim::setIdentifySerial(spec.identify, "SERIAL");
    sim::setIdentifyRotation(spec.identify, 1);
    const sim::DiskId id = sim::addDisk(spec);
    handle_ = devOpen(spec.path.c_str(), DevOpenMode::shared, nullptr);
    disk_->busType = busType;
    disk_->removableMedia = removable;
    return id;
  }

  DevHandle handle_ = nullptr;
  DiskRecord disk_ = std::make_shared<DiskInfo>();
  int next_ = 0;
};

TEST_F(IdentifyRoutes, EachBusTakesItsRouteAndNoOther) {
  struct Case {
    uint8_t busType;
    uint8_t removable;
    IdentifyRoute route;
  } cases[] = {
      {0, 0, IdentifyRoute::none},           {1, 0, IdentifyRoute::miniport}, {2, 0, IdentifyRoute::smart},
      {3, 0, IdentifyRoute::smart},          {4, 0, IdentifyRoute::none},     {6, 0, IdentifyRoute::none},
      {7, 0, IdentifyRoute::ataPassThrough}, {7, 1, IdentifyRoute::none},     {8, 0, IdentifyRoute::miniport},
      {9, 0, IdentifyRoute::miniport},       {10, 0, IdentifyRoute::none},    {11, 0, IdentifyRoute::smart},
      {17, 0, IdentifyRoute::none},          {3, 1, IdentifyRoute::smart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bus " + std::to_string(c.busType) + " removable " + std::to_string(c.removable));
    if (handle_ != nullptr) devClose(handle_);
    sim::reset();
    disk_ = std::make_shared<DiskInfo>();
    const sim::DiskId id = addDisk(c.busType, c.removable);
    EXPECT_EQ(identifyRoute(c.busType, c.removable), c.route);
    readIdentify(*disk_, handle_);
    const bool viaMiniport = c.route == IdentifyRoute::miniport;
    EXPECT_EQ(sim::requestCount(id, sim::Request::scsiAddress), viaMiniport ? 1u : 0u);
    EXPECT_EQ(sim::requestCount(id, sim::Request::miniport), viaMiniport ? 1u : 0u);
    EXPECT_EQ(sim::requestCount(id, sim::Request::smart), c.route == IdentifyRoute::smart ? 1u : 0u);
    EXPECT_EQ(sim::requestCount(id, sim::Request::passThrough),
              c.route == IdentifyRoute::ataPassThrough ? 1u : 0u);
    if (c.route == IdentifyRoute::none) {
      EXPECT_EQ(disk_->modelName, "");
      EXPECT_EQ(disk_->rotationRate, 0);
    } else {
      // The simulated miniport answers only for the drive number that is the disk's target id.
      EXPECT_EQ(disk_->modelName, "MODEL" + std::string(35, ' '));
      EXPECT_EQ(disk_->serialNumber, "SERIAL" + std::string(14, ' '));
      EXPECT_EQ(disk_->rotationRate, 1);
    }
  }
}

TEST_F(IdentifyRoutes, AFailedRouteLeavesTheFieldsAsTheyWere) {
  struct Case {
    uint8_t busType;
    sim::Request fault;
  } cases[] = {{7, sim::Request::ataIdentify},
               {7, sim::Request::passThrough},
               {1, sim::Request::scsiAddress},
               {8, sim::Request::miniport},
               {11, sim::Request::smart}};
  for (const Case& c : cases) {
    SCOPED_TRACE("bus " + std::to_string(c.busType) + " fault " + std::to_string(int(c.fault)));
    sim::reset();
    disk_ = std::make_shared<DiskInfo>();
    const sim::DiskId id = addDisk(c.busType);
    sim::failRequest(id, c.fault);
    disk_->modelName = "KEPT";
    disk_->serialNumber = "KEPT TOO";
    disk_->rotationRate = 5400;
    readIdentify(*disk_, handle_);
    EXPECT_EQ(disk_->modelName, "KEPT");
    EXPECT_EQ(disk_->serialNumber, "KEPT TOO");
    EXPECT_EQ(disk_->rotationRate, 5400);
    // No address, no miniport request.
    if (c.fault == sim::Request::scsiAddress) {
      EXPECT_EQ(sim::requestCount(id, sim::Request::miniport), 0u);
    }
    devClose(handle_);
    handle_ = nullptr;
  }
}

TEST_F(IdentifyRoutes, InvalidHandleChangesNothing) {
  disk_->busType = 7;
  readIdentify(*disk_, invalidDevHandle());
  EXPECT_EQ(disk_->modelName, "");
  EXPECT_EQ(disk_->rotationRate, 0);
}

}  // namespace
