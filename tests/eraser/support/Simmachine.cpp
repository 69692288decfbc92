// Test support: simulated stations and plain disks admitted into the main disk list.
#include "Simmachine.h"

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Platformservices.h"
#include "Sunnywilldeviceutil.h"

namespace testsupport {

namespace {
int nextDisk = 0;
}

void resetMachine() {
  sim::reset();
  mainDiskList().clearDisks();
  for (auto& f : eraseRunning) f = 0;
  for (auto& f : eraseAlive) f = 0;
  for (auto& f : baySelected) f = 0;
  shownPage = 0;
  selectedMethod = 1;
  for (auto& p : userPattern) p = 0;
  setProgressSink(nullptr);
  setDebugSink(nullptr);
  setMessageSink(nullptr);
  nextDisk = 0;
}

static sim::DiskId addDisk(uint64_t length, uint32_t sectorSize, sim::Backing backing, uint32_t parent) {
  sim::DiskSpec spec;
  const int n = nextDisk++;
  spec.path = "\\\\?\\usbstor#disk&ven_sunnywl&prod_bay#" + std::to_string(n) +
              "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  spec.deviceNumber = uint32_t(n + 1);
  spec.vendorId = "SUNNYWL";
  spec.productId = "BAY DISK";
  spec.sectorSize = sectorSize;
  spec.length = length;
  spec.parentInstance = parent;
  spec.backing = backing;
  sim::setIdentifyModel(spec.identify, "SIM DISK " + std::to_string(n));
  sim::setIdentifySerial(spec.identify, "SN" + std::to_string(1000 + n));
  return sim::addDisk(spec);
}

SimStation addStation(sim::StationModel model, const std::vector<BayDisk>& bays, uint32_t parent) {
  SimStation station;
  station.id = sim::addStation({model, sim::BayReplyForm::jm, parent});
  for (const BayDisk& b : bays) {
    const sim::DiskId disk = addDisk(b.length, b.sectorSize, b.backing, parent);
    sim::insertDisk(station.id, b.bay, disk);
    station.disks.push_back(disk);
  }
  for (const sim::DiskId disk : station.disks) {
    DiskRecord record = admit(disk);
    if (!station.head) station.head = record;
  }
  return station;
}

sim::DiskId addPlainDisk(uint64_t length, uint32_t sectorSize, sim::Backing backing) {
  const sim::DiskId disk = addDisk(length, sectorSize, backing, 0);
  admit(disk);
  return disk;
}

DiskRecord admit(sim::DiskId disk) {
  const sim::DiskSpec spec = sim::diskSpec(disk);
  DevHandle h = devOpen(spec.path.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return nullptr;
  auto record = std::make_shared<DiskInfo>();
  record->devicePath = spec.path;
  record->deviceNumber = uint32_t(queryDeviceNumber(h));
  record->busType = 7;
  record->parentInstance = spec.parentInstance;
  int64_t length = 0;
  queryDiskLength(h, &length);
  record->diskLength = length;
  record->modelName = "SIM DISK";
  record->serialNumber = "SN";
  if (!detectDockBay(*record, h)) {
    record->bayCount = 0;
    record->dockModel = 0;
    record->bayIndex = 0;
  }
  devClose(h);
  mainDiskList().addByGroupingRule(record);
  return record;
}

void selectBays(const std::vector<int>& bays) {
  for (auto& f : baySelected) f = 0;
  for (int b : bays) baySelected[b] = 1;
}

void eraseNow(int32_t position, int32_t method) {
  selectedMethod = method;
  runErase(position);
}

}  // namespace testsupport
