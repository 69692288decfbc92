// Docking-station commands: station model and bay of a disk, and the station's bay write mode.
#pragma once

#include <cstdint>

#include "Deviceioutil.h"

struct DiskInfo;

enum class BayMode : uint8_t { independent, mirrorAllBays, mirrorFromSecondBay };

// Station models as dockModel codes.
enum : uint32_t { kDockModelSywl = 6, kDockModelSyw2 = 2, kDockModelSyw4 = 4 };

// Asks the station behind an open disk handle for its model (INQUIRY bytes 36-39) and the disk's bay.
// On success sets dockModel, bayCount, bayIndex and the disk's own bayOccupied entry. A bay the model
// does not have fails the detection.
bool detectDockBay(DiskInfo& disk, DevHandle h);

// Switches the station of a group head into a bay write mode, through the head's device path.
bool setBayMode(const DiskInfo& head, BayMode mode);

// The value byte of the mode command for a station model.
uint8_t bayModeValue(uint32_t dockModel, BayMode mode);
