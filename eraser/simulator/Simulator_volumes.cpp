// The simulated volumes: names and extents, mount state, locks and dismounts, and their enumeration.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Simulator_internal.h"

using namespace sim;
using namespace sim::detail;

namespace {

constexpr uint64_t kFirstVolumeAt = 1 << 20;  // where partitioning tools put the first volume

bool isLetterPath(std::string_view path, char* letter) {
  if (path.size() != 6 || path.substr(0, 4) != "\\\\.\\" || path[5] != ':') return false;
  const char c = char(std::tolower(static_cast<unsigned char>(path[4])));
  if (c < 'a' || c > 'z') return false;
  *letter = c;
  return true;
}

bool isVolumeName(std::string_view path) {
  constexpr std::string_view prefix = "\\\\?\\volume{";
  return path.size() > prefix.size() && samePath(path.substr(0, prefix.size()), prefix) && path.back() == '}';
}

bool pathTaken(const State& s, const std::string& path) {
  for (const Disk& d : s.disks) {
    for (const VolumeSpec& v : d.spec.volumes) {
      if (samePath(v.path, path)) return true;
    }
  }
  return false;
}

// Runs f on every volume of the disk under the state lock.
template <typename F>
void eachVolume(DiskId disk, F f) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (Disk* d = diskAt(s, disk)) {
    for (VolumeSpec& v : d->spec.volumes) f(v);
  }
}

// The volume of a volume handle, or an error: 1 for a disk handle, as the file system is not there.
uint32_t volumeRequest(DevHandle h, Handle** handle, Disk** disk, VolumeSpec** volume) {
  State& s = state();
  if (uint32_t e = resolve(s, h, handle, disk)) return e;
  if ((*handle)->volume.empty()) return kErrorInvalidFunction;
  *volume = volumeOf(**disk, (*handle)->volume);
  return *volume != nullptr ? 0u : uint32_t(kErrorDeviceNotConnected);
}

}  // namespace

namespace sim::detail {

const VolumeSpec* volumeOf(const Disk& d, std::string_view path) {
  for (const VolumeSpec& v : d.spec.volumes) {
    if (samePath(v.path, path)) return &v;
  }
  return nullptr;
}

VolumeSpec* volumeOf(Disk& d, std::string_view path) {
  return const_cast<VolumeSpec*>(volumeOf(static_cast<const Disk&>(d), path));
}

bool placeVolumes(State& s, DiskSpec& spec, size_t from) {
  uint64_t next = kFirstVolumeAt;
  for (size_t i = 0; i < spec.volumes.size(); ++i) {
    VolumeSpec& v = spec.volumes[i];
    if (i >= from) {
      if (v.path.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "\\\\?\\Volume{5e1a0000-0000-0000-0000-%012x}", ++s.volumesMade);
        v.path = name;
      } else if (!isVolumeName(v.path) || pathTaken(s, v.path)) {
        return false;
      }
      for (size_t j = 0; j < i; ++j) {
        if (samePath(spec.volumes[j].path, v.path)) return false;
      }
      if (v.length == 0) {
        if (v.offset == 0) v.offset = next;
        v.length = v.totalBytes;
      }
      v.offset = std::min(v.offset, spec.length);
      v.length = std::min(v.length, spec.length - v.offset);
    }
    next = std::max(next, v.offset + v.length);
  }
  return true;
}

void findVolumePath(State& s, std::string_view path, DiskId* disk, std::string* volume, bool* isVolume) {
  char letter = 0;
  const bool byLetter = isLetterPath(path, &letter);
  *isVolume = byLetter || isVolumeName(path);
  *disk = kNone;
  if (!*isVolume) return;
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (!s.disks[i].plugged) continue;
    for (const VolumeSpec& v : s.disks[i].spec.volumes) {
      if (byLetter ? v.letter == letter : samePath(v.path, path)) {
        *disk = DiskId(i);
        *volume = v.path;
        return;
      }
    }
  }
}

