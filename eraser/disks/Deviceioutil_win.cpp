// Device layer, Windows side: raw disk open/write/close and the DeviceIoControl requests.
#include "Deviceioutil_win.h"

// clang-format off
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "Deviceioutil.h"

namespace {

// Not in the mingw-w64 headers: (FILE_DEVICE_SCSI << 16) + 0x0501.
constexpr DWORD kMiniportIdentify = 0x1B0501;

// The pass-through block: the SDK header, sense data on the next 8-byte boundary, data at 80. On i686
// the header is 44 bytes and sense sits at 48; on x64 the header is 56 bytes (DataBufferOffset is
// pointer-sized) and sense sits at 56. Data is at 80 on both.
constexpr uint32_t kSenseLength = 24;
constexpr uint32_t kSenseOffset = (sizeof(SCSI_PASS_THROUGH) + 7) & ~size_t(7);
constexpr uint32_t kDataOffset = 80;
constexpr uint32_t kMinCapacity = 1024;
constexpr ULONG kPassThroughTimeout = 10;  // seconds
constexpr size_t kMaxCdbLength = sizeof(SCSI_PASS_THROUGH::Cdb);
static_assert(kSenseOffset + kSenseLength <= kDataOffset);
static_assert(kMaxCdbLength == 16);
static_assert(sizeof(void*) != 4 ||
                  (sizeof(SCSI_PASS_THROUGH) == 44 && offsetof(SCSI_PASS_THROUGH, DataIn) == 8 &&
                   offsetof(SCSI_PASS_THROUGH, DataTransferLength) == 12 &&
                   offsetof(SCSI_PASS_THROUGH, TimeOutValue) == 16 &&
                   offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 20 &&
                   offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == 24 &&
                   offsetof(SCSI_PASS_THROUGH, Cdb) == 28 && kSenseOffset == 48),
              "the 32-bit pass-through header is the layout the drivers expect");

// The miniport IDENTIFY block: SRB_IO_CONTROL, then SENDCMDINPARAMS in, SENDCMDOUTPARAMS out. No
// pointers, so the offsets hold for both builds.
constexpr size_t kSrbHeader = sizeof(SRB_IO_CONTROL);
constexpr size_t kCmdInSize = offsetof(SENDCMDINPARAMS, bBuffer);
constexpr size_t kCmdOutData = offsetof(SENDCMDOUTPARAMS, bBuffer);
constexpr ULONG kMiniportTimeout = 1000;
static_assert(kSrbHeader == 28 && offsetof(SRB_IO_CONTROL, Length) == 24);
static_assert(kCmdInSize == 32 && offsetof(SENDCMDINPARAMS, irDriveRegs) == 4 &&
              offsetof(SENDCMDINPARAMS, bDriveNumber) == 12 && sizeof(IDEREGS) == 8);
static_assert(kCmdOutData == 16);

constexpr uint32_t kIdentifySize = 512;
constexpr size_t kDescriptorSize = sizeof(STORAGE_DEVICE_DESCRIPTOR);
static_assert(kDescriptorSize == 40 && sizeof(STORAGE_PROPERTY_QUERY) == 12);
// A descriptor claiming more than this is corrupt; it is not worth a huge allocation.
constexpr DWORD kMaxDescriptorSize = 64 * 1024;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

HANDLE asHandle(DevHandle h) { return static_cast<HANDLE>(h); }

uint32_t lastErrorOr2() {
  const DWORD e = GetLastError();
  return e != 0 ? uint32_t(e) : uint32_t(kErrorFileNotFound);
}

// One synchronous request; the result is an error code and, on success, the bytes returned.
uint32_t control(DevHandle h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned = nullptr) {
  DWORD bytes = 0;
  if (!devSystemCalls().deviceIoControl(asHandle(h), code, in, inSize, out, outSize, &bytes, nullptr)) {
    return lastErrorOr2();
  }
  if (returned != nullptr) *returned = bytes;
  return kErrorSuccess;
}

// The one pass-through block of the process. Leaked on purpose: a worker still inside a request
// when the process ends must not find it destroyed.
struct PassThroughBuffer {
  std::mutex lock;
  std::unique_ptr<uint8_t, FreeDeleter> block;
  uint32_t capacity = 0;  // data bytes
};

PassThroughBuffer& passThroughBuffer() {
  static PassThroughBuffer* buffer = new PassThroughBuffer;
  return *buffer;
}

// Grows the block to hold needed data bytes. Called with the lock held.
bool ensureCapacity(PassThroughBuffer& b, uint32_t needed) {
  if (b.block && needed <= b.capacity) return true;
  const uint32_t capacity = std::max(needed, kMinCapacity);
  b.block.reset();
  b.capacity = 0;
  b.block.reset(static_cast<uint8_t*>(std::calloc(size_t(capacity) + kDataOffset, 1)));
  if (!b.block) return false;
  b.capacity = capacity;
  return true;
}

// Both directions share this: dataIn is true for data from the device (into inData), false for data
// to the device (from outData).
bool passThrough(DevHandle h, uint8_t pathId, uint8_t targetId, uint8_t lun, const uint8_t* cdb,
                 uint8_t cdbLength, bool dataIn, void* inData, const void* outData, uint32_t* length) {
  if (!isValidDevHandle(h) || cdb == nullptr || cdbLength == 0 || cdbLength > kMaxCdbLength ||
      length == nullptr) {
    return false;
  }
  const uint32_t n = *length;
  if (n > 0 && (dataIn ? inData == nullptr : outData == nullptr)) return false;
  if (n > MAXDWORD - kDataOffset) return false;

  // Callers wait for each other: refusing a second caller would silently drop a docking-station
  // command sent while the scan or another worker holds the buffer.
  PassThroughBuffer& b = passThroughBuffer();
  std::lock_guard<std::mutex> hold(b.lock);
  if (!ensureCapacity(b, n)) return false;

  uint8_t* block = b.block.get();
  // A clean header, sense and data area each time, so no byte of an earlier request (or an earlier
  // device's reply) is sent again or handed back.
  std::memset(block, 0, size_t(kDataOffset) + n);
  auto* spt = reinterpret_cast<SCSI_PASS_THROUGH*>(block);
  spt->Length = sizeof(SCSI_PASS_THROUGH);
  spt->PathId = pathId;
  spt->TargetId = targetId;
  spt->Lun = lun;
  spt->CdbLength = cdbLength;
  spt->SenseInfoLength = kSenseLength;
  spt->DataIn = dataIn ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
  spt->DataTransferLength = n;
  spt->TimeOutValue = kPassThroughTimeout;
  spt->DataBufferOffset = kDataOffset;
  spt->SenseInfoOffset = kSenseOffset;
  std::memcpy(spt->Cdb, cdb, cdbLength);
  if (!dataIn && n > 0) std::memcpy(block + kDataOffset, outData, n);

  const DWORD size = kDataOffset + n;
  if (control(h, IOCTL_SCSI_PASS_THROUGH, block, size, block, size) != kErrorSuccess) return false;
  if (spt->ScsiStatus != 0) return false;
  // The driver reports what it moved; never more than the caller's buffer holds.
  const uint32_t transferred = std::min<uint32_t>(spt->DataTransferLength, n);
  if (dataIn && transferred > 0) std::memcpy(inData, block + kDataOffset, transferred);
  *length = transferred;
  return true;
}

}  // namespace

