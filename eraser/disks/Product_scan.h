// The disk scan: enumerating the disks, admitting those in docking-station bays, refreshing volumes,
// dropping what is gone, and the thread that repeats it.
#pragma once

#include <cstdint>
#include <string>

#include "Deviceioutil.h"
#include "Product.h"

constexpr uint32_t kScanInterval = 10000;    // ms between the end of one pass and the next
constexpr uint32_t kEnumerationRetry = 100;  // ms before a failed enumeration is asked again
constexpr uint32_t kDiskMaxAge = 8000;       // a top-level record not seen for longer is dropped
constexpr uint32_t kVolumeMaxAge = 30000;    // a volume not seen for longer is dropped

// Probes a device path that no record has: a new record (identity, length, station, bay, IDENTIFY
// data) when the disk is a USB disk with fixed media in a bay of a supported station, else null. The
// record is not listed yet.
DiskRecord probeDisk(const std::string& devicePath, uint32_t parentInstance);

// One pass: enumerates the present disks; probes each that no record has and lists the admitted
// ones by the grouping rule; refreshes the volumes and lastSeenTick of every listed disk found;
// drops the top-level records not seen for kDiskMaxAge; sends noDisks when the list is then empty.
// False when the enumeration could not be had: nothing else was done (a diagnostic was written),
// and the caller asks again after kEnumerationRetry.
bool scanOnce(DiskList& list = mainDiskList());

// Clears the main list, then runs scanOnce on a thread of its own every kScanInterval. Nothing
// happens when the thread runs already.
void startDiskScan();

// Ends the scan thread and waits for it: a pass in progress stops after the disk it is visiting,
// without dropping anything, and a wait ends at once. Call it before the process ends.
void stopDiskScan();

// Passes the scan thread has completed since it was last started.
uint64_t diskScanPasses();

// Waits, in real time up to timeoutMs, until the scan thread has completed count passes. True when
// it has.
bool waitForDiskScanPasses(uint64_t count, uint32_t timeoutMs);
