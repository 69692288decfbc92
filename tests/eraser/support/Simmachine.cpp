// Test support: simulated stations and plain disks admitted into the main disk list.
#include "Simmachine.h"

#include "Apphelputil.h"
#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Platformservices.h"
#include "Product_scan.h"
#include "Sunnywilldeviceutil.h"

namespace testsupport {

namespace {
int nextDisk = 0;
std::array<bool, kBays> ticked{};
}

void resetMachine() {
  stopEraseWorkers(5000);
  forgetEndedRuns();
  forgetMirroringStations();
  sim::reset();
  mainDiskList().clearDisks();
  ticked = {};
  shownEraseRun = 0;
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
  // Ended by a NUL rather than padded, so the logs the tests compare read "SIM DISK" and "SN".
  sim::setAtaString(spec.identify, 27, 4, "SIM DISK");
  sim::setAtaString(spec.identify, 10, 1, "SN");
  return sim::addDisk(spec);
}

// A disk outside any station, which the scan would never list, made into a record by hand so the
// worker's handling of a single disk can be tested.
static DiskRecord plainRecord(const sim::DiskSpec& spec) {
  DevHandle h = devOpen(spec.path.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return nullptr;
  auto record = std::make_shared<DiskInfo>();
  record->devicePath = spec.path;
  record->deviceNumber = uint32_t(queryDeviceNumber(h));
  record->busType = spec.busType;
  record->parentInstance = spec.parentInstance;
  queryDiskLength(h, &record->diskLength);
  record->sectorSize = querySectorSize(h);
  readIdentify(*record, h);
  devClose(h);
  return record;
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
  // A station's disk is admitted by the scan's own probe.
  DiskRecord record = probeDisk(spec.path, spec.parentInstance);
  if (!record) record = plainRecord(spec);
  if (!record) return nullptr;
  mainDiskList().addByGroupingRule(record);
  return record;
}

void selectBays(const std::vector<int>& bays) {
  ticked = {};
  for (int b : bays) ticked[size_t(b)] = true;
}

EraseRequest requestAt(int32_t position, int32_t method) {
  return eraseRequestFor(mainDiskList().diskAt(position), ticked, method, loadUserPattern());
}

EraseRunHandle eraseNow(int32_t position, int32_t method) { return runEraseHere(requestAt(position, method)); }

}  // namespace testsupport
