// The scan's requests on the Windows side: the enumeration of disk interfaces, the drive letters and
// volumes, the IDENTIFY routes byte for byte, and the scan thread's retries, through fakes of the
// system calls; and a few of the real calls under Wine.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Apphelputil.h"
#include "Deviceioutil.h"
#include "Deviceioutil_win.h"
#include "Platformservices.h"
#include "Product.h"
#include "Product_scan.h"
#include "Textformatutil.h"

namespace {

const HDEVINFO kSet = reinterpret_cast<HDEVINFO>(uintptr_t(0x5E7));
const HANDLE kDisk = reinterpret_cast<HANDLE>(uintptr_t(0x1234));
constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

struct Member {
  DWORD devInst;
  uint32_t parent;  // 0: CM_Get_Parent fails
  std::string path;
  DWORD interfaceError = 0;  // SetupDiEnumDeviceInterfaces fails with it
  DWORD detailError = 0;     // the second SetupDiGetDeviceInterfaceDetailA fails with it
};

struct FakeSetup {
  std::mutex lock;
  std::vector<Member> members;
  int classDevsFailures = 0;
  DWORD classDevsError = ERROR_INVALID_DATA;
  std::vector<std::chrono::steady_clock::time_point> classDevsCalls;
  GUID guid{};
  bool enumeratorOrWindow = false;
  DWORD flags = 0;
  int destroyed = 0;
  std::vector<DWORD> parentsAsked;
  std::vector<std::string> interfaceCalls;  // what each SetupDiEnumDeviceInterfaces named
  std::vector<DWORD> detailCbSizes;
  // DeviceIoControl.
  std::function<BOOL(DWORD code, const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize)> control;
  std::vector<DWORD> controlCodes;
};
FakeSetup* fake = nullptr;

const Member* memberWithDevInst(DWORD devInst) {
  for (const Member& m : fake->members) {
    if (m.devInst == devInst) return &m;
  }
  return nullptr;
}

HDEVINFO WINAPI fakeGetClassDevsW(const GUID* guid, PCWSTR enumerator, HWND window, DWORD flags) {
  std::lock_guard hold(fake->lock);
  fake->classDevsCalls.push_back(std::chrono::steady_clock::now());
  fake->guid = *guid;
  fake->enumeratorOrWindow = enumerator != nullptr || window != nullptr;
  fake->flags = flags;
  if (fake->classDevsFailures > 0) {
    --fake->classDevsFailures;
    SetLastError(fake->classDevsError);
    return INVALID_HANDLE_VALUE;
  }
  return kSet;
}

BOOL WINAPI fakeEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) {
  EXPECT_EQ(set, kSet);
  EXPECT_EQ(info->cbSize, sizeof(SP_DEVINFO_DATA));
  if (index >= fake->members.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  info->DevInst = fake->members[index].devInst;
  return TRUE;
}

uint32_t fakeCmGetParent(uint32_t devInst) {
  fake->parentsAsked.push_back(devInst);
  const Member* m = memberWithDevInst(devInst);
  return m != nullptr ? m->parent : 0;
}

BOOL WINAPI fakeEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* guid, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA iface) {
  EXPECT_EQ(set, kSet);
  EXPECT_TRUE(IsEqualGUID(*guid, kDiskInterface));
  EXPECT_EQ(iface->cbSize, sizeof(SP_DEVICE_INTERFACE_DATA));
  const Member* m = info != nullptr ? memberWithDevInst(info->DevInst) : nullptr;
  fake->interfaceCalls.push_back((m != nullptr ? m->path : "?") + " #" + std::to_string(index));
  if (m == nullptr || index != 0) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  if (m->interfaceError != 0) {
    SetLastError(m->interfaceError);
    return FALSE;
  }
  iface->Reserved = ULONG_PTR(m);
  return TRUE;
}

BOOL WINAPI fakeGetDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA iface,
                           PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD required,
                           PSP_DEVINFO_DATA info) {
  EXPECT_EQ(set, kSet);
  EXPECT_EQ(info, nullptr);
  const Member* m = reinterpret_cast<const Member*>(iface->Reserved);
  const DWORD needed = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + m->path.size() + 1);
  if (detail == nullptr) {
    EXPECT_EQ(size, 0u);
    *required = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  fake->detailCbSizes.push_back(detail->cbSize);
  EXPECT_EQ(size, needed);
  if (m->detailError != 0) {
    SetLastError(m->detailError);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, m->path.c_str(), m->path.size() + 1);
  return TRUE;
}

BOOL WINAPI fakeDestroy(HDEVINFO set) {
  EXPECT_EQ(set, kSet);
  ++fake->destroyed;
  return TRUE;
}

