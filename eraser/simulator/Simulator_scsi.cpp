// The simulated device layer: SCSI pass-through (INQUIRY, the stations' bay query and mode command,
// ATA IDENTIFY) and the miniport and SMART IDENTIFY routes.
#include <algorithm>
#include <cstring>

#include "Simulator_internal.h"

using namespace sim;
using namespace sim::detail;

namespace {

constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kAtaPassThrough12 = 0xA1;
constexpr uint8_t kAtaIdentifyDevice = 0xEC;
constexpr uint8_t kVendorCommand[2] = {0xFE, 0x04};
constexpr uint8_t kBayQuery = 0x67;
constexpr uint8_t kBayMode = 0x64;

void putText(std::vector<uint8_t>& r, size_t at, size_t width, const std::string& text) {
  for (size_t i = 0; i < width; ++i) r[at + i] = i < text.size() ? uint8_t(text[i]) : uint8_t(' ');
}

// Standard INQUIRY data: 36 bytes as most USB bridges give, or 56 in a station, whose bridge puts
// its model at bytes 36 to 39.
std::vector<uint8_t> inquiryReply(State& s, const Disk& d) {
  if (!d.spec.inquiryData.empty()) return d.spec.inquiryData;
  const Station* st = stationAt(s, d.station);
  std::vector<uint8_t> r(st != nullptr ? 56 : 36, 0);
  r[0] = d.spec.deviceType == kDeviceTypeCdRom ? 0x05 : 0x00;
  r[1] = d.spec.removableMedia != 0 ? 0x80 : 0x00;
  r[2] = 0x06;
  r[3] = 0x02;
  r[4] = uint8_t(r.size() - 5);
  putText(r, 8, 8, d.spec.vendorId);
  putText(r, 16, 16, d.spec.productId);
  putText(r, 32, 4, "1.00");
  if (st != nullptr) {
    putText(r, 36, 4, modelText(st->spec.model));
    putText(r, 40, 16, "");
  }
  return r;
}

// The bay as the station's bridge reports it, in the station's reply form.
std::vector<uint8_t> bayReply(const Station& st, int bay) {
  if (st.spec.replyForm == BayReplyForm::jm) return {'J', 'M', 0x00, uint8_t(bay)};
  return {0x00, uint8_t(bay), 0x00, 0x00};
}

// Value bytes of the mode command; anything else is refused.
bool modeForValue(StationModel model, uint8_t value, BayMode* mode) {
  struct Entry {
    bool syw4;
    uint8_t value;
    BayMode mode;
  };
  static constexpr Entry table[] = {
      {false, 2, BayMode::independent},         {false, 1, BayMode::mirrorAllBays},
      {false, 0, BayMode::mirrorFromSecondBay}, {true, 2, BayMode::independent},
      {true, 0, BayMode::mirrorAllBays},
  };
  for (const Entry& e : table) {
    if (e.syw4 == (model == StationModel::syw4) && e.value == value) {
      *mode = e.mode;
      return true;
    }
  }
  return false;
}

bool isVendor(const uint8_t* cdb, uint8_t length, uint8_t command) {
  return length == 12 && cdb[0] == kVendorCommand[0] && cdb[1] == kVendorCommand[1] && cdb[2] == command;
}

// One request that the device answers itself: counted, and failed by an armed fault.
bool deviceRefuses(Disk& d, Request r) {
  ++d.requests[size_t(r)];
  Fault f;
  return takeFault(d.faults[size_t(r)], &f);
}

// The reply of a data-in command, or false when the device answers with a failing status.
bool answerIn(State& s, Disk& d, const uint8_t* cdb, uint8_t length, std::vector<uint8_t>* reply) {
  if (cdb[0] == kInquiry && length == 6) {
    if (deviceRefuses(d, Request::inquiry) || (cdb[1] & 0x01) != 0) return false;  // no vital product pages
    *reply = inquiryReply(s, d);
    const size_t allocation = size_t(cdb[3]) << 8 | cdb[4];
    if (reply->size() > allocation) reply->resize(allocation);
    return true;
  }
  if (isVendor(cdb, length, kBayQuery)) {
    const Station* st = stationAt(s, d.station);
    if (deviceRefuses(d, Request::bayQuery) || st == nullptr) return false;
    *reply = bayReply(*st, d.bay);
    return true;
  }
  if (cdb[0] == kAtaPassThrough12 && length == 12 && cdb[9] == kAtaIdentifyDevice) {
    if (deviceRefuses(d, Request::ataIdentify)) return false;
    const auto bytes = identifyBytes(d.spec.identify);
    reply->assign(bytes.begin(), bytes.end());
    return true;
  }
  return false;
}

bool answerOut(State& s, Disk& d, const uint8_t* cdb, uint8_t length) {
  Station* st = stationAt(s, d.station);
  if (!isVendor(cdb, length, kBayMode) || st == nullptr) return false;
  const uint8_t value = cdb[3];
  st->modeValues.push_back(value);
  Fault f;
  BayMode mode;
  const int32_t only = st->modeFault.fault.modeValue;
  if ((only < 0 || only == value) && takeFault(st->modeFault, &f)) {
    if (f.applied && modeForValue(st->spec.model, value, &mode)) st->mode = mode;
    return false;
  }
  if (!modeForValue(st->spec.model, value, &mode)) return false;
  st->mode = mode;
  return true;
}

bool passThrough(DevHandle h, const uint8_t* cdb, uint8_t cdbLength, bool dataIn, void* data,
                 uint32_t* length) {
  if (!isValidDevHandle(h) || cdb == nullptr || cdbLength == 0 || cdbLength > 16 || length == nullptr) {
    return false;
  }
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  if (resolve(s, h, &handle, &d) != 0) return false;
  ++d->requests[size_t(Request::passThrough)];
  Fault f;
  if (takeFault(d->faults[size_t(Request::passThrough)], &f)) return false;
  if (!dataIn) {
    if (!answerOut(s, *d, cdb, cdbLength)) return false;
    *length = 0;  // no command here takes data to the device
    return true;
  }
  std::vector<uint8_t> reply;
  if (!answerIn(s, *d, cdb, cdbLength, &reply)) return false;
  const uint32_t n = uint32_t(std::min<size_t>(*length, reply.size()));
  if (n > 0) std::memcpy(data, reply.data(), n);
  *length = n;
  return true;
}

}  // namespace

