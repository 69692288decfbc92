// The simulated storage stack: building the machine, faults, and what tests read back.
#include "Simulator.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "Simclock.h"
#include "Simulator_internal.h"

namespace sim {
namespace detail {

bool samePath(std::string_view a, std::string_view b) {
  // ASCII folding without the C locale's per-character call: paths are compared on every request.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

State& state() {
  static State s;
  return s;
}

Disk* diskAt(State& s, DiskId id) { return id >= 0 && size_t(id) < s.disks.size() ? &s.disks[id] : nullptr; }

Station* stationAt(State& s, StationId id) {
  return id >= 0 && size_t(id) < s.stations.size() ? &s.stations[id] : nullptr;
}

bool isLive(const Disk& d, const Handle& h) {
  if (!d.plugged || d.generation != h.generation) return false;
  if (h.volume.empty()) return true;
  // A volume handle dies with its volume (a deleted layout takes dismounted volumes away).
  return std::any_of(d.spec.volumes.begin(), d.spec.volumes.end(),
                     [&h](const VolumeSpec& v) { return samePath(v.path, h.volume); });
}

bool takeFault(ArmedFault& f, Fault* fault) {
  if (!f.armed) return false;
  *fault = f.fault;
  if (f.fault.times > 0 && --f.fault.times == 0) f.armed = false;
  return true;
}

uint32_t resolve(State& s, DevHandle h, Handle** handle, Disk** disk) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  auto it = s.handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == s.handles.end()) return kErrorInvalidHandle;
  Disk* d = diskAt(s, it->second.disk);
  if (d == nullptr || !isLive(*d, it->second)) return kErrorDeviceNotConnected;
  *handle = &it->second;
  *disk = d;
  return 0;
}

void unplugNow(Disk& d) {
  if (d.plugged) ++d.generation;
  d.plugged = false;
  d.unplugAfter = 0;
}

void RangeSet::insert(uint64_t start, uint64_t end) {
  if (start >= end) return;
  // Merge with every range that overlaps or touches [start, end).
  auto it = ranges_.upper_bound(start);
  if (it != ranges_.begin()) {
    auto before = std::prev(it);
    if (before->second >= start) {
      start = before->first;
      end = std::max(end, before->second);
      it = ranges_.erase(before);
    }
  }
  while (it != ranges_.end() && it->first <= end) {
    end = std::max(end, it->second);
    it = ranges_.erase(it);
  }
  ranges_.emplace(start, end);
}

std::vector<ByteRange> RangeSet::ranges() const {
  std::vector<ByteRange> out;
  out.reserve(ranges_.size());
  for (const auto& [start, end] : ranges_) out.push_back({start, end});
  return out;
}

}  // namespace detail

using namespace detail;

namespace {

char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool letterTaken(const State& s, char letter) {
  if (letter == 0) return false;  // any number of volumes go without a letter
  for (const Disk& d : s.disks) {
    for (const VolumeSpec& v : d.spec.volumes) {
      if (v.letter == letter) return true;
    }
  }
  return false;
}

bool goodLetter(char c) { return c == 0 || (c >= 'a' && c <= 'z'); }

std::shared_ptr<Media> makeMedia(const DiskSpec& spec) {
  auto media = std::make_shared<Media>();
  media->backing = spec.backing;
  switch (spec.backing) {
    case Backing::memory:
      if (spec.length > SIZE_MAX) return nullptr;
      try {
        media->memory.assign(size_t(spec.length), 0);
      } catch (const std::bad_alloc&) {
        return nullptr;
      } catch (const std::length_error&) {
        return nullptr;
      }
      break;
    case Backing::sparseFile:
      if (spec.filePath.empty()) return nullptr;
      media->file = SimFile::create(spec.filePath, spec.length, spec.fileUnbuffered, nullptr);
      if (!media->file) return nullptr;
      break;
    case Backing::discarding:
      break;
  }
  return media;
}

// Runs f on the disk under the state lock; none when there is no such disk.
template <typename T, typename F>
T readDisk(DiskId id, T none, F f) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Disk* d = diskAt(s, id);
  return d != nullptr ? f(*d) : none;
}

template <typename F>
void changeDisk(DiskId id, F f) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (Disk* d = diskAt(s, id)) f(*d);
}

