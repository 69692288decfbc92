// Test support: simulated stations and plain disks, admitted into the main disk list as the scan would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Eraseutil_worker.h"
#include "Product.h"
#include "Simulator.h"

namespace testsupport {

struct BayDisk {
  int bay;
  uint64_t length;
  uint32_t sectorSize = 512;
  sim::Backing backing = sim::Backing::memory;
};

struct SimStation {
  sim::StationId id = sim::kNone;
  std::vector<sim::DiskId> disks;  // in the order given (the order the scan finds them)
  DiskRecord head;
};

// Ends every run, forgets the simulated machine, the main disk list, the ticks and the test sinks.
void resetMachine();

// A station of the model with disks in the given bays, listed in the main list in the given order.
SimStation addStation(sim::StationModel model, const std::vector<BayDisk>& bays, uint32_t parent = 100);

// A plain USB disk outside any station, listed as its own position (the scan would not admit it;
// the worker still erases such a record as one job).
sim::DiskId addPlainDisk(uint64_t length, uint32_t sectorSize = 512,
                         sim::Backing backing = sim::Backing::memory);

// Lists a simulated disk by the grouping rule: probed as the scan probes, or, for a disk outside a
// station that the scan would reject, a record made by hand.
DiskRecord admit(sim::DiskId disk);

// Ticks exactly these bays (the others are cleared) for the requests below.
void selectBays(const std::vector<int>& bays);

// What a Start on the page of the position would erase with the bays ticked, the method and the
// user pattern in force.
EraseRequest requestAt(int32_t position, int32_t method);

// Runs that erase on this thread; the run, ended (null when it could not start).
EraseRunHandle eraseNow(int32_t position, int32_t method);

}  // namespace testsupport
