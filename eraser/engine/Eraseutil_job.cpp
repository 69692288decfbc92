// The erase job: open a disk for one byte range, write every pass in 1 MiB blocks, close.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Apphelputil.h"
#include "Eraseutil.h"
#include "Eraseutil_log.h"
#include "Platformservices.h"
#include "Product.h"

namespace {

// The disk scan opens every disk and its volumes for a moment every ten seconds; an exclusive open
// that meets such a handle is tried again instead of failing the disk.
constexpr int kSharingRetries = 20;
constexpr uint32_t kSharingRetryMilliseconds = 100;

}  // namespace

DevHandle openDiskExclusive(const std::string& path, uint32_t* error) {
  uint32_t code = 0;
  DevHandle h = devOpen(path.c_str(), DevOpenMode::exclusiveUnbuffered, &code);
  for (int retry = 0; !isValidDevHandle(h) && code == kErrorSharingViolation && retry < kSharingRetries;
       ++retry) {
    devSleep(kSharingRetryMilliseconds);
    h = devOpen(path.c_str(), DevOpenMode::exclusiveUnbuffered, &code);
  }
  if (error != nullptr) *error = code;
  return h;
}

namespace {

// ATA strings are padded with blanks; a record may hold them with or without.
std::string_view unpadded(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

// The serial number the disk behind h answers with; empty when it cannot be read.
std::string serialOf(DevHandle h) {
  StorageDescriptorInfo info;
  if (!readStorageDescriptor(queryStorageDescriptor(h), &info)) return {};
  uint8_t data[kIdentifySize];
  if (!readIdentifyData(info.busType, info.removableMedia, h, data)) return {};
  return decodeIdentify(data).serialNumber;
}

// Whether the opened disk is the expected one. What cannot be read counts as different: writing
// a disk nobody chose cannot be undone, refusing one can be retried.
bool isExpectedDisk(DevHandle h, int64_t length, const DiskIdentity& expected) {
  const int32_t number = queryDeviceNumber(h);
  if (number != expected.deviceNumber) {
    debugOutputf("Not the planned disk: device number %d, planned %d", number, expected.deviceNumber);
    return false;
  }
  if (length != expected.length) {
    debugOutputf("Not the planned disk: length %" PRId64 ", planned %" PRId64, length, expected.length);
    return false;
  }
  if (expected.serialNumber.empty()) return true;
  const std::string serial = serialOf(h);
  if (unpadded(serial) != unpadded(expected.serialNumber)) {
    debugOutputf("Not the planned disk: serial number \"%s\", planned \"%s\"", serial.c_str(),
                 expected.serialNumber.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool isDisk(DevHandle h, const DiskIdentity& expected) {
  int64_t length = 0;
  if (queryDiskLength(h, &length) != 0) return false;
  return isExpectedDisk(h, length, expected);
}

DiskIdentity identityOf(const DiskInfo& disk) {
  return {int32_t(disk.deviceNumber), disk.diskLength, disk.serialNumber};
}

bool clErase::open(const std::string& path, int64_t start, int64_t end, const DiskIdentity* expected) {
  seedRandom(calendarSeconds());
  ready = 0;
  // Windows refuses writes into a mounted volume: the disk's volumes are locked and dismounted first,
  // and a disk whose volumes will not let go is not written. A run locks them all before its first
  // write and holds them to its end; then this finds them held and does nothing.
  if (!lockVolumesOfDevice(path, volumeLocks)) return false;
  handle = openDiskExclusive(path, nullptr);
  if (!isValidDevHandle(handle)) return false;
  bytesPerSector = querySectorSize(handle);
  if (bytesPerSector == 0) return false;
  int64_t length = 0;
  if (queryDiskLength(handle, &length) != 0 || length <= 0) return false;
  diskLength = length;
  if (expected != nullptr && !isExpectedDisk(handle, length, *expected)) {
    identityMismatch = 1;
    return false;
  }
  if (!allocateBuffer()) return false;
  rangeStart = start < 0 ? 0 : start;
  rangeEnd = end == 0 ? diskLength : end;
  if (rangeEnd > diskLength) rangeEnd = diskLength;
  if (rangeStart > diskLength) rangeStart = diskLength;
  if (rangeStart > rangeEnd) rangeStart = rangeEnd;
  current = rangeStart;
  if (deleteDriveLayout(handle) == 0) ready = 1;
  return ready == 1;
}

int clErase::step(bool quickStop) {
  // The time is only needed for the few steps that write a line.
  auto now = [] { return logTimeText(localTimeNow()); };
  if (ready == 0) {
    log(std::string(kLogRule) + "Disk Init Error\r\n");
    return -1;
  }
  if (quickStop) current = rangeEnd;

  if (current == rangeStart || current == rangeEnd) {
    if (passes.empty()) {
      percent = 100.0;
      log(std::string(kLogRule) + "Erase Success\r\n");
      return 0;
    }
    const PassPattern pass = passes.front();
    currentRandom = pass.random;
    if (pass.random == 0) {
      currentPatternLength = pass.length;
      currentPassText = passText(pass);
    }
    fillBuffer(*this, pass);
    char line[160];
    std::snprintf(line, sizeof line, " Starting new task(%" PRId64 " - %" PRId64 ") %s\r\n", rangeStart,
                  rangeEnd, currentRandom ? "Random" : currentPassText.c_str());
    log(now() + line);
    if (current == rangeEnd) passesDone += 1;
    current = rangeStart;
    passReach = rangeStart;
    passes.pop_front();
  }

  const int64_t left = rangeEnd - current;
  uint32_t writeSize = left < int64_t(bufferLength) ? uint32_t(left) : bufferLength;
  const double rangeLength = double(rangeEnd - rangeStart);
  if (totalPasses > 0) {
    percent = double(passesDone) * 100.0 / totalPasses +
              (rangeLength > 0 ? double(current - rangeStart) * 100.0 / rangeLength / totalPasses : 0.0);
  }
  if (writeSize == 0) {
    // An empty range: the pass is complete at once.
    log(now() + " Task completed\r\n");
    return 1;
  }
  if (writeSize % bytesPerSector != 0) {
    writeSize = bytesPerSector;
    debugOutputf("BytePerSector:%u, write_byte:%u", bytesPerSector, writeSize);
  }

  const uint32_t error = devWrite(handle, uint64_t(current), buffer.get(), writeSize);
  if (error == 0) {
    current += writeSize;
    passReach = current;
    if (current > furthest) furthest = current;
    if (current >= rangeEnd) {
      current = rangeEnd;
      log(now() + " Task completed\r\n");
    }
    return 1;
  }
  lastError = error;
  char line[320];
  std::snprintf(line, sizeof line,
                " Error when write file(%" PRId64 " - %" PRId64 ") %s\r\n%sWriteFile Error:%u\r\n", current,
                current + int64_t(writeSize), currentRandom ? "Random" : currentPassText.c_str(), kLogRule,
                error);
  log(now() + line);
  return -1;
}

void clErase::close() {
  buffer.reset();
  if (isValidDevHandle(handle)) devClose(handle);
  handle = invalidDevHandle();
  volumeLocks.release();
}

void clErase::log(const std::string& text) {
  if (logs != nullptr) logs->logLine(text);
}