BOOL WINAPI fakeDeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                LPDWORD returned, LPOVERLAPPED) {
  EXPECT_EQ(h, kDisk);
  fake->controlCodes.push_back(code);
  if (returned != nullptr) *returned = outSize;
  if (!fake->control) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return fake->control(code, static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out), outSize);
}

class ScanWin : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = devSystemCalls();
    fake = &setup_;
    DevSystemCalls& calls = devSystemCalls();
    calls.setupDiGetClassDevsW = fakeGetClassDevsW;
    calls.setupDiEnumDeviceInfo = fakeEnumDeviceInfo;
    calls.setupDiEnumDeviceInterfaces = fakeEnumDeviceInterfaces;
    calls.setupDiGetDeviceInterfaceDetailA = fakeGetDetailA;
    calls.setupDiDestroyDeviceInfoList = fakeDestroy;
    calls.cmGetParent = fakeCmGetParent;
    calls.deviceIoControl = fakeDeviceIoControl;
  }
  void TearDown() override {
    stopDiskScan();
    setDebugSink(nullptr);
    devSystemCalls() = saved_;
    fake = nullptr;
  }

  FakeSetup setup_;

 private:
  DevSystemCalls saved_;
};

std::vector<std::string> paths(const DiskEnumeration& e) {
  std::vector<std::string> out;
  for (const DiskInterface& d : e.interfaces)
    out.push_back(d.devicePath + " " + std::to_string(d.parentInstance));
  return out;
}

// --- enumeration ---------------------------------------------------------------------------------------

TEST_F(ScanWin, EnumerationListsPresentDiskInterfacesEachWithTheParentOfItsOwnDevice) {
  setup_.members = {
      {0x10, 0x100, "\\\\?\\usbstor#a"}, {0x20, 0, "\\\\?\\usbstor#b"}, {0x30, 0x100, "\\\\?\\scsi#c"}};
  const DiskEnumeration e = enumerateDiskInterfaces();
  EXPECT_EQ(e.error, 0u);
  EXPECT_EQ(paths(e),
            (std::vector<std::string>{"\\\\?\\usbstor#a 256", "\\\\?\\usbstor#b 0", "\\\\?\\scsi#c 256"}));
  EXPECT_TRUE(e.skipped.empty());
  EXPECT_TRUE(IsEqualGUID(setup_.guid, kDiskInterface));
  EXPECT_FALSE(setup_.enumeratorOrWindow);
  EXPECT_EQ(setup_.flags, DWORD(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  EXPECT_EQ(setup_.parentsAsked, (std::vector<DWORD>{0x10, 0x20, 0x30}));
  EXPECT_EQ(setup_.interfaceCalls,
            (std::vector<std::string>{"\\\\?\\usbstor#a #0", "\\\\?\\usbstor#b #0", "\\\\?\\scsi#c #0"}));
  // The fixed part of the detail as this build lays it out (5 on 32-bit Windows).
  EXPECT_EQ(setup_.detailCbSizes, std::vector<DWORD>(3, DWORD(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))));
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), sizeof(void*) == 8 ? 8u : 5u);
  EXPECT_EQ(setup_.destroyed, 1);
}

TEST_F(ScanWin, UnreadableMembersAreSkippedAndTheWalkGoesOn) {
  setup_.members = {
      {1, 7, "a"}, {2, 7, "b", ERROR_NOT_FOUND}, {3, 7, "c", 0, ERROR_ACCESS_DENIED}, {4, 7, "d"}};
  const DiskEnumeration e = enumerateDiskInterfaces();
  EXPECT_EQ(paths(e), (std::vector<std::string>{"a 7", "d 7"}));
  EXPECT_EQ(e.skipped, (std::vector<uint32_t>{ERROR_NOT_FOUND, ERROR_ACCESS_DENIED}));
  EXPECT_EQ(setup_.destroyed, 1);
}

