// Disk records, their volumes and the disk list.
#include "Product.h"

#include <algorithm>
#include <utility>

#include "Deviceioutil.h"

namespace {

constexpr uint8_t kBusTypeUsb = 7;

bool olderThan(uint32_t now, uint32_t tick, uint32_t maxAge) { return uint32_t(now - tick) > maxAge; }

}  // namespace

// --- volumes ---------------------------------------------------------------------------------------

std::vector<VolumeInfo> VolumeList::snapshot() const {
  std::lock_guard lock(mutex_);
  return volumes_;
}

size_t VolumeList::size() const {
  std::lock_guard lock(mutex_);
  return volumes_.size();
}

void VolumeList::refresh(const VolumeRefresh& update, uint32_t tick) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(volumes_.begin(), volumes_.end(),
                         [&](const VolumeInfo& v) { return v.driveLetter == update.driveLetter; });
  if (it == volumes_.end()) {
    volumes_.emplace_back();
    it = volumes_.end() - 1;
    it->driveLetter = update.driveLetter;
  }
  if (update.haveSizes) {
    it->totalBytes = update.totalBytes;
    it->freeBytes = update.freeBytes;
  }
  if (update.haveNames) {
    it->volumeLabel = update.volumeLabel;
    it->fileSystemName = update.fileSystemName;
  }
  it->lastSeenTick = tick;
}

int VolumeList::expire(uint32_t now, uint32_t maxAge) {
  std::lock_guard lock(mutex_);
  size_t before = volumes_.size();
  std::erase_if(volumes_, [&](const VolumeInfo& v) { return olderThan(now, v.lastSeenTick, maxAge); });
  return int(before - volumes_.size());
}

void refreshVolume(DiskInfo& disk, const VolumeRefresh& update) {
  disk.volumes.refresh(update, devTickCount());
}

int expireVolumes(DiskInfo& disk, uint32_t maxAge) { return disk.volumes.expire(devTickCount(), maxAge); }

// --- the list --------------------------------------------------------------------------------------

DiskList::DiskList(int capacity) : capacity_(capacity) {}

void DiskList::setObserver(DiskListObserver* observer) {
  std::lock_guard writer(writerMutex_);
  observer_ = observer;
}

bool DiskList::appendLocked(DiskRecord record, std::vector<Event>* events) {
  if (!record) return false;
  std::unique_lock lock(mutex_);
  if (capacity_ >= 0 && records_.size() >= size_t(capacity_)) return false;
  records_.push_back(std::move(record));
  events->push_back({Event::added, int(records_.size()) - 1});
  return true;
}

void DiskList::deliver(const std::vector<Event>& events) {
  if (!observer_) return;
  for (const Event& e : events) {
    switch (e.kind) {
      case Event::added:
        observer_->diskAdded(e.value);
        break;
      case Event::removed:
        observer_->slotRemoved(e.value);
        break;
      case Event::empty:
        observer_->noDisks();
        break;
    }
  }
}

bool DiskList::appendDisk(DiskRecord record) {
  std::lock_guard writer(writerMutex_);
  std::vector<Event> events;
  bool added = appendLocked(std::move(record), &events);
  deliver(events);
  return added;
}

bool DiskList::addByGroupingRule(DiskRecord record) {
  if (!record) return false;
  std::lock_guard writer(writerMutex_);
  // A parent of 0 means the parent query failed: it says nothing about the station, and grouping
  // two stations would mirror writes meant for one onto the other's bay numbers.
  if (record->bayCount > 1 && record->parentInstance != 0) {
    if (DiskRecord head = findGroupHead(record->parentInstance)) {
      int bay = record->bayIndex;
      if (!head->groupMembers.appendDisk(std::move(record))) return false;
      markBayOccupied(*head, bay);
      return true;
    }
  }
  // Marked before it is published, so no reader sees a station without its own bay.
  if (record->bayCount > 1) markBayOccupied(*record, record->bayIndex);
  std::vector<Event> events;
  bool added = appendLocked(std::move(record), &events);
  deliver(events);
  return added;
}

DiskRecord DiskList::diskAt(int position) const {
  std::lock_guard lock(mutex_);
  if (position < 0 || size_t(position) >= records_.size()) return nullptr;
  return records_[size_t(position)];
}

DiskRecord DiskList::findByPath(std::string_view path) const {
  std::lock_guard lock(mutex_);
  for (const DiskRecord& top : records_) {
    if (top->devicePath == path) return top;
    if (DiskRecord member = top->groupMembers.findByPath(path)) return member;
  }
  return nullptr;
}