// Whether a disk could be made from spec: a path free unless it is the one the disk ignore holds,
// a length of whole sectors, free volume letters (those of ignore count as free).
bool usableSpec(const State& s, const DiskSpec& spec, DiskId ignore) {
  if (spec.path.empty() || spec.sectorSize == 0 || spec.length == 0 || spec.length % spec.sectorSize != 0) {
    return false;
  }
  for (size_t i = 0; i < s.disks.size(); ++i) {
    const Disk& d = s.disks[i];
    // A swapped-out disk's path belongs to the disk that took its bay.
    if (DiskId(i) != ignore && !d.superseded && samePath(d.spec.path, spec.path)) return false;
  }
  for (size_t i = 0; i < spec.volumes.size(); ++i) {
    const char c = spec.volumes[i].letter;
    if (!goodLetter(c)) return false;
    for (size_t k = 0; k < s.disks.size(); ++k) {
      if (DiskId(k) == ignore) continue;
      for (const VolumeSpec& v : s.disks[k].spec.volumes) {
        if (v.letter == c) return false;
      }
    }
    for (size_t j = 0; j < i; ++j) {
      if (spec.volumes[j].letter == c) return false;
    }
  }
  return true;
}

DiskId pushDisk(State& s, const DiskSpec& spec, std::shared_ptr<Media> media) {
  Disk d;
  d.spec = spec;
  d.media = std::move(media);
  s.disks.push_back(std::move(d));
  return DiskId(s.disks.size() - 1);
}

}  // namespace

void setAtaString(IdentifyWords& words, int firstWord, int wordCount, std::string_view text) {
  for (int i = 0; i < wordCount && firstWord + i < int(words.size()); ++i) {
    auto at = [&text](size_t k) { return k < text.size() ? uint8_t(text[k]) : uint8_t(' '); };
    words[firstWord + i] = uint16_t(at(2 * i) << 8 | at(2 * i + 1));
  }
}

void setIdentifyModel(IdentifyWords& words, std::string_view model) { setAtaString(words, 27, 20, model); }
void setIdentifySerial(IdentifyWords& words, std::string_view serial) { setAtaString(words, 10, 10, serial); }
void setIdentifyRotation(IdentifyWords& words, uint16_t rate) { words[217] = rate; }

std::array<uint8_t, 512> identifyBytes(const IdentifyWords& words) {
  std::array<uint8_t, 512> bytes{};
  for (size_t i = 0; i < words.size(); ++i) {
    bytes[2 * i] = uint8_t(words[i]);
    bytes[2 * i + 1] = uint8_t(words[i] >> 8);
  }
  return bytes;
}

int bayCount(StationModel model) { return model == StationModel::sywl ? 6 : 2; }

const char* modelText(StationModel model) {
  switch (model) {
    case StationModel::sywl:
      return "SYWL";
    case StationModel::syw2:
      return "SYW2";
    case StationModel::syw4:
      return "SYW4";
  }
  return "";
}

void reset() {
  State& s = state();
  {
    std::lock_guard lock(s.lock);
    s.disks.clear();
    s.stations.clear();
    s.handles.clear();
    s.hook.reset();
    s.enumerationOrder.clear();
    s.enumerationFault = {};
    s.enumerations = 0;
    s.foreignDrives = 0;
    s.volumesMade = 0;
    s.systemLetter = 0;
  }
  simClockSetMode(SimClockMode::manual);
  simClockSet(1000);
}

DiskId addDisk(const DiskSpec& spec) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (!usableSpec(s, spec, kNone)) return kNone;
  DiskSpec placed = spec;
  if (!placeVolumes(s, placed, 0)) return kNone;
  auto media = makeMedia(spec);
  if (!media) return kNone;
  return pushDisk(s, placed, std::move(media));
}

StationId addStation(const StationSpec& spec) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Station st;
  st.spec = spec;
  s.stations.push_back(st);
  return StationId(s.stations.size() - 1);
}

bool insertDisk(StationId station, int bay, DiskId disk) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Station* st = stationAt(s, station);
  Disk* d = diskAt(s, disk);
  if (st == nullptr || d == nullptr || d->station != kNone) return false;
  if (bay < 0 || bay >= bayCount(st->spec.model) || st->bays[bay] != kNone) return false;
  st->bays[bay] = disk;
  d->station = station;
  d->bay = bay;
  if (st->spec.parentInstance != 0) d->spec.parentInstance = st->spec.parentInstance;
  return true;
}

