// Docking-station commands, carried as SCSI commands through the pass-through primitives.
#include "Sunnywilldeviceutil.h"

#include <cstring>

#include "Product.h"

namespace {

struct StationModel {
  char inquiryId[5];
  uint32_t dockModel;
  int32_t bayCount;
};

constexpr StationModel kModels[] = {
    {"SYWL", kDockModelSywl, 6}, {"SYW2", kDockModelSyw2, 2}, {"SYW4", kDockModelSyw4, 2}};

}  // namespace

bool detectDockBay(DiskInfo& disk, DevHandle h) {
  const uint8_t inquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x28, 0x00};
  uint8_t reply[40] = {};
  uint32_t length = sizeof reply;
  if (!scsiPassThroughIn(h, 0, 0, 0, inquiry, sizeof inquiry, reply, &length)) return false;

  const StationModel* model = nullptr;
  for (const auto& m : kModels) {
    if (std::memcmp(reply + 36, m.inquiryId, 4) == 0) {
      model = &m;
      break;
    }
  }
  if (model == nullptr) return false;
  disk.dockModel = model->dockModel;
  disk.bayCount = model->bayCount;

  const uint8_t bayQuery[12] = {0xFE, 0x04, 0x67, 0x01, 0x04, 0, 0, 0, 0, 0, 0, 0};
  uint8_t bay[4] = {};
  length = sizeof bay;
  if (!scsiPassThroughIn(h, 0, 0, 0, bayQuery, sizeof bayQuery, bay, &length)) return false;
  const int32_t index = (bay[0] == 0x4A && bay[1] == 0x4D) ? bay[3] : bay[1];
  // A bay the station model does not have would index past the occupancy table.
  if (index >= disk.bayCount) return false;
  disk.bayIndex = index;
  disk.bayOccupied[size_t(index)] = 1;
  return true;
}

uint8_t bayModeValue(uint32_t dockModel, BayMode mode) {
  const bool syw4 = dockModel == kDockModelSyw4;
  switch (mode) {
    case BayMode::mirrorAllBays:
      return syw4 ? 0 : 1;
    case BayMode::mirrorFromSecondBay:
      return syw4 ? 2 : 0;
    case BayMode::independent:
      break;
  }
  return 2;
}

bool setBayMode(const DiskInfo& head, BayMode mode) {
  DevHandle h = devOpen(head.devicePath.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return false;
  const uint8_t command[12] = {0xFE, 0x04, 0x64, bayModeValue(head.dockModel, mode), 0, 0, 0, 0, 0, 0, 0, 0};
  uint32_t length = 0;
  const bool ok = scsiPassThroughOut(h, 0, 0, 0, command, sizeof command, nullptr, &length);
  devClose(h);
  return ok;
}