DevSystemCalls& devSystemCalls() {
  static DevSystemCalls calls;
  return calls;
}

uint32_t devPassThroughCapacity() {
  PassThroughBuffer& b = passThroughBuffer();
  std::lock_guard<std::mutex> hold(b.lock);
  return b.capacity;
}

void devReleasePassThroughBuffer() {
  PassThroughBuffer& b = passThroughBuffer();
  std::lock_guard<std::mutex> hold(b.lock);
  b.block.reset();
  b.capacity = 0;
}

// --- open, write, close -------------------------------------------------------------------------

DevHandle devOpen(const char* path, DevOpenMode mode, uint32_t* error) {
  if (path == nullptr) {
    if (error != nullptr) *error = kErrorInvalidParameter;
    return invalidDevHandle();
  }
  const bool exclusive = mode == DevOpenMode::exclusiveUnbuffered;
  const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD flags = exclusive ? FILE_FLAG_NO_BUFFERING : 0;
  HANDLE h = devSystemCalls().createFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                          flags, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    if (error != nullptr) *error = lastErrorOr2();
    return invalidDevHandle();
  }
  if (error != nullptr) *error = kErrorSuccess;
  return h;
}

uint32_t devWrite(DevHandle h, uint64_t offset, const void* data, uint32_t size) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  if (data == nullptr && size > 0) return kErrorInvalidParameter;
  OVERLAPPED at{};  // carries the offset; the handle itself is synchronous
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD written = 0;
  if (!devSystemCalls().writeFile(asHandle(h), data, size, &written, &at)) return lastErrorOr2();
  // A short write left bytes unwritten; it must not pass for a complete one.
  return written == size ? kErrorSuccess : kErrorIoDevice;
}

