// Volume locks of an erase: every volume of a disk locked and dismounted before the disk is written.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Deviceioutil.h"

struct DiskInfo;

// The open volume handles that keep the volumes of a run locked. Closing a handle releases its lock
// (and lets Windows mount the volume again), so they stay open until the run has ended. What any
// VolumeLocks of the process holds is known to all of them: a volume this process has locked is not
// asked again (it could not be opened a second time).
class VolumeLocks {
 public:
  VolumeLocks() = default;
  ~VolumeLocks() { release(); }
  VolumeLocks(const VolumeLocks&) = delete;
  VolumeLocks& operator=(const VolumeLocks&) = delete;

  void hold(const std::string& path, DevHandle h);  // takes the handle
  bool holds(const std::string& path) const;        // paths compare without regard to case
  static bool heldInProcess(const std::string& path);
  size_t count() const { return held_.size(); }
  void release();  // closes every handle

 private:
  std::vector<std::pair<std::string, DevHandle>> held_;
};

// How long a volume that refuses the lock (a program or the scan has it open) is asked again.
struct VolumeLockTiming {
  uint32_t retryMilliseconds = 100;
  uint32_t giveUpMilliseconds = 3000;
};

// The paths that open the volumes of a disk: its drive letters (by their volume names where the
// system gives them) and every volume the enumeration finds on its device number, each once.
std::vector<std::string> diskVolumeOpenPaths(uint32_t deviceNumber, const std::vector<char>& letters);

// Locks and dismounts each volume of the paths that this process does not hold already: opened
// shared, locked (asked again until the timing gives up), then dismounted; a volume that keeps refusing
// the lock is dismounted anyway. False when a volume can be neither locked nor dismounted (or cannot be
// opened while it is there), and for the volume that holds Windows, which is never touched: the disk
// must not be written then. Every case is told to the debug output.
bool lockVolumePaths(const std::vector<std::string>& paths, VolumeLocks& locks,
                     const VolumeLockTiming& timing = {});

// lockVolumePaths for the volumes of a disk record (its letters and its device number). A disk
// without volumes gives true and does nothing.
bool lockDiskVolumes(const DiskInfo& disk, VolumeLocks& locks, const VolumeLockTiming& timing = {});

// The same for the disk at a device path, found by its device number (opened shared for a moment).
// True, with nothing done, when the disk cannot be asked: opening it for the erase then fails anyway.
bool lockVolumesOfDevice(const std::string& devicePath, VolumeLocks& locks,
                         const VolumeLockTiming& timing = {});
