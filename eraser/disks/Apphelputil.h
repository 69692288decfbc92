// ATA IDENTIFY data: the route to a disk's IDENTIFY data by bus type, and its decoding into the record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Deviceioutil.h"

struct DiskInfo;

constexpr size_t kIdentifySize = 512;

enum class IdentifyRoute : uint8_t {
  none,            // no route for the bus: no request is made
  miniport,        // IOCTL_SCSI_MINIPORT to the drive at the disk's SCSI target id
  smart,           // SMART_RCV_DRIVE_DATA, drive 0
  ataPassThrough,  // ATA PASS-THROUGH (12) carried by SCSI pass-through
};

// The route for a STORAGE_BUS_TYPE; a removable USB medium (a flash drive) has none.
IdentifyRoute identifyRoute(uint8_t busType, uint8_t removableMedia);

// ATA PASS-THROUGH (12) with IDENTIFY DEVICE: PIO data-in, one 512-byte block, length in the sector
// count field.
constexpr std::array<uint8_t, 12> kAtaIdentifyCommand = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00,
                                                         0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};
// The task-file bytes of IDENTIFY DEVICE: features, sector count, sector number, cylinder low and
// high, drive/head, command, reserved.
constexpr std::array<uint8_t, 8> kIdentifyRegisters = {0, 0, 0, 0, 0, 0, 0xEC, 0};

struct IdentifyFields {
  std::string modelName;      // words 27 to 46: 40 characters, padding kept
  std::string serialNumber;   // words 10 to 19: 20 characters, padding kept
  uint16_t rotationRate = 0;  // word 217
};

// An ATA string of IDENTIFY words (little-endian, first character in the high byte). A NUL ends it
// early, as it ends the text everywhere the text is shown or logged.
std::string ataString(const uint8_t* data, int firstWord, int wordCount);

IdentifyFields decodeIdentify(const uint8_t (&data)[kIdentifySize]);

// Reads the IDENTIFY data by the route for busType into data (zero-filled first). True when the
// route exists and answered.
bool readIdentifyData(uint8_t busType, uint8_t removableMedia, DevHandle h, uint8_t (&data)[kIdentifySize]);

// Fills modelName, serialNumber and rotationRate of a record whose busType and removableMedia are
// set. When there is no route or it fails, the three fields stay as they were.
void readIdentify(DiskInfo& disk, DevHandle h);
