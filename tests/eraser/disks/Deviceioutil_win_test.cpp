// Windows side of the device layer: the requests as they reach the system, checked through fakes, and
// open/write on a real file.
#include "Deviceioutil_win.h"

#include <gtest/gtest.h>
// clang-format off
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Deviceioutil.h"

namespace {

// --- the fake system -------------------------------------------------------------------------------

struct Request {
  HANDLE handle;
  DWORD code;
  std::vector<uint8_t> in;  // the input bytes as sent
  const void* inBuffer;
  void* outBuffer;
  DWORD inSize;
  DWORD outSize;
};

struct Reply {
  bool ok = true;
  DWORD error = 0;  // GetLastError after a failure
};
Reply fail(DWORD error) { return {false, error}; }

// Answers one request: may fill out (outSize bytes) and *returned.
using Answer = std::function<Reply(const Request&, uint8_t* out, DWORD* returned)>;

struct FakeSystem {
  std::mutex lock;
  std::vector<Request> requests;
  Answer answer;
  // CreateFileA, WriteFile and CloseHandle as called.
  std::string openedPath;
  DWORD access = 0, share = 0, disposition = 0, flags = 0;
  bool securityOrTemplate = false;
  Reply openReply;
  uint64_t writeOffset = 0;
  DWORD writeSize = 0;
  const void* writeData = nullptr;
  DWORD writeShortBy = 0;
  Reply writeReply;
  // ReadFile and FlushFileBuffers as called.
  HANDLE readHandle = nullptr;
  uint64_t readOffset = 0;
  DWORD readSize = 0;
  void* readData = nullptr;
  DWORD readShortBy = 0;
  Reply readReply;
  std::vector<HANDLE> flushed;
  Reply flushReply;
  std::vector<HANDLE> closed;

  size_t requestCount() {
    std::lock_guard<std::mutex> hold(lock);
    return requests.size();
  }
};
FakeSystem* fake = nullptr;

const HANDLE kDisk = reinterpret_cast<HANDLE>(uintptr_t(0x1234));

BOOL WINAPI fakeDeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                LPDWORD returned, LPOVERLAPPED overlapped) {
  EXPECT_EQ(overlapped, nullptr);  // every request is synchronous
  Request r{h, code, {}, in, out, inSize, outSize};
  if (in != nullptr) r.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + inSize);
  {
    std::lock_guard<std::mutex> hold(fake->lock);
    fake->requests.push_back(r);
  }
  if (returned != nullptr) *returned = 0;
  const Reply reply = fake->answer ? fake->answer(r, static_cast<uint8_t*>(out), returned) : Reply{};
  SetLastError(reply.error);
  return reply.ok ? TRUE : FALSE;
}

HANDLE WINAPI fakeCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  fake->openedPath = path;
  fake->access = access, fake->share = share, fake->disposition = disposition, fake->flags = flags;
  fake->securityOrTemplate = security != nullptr || templateFile != nullptr;
  SetLastError(fake->openReply.error);
  return fake->openReply.ok ? kDisk : INVALID_HANDLE_VALUE;
}

BOOL WINAPI fakeWriteFile(HANDLE, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED at) {
  fake->writeData = data;
  fake->writeSize = size;
  fake->writeOffset = at == nullptr ? ~uint64_t(0) : uint64_t(at->OffsetHigh) << 32 | at->Offset;
  *written = fake->writeReply.ok ? size - fake->writeShortBy : 0;
  SetLastError(fake->writeReply.error);
  return fake->writeReply.ok ? TRUE : FALSE;
}

BOOL WINAPI fakeReadFile(HANDLE h, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED at) {
  fake->readHandle = h;
  fake->readData = data;
  fake->readSize = size;
  fake->readOffset = at == nullptr ? ~uint64_t(0) : uint64_t(at->OffsetHigh) << 32 | at->Offset;
  *read = fake->readReply.ok ? size - fake->readShortBy : 0;
  if (fake->readReply.ok) std::memset(data, 0x6C, *read);
  SetLastError(fake->readReply.error);
  return fake->readReply.ok ? TRUE : FALSE;
}

BOOL WINAPI fakeFlushFileBuffers(HANDLE h) {
  fake->flushed.push_back(h);
  SetLastError(fake->flushReply.error);
  return fake->flushReply.ok ? TRUE : FALSE;
}

BOOL WINAPI fakeCloseHandle(HANDLE h) {
  fake->closed.push_back(h);
  return TRUE;
}

class DevWin : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = devSystemCalls();
    fake = &system_;
    devSystemCalls() = {fakeCreateFileA, fakeWriteFile, fakeCloseHandle, fakeDeviceIoControl};
    devSystemCalls().readFile = fakeReadFile;
    devSystemCalls().flushFileBuffers = fakeFlushFileBuffers;
  }
  void TearDown() override {
    devSystemCalls() = saved_;
    fake = nullptr;
  }
  FakeSystem system_;

 private:
  DevSystemCalls saved_;
};

template <typename T>
T readAt(const uint8_t* p, size_t at) {
  T v;
  std::memcpy(&v, p + at, sizeof v);
  return v;
}

// --- refusals and error codes --------------------------------------------------------------------------

