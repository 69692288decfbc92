// The simulator's shared state, seen by its configuration side and its device-layer side.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "Simfile.h"
#include "Simulator.h"

namespace sim::detail {

// What a discarding disk holds, kept small: each write refers to a deduplicated chunk of bytes, and
// a run of writes of the same buffer one after another is one piece (the chunk repeated). A whole
// pass of the engine's one buffer over a disk of any length is thus one piece and one chunk.
class ContentMap {
 public:
  void write(uint64_t offset, const uint8_t* data, uint32_t size);
  void read(uint64_t offset, uint8_t* out, uint32_t size) const;  // zeros where nothing was written
  uint64_t keptBytes() const;                                     // chunk bytes and bookkeeping held

 private:
  using Chunk = std::vector<uint8_t>;
  // The byte at x in [start, end) is (*chunk)[(x - start + phase) % chunk->size()].
  struct Piece {
    uint64_t end = 0;
    std::shared_ptr<const Chunk> chunk;
    uint64_t phase = 0;
  };
  std::shared_ptr<const Chunk> intern(const uint8_t* data, uint32_t size);
  void cut(uint64_t start, uint64_t end);
  void mergeAround(std::map<uint64_t, Piece>::iterator it);

  std::map<uint64_t, Piece> pieces_;  // start -> piece, not overlapping
  std::unordered_map<uint64_t, std::vector<std::weak_ptr<const Chunk>>> chunks_;  // by content hash
  std::shared_ptr<const Chunk> last_;  // the engine writes one buffer again and again
};

// The bytes of one disk. Its lock is held only while data moves in or out, so writers of
// different disks never wait for each other's copies.
struct Media {
  std::mutex lock;
  Backing backing = Backing::memory;
  std::vector<uint8_t> memory;
  std::unique_ptr<SimFile> file;
  ContentMap content;  // discarding
};

// Copies between a disk's bytes and a buffer; the caller has checked the range. 0 or an error.
uint32_t writeMedia(Media& m, uint64_t offset, const void* data, uint32_t size);
uint32_t readMedia(Media& m, uint64_t offset, void* data, uint32_t size);

// Byte ranges kept merged: a whole-disk erase in 1 MiB blocks stays one entry.
class RangeSet {
 public:
  void insert(uint64_t start, uint64_t end);
  std::vector<ByteRange> ranges() const;

 private:
  std::map<uint64_t, uint64_t> ranges_;  // start -> end
};

struct ArmedFault {
  bool armed = false;
  Fault fault;
};

constexpr size_t kRequestKinds = size_t(Request::count);
constexpr int kMaxBays = 6;

struct Disk {
  DiskSpec spec;
  std::shared_ptr<Media> media;
  bool plugged = true;
  bool superseded = false;   // another disk took over its path in its bay: it is out for good
  uint32_t generation = 0;   // moves on at every unplug: handles of an older generation are dead
  uint64_t unplugAfter = 0;  // 0: never
  StationId station = kNone;
  int bay = kNone;
  std::array<ArmedFault, kRequestKinds> faults{};
  std::array<uint32_t, kRequestKinds> requests{};
  std::vector<std::pair<uint64_t, uint32_t>> badBytes;  // offset, error
  uint64_t bytesWritten = 0;
  uint64_t writes = 0;
  RangeSet covered;
  std::vector<WriteRecord> log;
  uint32_t layoutDeletions = 0;
  bool forgetWrites = false;  // writes are acknowledged and not kept
};

struct Station {
  StationSpec spec;
  BayMode mode = BayMode::independent;
  std::array<DiskId, kMaxBays> bays{kNone, kNone, kNone, kNone, kNone, kNone};
  ArmedFault modeFault;
  std::vector<uint8_t> modeValues;
  bool dropCopies = false;  // mirror modes are taken but no copies are made
};

struct Handle {
  DiskId disk = kNone;
  std::string volume;  // the volume's path; empty for a handle of the disk itself
  bool exclusive = false;
  uint32_t generation = 0;
  bool holdsLock = false;  // FSCTL_LOCK_VOLUME succeeded through it
};

struct State {
  std::mutex lock;
  std::vector<Disk> disks;
  std::vector<Station> stations;
  std::map<uintptr_t, Handle> handles;
  uintptr_t nextHandle = 0x1000;
  std::shared_ptr<const WriteHook> hook;
  std::vector<DiskId> enumerationOrder;
  ArmedFault enumerationFault;
  uint32_t enumerations = 0;
  uint32_t foreignDrives = 0;
  uint32_t volumesMade = 0;  // numbers the volume names made up
  char systemLetter = 0;
};

State& state();

// Device paths compare as Windows compares object names: without regard to case.
bool samePath(std::string_view a, std::string_view b);  // callers hold state().lock while they touch it

Disk* diskAt(State& s, DiskId id);
Station* stationAt(State& s, StationId id);
bool isLive(const Disk& d, const Handle& h);

// The disk is gone: its handles die and it cannot be opened until it is plugged in again.
void unplugNow(Disk& d);

// --- volumes (Simulator_volumes.cpp) ---

// The volume with that path on the disk, or null.
VolumeSpec* volumeOf(Disk& d, std::string_view path);
const VolumeSpec* volumeOf(const Disk& d, std::string_view path);
// Names and extents for volumes that came without them; false for a taken letter or path.
bool placeVolumes(State& s, DiskSpec& spec, size_t from);
// The volume a path opens: "\\.\x:" by its letter, "\\?\Volume{...}" by its name. *disk kNone
// when no plugged disk has it; *isVolume false when the path names no volume at all.
void findVolumePath(State& s, std::string_view path, DiskId* disk, std::string* volume, bool* isVolume);
bool volumeLocked(const State& s, DiskId disk, const std::string& volume);
// Writes through a disk handle into a mounted volume that is not locked are refused.
bool writeRefused(const State& s, DiskId disk, uint64_t start, uint64_t end);
// The first access to a dismounted volume mounts it again, unless it is locked.
void mountOnAccess(const State& s, DiskId disk, VolumeSpec& v);

// Takes one failure from an armed fault: true (and the fault) when the request must fail.
bool takeFault(ArmedFault& f, Fault* fault);

// The open handle and its disk, or the error the request gets: 2 for invalidDevHandle() and null,
// 6 for a handle that is not open, 1167 when its disk is gone.
uint32_t resolve(State& s, DevHandle h, Handle** handle, Disk** disk);

}  // namespace sim::detail
