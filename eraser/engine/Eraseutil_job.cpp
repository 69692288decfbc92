// The erase job: open a disk for one byte range, write every pass in 1 MiB blocks, close.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Eraseutil.h"
#include "Eraseutil_log.h"
#include "Platformservices.h"

namespace {

// The disk scan opens every disk and its volumes for a moment every ten seconds; an exclusive open
// that meets such a handle is tried again instead of failing the disk.
constexpr int kSharingRetries = 20;
constexpr uint32_t kSharingRetryMilliseconds = 100;

DevHandle openExclusive(const std::string& path) {
  uint32_t error = 0;
  DevHandle h = devOpen(path.c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  for (int retry = 0; !isValidDevHandle(h) && error == kErrorSharingViolation && retry < kSharingRetries;
       ++retry) {
    devSleep(kSharingRetryMilliseconds);
    h = devOpen(path.c_str(), DevOpenMode::exclusiveUnbuffered, &error);
  }
  return h;
}

}  // namespace

bool clErase::open(const std::string& path, int64_t start, int64_t end) {
  seedRandom(calendarSeconds());
  ready = 0;
  // Windows refuses writes into a mounted volume: the disk's volumes are locked and dismounted first,
  // and a disk whose volumes will not let go is not written.
  if (!lockVolumesOfDevice(path, volumeLocks)) return false;
  handle = openExclusive(path);
  if (!isValidDevHandle(handle)) return false;
  bytesPerSector = querySectorSize(handle);
  if (bytesPerSector == 0) return false;
  int64_t length = 0;
  if (queryDiskLength(handle, &length) != 0 || length <= 0) return false;
  diskLength = length;
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
    if (current >= rangeEnd) {
      current = rangeEnd;
      log(now() + " Task completed\r\n");
    }
    return 1;
  }
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
