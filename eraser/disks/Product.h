// Disk records, their volumes and the disk list that the scan fills and the window and workers read.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Threading. The scan is the one writer; the window and the erase workers read. Records are
// shared-owned: whoever holds a std::shared_ptr<DiskInfo> (an erase worker during its run) may keep
// using it after the list has dropped it. A record's fields fall in two kinds:
//  - fixed at admission (devicePath, deviceNumber, the texts, busType, removableMedia,
//    rotationRate, parentInstance, diskLength, sectorSize, dockModel, bayCount, bayIndex): written by the probe
//    before the record is appended to any list and never changed afterwards, so readers read them
//    without a lock;
//  - changing (lastSeenTick, bayOccupied, volumes, groupMembers): atomics or guarded containers that
//    hand out copies, safe to read at any time.
// Readers get snapshots (a shared_ptr, a vector of them, a copy of the volumes), never references
// into a container that the scan may change.

struct DiskInfo;
using DiskRecord = std::shared_ptr<DiskInfo>;

constexpr int kBayTableSize = 8;     // entries of bayOccupied
constexpr int kDiskSlots = 20;       // top-level records the main window can show
constexpr int kUnlimitedDisks = -1;  // capacity of a list without a limit

// One drive letter on a disk.
struct VolumeInfo {
  char driveLetter = 0;  // lower case, c to z
  std::u16string volumeLabel{};
  std::u16string fileSystemName{};
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  uint32_t lastSeenTick = 0;
};

// What one scan visit learned about a volume. A part that could not be read is left unset, so the
// volume keeps its previous sizes or names.
struct VolumeRefresh {
  char driveLetter = 0;
  bool haveSizes = false;  // the free-space query answered
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  bool haveNames = false;  // the volume-information query answered
  std::u16string volumeLabel{};
  std::u16string fileSystemName{};
};

// The volumes of one disk in the order they were first found.
class VolumeList {
 public:
  std::vector<VolumeInfo> snapshot() const;
  size_t size() const;

  // Updates the volume with the refresh's letter in place, or appends a new one at the tail; either
  // way its lastSeenTick becomes tick.
  void refresh(const VolumeRefresh& update, uint32_t tick);

  // Removes every volume for which (now - lastSeenTick), as an unsigned 32-bit difference, is above
  // maxAge. Returns how many were removed.
  int expire(uint32_t now, uint32_t maxAge);

 private:
  mutable std::mutex mutex_;
  std::vector<VolumeInfo> volumes_;
};

// Told about changes of the main list's positions. Calls come in the order the changes happened, on
// the writer's thread, while no lock of the list is held: an observer may read the list, but must
// not change it.
class DiskListObserver {
 public:
  virtual ~DiskListObserver() = default;
  virtual void diskAdded(int position) = 0;  // the record at position is new or has moved there
  virtual void slotRemoved(int slot) = 0;    // slot is no longer in use (the new count)
  virtual void noDisks() = 0;                // a scan ended with the list empty
};

// An ordered list of records: the main list (with an observer, positions are window slots) or the
// group members of a head (no observer, nobody is told).
class DiskList {
 public:
  explicit DiskList(int capacity = kUnlimitedDisks);
  DiskList(const DiskList&) = delete;
  DiskList& operator=(const DiskList&) = delete;

  // The observer is swapped only between deliveries; after setObserver returns, the previous
  // observer receives nothing more.
  void setObserver(DiskListObserver* observer);

  // Puts the record at the tail; the observer gets diskAdded with its position. False (and nothing
  // changes) for a null record or when the list already holds capacity records.
  bool appendDisk(DiskRecord record);

  // Adds a newly probed record: a record of a multi-bay station joins the head of its station (same
  // known parentInstance) as a member and the head marks its bay; otherwise it is appended as a
  // top-level record that marks its own bay. False when the record was not listed (null or full).
  bool addByGroupingRule(DiskRecord record);

  DiskRecord diskAt(int position) const;  // null when position is outside the list

  // Top-level records first, each followed by its group members; exact byte comparison.
  DiskRecord findByPath(std::string_view path) const;

  // The first top-level record with this parent; members are not searched.
  DiskRecord findGroupHead(uint32_t parentInstance) const;

