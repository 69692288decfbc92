// The simulated storage stack: disks, volumes and docking stations behind the device layer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Deviceioutil.h"

// Linking velmora_simulator instead of the Windows side makes every device-layer call of
// Deviceioutil.h land here. Tests, the scenario runner and the demo build set up the machine with
// the functions below; everything is guarded by locks, so workers and the scan may call the device
// layer from several threads at once.
//
// Choices that mirror what Windows does:
// - a closed or unknown handle fails with 6 (ERROR_INVALID_HANDLE), as the system call would;
//   invalidDevHandle() and null are refused with 2 like every device-layer wrapper does;
// - a write that reaches past the end of the disk fails as a whole with 87, as the disk class
//   driver does; on an unbuffered handle the offset, the size and the data address must be
//   multiples of the sector size (87 otherwise); a write of 0 bytes succeeds and changes nothing;
// - a volume handle answers as its disk does (device number, geometry, pass-through), except that
//   its length is the volume's size; writes through it fail with 5, deleting the layout with 1;
// - volumes are mounted until a dismount request through a volume handle; a lock (through a volume
//   handle) is refused with 5 while files or other handles are open on the volume, and held until its
//   handle is closed; a locked volume cannot be opened again (5) and its free space and names cannot be
//   read; opening or querying a dismounted volume that is not locked mounts it again;
// - a write through a disk handle that reaches into a mounted volume that is not locked fails with 5,
//   as on Windows since Vista (a station's mirrored copies are made by the station and not refused);
//   the exclusive open of a disk is refused while a handle of one of its mounted, unlocked volumes is
//   open, as on a volume that a file system holds;
// - deleting the drive layout removes the disk's dismounted volumes; a mounted volume stays, as the
//   file system keeps it, and goes on refusing writes;
// - reads follow the rules of writes (range, alignment on unbuffered handles) and give what the disk
//   holds, zeros where nothing was written;
// - an unplugged disk answers every request of its existing handles with 1167 (or the request's
//   "none" value) and new opens with 2; plugging it in again does not revive old handles.
namespace sim {

using DiskId = int32_t;
using StationId = int32_t;
constexpr int32_t kNone = -1;

constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint8_t kScsiCheckCondition = 0x02;
constexpr uint8_t kScsiBusy = 0x08;
constexpr uint32_t kDeviceTypeDisk = 7;  // FILE_DEVICE_DISK
constexpr uint32_t kDeviceTypeCdRom = 2;

enum class Backing : uint8_t {
  memory,      // every byte kept in memory: for small disks whose bytes a test reads back
  sparseFile,  // a sparse file of the disk's length, written with real file I/O
  discarding,  // no image: a compact record of what was written (deduplicated repeated blocks) that
               // reads answer from; bytes, writes and covered ranges are counted as for the others
};

struct VolumeSpec {
  char letter = 0;  // 'a' to 'z', lower case; 0 for a volume without a drive letter
  std::u16string label;
  std::u16string fileSystem;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  bool labelUnreadable = false;  // the volume information cannot be read
  bool sizesUnreadable = false;  // the free-space query fails
  // "\\?\Volume{...}", the name the volume enumeration gives; empty: one is made when it is added.
  std::string path{};
  // Its extent on the disk. A length of 0 becomes totalBytes, the volume laid after the one before
  // it (the first at 1 MiB); both are cut at the disk's end.
  uint64_t offset = 0;
  uint64_t length = 0;
  bool openFiles = false;   // files are open on it: a lock is refused, a dismount forces them shut
  bool refuseBoth = false;  // lock and dismount are both refused with 5
  bool dismounted = false;  // as it is now: dismounted and not mounted again since
};

using IdentifyWords = std::array<uint16_t, 256>;

struct DiskSpec {
  std::string path;  // the device interface path the enumeration shows; compared case-insensitively
  uint32_t deviceNumber = 0;
  uint32_t deviceType = kDeviceTypeDisk;
  uint8_t busType = 7;  // STORAGE_BUS_TYPE, 7 = USB
  uint8_t removableMedia = 0;
  std::string vendorId;
  std::string productId;
  uint32_t sectorSize = 512;
  uint64_t length = 0;          // bytes; a multiple of the sector size
  uint32_t parentInstance = 0;  // device node of the parent; a station sets its own when it has one
  uint8_t scsiPort = 0, scsiPath = 0, scsiTarget = 0, scsiLun = 0;
  IdentifyWords identify{};
  std::vector<uint8_t> inquiryData;  // empty: a standard reply is built (the model at 36-39 in a station)
  std::vector<VolumeSpec> volumes;
  Backing backing = Backing::memory;
  std::string filePath;         // sparseFile: the backing file, created or truncated to the length
  bool fileUnbuffered = false;  // sparseFile: write aligned blocks without the system cache
  bool recordWrites = false;    // keep every write's offset and size (writeLog)
};

// ATA strings carry the first character of each pair in the high byte; short texts are padded
// with spaces.
void setAtaString(IdentifyWords& words, int firstWord, int wordCount, std::string_view text);
void setIdentifyModel(IdentifyWords& words, std::string_view model);    // words 27 to 46
void setIdentifySerial(IdentifyWords& words, std::string_view serial);  // words 10 to 19
void setIdentifyRotation(IdentifyWords& words, uint16_t rate);          // word 217
std::array<uint8_t, 512> identifyBytes(const IdentifyWords& words);     // little-endian words

enum class StationModel : uint8_t { sywl, syw2, syw4 };  // "SYWL" 6 bays, "SYW2" and "SYW4" 2 bays
enum class BayReplyForm : uint8_t {
  jm,     // "J", "M", x, bay
  plain,  // x, bay, x, x
};
// Stations start independent. The mode command FE 04 64 <value> sets the mode: "SYWL" and "SYW2"
// take 2 independent, 1 mirrorAllBays, 0 mirrorFromSecondBay; "SYW4" takes 2 independent and
// 0 mirrorAllBays; other values are refused. In mirrorAllBays a write sent to any bay reaches every
// occupied bay; in mirrorFromSecondBay a write sent to bay 1 or above reaches every occupied bay
// from 1 on, and one sent to bay 0 stays there. The station makes the copies itself, so they reach
// disks that other handles hold exclusively (not unplugged ones), each cut at its disk's end.
enum class BayMode : uint8_t { independent, mirrorAllBays, mirrorFromSecondBay };

struct StationSpec {
  StationModel model = StationModel::sywl;
  BayReplyForm replyForm = BayReplyForm::jm;
  uint32_t parentInstance = 0;  // given to the disks put into its bays when not 0
};

int bayCount(StationModel model);
const char* modelText(StationModel model);  // the four INQUIRY characters

// --- building the machine -------------------------------------------------------------------------

// Forgets every disk, station, handle, fault and the write hook; the clock goes back to manual
// time at tick 1000.
void reset();

// kNone when the spec is unusable: empty or taken path, length 0 or not a multiple of the sector
// size, a taken volume letter, or a backing that cannot be made.
DiskId addDisk(const DiskSpec& spec);
StationId addStation(const StationSpec& spec);
// Puts a disk into a free bay; false for an unknown station or disk, a bay out of range, a taken
// bay, or a disk already in a station.
bool insertDisk(StationId station, int bay, DiskId disk);
// Pulls a disk out of its bay: it is unplugged and the bay is free for another disk. False for a
// disk outside a station.
bool removeFromBay(DiskId disk);
// A bridge whose device path belongs to the bay, not to the disk: pulls old out of its bay and
// puts a new disk made from spec into that bay under old's path (spec.path is not used). The new
// disk has a DiskId of its own; path lookups (opens, findDisk) find it from now on. The old disk
// keeps its counters for tests to read, loses its volumes and can never be plugged in again. kNone,
// and nothing changes, when old is not in a station or the spec is unusable as for addDisk.
DiskId swapDisk(DiskId old, const DiskSpec& spec);
void setParentInstance(DiskId disk, uint32_t parent);

bool addVolume(DiskId disk, const VolumeSpec& volume);  // false for a taken or bad letter or path
bool updateVolume(const VolumeSpec& volume);            // replaces the volume with that letter
bool removeVolume(char letter);

// Every volume of the disk has files open on it, or not (a dismount clears it).
void setOpenFiles(DiskId disk, bool open);
// Every volume of the disk refuses both the lock and the dismount, or not.
void refuseLockAndDismount(DiskId disk, bool refuse);

// The drive letter of the volume that holds Windows (0, the start: none of the simulated ones).
void setSystemDriveLetter(char letter);

struct VolumeState {
  bool exists = false;  // on a plugged disk
  bool mounted = false;
  bool locked = false;
};
// The volume at a path ("\\.\e:" or its "\\?\Volume{...}" name).
VolumeState volumeState(std::string_view path);

// --- faults -----------------------------------------------------------------------------------------

enum class Request : uint8_t {
  open,          // devOpen of the disk's path: fails with the fault's error
  deviceNumber,  // queryDeviceNumber gives -1
  geometry,      // querySectorSize gives 0
  length,        // queryDiskLength returns the error
  deleteLayout,  // deleteDriveLayout returns the error
  scsiAddress,   // queryScsiAddress fails
  descriptor,    // queryStorageDescriptor gives nothing
  passThrough,   // every pass-through request fails in the system call
  inquiry,       // the device answers INQUIRY with the fault's SCSI status
  bayQuery,      // the same for the bay query
  ataIdentify,   // the same for IDENTIFY through ATA PASS-THROUGH
  miniport,      // miniportIdentify returns the error
  smart,         // smartIdentify fails
  detail,        // the enumeration cannot read the disk's interface path: skipped with the error
  read,          // devRead returns the error
  flush,         // devFlush returns the error
  count,
};

struct Fault {
  uint32_t error = kErrorIoDevice;
  uint8_t scsiStatus = kScsiCheckCondition;  // for the requests a device answers itself
  int32_t times = -1;                        // how many requests fail; -1 for all of them
  bool applied = false;  // a mode command: the station takes the mode, then answers with the fault
  int32_t modeValue = -1;  // a mode command: only the command with this value byte fails (-1: any)
};

void failRequest(DiskId disk, Request request, const Fault& fault = {});
void clearFault(DiskId disk, Request request);
// Every later write that covers the byte at offset fails with the error (a bad sector stays bad).
// In a mirroring station a bad byte on any disk the write reaches fails the whole write.
void failWritesAt(DiskId disk, uint64_t offset, uint32_t error = kErrorCrc);
void clearWriteFaults(DiskId disk);
// The station answers mode commands with the fault's SCSI status (kScsiBusy, kScsiCheckCondition).
void failModeCommand(StationId station, const Fault& fault);
void clearModeCommandFault(StationId station);

// Faults that only reading back can catch. A station that drops its copies takes the mirror modes
// as usual but makes no copy. A disk that forgets writes acknowledges them and keeps nothing: reads
// give what it held before. Counters say what really happened: bytesWritten, writeCount and writeLog
// count the writes that reached a disk (a forgotten write did, a dropped copy did not); coverage
// holds only what a disk kept.
void dropMirrorCopies(StationId station, bool drop);
void forgetWrites(DiskId disk, bool forget);

// An unplugged disk is gone from the machine: the enumeration no longer lists it, its volumes leave
// the drive letters, and replugging it brings all of it back.
void unplug(DiskId disk);
void replug(DiskId disk);  // a swapped-out disk stays unplugged
// The disk is unplugged right after the write that brings its bytes written to n or more.
void unplugAfterBytes(DiskId disk, uint64_t n);

// Called after every successful devWrite, outside every lock, with the disk the write was sent to
// and the bytes that disk has received so far; it may call any function here. Empty clears it.
using WriteHook = std::function<void(DiskId disk, uint64_t bytesSoFar)>;
void setWriteHook(WriteHook hook);

// --- enumeration --------------------------------------------------------------------------------------

// The enumeration lists the plugged disks in this order; disks not named follow in the order they
// were added. Empty (the start): the order added.
void setEnumerationOrder(const std::vector<DiskId>& order);
// The list of present disks cannot be had: enumerations fail with the fault's error.
void failEnumeration(const Fault& fault);
void clearEnumerationFault();
uint32_t enumerationCount();  // enumerations asked for, failed ones included
// Drive letters in use that lie on no simulated disk (a CD drive, a network share): in the mask, but
// opening them fails with 2.
void setForeignDriveLetters(uint32_t mask);

// --- what happened ----------------------------------------------------------------------------------

struct ByteRange {
  uint64_t start = 0;
  uint64_t end = 0;  // exclusive
  bool operator==(const ByteRange&) const = default;
};

struct WriteRecord {
  uint64_t offset = 0;
  uint32_t size = 0;
  bool mirrored = false;  // a copy the station made of a write sent to another bay
  bool operator==(const WriteRecord&) const = default;
};

DiskId findDisk(std::string_view path);
std::vector<DiskId> disks();     // every disk added, plugged or not, in the order added
DiskSpec diskSpec(DiskId disk);  // the spec with the volumes and parent as they are now
bool isPlugged(DiskId disk);
StationId stationOf(DiskId disk);  // kNone outside a station
int bayOf(DiskId disk);            // kNone outside a station
DiskId diskInBay(StationId station, int bay);

// The disk with the volume at that letter, kNone when there is none; *volume gets it.
DiskId findVolume(char letter, VolumeSpec* volume);

// Bytes of a disk as it holds them (zeros where nothing was written); empty for a range past the end.
std::vector<uint8_t> readBytes(DiskId disk, uint64_t offset, uint32_t size);
// Memory a discarding disk's record of its content takes (0 for other backings).
uint64_t keptContentBytes(DiskId disk);
uint64_t bytesWritten(DiskId disk);  // every write counted, mirrored copies included
uint64_t writeCount(DiskId disk);
std::vector<ByteRange> coverage(DiskId disk);         // written ranges, merged and sorted
std::vector<WriteRecord> writeLog(DiskId disk);       // only with recordWrites
uint32_t requestCount(DiskId disk, Request request);  // requests that reached the disk
uint32_t layoutDeletions(DiskId disk);                // successful deleteDriveLayout calls
int openHandleCount(DiskId disk);                     // live disk and volume handles
bool usesDirectIo(DiskId disk);                       // a file disk that bypasses the system cache

BayMode stationMode(StationId station);
std::vector<uint8_t> modeCommands(StationId station);  // every value byte sent, refused ones too

}  // namespace sim
