// Device layer: every request the eraser makes of storage, with a Windows side and a simulated side.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The concrete side is chosen at link time: Deviceioutil_win.cpp talks to Windows, the simulator
// (eraser/simulator) answers the same calls in process. Nothing here includes <windows.h>.

using DevHandle = void*;  // a Windows HANDLE on the Windows side

inline DevHandle invalidDevHandle() { return reinterpret_cast<DevHandle>(static_cast<intptr_t>(-1)); }
inline bool isValidDevHandle(DevHandle h) { return h != invalidDevHandle() && h != nullptr; }

// Windows error codes used across the device layer (0 is success).
enum : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorAccessDenied = 5,
  kErrorNotReady = 21,
  kErrorCrc = 23,
  kErrorSharingViolation = 32,
  kErrorInvalidParameter = 87,
  kErrorInsufficientBuffer = 122,
  kErrorNoMoreItems = 259,
  kErrorIoDevice = 1117,
  kErrorDeviceNotConnected = 1167,
  kErrorNoSystemResources = 1450,
};

enum class DevOpenMode : uint8_t {
  shared,               // read/write, FILE_SHARE_READ | FILE_SHARE_WRITE, no flags
  exclusiveUnbuffered,  // read/write, share mode 0, FILE_FLAG_NO_BUFFERING
};

// --- open, write, close -------------------------------------------------------------------------

// Opens a disk or volume path ("\\\\?\\usbstor#..." or "\\\\.\\c:"). Returns invalidDevHandle() on
// failure with the system error code in *error (when error is not null).
DevHandle devOpen(const char* path, DevOpenMode mode, uint32_t* error);

// Writes size bytes at a byte offset (synchronous). Returns 0 or the system error code. For an
// unbuffered handle, offset, size and data must be sector-aligned.
uint32_t devWrite(DevHandle h, uint64_t offset, const void* data, uint32_t size);

// Reads size bytes at a byte offset into data (synchronous). Returns 0 or the system error code; a read
// that delivers fewer bytes than asked counts as 1117. For an unbuffered handle, offset, size and data
// must be sector-aligned, as for devWrite.
uint32_t devRead(DevHandle h, uint64_t offset, void* data, uint32_t size);

// Makes the device put what it was sent on its medium (FlushFileBuffers). Returns 0 or the error code.
uint32_t devFlush(DevHandle h);

void devClose(DevHandle h);

// --- device primitives ----------------------------------------------------------------------------
// Each refuses an invalid handle without a system call.

// The storage device number when the device is a disk (FILE_DEVICE_DISK), otherwise -1.
int32_t queryDeviceNumber(DevHandle h);

// BytesPerSector of the drive geometry, or 0 when the query fails.
uint32_t querySectorSize(DevHandle h);

// Length in bytes; stored in *length only on success. Returns an error code (2 for an invalid handle).
uint32_t queryDiskLength(DevHandle h, int64_t* length);

// IOCTL_DISK_DELETE_DRIVE_LAYOUT. Returns an error code.
uint32_t deleteDriveLayout(DevHandle h);

// IOCTL_SCSI_GET_ADDRESS into 8 bytes (byte 6 is the TargetId). True on success.
bool queryScsiAddress(DevHandle h, uint8_t address[8]);

// The STORAGE_DEVICE_DESCRIPTOR bytes as the device returned them (the whole descriptor, re-read
// when longer than 40 bytes), or an empty vector when the query fails.
std::vector<uint8_t> queryStorageDescriptor(DevHandle h);

// SCSI pass-through with path/target/lun, a command block of 1 to 16 bytes and a data buffer of
// *length bytes. True when the request succeeded with SCSI status 0; *length is then the number of
// bytes the device transferred (for data-in, that many bytes were copied into data), never more than
// the caller's *length. Callers are serialised: a second caller waits until the first is done. A
// missing or over-long command block, a missing length, or a missing data buffer for a non-zero length
// is refused without a request.
bool scsiPassThroughIn(DevHandle h, uint8_t pathId, uint8_t targetId, uint8_t lun, const uint8_t* cdb,
                       uint8_t cdbLength, void* data, uint32_t* length);
bool scsiPassThroughOut(DevHandle h, uint8_t pathId, uint8_t targetId, uint8_t lun, const uint8_t* cdb,
                        uint8_t cdbLength, const void* data, uint32_t* length);

// IDENTIFY through IOCTL_SCSI_MINIPORT: drive number, the eight task-file bytes, n output bytes.
// Returns an error code; a null output gives 87 without a call.
uint32_t miniportIdentify(DevHandle h, uint8_t driveNumber, const uint8_t registers[8], void* out,
                          uint32_t n);