DiskRecord DiskList::findGroupHead(uint32_t parentInstance) const {
  std::lock_guard lock(mutex_);
  for (const DiskRecord& top : records_) {
    if (top->parentInstance == parentInstance) return top;
  }
  return nullptr;
}

template <typename Predicate>
int DiskList::removeWhere(Predicate drop) {
  std::lock_guard writer(writerMutex_);
  std::vector<Event> events;
  std::vector<DiskRecord> dropped;  // released after the lock, outside the readers' way
  {
    std::unique_lock lock(mutex_);
    for (size_t i = 0; i < records_.size();) {
      if (drop(*records_[i])) {
        dropped.push_back(std::move(records_[i]));
        records_.erase(records_.begin() + ptrdiff_t(i));
        events.push_back({Event::removed, int(records_.size())});
      } else {
        ++i;
      }
    }
    // Positions behind a removed record have moved: refill every slot from the list.
    if (!dropped.empty()) {
      for (size_t i = 0; i < records_.size(); ++i) events.push_back({Event::added, int(i)});
    }
  }
  deliver(events);
  return int(dropped.size());
}

int DiskList::expireDisks(uint32_t maxAge) {
  const uint32_t now = devTickCount();
  return removeWhere([&](const DiskInfo& d) { return olderThan(now, d.lastSeenTick, maxAge); });
}

bool DiskList::removeDisk(const DiskRecord& record) {
  return record && removeWhere([&](const DiskInfo& d) { return &d == record.get(); }) > 0;
}

bool DiskList::replaceDisk(const DiskRecord& old, DiskRecord record) {
  if (!old || !record) return false;
  std::lock_guard writer(writerMutex_);
  std::vector<Event> events;
  std::vector<DiskRecord> dropped;
  {
    std::unique_lock lock(mutex_);
    auto it = std::find(records_.begin(), records_.end(), old);
    if (it == records_.end()) return false;
    dropped.push_back(std::exchange(*it, std::move(record)));
    events.push_back({Event::added, int(it - records_.begin())});
  }
  deliver(events);
  return true;
}

bool DiskList::removeGroupMember(const DiskRecord& head, const DiskRecord& member) {
  if (!head || !member) return false;
  std::lock_guard writer(writerMutex_);
  if (!head->groupMembers.removeDisk(member)) return false;
  const int32_t bay = member->bayIndex;
  bool held = head->bayIndex == bay;
  for (const DiskRecord& other : head->groupMembers.records()) held = held || other->bayIndex == bay;
  if (!held) clearBayOccupied(*head, bay);
  return true;
}

void DiskList::clearDisks() {
  std::lock_guard writer(writerMutex_);
  std::vector<DiskRecord> dropped;
  {
    std::unique_lock lock(mutex_);
    dropped.swap(records_);
  }
}

bool DiskList::notifyIfEmpty() {
  std::lock_guard writer(writerMutex_);
  if (topLevelCount() != 0) return false;
  deliver({{Event::empty, 0}});
  return true;
}

int DiskList::topLevelCount() const {
  std::lock_guard lock(mutex_);
  return int(records_.size());
}

std::vector<DiskRecord> DiskList::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

DiskList& mainDiskList() {
  // Stations beyond the window's slots stay listed; the window shows none of them.
  static DiskList list(kUnlimitedDisks);
  return list;
}

// --- records ---------------------------------------------------------------------------------------

bool markBayOccupied(DiskInfo& disk, int32_t bay) {
  if (bay < 0 || bay >= kBayTableSize) return false;
  disk.bayOccupied[size_t(bay)] = 1;
  return true;
}

bool clearBayOccupied(DiskInfo& disk, int32_t bay) {
  if (bay < 0 || bay >= kBayTableSize) return false;
  disk.bayOccupied[size_t(bay)] = 0;
  return true;
}

std::vector<DiskRecord> groupOrder(const DiskRecord& head) {
  if (!head) return {};
  std::vector<DiskRecord> group = head->groupMembers.records();
  group.insert(group.begin(), head);
  return group;
}

bool isDockDisk(const DiskInfo& disk) { return disk.busType == kBusTypeUsb && disk.bayCount > 0; }

const char* diskTypeLabel(const DiskInfo& disk) {
  if (disk.busType == kBusTypeUsb && disk.removableMedia) return "USB Flash";
  if (isDockDisk(disk)) return "Docking";
  if (disk.rotationRate == 1) return "SSD";
  return "HDD";
}
