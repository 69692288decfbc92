// Device layer, Windows side: the enumeration of disk interfaces, drive letters, volumes and waits.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "Deviceioutil.h"
#include "Deviceioutil_win.h"
#include "Winfuncutil.h"

// clang-format off
#include <winioctl.h>
// clang-format on

namespace {

// GUID_DEVINTERFACE_DISK, spelt out so that no import library has to carry it.
constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr DWORD kDetailHeader = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 4 ? 5 : 8),
              "cbSize is the packed size on 32-bit Windows and the aligned one on 64-bit");
// A detail larger than this is not a device path; not worth the allocation.
constexpr DWORD kMaxDetailSize = 64 * 1024;
constexpr DWORD kVolumeTextUnits = 260;

uint32_t lastErrorOr(uint32_t fallback) {
  const DWORD e = GetLastError();
  return e != 0 ? uint32_t(e) : fallback;
}

// The device path of one interface, or the error that kept it from being read.
uint32_t readDevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface, std::string* path) {
  const DevSystemCalls& sys = devSystemCalls();
  DWORD required = 0;
  // Asked without a buffer, the call fails with ERROR_INSUFFICIENT_BUFFER and names the size.
  if (sys.setupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &required, nullptr)) {
    return ERROR_INVALID_DATA;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return lastErrorOr(ERROR_INVALID_DATA);
  if (required <= kDetailHeader || required > kMaxDetailSize) return ERROR_INVALID_DATA;

  std::vector<uint8_t> buffer(required, 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  // The size of the fixed part as this build lays it out: 5 on 32-bit Windows, 8 on 64-bit.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!sys.setupDiGetDeviceInterfaceDetailA(set, iface, detail, required, nullptr, nullptr)) {
    return lastErrorOr(ERROR_INVALID_DATA);
  }
  const char* text = detail->DevicePath;
  path->assign(text, strnlen(text, required - kDetailHeader));
  return path->empty() ? ERROR_INVALID_DATA : ERROR_SUCCESS;
}

// One member of the set: true when it gave a device path. *end is set when the set has no more
// members (or cannot be walked further).
bool readMember(HDEVINFO set, DWORD index, DiskInterface* member, uint32_t* error, bool* end) {
  const DevSystemCalls& sys = devSystemCalls();
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof(info);
  if (!sys.setupDiEnumDeviceInfo(set, index, &info)) {
    // ERROR_NO_MORE_ITEMS is the normal end. Any other failure would repeat for every later index.
    *error = lastErrorOr(ERROR_NO_MORE_ITEMS);
    *end = true;
    return false;
  }
  member->parentInstance = sys.cmGetParent(info.DevInst);
  // The interface of this very device, so that the path and the parent belong to one disk.
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof(iface);
  if (!sys.setupDiEnumDeviceInterfaces(set, &info, &kDiskInterface, 0, &iface)) {
    *error = lastErrorOr(ERROR_NO_MORE_ITEMS);
    return false;
  }
  *error = readDevicePath(set, &iface, &member->devicePath);
  return *error == ERROR_SUCCESS;
}

// Volume names are "\\?\Volume{GUID}\": 49 characters and the terminator.
constexpr DWORD kVolumeNameUnits = 64;
// A volume spread over more disks than this is not one we could lock anyway.
constexpr DWORD kMaxVolumeExtents = 128;

// The name without its trailing backslash, which CreateFile would take for the root folder. Empty for
// a name that is not plain ASCII (the device layer opens paths as narrow strings).
std::string openablePath(const wchar_t* name) {
  std::string path;
  for (size_t i = 0; i < kVolumeNameUnits && name[i] != 0; ++i) {
    if (name[i] > 0x7E || name[i] < 0x20) return {};
    path.push_back(char(name[i]));
  }
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Whether the volume has an extent on the disk of that number. The volume is opened without access
// rights: enough to ask, and it neither mounts nor spins up anything.
bool volumeOnDisk(const std::string& path, uint32_t deviceNumber) {
  const DevSystemCalls& sys = devSystemCalls();
  HANDLE h = sys.createFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  // One extent fits the fixed structure; a volume spread over several disks says how many it has.
  std::vector<uint8_t> buffer(sizeof(VOLUME_DISK_EXTENTS), 0);
  DWORD returned = 0;
  BOOL ok = sys.deviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                                DWORD(buffer.size()), &returned, nullptr);
  if (!ok && GetLastError() == ERROR_MORE_DATA) {
    const DWORD count = reinterpret_cast<VOLUME_DISK_EXTENTS*>(buffer.data())->NumberOfDiskExtents;
    if (count > 1 && count <= kMaxVolumeExtents) {
      buffer.assign(offsetof(VOLUME_DISK_EXTENTS, Extents) + count * sizeof(DISK_EXTENT), 0);
      ok = sys.deviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                               DWORD(buffer.size()), &returned, nullptr);
    }
  }
  sys.closeHandle(h);
  if (!ok) return false;
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  const size_t room = (buffer.size() - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
  const size_t n = std::min<size_t>(extents->NumberOfDiskExtents, room);
  for (size_t i = 0; i < n; ++i) {
    if (extents->Extents[i].DiskNumber == deviceNumber) return true;
  }
  return false;
}