// IDENTIFY through SMART_RCV_DRIVE_DATA (drive 0); 512 bytes into out. True on success.
bool smartIdentify(DevHandle h, uint8_t out[512]);

// --- disk interfaces and volumes --------------------------------------------------------------------

// One present disk as the system's enumeration of disk interfaces lists it.
struct DiskInterface {
  std::string devicePath;       // opens the disk
  uint32_t parentInstance = 0;  // device node of the disk's parent; 0 when it cannot be read
};

struct DiskEnumeration {
  // Not 0: the list of present disks could not be had (SetupDiGetClassDevs); nothing else is set.
  uint32_t error = 0;
  std::vector<DiskInterface> interfaces;  // in the system's order
  std::vector<uint32_t> skipped;          // the error of each member whose interface or path was unreadable
};

// The present disk interfaces with their parents. The list is complete when it is returned: a
// member that cannot be read is left out (its error in skipped), and the walk ends at the end of the
// system's list.
DiskEnumeration enumerateDiskInterfaces();

// The drive letters in use: bit n stands for the letter 'a' + n (GetLogicalDrives).
uint32_t logicalDriveMask();

// Total and free bytes of the volume at a root such as u"e:\\" (GetDiskFreeSpaceW). False, with the
// outputs untouched, when they cannot be read.
bool queryVolumeSpace(const std::u16string& root, uint64_t* totalBytes, uint64_t* freeBytes);

// Label and file-system name of the volume at a root (GetVolumeInformationW, 260-unit buffers).
// False, with the outputs untouched, when they cannot be read.
bool queryVolumeNames(const std::u16string& root, std::u16string* label, std::u16string* fileSystem);

// --- locking the volumes of a disk ---------------------------------------------------------------

// FSCTL_LOCK_VOLUME through a volume handle: no one else can use the volume until the handle is
// closed. Returns 0 or the error code (5 while files are open on the volume).
uint32_t lockVolume(DevHandle h);

// FSCTL_DISMOUNT_VOLUME through a volume handle: the file system lets go of the volume (and of any
// files open on it). Returns 0 or the error code.
uint32_t dismountVolume(DevHandle h);

// The volumes with an extent on the disk of that device number, drive letter or not, as paths that
// open them ("\\?\Volume{GUID}", without the trailing backslash), in the system's order. Volumes
// that cannot be asked are left out.
std::vector<std::string> diskVolumePaths(uint32_t deviceNumber);

// The name of the volume at a drive letter, in the form diskVolumePaths gives; empty when none.
std::string volumePathOfLetter(char letter);

// The name of the volume that holds the Windows folder, in the same form; empty when unknown.
std::string systemVolumePath();

// --- time -------------------------------------------------------------------------------------------

uint32_t devTickCount();  // milliseconds, wraps like GetTickCount
void devSleep(uint32_t milliseconds);

// Lets one thread end another's waits at once. Set stopped back to false before it is used again.
struct DevStopSignal {
  std::atomic<bool> stopped{false};
};

// Waits until milliseconds have passed since the tick count since (as devTickCount counts them), or
// until the signal is stopped. True when it was stopped. On the simulator's manual clock the wait
// blocks until a test moves the clock far enough: time never passes by itself there.
bool devWaitSince(DevStopSignal& signal, uint32_t since, uint32_t milliseconds);

// Stops the signal and wakes every wait on it.
void devStop(DevStopSignal& signal);

// --- reading a storage device descriptor (portable) --------------------------------------------------

struct StorageDescriptorInfo {
  uint8_t busType = 0;         // STORAGE_BUS_TYPE, 7 = USB
  uint8_t removableMedia = 0;  // RemovableMedia flag
  std::string vendorId;        // empty when VendorIdOffset is 0
  std::string productId;       // empty when ProductIdOffset is 0
  bool hasVendor = false;
  bool hasProduct = false;
};

// Reads the fields the eraser uses from descriptor bytes. False when the bytes are too short for the
// fixed part. Offsets that point outside the bytes give an empty string; strings end at their NUL or
// at the end of the bytes.
bool readStorageDescriptor(const std::vector<uint8_t>& bytes, StorageDescriptorInfo* info);

// Builds descriptor bytes (the layout of STORAGE_DEVICE_DESCRIPTOR) from its parts; used by the
// simulator and by tests. Empty strings get offset 0.
std::vector<uint8_t> makeStorageDescriptor(uint8_t busType, uint8_t removableMedia,
                                           const std::string& vendorId, const std::string& productId);