bool volumeLocked(const State& s, DiskId disk, const std::string& volume) {
  const Disk& d = s.disks[size_t(disk)];
  return std::any_of(s.handles.begin(), s.handles.end(), [&](const auto& entry) {
    const Handle& h = entry.second;
    return h.disk == disk && h.holdsLock && samePath(h.volume, volume) && isLive(d, h);
  });
}

bool writeRefused(const State& s, DiskId disk, uint64_t start, uint64_t end) {
  for (const VolumeSpec& v : s.disks[size_t(disk)].spec.volumes) {
    if (v.dismounted || v.length == 0 || end <= v.offset || start >= v.offset + v.length) continue;
    if (!volumeLocked(s, disk, v.path)) return true;
  }
  return false;
}

void mountOnAccess(const State& s, DiskId disk, VolumeSpec& v) {
  if (v.dismounted && !volumeLocked(s, disk, v.path)) v.dismounted = false;
}

}  // namespace sim::detail

namespace sim {

void setOpenFiles(DiskId disk, bool open) {
  eachVolume(disk, [open](VolumeSpec& v) { v.openFiles = open; });
}

void refuseLockAndDismount(DiskId disk, bool refuse) {
  eachVolume(disk, [refuse](VolumeSpec& v) { v.refuseBoth = refuse; });
}

void setSystemDriveLetter(char letter) {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.systemLetter = char(std::tolower(static_cast<unsigned char>(letter)));
}

VolumeState volumeState(std::string_view path) {
  State& s = state();
  std::lock_guard lock(s.lock);
  DiskId disk = kNone;
  std::string name;
  bool isVolume = false;
  findVolumePath(s, path, &disk, &name, &isVolume);
  if (disk == kNone) return {};
  const VolumeSpec* v = volumeOf(s.disks[size_t(disk)], name);
  return {true, !v->dismounted, volumeLocked(s, disk, name)};
}

}  // namespace sim

uint32_t lockVolume(DevHandle h) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  VolumeSpec* v = nullptr;
  if (uint32_t e = volumeRequest(h, &handle, &d, &v)) return e;
  if (v->refuseBoth || v->openFiles) return kErrorAccessDenied;
  // Any other handle of the volume keeps the lock from being granted, the scan's brief opens too.
  const DiskId disk = handle->disk;
  for (const auto& [value, other] : s.handles) {
    if (&other != handle && other.disk == disk && samePath(other.volume, handle->volume) && isLive(*d, other))
      return kErrorAccessDenied;
  }
  handle->holdsLock = true;
  return 0;
}

uint32_t dismountVolume(DevHandle h) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  VolumeSpec* v = nullptr;
  if (uint32_t e = volumeRequest(h, &handle, &d, &v)) return e;
  if (v->refuseBoth) return kErrorAccessDenied;
  // A forced dismount: the open files' handles are dead from now on.
  v->dismounted = true;
  v->openFiles = false;
  return 0;
}

std::vector<std::string> diskVolumePaths(uint32_t deviceNumber) {
  State& s = state();
  std::lock_guard lock(s.lock);
  std::vector<std::string> paths;
  for (const Disk& d : s.disks) {
    if (!d.plugged || d.spec.deviceType != kDeviceTypeDisk || d.spec.deviceNumber != deviceNumber) continue;
    for (const VolumeSpec& v : d.spec.volumes) paths.push_back(v.path);
  }
  return paths;
}

std::string volumePathOfLetter(char letter) {
  State& s = state();
  std::lock_guard lock(s.lock);
  const char path[] = {'\\', '\\', '.', '\\', letter, ':', 0};
  DiskId disk = kNone;
  std::string name;
  bool isVolume = false;
  findVolumePath(s, path, &disk, &name, &isVolume);
  return disk != kNone ? name : std::string();
}

std::string systemVolumePath() {
  char letter = 0;
  {
    State& s = state();
    std::lock_guard lock(s.lock);
    letter = s.systemLetter;
  }
  return letter != 0 ? volumePathOfLetter(letter) : std::string();
}
