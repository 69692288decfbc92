// Docking-station commands, carried as SCSI commands through the pass-through primitives.
#include "Sunnywilldeviceutil.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "Platformservices.h"
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

bool setBayModeThrough(const std::string& path, uint32_t dockModel, BayMode mode) {
  DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return false;
  const uint8_t command[12] = {0xFE, 0x04, 0x64, bayModeValue(dockModel, mode), 0, 0, 0, 0, 0, 0, 0, 0};
  uint32_t length = 0;
  const bool ok = scsiPassThroughOut(h, 0, 0, 0, command, sizeof command, nullptr, &length);
  devClose(h);
  return ok;
}

bool setBayMode(const DiskInfo& head, BayMode mode) {
  return setBayModeThrough(head.devicePath, head.dockModel, mode);
}

namespace {

constexpr uint32_t kResetPause = 100;

struct MirroringStation {
  uint32_t parentInstance;
  uint32_t dockModel;
  std::vector<std::string> paths;
  bool ownedByRun;  // its run switched the mirror on and has not yet switched it back
};

std::mutex& mirroringLock() {
  static std::mutex lock;
  return lock;
}

std::vector<MirroringStation>& mirroringStations() {
  static std::vector<MirroringStation> stations;
  return stations;
}

void remember(uint32_t parentInstance, uint32_t dockModel, const std::vector<std::string>& paths, bool ownedByRun) {
  std::lock_guard<std::mutex> hold(mirroringLock());
  for (MirroringStation& s : mirroringStations()) {
    if (s.parentInstance == parentInstance) {
      s.paths = paths;
      s.ownedByRun = ownedByRun;
      return;
    }
  }
  mirroringStations().push_back({parentInstance, dockModel, paths, ownedByRun});
}

void forget(uint32_t parentInstance) {
  std::lock_guard<std::mutex> hold(mirroringLock());
  auto& all = mirroringStations();
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const MirroringStation& s) { return s.parentInstance == parentInstance; }),
            all.end());
}

// The paths the system shows in the station now, the given ones first (the head may be gone, and a
// disk moved to another station would carry the command there). Without an answer from the
// enumeration, the given paths.
std::vector<std::string> stationPaths(uint32_t parentInstance, const std::vector<std::string>& paths) {
  if (parentInstance == 0) return paths;
  const DiskEnumeration found = enumerateDiskInterfaces();
  if (found.error != 0) return paths;
  std::vector<std::string> present, elsewhere, ordered;
  for (const DiskInterface& d : found.interfaces)
    (d.parentInstance == parentInstance ? present : elsewhere).push_back(d.devicePath);
  auto has = [](const std::vector<std::string>& list, const std::string& p) {
    return std::find(list.begin(), list.end(), p) != list.end();
  };
  for (const std::string& p : paths)
    if (has(present, p)) ordered.push_back(p);
  for (const std::string& p : present)
    if (!has(ordered, p)) ordered.push_back(p);
  // A list with gaps (members it could not read) may have left the station's disks out: the given
  // paths are tried too, unless the system shows them in another station.
  if (!found.skipped.empty() || present.empty()) {
    for (const std::string& p : paths)
      if (!has(ordered, p) && !has(elsewhere, p)) ordered.push_back(p);
  }
  return ordered;
}

bool resetOnce(uint32_t dockModel, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (setBayModeThrough(path, dockModel, BayMode::independent)) return true;
    debugOutputf("Docking reset to independent failed through %s", path.c_str());
  }
  return false;
}

}  // namespace

bool resetStation(uint32_t parentInstance, uint32_t dockModel, const std::vector<std::string>& paths,
                  uint32_t retryMilliseconds) {
  const uint32_t start = devTickCount();
  for (;;) {
    if (resetOnce(dockModel, stationPaths(parentInstance, paths))) {
      if (parentInstance != 0) forget(parentInstance);
      return true;
    }
    if (uint32_t(devTickCount() - start) >= retryMilliseconds) break;
    devSleep(kResetPause);
  }
  if (parentInstance != 0) remember(parentInstance, dockModel, paths, false);
  return false;
}

void noteStationMirroring(uint32_t parentInstance, uint32_t dockModel, const std::vector<std::string>& paths) {
  if (parentInstance != 0) remember(parentInstance, dockModel, paths, true);
}

bool stationMayBeMirroring(uint32_t parentInstance) {
  std::lock_guard<std::mutex> hold(mirroringLock());
  for (const MirroringStation& s : mirroringStations()) {
    if (s.parentInstance == parentInstance) return true;
  }
  return false;
}

bool retryStationResets(bool includeRuns) {
  std::vector<MirroringStation> pending;
  {
    std::lock_guard<std::mutex> hold(mirroringLock());
    pending = mirroringStations();
  }
  bool all = true;
  for (const MirroringStation& s : pending) {
    // Looked at again under the lock, and held while the command goes: a run that is about to switch
    // this station's mirror on notes it first, and must not have it switched off behind its back.
    std::lock_guard<std::mutex> hold(mirroringLock());
    const auto& now = mirroringStations();
    const auto it = std::find_if(now.begin(), now.end(),
                                 [&](const MirroringStation& m) { return m.parentInstance == s.parentInstance; });
    if (it == now.end()) continue;
    if (it->ownedByRun && !includeRuns) continue;
    if (resetOnce(it->dockModel, stationPaths(it->parentInstance, it->paths))) {
      mirroringStations().erase(it);
    } else {
      all = false;
    }
  }
  return all;
}

void forgetMirroringStations() {
  std::lock_guard<std::mutex> hold(mirroringLock());
  mirroringStations().clear();
}
