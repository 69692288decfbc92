// Station replies no simulated station gives: a bay the model does not have.
#include <windows.h>
// windows.h first: the device headers build on its types.
#include <winioctl.h>
//
#include <gtest/gtest.h>
#include <ntddscsi.h>

#include <cstring>

#include "Deviceioutil_win.h"
#include "Product.h"
#include "Sunnywilldeviceutil.h"

namespace {

uint8_t bayReply[4];

BOOL WINAPI fakeStation(HANDLE, DWORD code, LPVOID in, DWORD, LPVOID, DWORD, LPDWORD returned, LPOVERLAPPED) {
  if (code != IOCTL_SCSI_PASS_THROUGH) return FALSE;
  auto* block = static_cast<uint8_t*>(in);
  auto* header = reinterpret_cast<SCSI_PASS_THROUGH*>(block);
  uint8_t* data = block + header->DataBufferOffset;
  if (header->Cdb[0] == 0x12) {
    std::memset(data, 0, header->DataTransferLength);
    std::memcpy(data + 36, "SYW2", 4);
  } else {
    std::memcpy(data, bayReply, 4);
  }
  header->ScsiStatus = 0;
  *returned = header->DataBufferOffset + header->DataTransferLength;
  return TRUE;
}

TEST(DockBayWin, BayOutsideTheModelFailsTheDetection) {
  const auto saved = devSystemCalls();
  devSystemCalls().deviceIoControl = fakeStation;
  struct Case {
    uint8_t reply[4];
    bool admitted;
    int32_t bay;
  } cases[] = {{{0x4A, 0x4D, 0, 1}, true, 1},
               {{0x00, 0x01, 0, 0}, true, 1},
               {{0x4A, 0x4D, 0, 2}, false, 0},
               {{0x00, 0xFF, 0, 0}, false, 0},
               {{0x4A, 0x4D, 0, 200}, false, 0}};
  for (const Case& c : cases) {
    std::memcpy(bayReply, c.reply, 4);
    DiskInfo info;
    EXPECT_EQ(detectDockBay(info, reinterpret_cast<DevHandle>(0x40)), c.admitted);
    EXPECT_EQ(info.bayIndex, c.bay);
    int marked = 0;
    for (const auto& flag : info.bayOccupied) marked += flag;
    EXPECT_EQ(marked, c.admitted ? 1 : 0);
  }
  devSystemCalls() = saved;
}

}  // namespace
