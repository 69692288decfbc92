// Volume locks of an erase: finding the volumes of a disk, locking and dismounting them.
#include "Eraseutil_volumes.h"

#include <algorithm>
#include <mutex>

#include "Platformservices.h"
#include "Product.h"

namespace {

bool samePath(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

void addOnce(std::vector<std::string>& paths, const std::string& path) {
  if (std::none_of(paths.begin(), paths.end(), [&](const std::string& p) { return samePath(p, path); }))
    paths.push_back(path);
}

// Every volume path held by a VolumeLocks of the process.
struct HeldPaths {
  std::mutex lock;
  std::vector<std::string> paths;
};

HeldPaths& heldPaths() {
  static HeldPaths* held = new HeldPaths;  // never destroyed: a worker may release while the process ends
  return *held;
}

// Locks, then dismounts. False when the volume would not let go at all.
bool lockOne(const std::string& path, DevHandle h, const VolumeLockTiming& timing) {
  const uint32_t start = devTickCount();
  uint32_t locked = lockVolume(h);
  while (locked != 0 && uint32_t(devTickCount() - start) < timing.giveUpMilliseconds) {
    devSleep(timing.retryMilliseconds);
    locked = lockVolume(h);
  }
  const uint32_t dismounted = dismountVolume(h);
  if (locked == 0 && dismounted == 0) {
    debugOutputf("Volume %s locked and dismounted", path.c_str());
  } else if (dismounted == 0) {
    debugOutputf("Volume %s refused the lock (%u), dismounted anyway", path.c_str(), locked);
  } else if (locked == 0) {
    // Locked is enough for its sectors to be written.
    debugOutputf("Volume %s locked, dismount failed (%u)", path.c_str(), dismounted);
  } else {
    debugOutputf("Volume %s can be neither locked (%u) nor dismounted (%u)", path.c_str(), locked,
                 dismounted);
    return false;
  }
  return true;
}

}  // namespace

void VolumeLocks::hold(const std::string& path, DevHandle h) {
  held_.emplace_back(path, h);
  HeldPaths& all = heldPaths();
  std::lock_guard<std::mutex> guard(all.lock);
  all.paths.push_back(path);
}

bool VolumeLocks::heldInProcess(const std::string& path) {
  HeldPaths& all = heldPaths();
  std::lock_guard<std::mutex> guard(all.lock);
  return std::any_of(all.paths.begin(), all.paths.end(),
                     [&](const std::string& p) { return samePath(p, path); });
}

bool VolumeLocks::holds(const std::string& path) const {
  return std::any_of(held_.begin(), held_.end(),
                     [&](const auto& held) { return samePath(held.first, path); });
}

void VolumeLocks::release() {
  HeldPaths& all = heldPaths();
  for (auto& [path, h] : held_) {
    devClose(h);
    std::lock_guard<std::mutex> guard(all.lock);
    auto it = std::find(all.paths.begin(), all.paths.end(), path);
    if (it != all.paths.end()) all.paths.erase(it);
  }
  held_.clear();
}

std::vector<std::string> diskVolumeOpenPaths(uint32_t deviceNumber, const std::vector<char>& letters) {
  std::vector<std::string> paths;
  for (char letter : letters) {
    // By its name where it has one, so that the enumeration below does not give it a second time.
    std::string path = volumePathOfLetter(letter);
    if (path.empty()) path = std::string("\\\\.\\") + letter + ":";
    addOnce(paths, path);
  }
  for (const std::string& path : diskVolumePaths(deviceNumber)) addOnce(paths, path);
  return paths;
}

bool lockVolumePaths(const std::vector<std::string>& paths, VolumeLocks& locks,
                     const VolumeLockTiming& timing) {
  // Callers never pass the boot drive; should one slip through, its volumes are never touched.
  const std::string system = systemVolumePath();
  for (const std::string& path : paths) {
    if (!system.empty() && samePath(path, system)) {
      debugOutputf("Volume %s holds Windows: not touched", path.c_str());
      return false;
    }
    if (locks.holds(path) || VolumeLocks::heldInProcess(path)) continue;
    uint32_t error = 0;
    DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, &error);
    if (!isValidDevHandle(h)) {
      // Gone since it was listed (a drive letter released, a volume removed): nothing to guard.
      if (error == kErrorFileNotFound) {
        debugOutputf("Volume %s is gone", path.c_str());
        continue;
      }
      debugOutputf("Volume %s cannot be opened (%u)", path.c_str(), error);
      return false;
    }
    if (!lockOne(path, h, timing)) {
      devClose(h);
      return false;
    }
    locks.hold(path, h);
  }
  return true;
}

bool lockDiskVolumes(const DiskInfo& disk, VolumeLocks& locks, const VolumeLockTiming& timing) {
  std::vector<char> letters;
  for (const VolumeInfo& v : disk.volumes.snapshot()) letters.push_back(v.driveLetter);
  return lockVolumePaths(diskVolumeOpenPaths(disk.deviceNumber, letters), locks, timing);
}

bool lockVolumesOfDevice(const std::string& devicePath, VolumeLocks& locks, const VolumeLockTiming& timing) {
  DevHandle h = devOpen(devicePath.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return true;
  const int32_t number = queryDeviceNumber(h);
  devClose(h);
  if (number < 0) return true;
  return lockVolumePaths(diskVolumeOpenPaths(uint32_t(number), {}), locks, timing);
}
