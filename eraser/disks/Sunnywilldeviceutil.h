// Docking-station commands: station model and bay of a disk, and the station's bay write mode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Deviceioutil.h"

struct DiskInfo;

constexpr uint32_t kStationResetRetry = 3000;  // ms a busy station is asked again

enum class BayMode : uint8_t { independent, mirrorAllBays, mirrorFromSecondBay };

// Station models as dockModel codes.
enum : uint32_t { kDockModelSywl = 6, kDockModelSyw2 = 2, kDockModelSyw4 = 4 };

// Asks the station behind an open disk handle for its model (INQUIRY bytes 36-39) and the disk's bay.
// On success sets dockModel, bayCount, bayIndex and the disk's own bayOccupied entry. A bay the model
// does not have fails the detection.
bool detectDockBay(DiskInfo& disk, DevHandle h);

// Switches the station of a group head into a bay write mode, through the head's device path.
bool setBayMode(const DiskInfo& head, BayMode mode);

// The same command through any disk path of a station of that model.
bool setBayModeThrough(const std::string& path, uint32_t dockModel, BayMode mode);

// Switches a station back to independent writes through the first of the paths that takes the
// command, and through any disk the system shows with the station's parent; a refused or busy answer
// is tried again until retryMilliseconds have passed. A station that stays unreset is remembered (see
// below); one that is reset is forgotten. A diagnostic names every command that failed.
bool resetStation(uint32_t parentInstance, uint32_t dockModel, const std::vector<std::string>& paths,
                  uint32_t retryMilliseconds = kStationResetRetry);

// Stations that may still be mirroring because nobody could switch them back: the next scan pass,
// the next run on the station and the window's close wait try them again.
bool stationMayBeMirroring(uint32_t parentInstance);
// Noted by a run right before it switches a station's mirror on: should the run never come back (a
// worker the close wait gives up on), the close wait still switches the station back. A run's own
// station is left to the run by the scan (includeRuns false).
void noteStationMirroring(uint32_t parentInstance, uint32_t dockModel, const std::vector<std::string>& paths);
// Tries every remembered station once more; true when none is left.
bool retryStationResets(bool includeRuns = false);
void forgetMirroringStations();  // tests

// The value byte of the mode command for a station model.
uint8_t bayModeValue(uint32_t dockModel, BayMode mode);