TEST_F(DevWin, InvalidHandlesAreRefusedWithoutACall) {
  uint8_t buffer[512] = {};
  const uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
  struct Case {
    const char* name;
    std::function<bool(DevHandle)> refused;
  } cases[] = {
      {"queryDeviceNumber", [](DevHandle h) { return queryDeviceNumber(h) == -1; }},
      {"querySectorSize", [](DevHandle h) { return querySectorSize(h) == 0; }},
      {"queryDiskLength",
       [](DevHandle h) {
         int64_t length = 77;
         return queryDiskLength(h, &length) == kErrorFileNotFound && length == 77;
       }},
      {"deleteDriveLayout", [](DevHandle h) { return deleteDriveLayout(h) == kErrorFileNotFound; }},
      {"queryScsiAddress", [&](DevHandle h) { return !queryScsiAddress(h, buffer); }},
      {"queryStorageDescriptor", [](DevHandle h) { return queryStorageDescriptor(h).empty(); }},
      {"scsiPassThroughIn",
       [&](DevHandle h) {
         uint32_t length = 36;
         return !scsiPassThroughIn(h, 0, 0, 0, cdb, 6, buffer, &length) && length == 36;
       }},
      {"scsiPassThroughOut",
       [&](DevHandle h) {
         uint32_t length = 36;
         return !scsiPassThroughOut(h, 0, 0, 0, cdb, 6, buffer, &length) && length == 36;
       }},
      {"miniportIdentify",
       [&](DevHandle h) { return miniportIdentify(h, 0, buffer, buffer, 512) == kErrorFileNotFound; }},
      {"smartIdentify", [&](DevHandle h) { return !smartIdentify(h, buffer); }},
      {"devWrite", [&](DevHandle h) { return devWrite(h, 0, buffer, 512) == kErrorFileNotFound; }},
      {"devRead", [&](DevHandle h) { return devRead(h, 0, buffer, 512) == kErrorFileNotFound; }},
      {"devFlush", [](DevHandle h) { return devFlush(h) == kErrorFileNotFound; }},
      {"lockVolume", [](DevHandle h) { return lockVolume(h) == kErrorFileNotFound; }},
      {"dismountVolume", [](DevHandle h) { return dismountVolume(h) == kErrorFileNotFound; }},
      {"devClose",
       [&](DevHandle h) {
         devClose(h);
         return fake->closed.empty();
       }},
  };
  for (DevHandle h : {invalidDevHandle(), DevHandle(nullptr)}) {
    for (const auto& c : cases) EXPECT_TRUE(c.refused(h)) << c.name << " with handle " << h;
  }
  EXPECT_EQ(system_.requestCount(), 0u);
  EXPECT_EQ(system_.writeSize, 0u);
  EXPECT_EQ(system_.readHandle, nullptr);
  EXPECT_TRUE(system_.flushed.empty());
}

TEST_F(DevWin, FailuresReturnTheSystemErrorOr2WhenItIsZero) {
  uint8_t buffer[512] = {};
  struct Case {
    const char* name;
    std::function<uint32_t()> call;
  } cases[] = {
      {"queryDiskLength",
       [] {
         int64_t length = 0;
         return queryDiskLength(kDisk, &length);
       }},
      {"deleteDriveLayout", [] { return deleteDriveLayout(kDisk); }},
      {"miniportIdentify", [&] { return miniportIdentify(kDisk, 0, buffer, buffer, 512); }},
      {"devWrite", [&] { return devWrite(kDisk, 0, buffer, 512); }},
      {"devRead", [&] { return devRead(kDisk, 0, buffer, 512); }},
      {"devFlush", [] { return devFlush(kDisk); }},
      {"devOpen",
       [] {
         uint32_t error = 0;
         EXPECT_EQ(devOpen("\\\\.\\PhysicalDrive1", DevOpenMode::shared, &error), invalidDevHandle());
         return error;
       }},
  };
  for (DWORD systemError : {DWORD(kErrorNotReady), DWORD(0)}) {
    system_.answer = [&](const Request&, uint8_t*, DWORD*) { return fail(systemError); };
    system_.openReply = system_.writeReply = system_.readReply = system_.flushReply = fail(systemError);
    const uint32_t expected = systemError != 0 ? systemError : DWORD(kErrorFileNotFound);
    for (const auto& c : cases)
      EXPECT_EQ(c.call(), expected) << c.name << " with system error " << systemError;
  }
}

// --- the small queries -------------------------------------------------------------------------------

TEST_F(DevWin, DeviceNumberOnlyForDisks) {
  struct Case {
    DWORD deviceType, number;
    bool ok;
    int32_t expected;
  } cases[] = {
      {FILE_DEVICE_DISK, 3, true, 3}, {FILE_DEVICE_CD_ROM, 1, true, -1}, {FILE_DEVICE_DISK, 3, false, -1}};
  for (const auto& c : cases) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD* returned) {
      EXPECT_EQ(r.code, DWORD(IOCTL_STORAGE_GET_DEVICE_NUMBER));
      EXPECT_EQ(r.inSize, 0u);
      EXPECT_EQ(r.outSize, sizeof(STORAGE_DEVICE_NUMBER));
      auto* number = reinterpret_cast<STORAGE_DEVICE_NUMBER*>(out);
      // Preset so that a driver that fills nothing reads as "not a disk".
      EXPECT_EQ(number->DeviceType, 0u);
      EXPECT_EQ(number->DeviceNumber, 0xFFFFFFFFu);
      EXPECT_EQ(number->PartitionNumber, 0u);
      if (!c.ok) return fail(kErrorIoDevice);
      number->DeviceType = c.deviceType;
      number->DeviceNumber = c.number;
      *returned = sizeof(*number);
      return Reply{};
    };
    EXPECT_EQ(queryDeviceNumber(kDisk), c.expected) << "type " << c.deviceType << " ok " << c.ok;
  }
}