  // Drops every top-level record not seen for more than maxAge ms (unsigned 32-bit difference).
  // Each removal reports slotRemoved(new count); when any was removed, every remaining position is
  // then reported with diskAdded, 0 upward. Returns the number removed.
  int expireDisks(uint32_t maxAge);

  // Puts record where old stands (a disk that has taken the old one's place); the observer gets
  // diskAdded with that position. False when old is not in the list or record is null.
  bool replaceDisk(const DiskRecord& old, DiskRecord record);

  // Drops one record as expireDisks drops it: slotRemoved, then every position refilled. False when
  // it is not in the list.
  bool removeDisk(const DiskRecord& record);

  // Takes member out of head's groupMembers (head being one of this list's records) and clears the
  // head's mark of the member's bay unless the head or another member still sits in that bay.
  // Nobody is told: a member has no slot. False when member is not one of head's.
  bool removeGroupMember(const DiskRecord& head, const DiskRecord& member);

  // Drops every record; nobody is told.
  void clearDisks();

  // Sends noDisks when the list is empty; true when it did.
  bool notifyIfEmpty();

  int topLevelCount() const;
  std::vector<DiskRecord> records() const;  // the records in order, a snapshot

 private:
  struct Event {
    enum Kind : uint8_t { added, removed, empty } kind;
    int value;
  };
  bool appendLocked(DiskRecord record, std::vector<Event>* events);
  template <typename Predicate>
  int removeWhere(Predicate drop);
  void deliver(const std::vector<Event>& events);

  const int capacity_;
  // Taken first by every change and held while its events are delivered: keeps changes and their
  // notifications in one order, and keeps setObserver out of a delivery.
  std::mutex writerMutex_;
  // Guards records_. A plain mutex: readers hold it only to copy a pointer or the vector, and the
  // reader-writer lock of the Windows thread library corrupts memory under contention.
  mutable std::mutex mutex_;
  std::vector<DiskRecord> records_;
  DiskListObserver* observer_ = nullptr;  // guarded by writerMutex_
};

// One admitted disk. Create with std::make_shared<DiskInfo>() and fill the fixed fields before the
// record is handed to a list.
struct DiskInfo {
  std::string devicePath;  // device interface path; opens the disk
  uint32_t deviceNumber = 0;
  std::string identityText;  // vendor id and product id from the storage descriptor
  std::string modelName;     // from IDENTIFY; empty when none was read
  std::string serialNumber;  // from IDENTIFY; empty when none was read
  uint8_t busType = 0;       // STORAGE_BUS_TYPE, 7 = USB
  uint8_t removableMedia = 0;
  uint16_t rotationRate = 0;    // IDENTIFY word 217; 1 = solid state
  uint32_t parentInstance = 0;  // parent device node; 0 when unknown
  int64_t diskLength = 0;       // bytes, above 0 in a listed record
  uint32_t sectorSize = 0;      // bytes per sector; 0 when the geometry could not be read
  std::atomic<uint32_t> lastSeenTick{0};
  VolumeList volumes;
  uint32_t dockModel = 0;  // 6, 2 or 4 by station model; 0 outside a station
  int32_t bayCount = 0;    // bays of the station; 0 outside a station
  int32_t bayIndex = 0;    // bay holding this disk
  std::array<std::atomic<uint8_t>, kBayTableSize> bayOccupied{};
  DiskList groupMembers;  // only on a head: the station's other disks, in discovery order
};

// The process's main list.
DiskList& mainDiskList();

// Sets or clears bayOccupied[bay]; a bay outside the table is ignored (false).
bool markBayOccupied(DiskInfo& disk, int32_t bay);
bool clearBayOccupied(DiskInfo& disk, int32_t bay);

// The head, then its members in discovery order.
std::vector<DiskRecord> groupOrder(const DiskRecord& head);

// Volume operations with the current tick count.
void refreshVolume(DiskInfo& disk, const VolumeRefresh& update);
int expireVolumes(DiskInfo& disk, uint32_t maxAge);

bool isDockDisk(const DiskInfo& disk);
const char* diskTypeLabel(const DiskInfo& disk);  // "USB Flash", "Docking", "SSD" or "HDD"