struct Waits {
  std::mutex lock;
  std::condition_variable changed;
};

Waits& waits() {
  static Waits* w = new Waits;  // never destroyed: a thread may still wait while the process ends
  return *w;
}

}  // namespace

uint32_t DevSystemCalls::defaultCmGetParent(uint32_t devInst) { return ::cmGetParent(devInst); }

DiskEnumeration enumerateDiskInterfaces() {
  const DevSystemCalls& sys = devSystemCalls();
  DiskEnumeration result;
  HDEVINFO set =
      sys.setupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    result.error = lastErrorOr(ERROR_INVALID_DATA);
    return result;
  }
  for (DWORD index = 0;; ++index) {
    DiskInterface member;
    uint32_t error = 0;
    bool end = false;
    if (readMember(set, index, &member, &error, &end)) {
      result.interfaces.push_back(std::move(member));
    } else if (end) {
      if (error != ERROR_NO_MORE_ITEMS) result.skipped.push_back(error);
      break;
    } else {
      result.skipped.push_back(error);
    }
  }
  sys.setupDiDestroyDeviceInfoList(set);
  return result;
}

uint32_t logicalDriveMask() { return uint32_t(devSystemCalls().getLogicalDrives()); }

bool queryVolumeSpace(const std::u16string& root, uint64_t* totalBytes, uint64_t* freeBytes) {
  if (totalBytes == nullptr || freeBytes == nullptr) return false;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!devSystemCalls().getDiskFreeSpaceW(reinterpret_cast<const wchar_t*>(root.c_str()), &sectorsPerCluster,
                                          &bytesPerSector, &freeClusters, &totalClusters)) {
    return false;
  }
  // In 64 bits: a volume of more than 4 GiB overflows the 32-bit product.
  const uint64_t cluster = uint64_t(sectorsPerCluster) * bytesPerSector;
  *totalBytes = uint64_t(totalClusters) * cluster;
  *freeBytes = uint64_t(freeClusters) * cluster;
  return true;
}

bool queryVolumeNames(const std::u16string& root, std::u16string* label, std::u16string* fileSystem) {
  if (label == nullptr || fileSystem == nullptr) return false;
  wchar_t name[kVolumeTextUnits] = {};
  wchar_t system[kVolumeTextUnits] = {};
  if (!devSystemCalls().getVolumeInformationW(reinterpret_cast<const wchar_t*>(root.c_str()), name,
                                              kVolumeTextUnits, nullptr, nullptr, nullptr, system,
                                              kVolumeTextUnits)) {
    return false;
  }
  // Each ends at its terminator, or at the end of its buffer should the system leave none.
  auto text = [](const wchar_t* units) {
    return std::u16string(reinterpret_cast<const char16_t*>(units), wcsnlen(units, kVolumeTextUnits));
  };
  *label = text(name);
  *fileSystem = text(system);
  return true;
}

std::vector<std::string> diskVolumePaths(uint32_t deviceNumber) {
  const DevSystemCalls& sys = devSystemCalls();
  std::vector<std::string> paths;
  wchar_t name[kVolumeNameUnits] = {};
  HANDLE find = sys.findFirstVolumeW(name, kVolumeNameUnits);
  if (find == INVALID_HANDLE_VALUE) return paths;
  do {
    name[kVolumeNameUnits - 1] = 0;
    const std::string path = openablePath(name);
    if (!path.empty() && volumeOnDisk(path, deviceNumber)) paths.push_back(path);
  } while (sys.findNextVolumeW(find, name, kVolumeNameUnits));
  sys.findVolumeClose(find);
  return paths;
}

std::string volumePathOfLetter(char letter) {
  const wchar_t root[] = {wchar_t(letter), L':', L'\\', 0};
  wchar_t name[kVolumeNameUnits] = {};
  if (!devSystemCalls().getVolumeNameForVolumeMountPointW(root, name, kVolumeNameUnits)) return {};
  name[kVolumeNameUnits - 1] = 0;
  return openablePath(name);
}

std::string systemVolumePath() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT n = devSystemCalls().getWindowsDirectoryW(folder, MAX_PATH);
  if (n < 2 || n > MAX_PATH || folder[1] != L':') return {};
  const wchar_t c = folder[0] | 0x20;
  return c >= L'a' && c <= L'z' ? volumePathOfLetter(char(c)) : std::string();
}

bool devWaitSince(DevStopSignal& signal, uint32_t since, uint32_t milliseconds) {
  Waits& w = waits();
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    if (signal.stopped) return true;
    const uint32_t passed = uint32_t(devTickCount() - since);
    if (passed >= milliseconds) return false;
    w.changed.wait_for(hold, std::chrono::milliseconds(milliseconds - passed));
  }
}

void devStop(DevStopSignal& signal) {
  signal.stopped = true;
  Waits& w = waits();
  { std::lock_guard<std::mutex> hold(w.lock); }
  w.changed.notify_all();
}