TEST_F(DevWin, SectorSizeFromTheGeometryOr0) {
  for (bool ok : {true, false}) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      EXPECT_EQ(r.code, DWORD(IOCTL_DISK_GET_DRIVE_GEOMETRY));
      EXPECT_EQ(r.outSize, 24u);
      EXPECT_EQ(std::count(out, out + 24, 0), 24);
      if (!ok) return fail(kErrorNotReady);
      reinterpret_cast<DISK_GEOMETRY*>(out)->BytesPerSector = 4096;
      return Reply{};
    };
    EXPECT_EQ(querySectorSize(kDisk), ok ? 4096u : 0u);
  }
}

TEST_F(DevWin, DiskLengthIsStoredOnlyOnSuccess) {
  const int64_t kLength = int64_t(4000787030016);  // past 32 bits
  for (bool ok : {true, false}) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      EXPECT_EQ(r.code, DWORD(IOCTL_DISK_GET_LENGTH_INFO));
      EXPECT_EQ(r.outSize, 8u);
      if (!ok) return fail(kErrorNotReady);
      std::memcpy(out, &kLength, 8);
      return Reply{};
    };
    int64_t length = -5;
    EXPECT_EQ(queryDiskLength(kDisk, &length), ok ? 0u : uint32_t(kErrorNotReady));
    EXPECT_EQ(length, ok ? kLength : -5);
  }
}

TEST_F(DevWin, DeleteDriveLayoutSendsNoBuffers) {
  EXPECT_EQ(deleteDriveLayout(kDisk), 0u);
  ASSERT_EQ(system_.requests.size(), 1u);
  const Request& r = system_.requests[0];
  EXPECT_EQ(r.handle, kDisk);
  EXPECT_EQ(r.code, DWORD(IOCTL_DISK_DELETE_DRIVE_LAYOUT));
  EXPECT_EQ(r.inBuffer, nullptr);
  EXPECT_EQ(r.outBuffer, nullptr);
  EXPECT_EQ(r.inSize + r.outSize, 0u);
}

TEST_F(DevWin, ScsiAddressGivesTheTargetIdAtByte6) {
  const uint8_t reply[8] = {8, 0, 0, 0, 2, 0, 5, 0};  // Length, port 2, path 0, target 5, lun 0
  for (bool ok : {true, false}) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      EXPECT_EQ(r.code, DWORD(IOCTL_SCSI_GET_ADDRESS));
      EXPECT_EQ(r.outSize, 8u);
      if (!ok) return fail(kErrorInvalidParameter);
      std::memcpy(out, reply, 8);
      return Reply{};
    };
    uint8_t address[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(queryScsiAddress(kDisk, address), ok);
    EXPECT_EQ(address[6], ok ? 5 : 9);
  }
}

// --- storage descriptor -------------------------------------------------------------------------------

TEST_F(DevWin, StorageDescriptorIsReadWhole) {
  const auto shortOne = makeStorageDescriptor(7, 0, "", "");
  const auto longOne = makeStorageDescriptor(7, 0, "SUNNYWL", "SYWL Bay Disk With A Long Product Name");
  ASSERT_EQ(shortOne.size(), 40u);
  ASSERT_GT(longOne.size(), 40u);
  auto absurd = longOne;
  absurd[4] = 0, absurd[5] = 0, absurd[6] = 0, absurd[7] = 0x40;  // Size = 1 GiB

  struct Case {
    const char* name;
    const std::vector<uint8_t>& device;
    int failCall;  // 1 or 2 fails that call; 0 none
    size_t expectedCalls;
    bool expectEmpty;
  } cases[] = {
      {"fits in 40 bytes", shortOne, 0, 1, false}, {"longer: asked again", longOne, 0, 2, false},
      {"first query fails", longOne, 1, 1, true},  {"second query fails", longOne, 2, 2, true},
      {"absurd size", absurd, 0, 1, true},
  };
  for (const auto& c : cases) {
    system_.requests.clear();
    system_.answer = [&](const Request& r, uint8_t* out, DWORD* returned) {
      EXPECT_EQ(r.code, DWORD(IOCTL_STORAGE_QUERY_PROPERTY));
      EXPECT_EQ(r.in, std::vector<uint8_t>(12, 0)) << "StorageDeviceProperty, PropertyStandardQuery";
      EXPECT_EQ(r.outSize, system_.requests.size() == 1 ? 40u : DWORD(c.device.size()));
      if (int(system_.requests.size()) == c.failCall) return fail(kErrorIoDevice);
      *returned = std::min<DWORD>(r.outSize, DWORD(c.device.size()));
      std::memcpy(out, c.device.data(), *returned);
      return Reply{};
    };
    const auto bytes = queryStorageDescriptor(kDisk);
    EXPECT_EQ(system_.requests.size(), c.expectedCalls) << c.name;
    EXPECT_EQ(bytes, c.expectEmpty ? std::vector<uint8_t>{} : c.device) << c.name;
  }
}

// --- SCSI pass-through -------------------------------------------------------------------------------

constexpr DWORD kDataAt = 80;
// Sense follows the SDK header on an 8-byte boundary: 48 after the 44-byte i686 header, 56 on x64.
constexpr DWORD kSenseAt = sizeof(void*) == 4 ? 48 : 56;

const uint8_t kAtaIdentify[12] = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};