TEST_F(ScanWin, FailedClassDevsGivesItsErrorAndNothingElse) {
  setup_.members = {{1, 7, "a"}};
  setup_.classDevsFailures = 1;
  setup_.classDevsError = ERROR_NOT_ENOUGH_MEMORY;
  const DiskEnumeration e = enumerateDiskInterfaces();
  EXPECT_EQ(e.error, uint32_t(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(e.interfaces.empty());
  EXPECT_EQ(setup_.destroyed, 0);
}

TEST_F(ScanWin, ScanThreadAsksForTheClassDevsAgainAfterAHundredMilliseconds) {
  std::mutex lock;
  std::vector<std::string> lines;
  setDebugSink([&](const std::string& text) {
    std::lock_guard hold(lock);
    lines.push_back(text);
  });
  setup_.classDevsFailures = 2;
  setup_.classDevsError = ERROR_INVALID_DATA;
  startDiskScan();
  ASSERT_TRUE(waitForDiskScanPasses(1, 10000));
  std::vector<std::chrono::steady_clock::time_point> calls;
  {
    std::lock_guard hold(setup_.lock);
    calls = setup_.classDevsCalls;
  }
  ASSERT_EQ(calls.size(), 3u);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i] - calls[i - 1], std::chrono::milliseconds(90));
  const auto before = std::chrono::steady_clock::now();
  stopDiskScan();  // in the middle of a ten-second wait
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));

  // The system's own text, without its line break, between the call's name and the code.
  const std::u16string wide = systemMessageText(0, ERROR_INVALID_DATA, nullptr);
  ASSERT_FALSE(wide.empty());
  std::string text(wide.begin(), wide.end());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  std::lock_guard hold(lock);
  EXPECT_EQ(lines, std::vector<std::string>(2, "SetupDiGetClassDevs : " + text + " (13)"));
}

// --- drive letters and volumes ----------------------------------------------------------------------

std::wstring askedRoot;
DWORD volumeNameUnits = 0, fileSystemUnits = 0;
bool volumeCallsFail = false;

DWORD WINAPI fakeLogicalDrives() { return 0x3FFFFFF; }

BOOL WINAPI fakeFreeSpace(LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                          LPDWORD freeClusters, LPDWORD totalClusters) {
  askedRoot = root;
  if (volumeCallsFail) return FALSE;
  *sectorsPerCluster = 8;
  *bytesPerSector = 512;
  *freeClusters = 1000;
  *totalClusters = 3000000;  // 12 GB: more than 32 bits of bytes
  return TRUE;
}

BOOL WINAPI fakeVolumeInformation(LPCWSTR root, LPWSTR name, DWORD nameUnits, LPDWORD, LPDWORD, LPDWORD,
                                  LPWSTR fileSystem, DWORD fileSystemUnitsGiven) {
  askedRoot = root;
  volumeNameUnits = nameUnits;
  fileSystemUnits = fileSystemUnitsGiven;
  if (volumeCallsFail) return FALSE;
  wcscpy(name, L"BACKUP");
  wcscpy(fileSystem, L"exFAT");
  return TRUE;
}

TEST_F(ScanWin, VolumeQueriesAskTheRootAndComputeSizesIn64Bits) {
  DevSystemCalls& calls = devSystemCalls();
  calls.getLogicalDrives = fakeLogicalDrives;
  calls.getDiskFreeSpaceW = fakeFreeSpace;
  calls.getVolumeInformationW = fakeVolumeInformation;
  EXPECT_EQ(logicalDriveMask(), 0x3FFFFFFu);

  for (bool fail : {false, true}) {
    volumeCallsFail = fail;
    uint64_t total = 1, free = 2;
    EXPECT_EQ(queryVolumeSpace(u"e:\\", &total, &free), !fail);
    EXPECT_EQ(askedRoot, L"e:\\");
    EXPECT_EQ(total, fail ? 1u : 3000000ull * 4096);
    EXPECT_EQ(free, fail ? 2u : 1000ull * 4096);

    std::u16string label = u"old", fileSystem = u"old";
    askedRoot.clear();
    EXPECT_EQ(queryVolumeNames(u"f:\\", &label, &fileSystem), !fail);
    EXPECT_EQ(askedRoot, L"f:\\");
    EXPECT_EQ(volumeNameUnits, 260u);
    EXPECT_EQ(fileSystemUnits, 260u);
    EXPECT_EQ(label, fail ? u"old" : u"BACKUP");
    EXPECT_EQ(fileSystem, fail ? u"old" : u"exFAT");
  }
}

TEST(ScanWinReal, WineAnswersTheEnumerationAndTheSystemDrive) {
  const DiskEnumeration e = enumerateDiskInterfaces();
  EXPECT_EQ(e.error, 0u);
  const uint32_t mask = logicalDriveMask();
  EXPECT_NE(mask & (1u << 2), 0u) << "c: exists in every Wine prefix";
  uint64_t total = 0, free = 0;
  EXPECT_TRUE(queryVolumeSpace(u"c:\\", &total, &free));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  std::u16string label, fileSystem = u"-";
  EXPECT_TRUE(queryVolumeNames(u"C:\\", &label, &fileSystem));
  EXPECT_NE(fileSystem, u"-");
  EXPECT_FALSE(queryVolumeSpace(u"\\\\no such root\\", &total, &free));
}

// --- IDENTIFY routes -----------------------------------------------------------------------------------