// The class driver fills in the disk's own address, so the given path, target and lun do not matter.
bool scsiPassThroughIn(DevHandle h, uint8_t /*pathId*/, uint8_t /*targetId*/, uint8_t /*lun*/,
                       const uint8_t* cdb, uint8_t cdbLength, void* data, uint32_t* length) {
  if (length != nullptr && *length > 0 && data == nullptr) return false;
  return passThrough(h, cdb, cdbLength, true, data, length);
}

bool scsiPassThroughOut(DevHandle h, uint8_t /*pathId*/, uint8_t /*targetId*/, uint8_t /*lun*/,
                        const uint8_t* cdb, uint8_t cdbLength, const void* data, uint32_t* length) {
  if (length != nullptr && *length > 0 && data == nullptr) return false;
  return passThrough(h, cdb, cdbLength, false, nullptr, length);
}

uint32_t miniportIdentify(DevHandle h, uint8_t driveNumber, const uint8_t registers[8], void* out,
                          uint32_t n) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  if (out == nullptr || registers == nullptr) return kErrorInvalidParameter;
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  if (uint32_t e = resolve(s, h, &handle, &d)) return e;
  ++d->requests[size_t(Request::miniport)];
  Fault f;
  if (takeFault(d->faults[size_t(Request::miniport)], &f)) return f.error;
  if (registers[6] != kAtaIdentifyDevice) return kErrorInvalidFunction;
  // The miniport addresses drives by target id; another number finds no drive.
  if (driveNumber != d->spec.scsiTarget) return kErrorIoDevice;
  const auto bytes = identifyBytes(d->spec.identify);
  std::memset(out, 0, n);
  std::memcpy(out, bytes.data(), std::min<size_t>(n, bytes.size()));
  return 0;
}

bool smartIdentify(DevHandle h, uint8_t out[512]) {
  if (!isValidDevHandle(h) || out == nullptr) return false;
  State& s = state();
  std::lock_guard lock(s.lock);
  Handle* handle = nullptr;
  Disk* d = nullptr;
  if (resolve(s, h, &handle, &d) != 0) return false;
  ++d->requests[size_t(Request::smart)];
  Fault f;
  if (takeFault(d->faults[size_t(Request::smart)], &f)) return false;
  const auto bytes = identifyBytes(d->spec.identify);
  std::memcpy(out, bytes.data(), bytes.size());
  return true;
}
