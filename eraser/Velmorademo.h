// The demo build's simulated machine: a six-bay and a two-bay docking station with disks and volumes,
// written at the pace of a USB link, on the real clock.
#pragma once

#include <cstdint>
#include <vector>

#include "Simulator.h"

// What a USB 3 station with hard disks sustains; with it, erasing all four disks of the six-bay
// station takes about a minute.
constexpr uint64_t kDemoBytesPerSecond = 200000000;

struct DemoOptions {
  uint64_t bytesPerSecond = kDemoBytesPerSecond;  // per station; 0: as fast as the engine goes
};

struct DemoStation {
  sim::StationId id = sim::kNone;
  std::vector<sim::DiskId> disks;  // in the order the scan finds them: the first is the group head
};

struct DemoMachine {
  DemoStation sixBay;  // found first: position 0
  DemoStation twoBay;  // position 1
};

// Forgets any simulated machine, then builds the two stations with their disks and volumes, switches
// the simulator to the real clock and paces every station's writes. False when a part could not be
// made (nothing the scan should then be trusted with).
bool buildDemoMachine(const DemoOptions& options, DemoMachine* machine = nullptr);

// The pace set by VELMORA_DEMO_SPEED (MB/s, 0 for unpaced) when it holds a number, else the default.
uint64_t demoBytesPerSecondFromEnvironment();
