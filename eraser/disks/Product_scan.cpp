// The disk scan: enumeration, probing and admission, volumes, expiry, and the scan thread.
#include "Product_scan.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Apphelputil.h"
#include "Platformservices.h"
#include "Sunnywilldeviceutil.h"
#include "Textformatutil.h"

namespace {

constexpr uint8_t kBusTypeUsb = 7;
constexpr int kLetters = 26;
constexpr int kFirstVolumeLetter = 2;  // c: a and b are floppy letters and never hold a listed volume

// --- diagnostics --------------------------------------------------------------------------------------

// The system's text for an error, in UTF-8, without the line break the system ends it with.
std::string messageText(uint32_t error) {
  std::string text = utf8FromUtf16(systemMessageText(0, error, nullptr));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

void diagnostic(const char* call, uint32_t error) {
  debugOutput(std::string(call) + " : " + messageText(error) + " (" + std::to_string(int32_t(error)) + ")");
}

// --- probing ------------------------------------------------------------------------------------------

// What the storage descriptor tells; false when it cannot be read.
bool readDescriptor(DevHandle h, DiskInfo& disk) {
  StorageDescriptorInfo info;
  if (!readStorageDescriptor(queryStorageDescriptor(h), &info)) return false;
  disk.busType = info.busType;
  disk.removableMedia = info.removableMedia;
  disk.identityText = info.vendorId;
  if (info.hasVendor && info.hasProduct) disk.identityText += ' ';
  disk.identityText += info.productId;
  return true;
}

// Everything of the probe after the open; null rejects.
DiskRecord probeOpen(DevHandle h, const std::string& devicePath, uint32_t parentInstance) {
  const int32_t number = queryDeviceNumber(h);
  if (number < 0) return nullptr;
  auto disk = std::make_shared<DiskInfo>();
  disk->deviceNumber = uint32_t(number);
  disk->parentInstance = parentInstance;
  disk->devicePath = devicePath;
  if (!readDescriptor(h, *disk)) return nullptr;
  if (queryDiskLength(h, &disk->diskLength) != kErrorSuccess || disk->diskLength <= 0) return nullptr;
  disk->sectorSize = querySectorSize(h);
  // Only disks in a station's bays are erased here; internal disks and flash drives never are.
  if (disk->busType != kBusTypeUsb || disk->removableMedia != 0 || !detectDockBay(*disk, h)) return nullptr;
  readIdentify(*disk, h);
  return disk;
}

// --- one pass -----------------------------------------------------------------------------------------

class ScanPass {
 public:
  ScanPass(DiskList& list, const std::vector<DiskInterface>& found) : list_(list) {
    for (const DiskInterface& d : found) present_.insert(d.devicePath);
  }

  void visit(const DiskInterface& found) {
    DiskRecord disk = list_.findByPath(found.devicePath);
    const bool listed = disk != nullptr;
    if (!listed) {
      disk = probeDisk(found.devicePath, found.parentInstance);
      if (!disk || !admit(disk)) return;
    }
    // Fails while an erase holds the disk: its volumes then go unrefreshed, the disk stays listed and
    // is not checked either.
    DevHandle h = devOpen(found.devicePath.c_str(), DevOpenMode::shared, nullptr);
    if (isValidDevHandle(h)) {
      const int32_t number = queryDeviceNumber(h);
      if (listed && isAnotherDisk(*disk, h, number)) {
        disk = replaceSwapped(disk, found);
        if (!disk) {
          devClose(h);
          return;
        }
      }
      refreshVolumes(*disk, number);
    }
    expireVolumes(*disk, kVolumeMaxAge);
    disk->lastSeenTick = devTickCount();
    devClose(h);
  }

 private:
  // Lists a new record. A station's bay holds one disk: when the disk listed for this bay is gone
  // from the machine, the new one has taken its place. A group member never expires on its own, so
  // without this the worker would find the gone disk first for that bay.
  bool admit(const DiskRecord& disk) {
    if (disk->bayCount > 1 && disk->parentInstance != 0) {
      if (DiskRecord head = list_.findGroupHead(disk->parentInstance)) {
        if (head->bayIndex == disk->bayIndex && !present_.count(head->devicePath)) {
          // The head goes now, as the end of the pass would take it, and the new disk starts the
          // group afresh.
          list_.removeDisk(head);
        } else {
          for (const DiskRecord& member : head->groupMembers.records()) {
            if (member->bayIndex == disk->bayIndex && !present_.count(member->devicePath)) {
              return head->groupMembers.replaceDisk(member, disk);
            }
          }
        }
      }
    }
    return list_.addByGroupingRule(disk);
  }

  // A bridge whose device path belongs to the bay keeps the path when its disk is swapped: the
  // record then no longer describes the disk behind it. Only answers that were read and differ say
  // so; a query that fails says nothing.
  static bool isAnotherDisk(const DiskInfo& disk, DevHandle h, int32_t number) {
    if (number >= 0 && uint32_t(number) != disk.deviceNumber) return true;
    int64_t length = 0;
    if (queryDiskLength(h, &length) == kErrorSuccess && length > 0 && length != disk.diskLength) return true;
    // Disks of one model have one length; only the serial tells them apart.
    if (disk.serialNumber.empty()) return false;
    uint8_t data[kIdentifySize];
    if (!readIdentifyData(disk.busType, disk.removableMedia, h, data)) return false;
    const std::string serial = decodeIdentify(data).serialNumber;
    return !serial.empty() && serial != disk.serialNumber;
  }

  // Drops the record of a disk that was swapped out, as the window would see it removed, and lists
  // the disk now behind the path as a new one. A head's members are still in their bays: they join
  // the group again rather than wait a pass to be probed anew. Null when the new disk is not admitted.
  DiskRecord replaceSwapped(const DiskRecord& old, const DiskInterface& found) {
    debugOutput("Disk swapped: " + found.devicePath);
    // Probed before the old record goes, so the station is without the bay only for a moment.
    DiskRecord disk = probeDisk(found.devicePath, found.parentInstance);
    std::vector<DiskRecord> members;
    if (DiskRecord head = headOf(old)) {
      list_.removeGroupMember(head, old);
    } else {
      members = old->groupMembers.records();
      list_.removeDisk(old);
    }
    const bool admitted = disk && admit(disk);
    for (const DiskRecord& member : members) {
      if (present_.count(member->devicePath)) list_.addByGroupingRule(member);
    }
    return admitted ? disk : nullptr;
  }

  // The head whose members include disk; null for a top-level record.
  DiskRecord headOf(const DiskRecord& disk) const {
    for (const DiskRecord& top : list_.records()) {
      if (top == disk) return nullptr;
      for (const DiskRecord& member : top->groupMembers.records()) {
        if (member == disk) return top;
      }
    }
    return nullptr;
  }

  // Which disk each drive letter lies on, looked up once per pass for all disks: -1 where the volume
  // is absent or cannot be opened (an erase holds its disk).
  const std::array<int32_t, kLetters>& letterDisks() {
    if (lettersRead_) return letterDisks_;
    lettersRead_ = true;
    letterDisks_.fill(-1);
    const uint32_t mask = logicalDriveMask();
    for (int i = kFirstVolumeLetter; i < kLetters; ++i) {
      if ((mask >> i & 1) == 0) continue;
      const char path[] = {'\\', '\\', '.', '\\', char('a' + i), ':', 0};
      DevHandle volume = devOpen(path, DevOpenMode::shared, nullptr);
      if (!isValidDevHandle(volume)) continue;
      letterDisks_[size_t(i)] = queryDeviceNumber(volume);
      devClose(volume);
    }
    return letterDisks_;
  }

  // number: the disk's device number as the visit read it.
  void refreshVolumes(DiskInfo& disk, int32_t number) {
    if (number < 0) return;
    const auto& letters = letterDisks();
    for (int i = kFirstVolumeLetter; i < kLetters; ++i) {
      if (letters[size_t(i)] != number) continue;
      VolumeRefresh update;
      update.driveLetter = char('a' + i);
      const std::u16string root = {char16_t(u'a' + i), u':', u'\\'};
      update.haveSizes = queryVolumeSpace(root, &update.totalBytes, &update.freeBytes);
      update.haveNames = queryVolumeNames(root, &update.volumeLabel, &update.fileSystemName);
      refreshVolume(disk, update);
    }
  }

  DiskList& list_;
  std::unordered_set<std::string> present_;
  bool lettersRead_ = false;
  std::array<int32_t, kLetters> letterDisks_{};
};

bool scanPass(DiskList& list, const DevStopSignal* stop) {
  // A station an erase could not switch back from mirroring would copy anybody's writes.
  retryStationResets();
  const DiskEnumeration found = enumerateDiskInterfaces();
  if (found.error != kErrorSuccess) {
    diagnostic("SetupDiGetClassDevs", found.error);
    return false;
  }
  for (uint32_t error : found.skipped) diagnostic("SetupDi", error);
  ScanPass pass(list, found.interfaces);
  for (const DiskInterface& d : found.interfaces) {
    // A pass cut short drops nothing: the disks it did not reach were not looked for.
    if (stop != nullptr && stop->stopped) return true;
    pass.visit(d);
  }
  list.expireDisks(kDiskMaxAge);
  list.notifyIfEmpty();
  return true;
}

// --- the thread ---------------------------------------------------------------------------------------

class ScanThread {
 public:
  ScanThread() { (void)mainDiskList(); }  // built first, so the list outlives the thread
  ~ScanThread() { stop(); }

  void start() {
    std::lock_guard hold(control_);
    if (thread_.joinable()) return;
    stop_.stopped = false;
    {
      std::lock_guard count(passLock_);
      passes_ = 0;
    }
    thread_ = std::thread([this] { run(); });
  }

  void stop() {
    std::lock_guard hold(control_);
    if (!thread_.joinable()) return;
    devStop(stop_);
    thread_.join();
  }

  uint64_t passes() {
    std::lock_guard count(passLock_);
    return passes_;
  }

  bool waitForPasses(uint64_t count, uint32_t timeoutMs) {
    std::unique_lock hold(passLock_);
    return passDone_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return passes_ >= count; });
  }

