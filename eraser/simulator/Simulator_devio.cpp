// The simulated device layer: opening, writing (with the stations' mirroring) and the disk queries.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "Simulator_internal.h"

using namespace sim;
using namespace sim::detail;

namespace {

DiskId diskWithPath(const State& s, std::string_view path) {
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (!s.disks[i].superseded && samePath(s.disks[i].spec.path, path)) return DiskId(i);
  }
  return kNone;
}

// Sharing as Windows has it for a disk and its volumes: an exclusive handle of the disk shuts out
// every other open, and the disk cannot be opened exclusively while a handle of it or of one of its
// mounted volumes is open (a locked or dismounted volume no longer stands in the way: that is what
// locking is for). An exclusive volume handle shuts out other opens of that volume, and a locked
// volume cannot be opened at all.
uint32_t sharingError(const State& s, DiskId disk, const std::string& volume, bool exclusive) {
  const Disk& d = s.disks[disk];
  for (const auto& [value, h] : s.handles) {
    if (h.disk != disk || !isLive(d, h)) continue;
    if (h.volume.empty() && h.exclusive) return kErrorSharingViolation;
    if (volume.empty() && exclusive) {
      if (h.volume.empty()) return kErrorSharingViolation;
      const VolumeSpec* v = volumeOf(d, h.volume);
      if (v != nullptr && !v->dismounted && !volumeLocked(s, disk, h.volume)) return kErrorSharingViolation;
    }
    if (!volume.empty() && samePath(h.volume, volume)) {
      if (h.holdsLock) return kErrorAccessDenied;
      if (exclusive || h.exclusive) return kErrorSharingViolation;
    }
  }
  return 0;
}

uint32_t openHandle(const char* path, DevOpenMode mode, DevHandle* out) {
  if (path == nullptr) return kErrorInvalidParameter;
  const bool exclusive = mode == DevOpenMode::exclusiveUnbuffered;
  State& s = state();
  std::lock_guard lock(s.lock);
  DiskId id = kNone;
  std::string volume;
  bool isVolume = false;
  findVolumePath(s, path, &id, &volume, &isVolume);
  if (!isVolume) id = diskWithPath(s, path);
  Disk* d = diskAt(s, id);
  if (d == nullptr || !d->plugged) return kErrorFileNotFound;
  if (!isVolume) {
    ++d->requests[size_t(Request::open)];
    Fault f;
    if (takeFault(d->faults[size_t(Request::open)], &f)) return f.error;
  }
  if (uint32_t e = sharingError(s, id, volume, exclusive)) return e;
  if (isVolume) mountOnAccess(s, id, *volumeOf(*d, volume));
  // Values step by 4 from 0x1000: never null, never invalidDevHandle(), never reused.
  const uintptr_t value = s.nextHandle;
  s.nextHandle += 4;
  s.handles[value] = Handle{id, volume, exclusive, d->generation, false};
  *out = reinterpret_cast<DevHandle>(value);
  return 0;
}

bool covers(const Disk& d, uint64_t start, uint64_t end, uint32_t* error) {
  for (const auto& [offset, code] : d.badBytes) {
    if (offset >= start && offset < end) {
      *error = code;
      return true;
    }
  }
  return false;
}

struct Target {
  DiskId disk;
  std::shared_ptr<Media> media;
  uint32_t size;  // cut at the disk's end
  bool mirrored;
  bool forget;  // acknowledged, not kept
};

// The disks a write sent to this disk reaches: the disk itself, and in a mirroring station the
// other occupied bays the mode names, each cut at its own end.
std::vector<Target> targetsOf(State& s, DiskId id, uint64_t offset, uint32_t size) {
  const Disk& d = s.disks[id];
  std::vector<Target> targets{{id, d.media, size, false, d.forgetWrites}};
  const Station* st = stationAt(s, d.station);
  if (st == nullptr || st->mode == BayMode::independent || st->dropCopies) return targets;
  if (st->mode == BayMode::mirrorFromSecondBay && d.bay == 0) return targets;
  const int firstBay = st->mode == BayMode::mirrorAllBays ? 0 : 1;
  for (int bay = firstBay; bay < kMaxBays; ++bay) {
    const Disk* other = diskAt(s, st->bays[bay]);
    if (other == nullptr || other == &d || !other->plugged || offset >= other->spec.length) continue;
    const uint64_t room = other->spec.length - offset;
    targets.push_back(
        {st->bays[bay], other->media, uint32_t(std::min<uint64_t>(size, room)), true, other->forgetWrites});
  }
  return targets;
}