DiskId swapDisk(DiskId old, const DiskSpec& spec) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Disk* d = diskAt(s, old);
  Station* st = d != nullptr ? stationAt(s, d->station) : nullptr;
  if (st == nullptr) return kNone;
  DiskSpec taken = spec;
  taken.path = d->spec.path;
  if (!usableSpec(s, taken, old)) return kNone;
  if (!placeVolumes(s, taken, 0)) return kNone;
  auto media = makeMedia(taken);
  if (!media) return kNone;
  const StationId station = d->station;
  const int bay = d->bay;
  d->station = kNone;
  d->bay = kNone;
  d->superseded = true;
  d->spec.volumes.clear();  // its volumes left with it; their letters are free again
  unplugNow(*d);
  if (st->spec.parentInstance != 0) taken.parentInstance = st->spec.parentInstance;
  const DiskId id = pushDisk(s, taken, std::move(media));  // d is stale from here
  Disk& added = s.disks[size_t(id)];
  added.station = station;
  added.bay = bay;
  st->bays[size_t(bay)] = id;
  return id;
}

bool removeFromBay(DiskId disk) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Disk* d = diskAt(s, disk);
  Station* st = d != nullptr ? stationAt(s, d->station) : nullptr;
  if (st == nullptr) return false;
  st->bays[size_t(d->bay)] = kNone;
  d->station = kNone;
  d->bay = kNone;
  unplugNow(*d);
  return true;
}

void setParentInstance(DiskId disk, uint32_t parent) {
  changeDisk(disk, [parent](Disk& d) { d.spec.parentInstance = parent; });
}

bool addVolume(DiskId disk, const VolumeSpec& volume) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Disk* d = diskAt(s, disk);
  if (d == nullptr || !goodLetter(volume.letter) || letterTaken(s, volume.letter)) return false;
  d->spec.volumes.push_back(volume);
  if (placeVolumes(s, d->spec, d->spec.volumes.size() - 1)) return true;
  d->spec.volumes.pop_back();
  return false;
}

bool updateVolume(const VolumeSpec& volume) {
  State& s = state();
  std::lock_guard lock(s.lock);
  for (Disk& d : s.disks) {
    for (VolumeSpec& v : d.spec.volumes) {
      if (v.letter == volume.letter && volume.letter != 0) {
        // The name and the extent stay: they belong to the partition, not to what is reported.
        const VolumeSpec was = v;
        v = volume;
        v.path = was.path;
        v.offset = was.offset;
        v.length = was.length;
        v.dismounted = was.dismounted;
        return true;
      }
    }
  }
  return false;
}

bool removeVolume(char letter) {
  State& s = state();
  std::lock_guard lock(s.lock);
  for (Disk& d : s.disks) {
    auto& vs = d.spec.volumes;
    auto it = std::find_if(vs.begin(), vs.end(),
                           [letter](const VolumeSpec& v) { return letter != 0 && v.letter == letter; });
    if (it != vs.end()) {
      vs.erase(it);
      return true;
    }
  }
  return false;
}

void failRequest(DiskId disk, Request request, const Fault& fault) {
  if (request >= Request::count) return;
  changeDisk(disk, [&](Disk& d) { d.faults[size_t(request)] = {fault.times != 0, fault}; });
}

void clearFault(DiskId disk, Request request) {
  if (request >= Request::count) return;
  changeDisk(disk, [&](Disk& d) { d.faults[size_t(request)] = {}; });
}

void failWritesAt(DiskId disk, uint64_t offset, uint32_t error) {
  changeDisk(disk, [&](Disk& d) { d.badBytes.emplace_back(offset, error); });
}

void clearWriteFaults(DiskId disk) {
  changeDisk(disk, [](Disk& d) { d.badBytes.clear(); });
}

void failModeCommand(StationId station, const Fault& fault) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (Station* st = stationAt(s, station)) st->modeFault = {fault.times != 0, fault};
}

void clearModeCommandFault(StationId station) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (Station* st = stationAt(s, station)) st->modeFault = {};
}

void dropMirrorCopies(StationId station, bool drop) {
  State& s = state();
  std::lock_guard lock(s.lock);
  if (Station* st = stationAt(s, station)) st->dropCopies = drop;
}

void forgetWrites(DiskId disk, bool forget) {
  changeDisk(disk, [forget](Disk& d) { d.forgetWrites = forget; });
}

void unplug(DiskId disk) { changeDisk(disk, unplugNow); }

void replug(DiskId disk) {
  changeDisk(disk, [](Disk& d) { d.plugged = !d.superseded; });
}

void unplugAfterBytes(DiskId disk, uint64_t n) {
  changeDisk(disk, [n](Disk& d) {
    if (d.bytesWritten >= n) {
      unplugNow(d);
    } else {
      d.unplugAfter = n;
    }
  });
}

void setWriteHook(WriteHook hook) {
  auto shared = hook ? std::make_shared<const WriteHook>(std::move(hook)) : nullptr;
  State& s = state();
  std::lock_guard lock(s.lock);
  s.hook = std::move(shared);
}