// IDENTIFY data naming the disk "FAKE MODEL", serial "S1", rotation 7200.
void fillIdentify(uint8_t* data) {
  std::memset(data, 0, 512);
  auto put = [&](int word, const char* text, int words) {
    for (int i = 0; i < words; ++i) {
      data[2 * (word + i) + 1] = uint8_t(text[2 * i]);
      data[2 * (word + i)] = uint8_t(text[2 * i + 1]);
    }
  };
  put(27, "FAKE MODEL                              ", 20);
  put(10, "S1                  ", 10);
  data[434] = 0x20, data[435] = 0x1C;
}

void expectIdentified(const DiskInfo& d) {
  EXPECT_EQ(d.modelName, "FAKE MODEL" + std::string(30, ' '));
  EXPECT_EQ(d.serialNumber, "S1" + std::string(18, ' '));
  EXPECT_EQ(d.rotationRate, 7200);
}

TEST_F(ScanWin, AtaPassThroughCommandBlockByteForByte) {
  setup_.control = [](DWORD code, const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize) -> BOOL {
    EXPECT_EQ(code, DWORD(IOCTL_SCSI_PASS_THROUGH));
    EXPECT_EQ(inSize, 80u + 512);
    EXPECT_EQ(outSize, 80u + 512);
    SCSI_PASS_THROUGH spt;
    std::memcpy(&spt, in, sizeof spt);
    EXPECT_EQ(spt.PathId, 0);
    EXPECT_EQ(spt.TargetId, 0);
    EXPECT_EQ(spt.Lun, 0);
    EXPECT_EQ(spt.CdbLength, 12);
    EXPECT_EQ(spt.DataIn, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(spt.DataTransferLength, 512u);
    const std::vector<uint8_t> cdb(spt.Cdb, spt.Cdb + 16);
    EXPECT_EQ(cdb, (std::vector<uint8_t>{0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00,
                                         0x00, 0, 0, 0, 0}));
    fillIdentify(out + 80);
    out[offsetof(SCSI_PASS_THROUGH, ScsiStatus)] = 0;
    return TRUE;
  };
  DiskInfo disk;
  disk.busType = 7;
  readIdentify(disk, kDisk);
  expectIdentified(disk);
  EXPECT_EQ(setup_.controlCodes.size(), 1u);
}

TEST_F(ScanWin, MiniportRouteAsksTheDriveAtTheTargetId) {
  setup_.control = [](DWORD code, const uint8_t* in, DWORD inSize, uint8_t* out, DWORD outSize) -> BOOL {
    if (code == IOCTL_SCSI_GET_ADDRESS) {
      const uint8_t address[8] = {8, 1, 2, 0, 0, 0, 5, 0};  // Length, PortNumber, PathId, TargetId 5 ...
      std::memcpy(out, address, sizeof address);
      return TRUE;
    }
    EXPECT_EQ(code, DWORD(IOCTL_SCSI_MINIPORT));
    EXPECT_EQ(inSize, 28u + 32);
    EXPECT_EQ(outSize, 28u + 16 + 512);
    EXPECT_EQ(std::vector<uint8_t>(in + 32, in + 41), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xEC, 0, 5}));
    fillIdentify(out + 44);
    return TRUE;
  };
  for (uint8_t bus : {1, 8, 9}) {
    DiskInfo disk;
    disk.busType = bus;
    readIdentify(disk, kDisk);
    expectIdentified(disk);
  }
  EXPECT_EQ(setup_.controlCodes.size(), 6u);
}

TEST_F(ScanWin, SmartRouteForAtaBuses) {
  setup_.control = [](DWORD code, const uint8_t*, DWORD, uint8_t* out, DWORD) -> BOOL {
    EXPECT_EQ(code, DWORD(SMART_RCV_DRIVE_DATA));
    fillIdentify(out + 16);
    return TRUE;
  };
  for (uint8_t bus : {2, 3, 11}) {
    DiskInfo disk;
    disk.busType = bus;
    readIdentify(disk, kDisk);
    expectIdentified(disk);
  }
}

TEST_F(ScanWin, NoRequestForSasOrARemovableUsbMedium) {
  setup_.control = [](DWORD, const uint8_t*, DWORD, uint8_t*, DWORD) -> BOOL { return TRUE; };
  DiskInfo sas;
  sas.busType = 10;
  readIdentify(sas, kDisk);
  DiskInfo flash;
  flash.busType = 7;
  flash.removableMedia = 1;
  readIdentify(flash, kDisk);
  EXPECT_TRUE(setup_.controlCodes.empty());
  EXPECT_STREQ(diskTypeLabel(sas), "HDD");
  EXPECT_EQ(sas.modelName, "");
}

}  // namespace