// What the disk driver refuses of a transfer: data missing, a range past the end, and on an unbuffered
// handle an offset, size or address that is not a whole number of sectors.
uint32_t checkTransfer(const Handle& handle, const Disk& d, uint64_t offset, const void* data,
                       uint32_t size) {
  if (data == nullptr) return kErrorInvalidParameter;
  if (offset > d.spec.length || size > d.spec.length - offset) return kErrorInvalidParameter;
  const uint32_t sector = d.spec.sectorSize;
  if (handle.exclusive &&
      (offset % sector != 0 || size % sector != 0 || reinterpret_cast<uintptr_t>(data) % sector != 0)) {
    return kErrorInvalidParameter;
  }
  return 0;
}

uint32_t checkWrite(State& s, DevHandle h, uint64_t offset, const void* data, uint32_t size,
                    std::vector<Target>* targets) {
  Handle* handle = nullptr;
  Disk* d = nullptr;
  if (uint32_t e = resolve(s, h, &handle, &d)) return e;
  if (!handle->volume.empty()) return kErrorAccessDenied;
  if (size == 0) return 0;  // nothing to write: targets stay empty
  if (uint32_t e = checkTransfer(*handle, *d, offset, data, size)) return e;
  if (writeRefused(s, handle->disk, offset, offset + size)) return kErrorAccessDenied;
  *targets = targetsOf(s, handle->disk, offset, size);
  for (const Target& t : *targets) {
    uint32_t error = 0;
    if (covers(s.disks[t.disk], offset, offset + t.size, &error)) return error;
  }
  return 0;
}

void account(Disk& d, uint64_t offset, uint32_t size, bool mirrored, bool kept) {
  d.bytesWritten += size;
  ++d.writes;
  if (kept) d.covered.insert(offset, offset + size);
  if (d.spec.recordWrites) d.log.push_back({offset, size, mirrored});
  if (d.unplugAfter != 0 && d.bytesWritten >= d.unplugAfter) unplugNow(d);
}

template <typename T, typename F>
T onDisk(DevHandle h, T none, uint32_t* error, F f) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  const uint32_t e = resolve(s, h, &handle, &d);
  if (error != nullptr) *error = e;
  return e == 0 ? f(*handle, *d) : none;
}

bool failsNow(Disk& d, Request r, uint32_t* error) {
  ++d.requests[size_t(r)];
  Fault f;
  if (!takeFault(d.faults[size_t(r)], &f)) return false;
  if (error != nullptr) *error = f.error;
  return true;
}

}  // namespace

DevHandle devOpen(const char* path, DevOpenMode mode, uint32_t* error) {
  DevHandle h = invalidDevHandle();
  const uint32_t e = openHandle(path, mode, &h);
  if (error != nullptr) *error = e;
  return h;
}

uint32_t devWrite(DevHandle h, uint64_t offset, const void* data, uint32_t size) {
  State& s = state();
  std::vector<Target> targets;
  {
    std::lock_guard lock(s.lock);
    if (uint32_t e = checkWrite(s, h, offset, data, size, &targets)) return e;
  }
  if (targets.empty()) return 0;
  // The data moves outside the state lock; each disk's own lock keeps its bytes whole.
  uint32_t result = 0;
  std::vector<bool> done(targets.size(), false);
  for (size_t i = 0; i < targets.size(); ++i) {
    const uint32_t e = targets[i].forget ? 0 : writeMedia(*targets[i].media, offset, data, targets[i].size);
    done[i] = e == 0;
    if (e != 0 && result == 0) result = e;
  }
  uint64_t total = 0;
  std::shared_ptr<const WriteHook> hook;
  {
    std::lock_guard lock(s.lock);
    for (size_t i = 0; i < targets.size(); ++i) {
      Disk* d = diskAt(s, targets[i].disk);
      // A reset in between leaves nothing to account for.
      if (!done[i] || d == nullptr || d->media != targets[i].media) continue;
      account(*d, offset, targets[i].size, targets[i].mirrored, !targets[i].forget);
    }
    if (Disk* d = diskAt(s, targets[0].disk); d != nullptr && d->media == targets[0].media)
      total = d->bytesWritten;
    hook = s.hook;
  }
  if (result == 0 && hook && *hook) (*hook)(targets[0].disk, total);
  return result;
}