uint32_t devRead(DevHandle h, uint64_t offset, void* data, uint32_t size) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  if (data == nullptr && size > 0) return kErrorInvalidParameter;
  OVERLAPPED at{};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD read = 0;
  if (!devSystemCalls().readFile(asHandle(h), data, size, &read, &at)) return lastErrorOr2();
  // A read that stops short (the end of the device) would leave part of data unchecked.
  return read == size ? kErrorSuccess : kErrorIoDevice;
}

uint32_t devFlush(DevHandle h) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  return devSystemCalls().flushFileBuffers(asHandle(h)) ? kErrorSuccess : lastErrorOr2();
}

void devClose(DevHandle h) {
  if (isValidDevHandle(h)) devSystemCalls().closeHandle(asHandle(h));
}

// --- device primitives ----------------------------------------------------------------------------

int32_t queryDeviceNumber(DevHandle h) {
  if (!isValidDevHandle(h)) return -1;
  STORAGE_DEVICE_NUMBER number{};
  number.DeviceType = 0;
  number.DeviceNumber = 0xFFFFFFFF;
  number.PartitionNumber = 0;
  if (control(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof(number)) != kErrorSuccess) {
    return -1;
  }
  return number.DeviceType == FILE_DEVICE_DISK ? int32_t(number.DeviceNumber) : -1;
}

uint32_t querySectorSize(DevHandle h) {
  if (!isValidDevHandle(h)) return 0;
  DISK_GEOMETRY geometry{};
  if (control(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry)) != kErrorSuccess) {
    return 0;
  }
  return geometry.BytesPerSector;
}

uint32_t queryDiskLength(DevHandle h, int64_t* length) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  GET_LENGTH_INFORMATION info{};
  const uint32_t error = control(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof(info));
  if (error == kErrorSuccess && length != nullptr) *length = info.Length.QuadPart;
  return error;
}

uint32_t deleteDriveLayout(DevHandle h) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  return control(h, IOCTL_DISK_DELETE_DRIVE_LAYOUT, nullptr, 0, nullptr, 0);
}

uint32_t lockVolume(DevHandle h) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  return control(h, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0);
}

uint32_t dismountVolume(DevHandle h) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  return control(h, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0);
}

bool queryScsiAddress(DevHandle h, uint8_t address[8]) {
  static_assert(sizeof(SCSI_ADDRESS) == 8 && offsetof(SCSI_ADDRESS, TargetId) == 6);
  if (!isValidDevHandle(h) || address == nullptr) return false;
  SCSI_ADDRESS reply{};
  if (control(h, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &reply, sizeof(reply)) != kErrorSuccess) return false;
  std::memcpy(address, &reply, sizeof(reply));
  return true;
}

