// ATA IDENTIFY data: routes by bus type, the request of each route, and decoding.
#include "Apphelputil.h"

#include <cstring>

#include "Product.h"

namespace {

struct BusRoute {
  uint8_t busType;
  IdentifyRoute route;
};

// STORAGE_BUS_TYPE values; every other bus has no route.
constexpr BusRoute kRoutes[] = {
    {1, IdentifyRoute::miniport},        // SCSI
    {2, IdentifyRoute::smart},           // ATAPI
    {3, IdentifyRoute::smart},           // ATA
    {7, IdentifyRoute::ataPassThrough},  // USB
    {8, IdentifyRoute::miniport},        // RAID
    {9, IdentifyRoute::miniport},        // iSCSI
    {11, IdentifyRoute::smart},          // SATA
};
constexpr uint8_t kBusTypeUsb = 7;
constexpr size_t kScsiTargetAt = 6;  // TargetId in SCSI_ADDRESS

constexpr int kSerialWord = 10, kSerialWords = 10;
constexpr int kModelWord = 27, kModelWords = 20;
constexpr int kRotationWord = 217;

bool throughMiniport(DevHandle h, uint8_t (&data)[kIdentifySize]) {
  uint8_t address[8] = {};
  if (!queryScsiAddress(h, address)) return false;
  return miniportIdentify(h, address[kScsiTargetAt], kIdentifyRegisters.data(), data, kIdentifySize) ==
         kErrorSuccess;
}

bool throughAtaPassThrough(DevHandle h, uint8_t (&data)[kIdentifySize]) {
  uint32_t length = kIdentifySize;
  return scsiPassThroughIn(h, 0, 0, 0, kAtaIdentifyCommand.data(), uint8_t(kAtaIdentifyCommand.size()), data,
                           &length);
}

}  // namespace

IdentifyRoute identifyRoute(uint8_t busType, uint8_t removableMedia) {
  // A flash drive's bridge does not speak ATA; asking it only costs time.
  if (busType == kBusTypeUsb && removableMedia != 0) return IdentifyRoute::none;
  for (const BusRoute& r : kRoutes) {
    if (r.busType == busType) return r.route;
  }
  return IdentifyRoute::none;
}

std::string ataString(const uint8_t* data, int firstWord, int wordCount) {
  std::string text;
  text.reserve(size_t(wordCount) * 2);
  for (int i = 0; i < wordCount; ++i) {
    const uint8_t* word = data + 2 * (firstWord + i);
    for (uint8_t c : {word[1], word[0]}) {
      if (c == 0) return text;
      text.push_back(char(c));
    }
  }
  return text;
}

IdentifyFields decodeIdentify(const uint8_t (&data)[kIdentifySize]) {
  IdentifyFields f;
  f.modelName = ataString(data, kModelWord, kModelWords);
  f.serialNumber = ataString(data, kSerialWord, kSerialWords);
  f.rotationRate = uint16_t(data[2 * kRotationWord] | data[2 * kRotationWord + 1] << 8);
  return f;
}

bool readIdentifyData(uint8_t busType, uint8_t removableMedia, DevHandle h, uint8_t (&data)[kIdentifySize]) {
  std::memset(data, 0, kIdentifySize);
  switch (identifyRoute(busType, removableMedia)) {
    case IdentifyRoute::miniport:
      return throughMiniport(h, data);
    case IdentifyRoute::smart:
      return smartIdentify(h, data);
    case IdentifyRoute::ataPassThrough:
      return throughAtaPassThrough(h, data);
    case IdentifyRoute::none:
      break;
  }
  return false;
}

void readIdentify(DiskInfo& disk, DevHandle h) {
  uint8_t data[kIdentifySize];
  if (!readIdentifyData(disk.busType, disk.removableMedia, h, data)) return;
  IdentifyFields f = decodeIdentify(data);
  disk.modelName = std::move(f.modelName);
  disk.serialNumber = std::move(f.serialNumber);
  disk.rotationRate = f.rotationRate;
}