DiskId findDisk(std::string_view path) {
  State& s = state();
  std::lock_guard lock(s.lock);
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (!s.disks[i].superseded && samePath(s.disks[i].spec.path, path)) return DiskId(i);
  }
  return kNone;
}

std::vector<DiskId> disks() {
  State& s = state();
  std::lock_guard lock(s.lock);
  std::vector<DiskId> ids(s.disks.size());
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = DiskId(i);
  return ids;
}

DiskSpec diskSpec(DiskId disk) {
  return readDisk(disk, DiskSpec{}, [](Disk& d) { return d.spec; });
}

bool isPlugged(DiskId disk) {
  return readDisk(disk, false, [](Disk& d) { return d.plugged; });
}

StationId stationOf(DiskId disk) {
  return readDisk(disk, kNone, [](Disk& d) { return d.station; });
}

int bayOf(DiskId disk) {
  return readDisk(disk, kNone, [](Disk& d) { return d.bay; });
}

DiskId diskInBay(StationId station, int bay) {
  State& s = state();
  std::lock_guard lock(s.lock);
  Station* st = stationAt(s, station);
  return st != nullptr && bay >= 0 && bay < kMaxBays ? st->bays[bay] : kNone;
}

DiskId findVolume(char letter, VolumeSpec* volume) {
  State& s = state();
  std::lock_guard lock(s.lock);
  for (size_t i = 0; i < s.disks.size(); ++i) {
    for (const VolumeSpec& v : s.disks[i].spec.volumes) {
      if (letter == 0 || v.letter != lower(letter)) continue;
      if (volume != nullptr) *volume = v;
      return DiskId(i);
    }
  }
  return kNone;
}

std::vector<uint8_t> readBytes(DiskId disk, uint64_t offset, uint32_t size) {
  auto media = readDisk(disk, std::shared_ptr<Media>(), [offset, size](Disk& d) {
    return offset <= d.spec.length && size <= d.spec.length - offset ? d.media : nullptr;
  });
  if (!media || size == 0) return {};
  std::vector<uint8_t> out(size);
  if (readMedia(*media, offset, out.data(), size) != 0) out.clear();
  return out;
}

uint64_t keptContentBytes(DiskId disk) {
  auto media = readDisk(disk, std::shared_ptr<Media>(), [](Disk& d) { return d.media; });
  if (!media || media->backing != Backing::discarding) return 0;
  std::lock_guard lock(media->lock);
  return media->content.keptBytes();
}

uint64_t bytesWritten(DiskId disk) {
  return readDisk(disk, uint64_t(0), [](Disk& d) { return d.bytesWritten; });
}

uint64_t writeCount(DiskId disk) {
  return readDisk(disk, uint64_t(0), [](Disk& d) { return d.writes; });
}

std::vector<ByteRange> coverage(DiskId disk) {
  return readDisk(disk, std::vector<ByteRange>{}, [](Disk& d) { return d.covered.ranges(); });
}

std::vector<WriteRecord> writeLog(DiskId disk) {
  return readDisk(disk, std::vector<WriteRecord>{}, [](Disk& d) { return d.log; });
}

uint32_t requestCount(DiskId disk, Request request) {
  if (request >= Request::count) return 0;
  return readDisk(disk, 0u, [request](Disk& d) { return d.requests[size_t(request)]; });
}

uint32_t layoutDeletions(DiskId disk) {
  return readDisk(disk, 0u, [](Disk& d) { return d.layoutDeletions; });
}

int openHandleCount(DiskId disk) {
  State& s = state();
  std::lock_guard lock(s.lock);
  const Disk* d = diskAt(s, disk);
  if (d == nullptr) return 0;
  int n = 0;
  for (const auto& [value, h] : s.handles) {
    if (h.disk == disk && isLive(*d, h)) ++n;
  }
  return n;
}

bool usesDirectIo(DiskId disk) {
  auto media = readDisk(disk, std::shared_ptr<Media>(), [](Disk& d) { return d.media; });
  return media && media->file && media->file->direct();
}

BayMode stationMode(StationId station) {
  State& s = state();
  std::lock_guard lock(s.lock);
  const Station* st = stationAt(s, station);
  return st != nullptr ? st->mode : BayMode::independent;
}

std::vector<uint8_t> modeCommands(StationId station) {
  State& s = state();
  std::lock_guard lock(s.lock);
  const Station* st = stationAt(s, station);
  return st != nullptr ? st->modeValues : std::vector<uint8_t>{};
}

}  // namespace sim
