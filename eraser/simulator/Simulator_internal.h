// The simulator's shared state, seen by its configuration side and its device-layer side.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "Simfile.h"
#include "Simulator.h"

namespace sim::detail {

// The bytes of one disk. Its lock is held only while data moves in or out, so writers of
// different disks never wait for each other's copies.
struct Media {
  std::mutex lock;
  Backing backing = Backing::memory;
  std::vector<uint8_t> memory;
  std::unique_ptr<SimFile> file;
};

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
};

struct Station {
  StationSpec spec;
  BayMode mode = BayMode::independent;
  std::array<DiskId, kMaxBays> bays{kNone, kNone, kNone, kNone, kNone, kNone};
  ArmedFault modeFault;
  std::vector<uint8_t> modeValues;
};

struct Handle {
  DiskId disk = kNone;
  char volume = 0;  // 0 for a handle of the disk itself
  bool exclusive = false;
  uint32_t generation = 0;
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
};

State& state();

// Device paths compare as Windows compares object names: without regard to case.
bool samePath(std::string_view a, std::string_view b);  // callers hold state().lock while they touch it

Disk* diskAt(State& s, DiskId id);
Station* stationAt(State& s, StationId id);
bool isLive(const Disk& d, const Handle& h);

// The disk is gone: its handles die and it cannot be opened until it is plugged in again.
void unplugNow(Disk& d);

// Takes one failure from an armed fault: true (and the fault) when the request must fail.
bool takeFault(ArmedFault& f, Fault* fault);

// The open handle and its disk, or the error the request gets: 2 for invalidDevHandle() and null,
// 6 for a handle that is not open, 1167 when its disk is gone.
uint32_t resolve(State& s, DevHandle h, Handle** handle, Disk** disk);

}  // namespace sim::detail