// Checks the header the device received; dataIn 1 or 0.
void expectPassThroughBlock(const Request& r, const uint8_t* cdb, uint8_t cdbLength, uint8_t dataIn,
                            uint32_t n) {
  EXPECT_EQ(r.code, DWORD(IOCTL_SCSI_PASS_THROUGH));
  EXPECT_EQ(r.inBuffer, r.outBuffer) << "one block serves as input and output";
  EXPECT_EQ(r.inSize, n + kDataAt);
  EXPECT_EQ(r.outSize, n + kDataAt);
  ASSERT_GE(r.in.size(), kDataAt);
  const auto* spt = reinterpret_cast<const SCSI_PASS_THROUGH*>(r.in.data());
  EXPECT_EQ(spt->Length, sizeof(SCSI_PASS_THROUGH));
  EXPECT_EQ(spt->ScsiStatus, 0);
  EXPECT_EQ(spt->PathId, 1);
  EXPECT_EQ(spt->TargetId, 2);
  EXPECT_EQ(spt->Lun, 3);
  EXPECT_EQ(spt->CdbLength, cdbLength);
  EXPECT_EQ(spt->SenseInfoLength, 24);
  EXPECT_EQ(spt->DataIn, dataIn);
  EXPECT_EQ(spt->DataTransferLength, n);
  EXPECT_EQ(spt->TimeOutValue, 10u);
  EXPECT_EQ(spt->DataBufferOffset, kDataAt);
  EXPECT_EQ(spt->SenseInfoOffset, kSenseAt);
  EXPECT_EQ(std::vector<uint8_t>(spt->Cdb, spt->Cdb + cdbLength), std::vector<uint8_t>(cdb, cdb + cdbLength));
  EXPECT_EQ(std::count(spt->Cdb + cdbLength, spt->Cdb + 16, 0), 16 - cdbLength) << "rest of the CDB zero";
  EXPECT_EQ(std::count(r.in.begin() + sizeof(SCSI_PASS_THROUGH), r.in.begin() + kDataAt, 0),
            long(kDataAt - sizeof(SCSI_PASS_THROUGH)))
      << "padding and sense zero";
}

TEST_F(DevWin, PassThroughInSendsTheBlockAndCopiesBackWhatTheDeviceReturned) {
  struct Case {
    DWORD reported;                                             // DataTransferLength as the driver leaves it
    uint32_t copied;                                            // bytes handed to the caller
  } cases[] = {{512, 512}, {200, 200}, {0, 0}, {100000, 512}};  // the last: a driver overstating
  for (const auto& c : cases) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      expectPassThroughBlock(r, kAtaIdentify, 12, SCSI_IOCTL_DATA_IN, 512);
      EXPECT_EQ(std::count(r.in.begin() + kDataAt, r.in.end(), 0), 512) << "no stale data sent";
      reinterpret_cast<SCSI_PASS_THROUGH*>(out)->DataTransferLength = c.reported;
      for (int i = 0; i < 512; ++i) out[kDataAt + i] = uint8_t(i + 1);
      return Reply{};
    };
    uint8_t data[512 + 16];  // a guard after the caller's 512 bytes
    std::memset(data, 0xEE, sizeof data);
    uint32_t length = 512;
    ASSERT_TRUE(scsiPassThroughIn(kDisk, 1, 2, 3, kAtaIdentify, 12, data, &length)) << c.reported;
    EXPECT_EQ(length, c.copied);
    for (uint32_t i = 0; i < c.copied; ++i) ASSERT_EQ(data[i], uint8_t(i + 1)) << i;
    EXPECT_EQ(std::count(data + c.copied, std::end(data), 0xEE), long(sizeof data - c.copied))
        << "bytes past the returned count untouched, reported " << c.reported;
  }
}

TEST_F(DevWin, PassThroughOutSendsTheData) {
  const uint8_t cdb[6] = {0xFD, 0x01, 0x02, 0, 0, 0};  // a vendor command
  uint8_t data[24];
  for (int i = 0; i < 24; ++i) data[i] = uint8_t(0x40 + i);
  system_.answer = [&](const Request& r, uint8_t*, DWORD*) {
    expectPassThroughBlock(r, cdb, 6, SCSI_IOCTL_DATA_OUT, 24);
    EXPECT_EQ(std::vector<uint8_t>(r.in.begin() + kDataAt, r.in.end()),
              std::vector<uint8_t>(data, data + 24));
    return Reply{};
  };
  uint32_t length = 24;
  ASSERT_TRUE(scsiPassThroughOut(kDisk, 1, 2, 3, cdb, 6, data, &length));
  EXPECT_EQ(length, 24u);
  EXPECT_EQ(system_.requests.size(), 1u);
}

TEST_F(DevWin, PassThroughFailsOnAFailedCallOrANonZeroScsiStatus) {
  for (bool callFails : {true, false}) {
    system_.answer = [&](const Request&, uint8_t* out, DWORD*) {
      auto* spt = reinterpret_cast<SCSI_PASS_THROUGH*>(out);
      std::memset(out + kDataAt, 0x55, 36);
      spt->DataTransferLength = 18;
      if (callFails) return fail(kErrorIoDevice);
      spt->ScsiStatus = 2;  // check condition
      return Reply{};
    };
    uint8_t data[36] = {};
    uint32_t length = 36;
    const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    EXPECT_FALSE(scsiPassThroughIn(kDisk, 0, 0, 0, inquiry, 6, data, &length)) << callFails;
    EXPECT_EQ(length, 36u);
    EXPECT_EQ(std::count(data, data + 36, 0), 36) << "nothing copied back";
  }
}