uint32_t devRead(DevHandle h, uint64_t offset, void* data, uint32_t size) {
  State& s = state();
  std::shared_ptr<Media> media;
  {
    std::lock_guard lock(s.lock);
    Handle* handle = nullptr;
    Disk* d = nullptr;
    if (uint32_t e = resolve(s, h, &handle, &d)) return e;
    uint32_t error = 0;
    if (failsNow(*d, Request::read, &error)) return error;
    if (size == 0) return 0;
    // A volume handle reads its own extent.
    const VolumeSpec* v = handle->volume.empty() ? nullptr : volumeOf(*d, handle->volume);
    if (v != nullptr && (offset > v->length || size > v->length - offset)) return kErrorInvalidParameter;
    if (v != nullptr) offset += v->offset;
    if (uint32_t e = checkTransfer(*handle, *d, offset, data, size)) return e;
    media = d->media;
  }
  return readMedia(*media, offset, data, size);
}

uint32_t devFlush(DevHandle h) {
  uint32_t error = 0;
  onDisk(h, 0, &error, [&](Handle&, Disk& d) { return failsNow(d, Request::flush, &error), 0; });
  return error;
}

void devClose(DevHandle h) {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.handles.erase(reinterpret_cast<uintptr_t>(h));
}

int32_t queryDeviceNumber(DevHandle h) {
  return onDisk(h, int32_t(-1), nullptr, [](Handle&, Disk& d) {
    if (failsNow(d, Request::deviceNumber, nullptr) || d.spec.deviceType != kDeviceTypeDisk)
      return int32_t(-1);
    return int32_t(d.spec.deviceNumber);
  });
}

uint32_t querySectorSize(DevHandle h) {
  return onDisk(h, 0u, nullptr, [](Handle&, Disk& d) {
    return failsNow(d, Request::geometry, nullptr) ? 0u : d.spec.sectorSize;
  });
}

uint32_t queryDiskLength(DevHandle h, int64_t* length) {
  uint32_t error = 0;
  onDisk(h, 0, &error, [&](Handle& handle, Disk& d) {
    if (failsNow(d, Request::length, &error)) return 0;
    if (length == nullptr) return error = kErrorInvalidParameter, 0;
    uint64_t n = d.spec.length;
    // A volume handle measures its volume.
    if (const VolumeSpec* v = handle.volume.empty() ? nullptr : volumeOf(d, handle.volume)) n = v->totalBytes;
    *length = int64_t(n);
    return 0;
  });
  return error;
}

uint32_t deleteDriveLayout(DevHandle h) {
  uint32_t error = 0;
  onDisk(h, 0, &error, [&](Handle& handle, Disk& d) {
    if (!handle.volume.empty()) return error = kErrorInvalidFunction, 0;
    if (failsNow(d, Request::deleteLayout, &error)) return 0;
    ++d.layoutDeletions;
    // A volume its file system still holds stays (and goes on guarding its sectors).
    auto& vs = d.spec.volumes;
    vs.erase(std::remove_if(vs.begin(), vs.end(), [](const VolumeSpec& v) { return v.dismounted; }),
             vs.end());
    return 0;
  });
  return error;
}

bool queryScsiAddress(DevHandle h, uint8_t address[8]) {
  if (address == nullptr) return false;
  return onDisk(h, false, nullptr, [address](Handle&, Disk& d) {
    if (failsNow(d, Request::scsiAddress, nullptr)) return false;
    // SCSI_ADDRESS: Length, PortNumber, PathId, TargetId, Lun.
    const uint8_t bytes[8] = {
        8, 0, 0, 0, d.spec.scsiPort, d.spec.scsiPath, d.spec.scsiTarget, d.spec.scsiLun};
    std::memcpy(address, bytes, sizeof bytes);
    return true;
  });
}

std::vector<uint8_t> queryStorageDescriptor(DevHandle h) {
  return onDisk(h, std::vector<uint8_t>{}, nullptr, [](Handle&, Disk& d) {
    if (failsNow(d, Request::descriptor, nullptr)) return std::vector<uint8_t>{};
    return makeStorageDescriptor(d.spec.busType, d.spec.removableMedia, d.spec.vendorId, d.spec.productId);
  });
}