std::vector<uint8_t> queryStorageDescriptor(DevHandle h) {
  if (!isValidDevHandle(h)) return {};
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;

  std::vector<uint8_t> bytes(kDescriptorSize, 0);
  DWORD returned = 0;
  if (control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), bytes.data(), DWORD(bytes.size()),
              &returned) != kErrorSuccess) {
    return {};
  }
  DWORD size = 0;
  if (returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, Size) + sizeof(DWORD)) {
    std::memcpy(&size, bytes.data() + offsetof(STORAGE_DEVICE_DESCRIPTOR, Size), sizeof(size));
  }
  if (size > returned && size > kDescriptorSize) {
    // The vendor and product strings follow the fixed part: ask again with room for all of it.
    if (size > kMaxDescriptorSize) return {};
    bytes.assign(size, 0);
    returned = 0;
    if (control(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), bytes.data(), DWORD(bytes.size()),
                &returned) != kErrorSuccess) {
      return {};
    }
  }
  bytes.resize(std::min<size_t>(returned, bytes.size()));
  return bytes;
}

bool scsiPassThroughIn(DevHandle h, uint8_t pathId, uint8_t targetId, uint8_t lun, const uint8_t* cdb,
                       uint8_t cdbLength, void* data, uint32_t* length) {
  return passThrough(h, pathId, targetId, lun, cdb, cdbLength, true, data, nullptr, length);
}

bool scsiPassThroughOut(DevHandle h, uint8_t pathId, uint8_t targetId, uint8_t lun, const uint8_t* cdb,
                        uint8_t cdbLength, const void* data, uint32_t* length) {
  return passThrough(h, pathId, targetId, lun, cdb, cdbLength, false, nullptr, data, length);
}

uint32_t miniportIdentify(DevHandle h, uint8_t driveNumber, const uint8_t registers[8], void* out,
                          uint32_t n) {
  if (!isValidDevHandle(h)) return kErrorFileNotFound;
  if (out == nullptr || registers == nullptr) return kErrorInvalidParameter;
  if (n > MAXDWORD - kSrbHeader - kCmdOutData) return kErrorInvalidParameter;
  const DWORD inSize = kSrbHeader + kCmdInSize;
  const DWORD outSize = kSrbHeader + kCmdOutData + n;
  std::unique_ptr<uint8_t, FreeDeleter> block(
      static_cast<uint8_t*>(std::calloc(std::max(inSize, outSize), 1)));
  if (!block) return kErrorNoSystemResources;

  auto* srb = reinterpret_cast<SRB_IO_CONTROL*>(block.get());
  srb->HeaderLength = kSrbHeader;
  std::memcpy(srb->Signature, "SCSIDISK", sizeof(srb->Signature));
  srb->Timeout = kMiniportTimeout;
  srb->ControlCode = kMiniportIdentify;
  srb->ReturnCode = 0;
  srb->Length = std::max<DWORD>(n + kCmdOutData, kCmdInSize);
  auto* command = reinterpret_cast<SENDCMDINPARAMS*>(block.get() + kSrbHeader);
  command->cBufferSize = kCmdInSize;
  std::memcpy(&command->irDriveRegs, registers, sizeof(command->irDriveRegs));
  command->bDriveNumber = driveNumber;

  const uint32_t error = control(h, IOCTL_SCSI_MINIPORT, block.get(), inSize, block.get(), outSize);
  if (error == kErrorSuccess && n > 0) std::memcpy(out, block.get() + kSrbHeader + kCmdOutData, n);
  return error;
}

bool smartIdentify(DevHandle h, uint8_t out[512]) {
  if (!isValidDevHandle(h) || out == nullptr) return false;
  SENDCMDINPARAMS command{};
  command.cBufferSize = kCmdInSize;
  command.irDriveRegs.bCommandReg = ID_CMD;
  command.bDriveNumber = 0;
  uint8_t reply[kCmdOutData + kIdentifySize] = {};
  if (control(h, SMART_RCV_DRIVE_DATA, &command, kCmdInSize, reply, sizeof(reply)) != kErrorSuccess) {
    return false;
  }
  std::memcpy(out, reply + kCmdOutData, kIdentifySize);
  return true;
}

// --- time -------------------------------------------------------------------------------------------

uint32_t devTickCount() { return GetTickCount(); }

void devSleep(uint32_t milliseconds) { Sleep(milliseconds); }