TEST_F(DevWin, PassThroughRefusesBadArgumentsWithoutACall) {
  uint8_t data[16] = {};
  const uint8_t cdb[17] = {0x12};
  struct Case {
    const char* name;
    const uint8_t* cdb;
    uint8_t cdbLength;
    void* data;
    bool nullLength;
  } cases[] = {
      {"no command block", nullptr, 6, data, false},
      {"empty command block", cdb, 0, data, false},
      {"command block of 17", cdb, 17, data, false},
      {"no data buffer", cdb, 6, nullptr, false},
      {"no length", cdb, 6, data, true},
  };
  for (const auto& c : cases) {
    uint32_t length = 16;
    uint32_t* lengthArg = c.nullLength ? nullptr : &length;
    EXPECT_FALSE(scsiPassThroughIn(kDisk, 0, 0, 0, c.cdb, c.cdbLength, c.data, lengthArg)) << c.name;
    EXPECT_FALSE(scsiPassThroughOut(kDisk, 0, 0, 0, c.cdb, c.cdbLength, c.data, lengthArg)) << c.name;
  }
  EXPECT_EQ(system_.requestCount(), 0u);
}

TEST_F(DevWin, PassThroughBufferGrowsToTheLargestRequest) {
  devReleasePassThroughBuffer();
  system_.answer = [](const Request& r, uint8_t* out, DWORD*) {
    std::memset(out + kDataAt, 0x77, r.outSize - kDataAt);  // the device may fill every byte it was given
    return Reply{};
  };
  const uint8_t cdb[6] = {0x12};
  struct Step {
    uint32_t length;
    uint32_t capacityAfter;
  } steps[] = {{36, 1024}, {1024, 1024}, {4000, 4000}, {512, 4000}};
  std::vector<uint8_t> data(4000);
  for (const auto& s : steps) {
    uint32_t length = s.length;
    ASSERT_TRUE(scsiPassThroughIn(kDisk, 0, 0, 0, cdb, 6, data.data(), &length)) << s.length;
    EXPECT_EQ(system_.requests.back().inSize, s.length + 80) << s.length;
    EXPECT_EQ(system_.requests.back().outSize, s.length + 80) << s.length;
    EXPECT_EQ(devPassThroughCapacity(), s.capacityAfter) << s.length;
    EXPECT_EQ(std::count(data.begin(), data.begin() + s.length, 0x77), long(s.length));
  }
}

TEST_F(DevWin, PassThroughCallersWaitForEachOther) {
  std::mutex m;
  std::condition_variable changed;
  bool firstInside = false, release = false;
  std::atomic<int> inside{0}, mostInside{0}, calls{0};
  system_.answer = [&](const Request&, uint8_t*, DWORD*) {
    const int now = ++inside;
    mostInside = std::max(mostInside.load(), now);
    if (calls++ == 0) {
      std::unique_lock<std::mutex> l(m);
      firstInside = true;
      changed.notify_all();
      changed.wait(l, [&] { return release; });
    }
    --inside;
    return Reply{};
  };
  const uint8_t cdb[6] = {0x12};
  auto call = [&](bool* result, std::atomic<bool>* done) {
    uint8_t data[36];
    uint32_t length = 36;
    *result = scsiPassThroughIn(kDisk, 0, 0, 0, cdb, 6, data, &length);
    *done = true;
  };
  bool firstResult = false, secondResult = false;
  std::atomic<bool> firstDone{false}, secondDone{false};
  std::thread first(call, &firstResult, &firstDone);
  {
    std::unique_lock<std::mutex> l(m);
    changed.wait(l, [&] { return firstInside; });
  }
  std::thread second(call, &secondResult, &secondDone);
  Sleep(200);  // time enough for the second caller to reach the device if nothing held it back
  EXPECT_FALSE(secondDone);
  EXPECT_EQ(calls, 1);
  {
    std::lock_guard<std::mutex> l(m);
    release = true;
  }
  changed.notify_all();
  first.join();
  second.join();
  EXPECT_TRUE(firstResult);
  EXPECT_TRUE(secondResult) << "the second caller waited and then succeeded";
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(mostInside, 1);
}

// --- IDENTIFY routes ---------------------------------------------------------------------------------

TEST_F(DevWin, MiniportIdentifyRequestBlockByteByByte) {
  const uint8_t registers[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
  struct Case {
    uint32_t n;
    uint8_t lengthField;  // low byte of SRB_IO_CONTROL.Length: the larger of n + 16 and 32
    uint8_t lengthHigh;
  } cases[] = {{512, 0x10, 0x02}, {8, 32, 0}};
  for (const auto& c : cases) {
    std::vector<uint8_t> expected = {28,
                                     0,
                                     0,
                                     0,
                                     'S',
                                     'C',
                                     'S',
                                     'I',
                                     'D',
                                     'I',
                                     'S',
                                     'K',  // header, signature
                                     0xE8,
                                     0x03,
                                     0,
                                     0,  // timeout 1000
                                     0x01,
                                     0x05,
                                     0x1B,
                                     0,  // 0x1B0501
                                     0,
                                     0,
                                     0,
                                     0,  // return code
                                     c.lengthField,
                                     c.lengthHigh,
                                     0,
                                     0,  // length
                                     32,
                                     0,
                                     0,
                                     0,  // cBufferSize
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0xEC,
                                     0,   // task file
                                     5};  // drive number
    expected.resize(60, 0);
    system_.requests.clear();
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      EXPECT_EQ(r.code, DWORD(IOCTL_SCSI_MINIPORT));
      EXPECT_EQ(r.in, expected) << "n " << c.n;
      EXPECT_EQ(r.outSize, 28 + c.n + 16);
      for (uint32_t i = 0; i < c.n; ++i) out[44 + i] = uint8_t(i * 7);
      return Reply{};
    };
    std::vector<uint8_t> out(c.n, 0xEE);
    EXPECT_EQ(miniportIdentify(kDisk, 5, registers, out.data(), c.n), 0u);
    ASSERT_EQ(system_.requests.size(), 1u);
    for (uint32_t i = 0; i < c.n; ++i) ASSERT_EQ(out[i], uint8_t(i * 7)) << i;
  }
}

