// The simulated device layer: the enumeration of disk interfaces and the volume queries.
#include <algorithm>
#include <cctype>

#include "Simulator_internal.h"

using namespace sim;
using namespace sim::detail;

namespace {

// The letter of a root such as u"e:\\", or 0 when the root names no drive.
char rootLetter(const std::u16string& root) {
  if (root.size() != 3 || root[1] != u':' || root[2] != u'\\') return 0;
  const char16_t c = root[0];
  if (c >= u'A' && c <= u'Z') return char(c - u'A' + 'a');
  return c >= u'a' && c <= u'z' ? char(c) : 0;
}

// The volume at the letter on a plugged disk, as a query through its root finds it: null when there is
// none or when it is locked; a dismounted one is mounted again by the query.
const VolumeSpec* volumeAt(State& s, char letter) {
  if (letter == 0) return nullptr;
  for (size_t i = 0; i < s.disks.size(); ++i) {
    Disk& d = s.disks[i];
    if (!d.plugged) continue;
    for (VolumeSpec& v : d.spec.volumes) {
      if (v.letter != letter) continue;
      if (volumeLocked(s, DiskId(i), v.path)) return nullptr;
      mountOnAccess(s, DiskId(i), v);
      return &v;
    }
  }
  return nullptr;
}

// Every disk once: the ones the order names first, then the rest as added.
std::vector<DiskId> enumerationOrder(const State& s) {
  std::vector<DiskId> order;
  for (DiskId id : s.enumerationOrder) {
    if (id >= 0 && size_t(id) < s.disks.size() && std::find(order.begin(), order.end(), id) == order.end())
      order.push_back(id);
  }
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (std::find(order.begin(), order.end(), DiskId(i)) == order.end()) order.push_back(DiskId(i));
  }
  return order;
}

}  // namespace

namespace sim {

void setEnumerationOrder(const std::vector<DiskId>& order) {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.enumerationOrder = order;
}

void failEnumeration(const Fault& fault) {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.enumerationFault = {fault.times != 0, fault};
}

void clearEnumerationFault() {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.enumerationFault = {};
}

uint32_t enumerationCount() {
  State& s = state();
  std::lock_guard lock(s.lock);
  return s.enumerations;
}

void setForeignDriveLetters(uint32_t mask) {
  State& s = state();
  std::lock_guard lock(s.lock);
  s.foreignDrives = mask & 0x3FFFFFFu;
}

}  // namespace sim

DiskEnumeration enumerateDiskInterfaces() {
  State& s = state();
  std::lock_guard lock(s.lock);
  DiskEnumeration result;
  ++s.enumerations;
  Fault f;
  if (takeFault(s.enumerationFault, &f)) {
    result.error = f.error != 0 ? f.error : kErrorIoDevice;
    return result;
  }
  for (DiskId id : enumerationOrder(s)) {
    Disk& d = s.disks[size_t(id)];
    if (!d.plugged) continue;
    ++d.requests[size_t(Request::detail)];
    if (takeFault(d.faults[size_t(Request::detail)], &f)) {
      result.skipped.push_back(f.error);
      continue;
    }
    result.interfaces.push_back({d.spec.path, d.spec.parentInstance});
  }
  return result;
}

uint32_t logicalDriveMask() {
  State& s = state();
  std::lock_guard lock(s.lock);
  uint32_t mask = s.foreignDrives;
  for (const Disk& d : s.disks) {
    if (!d.plugged) continue;
    for (const VolumeSpec& v : d.spec.volumes) {
      if (v.letter != 0) mask |= 1u << (v.letter - 'a');
    }
  }
  return mask;
}

bool queryVolumeSpace(const std::u16string& root, uint64_t* totalBytes, uint64_t* freeBytes) {
  if (totalBytes == nullptr || freeBytes == nullptr) return false;
  State& s = state();
  std::lock_guard lock(s.lock);
  const VolumeSpec* v = volumeAt(s, rootLetter(root));
  if (v == nullptr || v->sizesUnreadable) return false;
  *totalBytes = v->totalBytes;
  *freeBytes = v->freeBytes;
  return true;
}

bool queryVolumeNames(const std::u16string& root, std::u16string* label, std::u16string* fileSystem) {
  if (label == nullptr || fileSystem == nullptr) return false;
  State& s = state();
  std::lock_guard lock(s.lock);
  const VolumeSpec* v = volumeAt(s, rootLetter(root));
  if (v == nullptr || v->labelUnreadable) return false;
  // The system's buffers hold 259 units and the terminator.
  *label = v->label.substr(0, 259);
  *fileSystem = v->fileSystem.substr(0, 259);
  return true;
}