 private:
  void run() {
    DiskList& list = mainDiskList();
    list.clearDisks();
    for (;;) {
      const uint32_t attempt = devTickCount();
      const bool enumerated = scanPass(list, &stop_);
      if (stop_.stopped) return;
      if (!enumerated) {
        if (devWaitSince(stop_, attempt, kEnumerationRetry)) return;
        continue;
      }
      // The interval runs from here, before anyone hears of the pass and moves a manual clock.
      const uint32_t ended = devTickCount();
      {
        std::lock_guard count(passLock_);
        ++passes_;
      }
      passDone_.notify_all();
      if (devWaitSince(stop_, ended, kScanInterval)) return;
    }
  }

  std::mutex control_;  // start and stop
  std::thread thread_;
  DevStopSignal stop_;
  std::mutex passLock_;
  std::condition_variable passDone_;
  uint64_t passes_ = 0;
};

ScanThread& scanThread() {
  // Destroyed at exit like any static, which stops the thread first.
  static ScanThread thread;
  return thread;
}

}  // namespace

DiskRecord probeDisk(const std::string& devicePath, uint32_t parentInstance) {
  DevHandle h = devOpen(devicePath.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return nullptr;
  DiskRecord disk = probeOpen(h, devicePath, parentInstance);
  devClose(h);
  return disk;
}

bool scanOnce(DiskList& list) { return scanPass(list, nullptr); }

void startDiskScan() { scanThread().start(); }

void stopDiskScan() { scanThread().stop(); }

uint64_t diskScanPasses() { return scanThread().passes(); }

bool waitForDiskScanPasses(uint64_t count, uint32_t timeoutMs) {
  return scanThread().waitForPasses(count, timeoutMs);
}