TEST_F(DevWin, MiniportIdentifyRefusesAMissingOutputAndCopiesNothingOnFailure) {
  const uint8_t registers[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
  EXPECT_EQ(miniportIdentify(kDisk, 0, registers, nullptr, 512), uint32_t(kErrorInvalidParameter));
  EXPECT_EQ(system_.requestCount(), 0u);

  system_.answer = [](const Request&, uint8_t* out, DWORD*) {
    std::memset(out + 44, 0x55, 512);
    return fail(kErrorIoDevice);
  };
  uint8_t out[512] = {};
  EXPECT_EQ(miniportIdentify(kDisk, 0, registers, out, 512), uint32_t(kErrorIoDevice));
  EXPECT_EQ(std::count(out, out + 512, 0), 512);
}

TEST_F(DevWin, SmartIdentifyRequest) {
  std::vector<uint8_t> expected = {32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0};
  expected.resize(32, 0);
  for (bool ok : {true, false}) {
    system_.answer = [&](const Request& r, uint8_t* out, DWORD*) {
      EXPECT_EQ(r.code, DWORD(SMART_RCV_DRIVE_DATA));
      EXPECT_EQ(r.code, 0x7C088u);
      EXPECT_EQ(r.in, expected);
      EXPECT_EQ(r.outSize, 512u + 16);
      EXPECT_EQ(std::count(out, out + r.outSize, 0), long(r.outSize)) << "zero-filled reply buffer";
      for (int i = 0; i < 512; ++i) out[16 + i] = uint8_t(i ^ 0x5A);
      return ok ? Reply{} : fail(kErrorIoDevice);
    };
    uint8_t out[512] = {};
    EXPECT_EQ(smartIdentify(kDisk, out), ok);
    EXPECT_EQ(out[0], ok ? 0x5A : 0);
    EXPECT_EQ(out[511], ok ? uint8_t(511 ^ 0x5A) : 0);
  }
}

// --- open, write, close ------------------------------------------------------------------------------

TEST_F(DevWin, OpenModes) {
  struct Case {
    DevOpenMode mode;
    DWORD share, flags;
  } cases[] = {{DevOpenMode::shared, FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
               {DevOpenMode::exclusiveUnbuffered, 0, FILE_FLAG_NO_BUFFERING}};
  for (const auto& c : cases) {
    uint32_t error = 99;
    EXPECT_EQ(devOpen("\\\\?\\usbstor#disk", c.mode, &error), DevHandle(kDisk));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(system_.openedPath, "\\\\?\\usbstor#disk");
    EXPECT_EQ(system_.access, DWORD(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(system_.share, c.share);
    EXPECT_EQ(system_.disposition, DWORD(OPEN_EXISTING));
    EXPECT_EQ(system_.flags, c.flags);
    EXPECT_FALSE(system_.securityOrTemplate);
  }
  devClose(kDisk);
  EXPECT_EQ(system_.closed, std::vector<HANDLE>{kDisk});
}

TEST_F(DevWin, WriteCarriesTheOffsetAndTreatsAShortWriteAsAnError) {
  const uint8_t data[1024] = {};
  EXPECT_EQ(devWrite(kDisk, 0x123456789A00ull, data, 1024), 0u);
  EXPECT_EQ(system_.writeOffset, 0x123456789A00ull);
  EXPECT_EQ(system_.writeSize, 1024u);
  EXPECT_EQ(system_.writeData, data);

  system_.writeShortBy = 512;
  EXPECT_EQ(devWrite(kDisk, 0, data, 1024), uint32_t(kErrorIoDevice));
}

TEST_F(DevWin, ReadCarriesHandleOffsetAndSizeAndTreatsAShortReadAsAnError) {
  uint8_t data[4096];
  std::memset(data, 0, sizeof data);
  EXPECT_EQ(devRead(kDisk, 0x123456789A00ull, data, 4096), 0u);
  EXPECT_EQ(system_.readHandle, kDisk);
  EXPECT_EQ(system_.readOffset, 0x123456789A00ull);
  EXPECT_EQ(system_.readSize, 4096u);
  EXPECT_EQ(system_.readData, data);
  EXPECT_EQ(std::count(data, data + 4096, 0x6C), 4096);

  system_.readShortBy = 512;  // the end of the device
  EXPECT_EQ(devRead(kDisk, 0, data, 4096), uint32_t(kErrorIoDevice));
  EXPECT_EQ(devRead(kDisk, 0, nullptr, 512), uint32_t(kErrorInvalidParameter));
}

TEST_F(DevWin, FlushGoesToTheHandle) {
  EXPECT_EQ(devFlush(kDisk), 0u);
  EXPECT_EQ(system_.flushed, std::vector<HANDLE>{kDisk});
  EXPECT_EQ(system_.requestCount(), 0u) << "no device request besides the flush";
}

// --- volumes -------------------------------------------------------------------------------------------

TEST_F(DevWin, LockAndDismountSendTheirControlCodesWithoutBuffers) {
  struct Case {
    const char* name;
    uint32_t (*call)(DevHandle);
    DWORD code;
  } cases[] = {{"lock", lockVolume, FSCTL_LOCK_VOLUME}, {"dismount", dismountVolume, FSCTL_DISMOUNT_VOLUME}};
  for (const auto& c : cases) {
    for (DWORD error : {DWORD(0), DWORD(kErrorAccessDenied)}) {
      system_.requests.clear();
      system_.answer = [&](const Request&, uint8_t*, DWORD*) { return error == 0 ? Reply{} : fail(error); };
      EXPECT_EQ(c.call(kDisk), uint32_t(error)) << c.name;
      ASSERT_EQ(system_.requests.size(), 1u) << c.name;
      const Request& r = system_.requests[0];
      EXPECT_EQ(r.handle, kDisk);
      EXPECT_EQ(r.code, c.code) << c.name;
      EXPECT_EQ(r.inBuffer, nullptr);
      EXPECT_EQ(r.outBuffer, nullptr);
      EXPECT_EQ(r.inSize + r.outSize, 0u);
    }
  }
  EXPECT_EQ(DWORD(FSCTL_LOCK_VOLUME), 0x90018u);
  EXPECT_EQ(DWORD(FSCTL_DISMOUNT_VOLUME), 0x90020u);
}

// A machine of four volumes for the volume enumeration: where each lies, and what was asked.
struct FakeVolume {
  const wchar_t* name;
  std::vector<DWORD> disks;  // empty: the volume cannot be opened
};
const FakeVolume kVolumes[] = {
    {L"\\\\?\\Volume{aaaaaaaa-0000-0000-0000-000000000001}\\", {2}},
    {L"\\\\?\\Volume{bbbbbbbb-0000-0000-0000-000000000002}\\", {1, 2}},  // spanned
    {L"\\\\?\\Volume{cccccccc-0000-0000-0000-000000000003}\\", {3}},
    {L"\\\\?\\Volume{dddddddd-0000-0000-0000-000000000004}\\", {}},  // a drive without media
};
const HANDLE kFind = reinterpret_cast<HANDLE>(uintptr_t(0x7700));
struct VolumeCalls {
  size_t next = 0;
  std::vector<std::string> calls;  // in order
  std::vector<HANDLE> open;        // volume handles not closed yet
} volumeCalls;

HANDLE volumeHandle(size_t i) { return reinterpret_cast<HANDLE>(uintptr_t(0x8000 + i)); }

BOOL copyName(size_t i, LPWSTR name, DWORD units) {
  if (i >= std::size(kVolumes)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  EXPECT_GE(units, 50u);
  wcsncpy(name, kVolumes[i].name, units);
  return TRUE;
}

HANDLE WINAPI fakeFindFirstVolumeW(LPWSTR name, DWORD units) {
  volumeCalls.calls.push_back("FindFirstVolumeW");
  volumeCalls.next = 1;
  return copyName(0, name, units) ? kFind : INVALID_HANDLE_VALUE;
}

BOOL WINAPI fakeFindNextVolumeW(HANDLE find, LPWSTR name, DWORD units) {
  EXPECT_EQ(find, kFind);
  volumeCalls.calls.push_back("FindNextVolumeW");
  return copyName(volumeCalls.next++, name, units);
}

BOOL WINAPI fakeFindVolumeClose(HANDLE find) {
  EXPECT_EQ(find, kFind);
  volumeCalls.calls.push_back("FindVolumeClose");
  return TRUE;
}

HANDLE WINAPI fakeVolumeCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                    DWORD disposition, DWORD flags, HANDLE) {
  volumeCalls.calls.push_back(std::string("CreateFileA ") + path);
  EXPECT_EQ(access, 0u) << "asking needs no access rights";
  EXPECT_EQ(share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(disposition, DWORD(OPEN_EXISTING));
  EXPECT_EQ(flags, 0u);
  for (size_t i = 0; i < std::size(kVolumes); ++i) {
    std::wstring name = kVolumes[i].name;
    name.pop_back();
    if (std::string(name.begin(), name.end()) != path) continue;
    if (kVolumes[i].disks.empty()) break;
    volumeCalls.open.push_back(volumeHandle(i));
    return volumeHandle(i);
  }
  SetLastError(ERROR_NOT_READY);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI fakeVolumeCloseHandle(HANDLE h) {
  auto& open = volumeCalls.open;
  EXPECT_NE(std::find(open.begin(), open.end(), h), open.end());
  open.erase(std::remove(open.begin(), open.end(), h), open.end());
  return TRUE;
}

BOOL WINAPI fakeExtents(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                        LPDWORD returned, LPOVERLAPPED overlapped) {
  EXPECT_EQ(code, DWORD(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS));
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(inSize, 0u);
  EXPECT_EQ(overlapped, nullptr);
  const FakeVolume& v = kVolumes[uintptr_t(h) - 0x8000];
  volumeCalls.calls.push_back("extents " + std::to_string(outSize));
  auto* extents = static_cast<VOLUME_DISK_EXTENTS*>(out);
  extents->NumberOfDiskExtents = DWORD(v.disks.size());
  if (outSize < offsetof(VOLUME_DISK_EXTENTS, Extents) + v.disks.size() * sizeof(DISK_EXTENT)) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  for (size_t i = 0; i < v.disks.size(); ++i) extents->Extents[i].DiskNumber = v.disks[i];
  *returned = outSize;
  return TRUE;
}

TEST_F(DevWin, VolumesOfADiskComeFromTheEnumerationAndTheirExtents) {
  volumeCalls = {};
  DevSystemCalls& sys = devSystemCalls();
  sys.findFirstVolumeW = fakeFindFirstVolumeW;
  sys.findNextVolumeW = fakeFindNextVolumeW;
  sys.findVolumeClose = fakeFindVolumeClose;
  sys.createFileA = fakeVolumeCreateFileA;
  sys.closeHandle = fakeVolumeCloseHandle;
  sys.deviceIoControl = fakeExtents;

  const std::string a = "\\\\?\\Volume{aaaaaaaa-0000-0000-0000-000000000001}";
  const std::string b = "\\\\?\\Volume{bbbbbbbb-0000-0000-0000-000000000002}";
  const std::string c = "\\\\?\\Volume{cccccccc-0000-0000-0000-000000000003}";
  const std::string d = "\\\\?\\Volume{dddddddd-0000-0000-0000-000000000004}";
  EXPECT_EQ(diskVolumePaths(2), (std::vector<std::string>{a, b}));
  const std::string oneExtent = "extents " + std::to_string(sizeof(VOLUME_DISK_EXTENTS));
  const std::string twoExtents =
      "extents " + std::to_string(offsetof(VOLUME_DISK_EXTENTS, Extents) + 2 * sizeof(DISK_EXTENT));
  EXPECT_EQ(volumeCalls.calls,
            (std::vector<std::string>{"FindFirstVolumeW", "CreateFileA " + a, oneExtent, "FindNextVolumeW",
                                      "CreateFileA " + b, oneExtent, twoExtents, "FindNextVolumeW",
                                      "CreateFileA " + c, oneExtent, "FindNextVolumeW", "CreateFileA " + d,
                                      "FindNextVolumeW", "FindVolumeClose"}));
  EXPECT_TRUE(volumeCalls.open.empty()) << "every volume handle closed";
  EXPECT_EQ(diskVolumePaths(1), std::vector<std::string>{b});
  EXPECT_TRUE(diskVolumePaths(7).empty());
}

wchar_t mountPointAsked[8];
BOOL WINAPI fakeVolumeName(LPCWSTR mountPoint, LPWSTR name, DWORD units) {
  wcsncpy(mountPointAsked, mountPoint, 7);
  if (mountPoint[0] != L'e') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return copyName(0, name, units);
}

TEST_F(DevWin, LetterNamesItsVolumeWithoutTheTrailingBackslash) {
  devSystemCalls().getVolumeNameForVolumeMountPointW = fakeVolumeName;
  EXPECT_EQ(volumePathOfLetter('e'), "\\\\?\\Volume{aaaaaaaa-0000-0000-0000-000000000001}");
  EXPECT_EQ(std::wstring(mountPointAsked), L"e:\\");
  EXPECT_EQ(volumePathOfLetter('f'), "");
}

UINT WINAPI fakeWindowsFolder(LPWSTR folder, UINT units) {
  wcsncpy(folder, L"E:\\Windows", units);
  return 10;
}

TEST_F(DevWin, SystemVolumeIsTheVolumeOfTheWindowsFolder) {
  devSystemCalls().getVolumeNameForVolumeMountPointW = fakeVolumeName;
  devSystemCalls().getWindowsDirectoryW = fakeWindowsFolder;
  EXPECT_EQ(systemVolumePath(), "\\\\?\\Volume{aaaaaaaa-0000-0000-0000-000000000001}");
  EXPECT_EQ(std::wstring(mountPointAsked), L"e:\\");
}

// --- a real file under the system ---------------------------------------------------------------------

TEST(DevWinFile, WritesAtTheOffsetAndHonoursTheShareMode) {
  char folder[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "dev", 0, path), 0u);
  { std::ofstream(path, std::ios::binary) << std::string(8192, '\0'); }

  uint32_t error = 99;
  DevHandle shared = devOpen(path, DevOpenMode::shared, &error);
  ASSERT_TRUE(isValidDevHandle(shared)) << error;
  alignas(4096) static uint8_t block[512];
  std::memset(block, 0xAB, sizeof block);
  EXPECT_EQ(devWrite(shared, 4096, block, 512), 0u);

  // A job's exclusive open must fail while the scan holds the disk open, and succeed after.
  EXPECT_EQ(devOpen(path, DevOpenMode::exclusiveUnbuffered, &error), invalidDevHandle());
  EXPECT_EQ(error, uint32_t(kErrorSharingViolation));
  devClose(shared);
  DevHandle exclusive = devOpen(path, DevOpenMode::exclusiveUnbuffered, &error);
  ASSERT_TRUE(isValidDevHandle(exclusive)) << error;
  std::memset(block, 0xCD, sizeof block);
  EXPECT_EQ(devWrite(exclusive, 0, block, 512), 0u);
  EXPECT_EQ(devFlush(exclusive), 0u);
  // Read back unbuffered at an offset: the bytes written there; at the end the system's error.
  alignas(4096) static uint8_t back[512];
  EXPECT_EQ(devRead(exclusive, 4096, back, 512), 0u);
  EXPECT_EQ(std::count(back, back + 512, 0xAB), 512);
  EXPECT_EQ(devRead(exclusive, 8192, back, 512), uint32_t(ERROR_HANDLE_EOF));
  devClose(exclusive);

  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  in.close();
  DeleteFileA(path);
  ASSERT_EQ(bytes.size(), 8192u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 512, 0xCD), 512);
  EXPECT_EQ(std::count(bytes.begin() + 512, bytes.begin() + 4096, 0), 4096 - 512);
  EXPECT_EQ(std::count(bytes.begin() + 4096, bytes.begin() + 4608, 0xAB), 512);
  EXPECT_EQ(std::count(bytes.begin() + 4608, bytes.end(), 0), 8192 - 4608);

  EXPECT_EQ(devOpen((std::string(path) + ".missing").c_str(), DevOpenMode::shared, &error),
            invalidDevHandle());
  EXPECT_EQ(error, uint32_t(kErrorFileNotFound));
}

}  // namespace
