// Device layer, Windows side: the system calls it makes (replaceable by tests) and its shared buffer.
#pragma once

#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on

#include <cstdint>

// Every system call of the Windows device layer goes through this table, so that tests can see the
// exact bytes of a request and answer it without a device. It starts with the system's own functions;
// a test replaces entries before it makes calls and restores them afterwards.
struct DevSystemCalls {
  decltype(&::CreateFileA) createFileA = ::CreateFileA;
  decltype(&::WriteFile) writeFile = ::WriteFile;
  decltype(&::CloseHandle) closeHandle = ::CloseHandle;
  decltype(&::DeviceIoControl) deviceIoControl = ::DeviceIoControl;
  // The enumeration of disk interfaces.
  decltype(&::SetupDiGetClassDevsW) setupDiGetClassDevsW = ::SetupDiGetClassDevsW;
  decltype(&::SetupDiEnumDeviceInfo) setupDiEnumDeviceInfo = ::SetupDiEnumDeviceInfo;
  decltype(&::SetupDiEnumDeviceInterfaces) setupDiEnumDeviceInterfaces = ::SetupDiEnumDeviceInterfaces;
  decltype(&::SetupDiGetDeviceInterfaceDetailA) setupDiGetDeviceInterfaceDetailA =
      ::SetupDiGetDeviceInterfaceDetailA;
  decltype(&::SetupDiDestroyDeviceInfoList) setupDiDestroyDeviceInfoList = ::SetupDiDestroyDeviceInfoList;
  uint32_t (*cmGetParent)(uint32_t devInst) = defaultCmGetParent;  // 0 when the parent is unknown
  // Drive letters and volumes.
  decltype(&::GetLogicalDrives) getLogicalDrives = ::GetLogicalDrives;
  decltype(&::GetDiskFreeSpaceW) getDiskFreeSpaceW = ::GetDiskFreeSpaceW;
  decltype(&::GetVolumeInformationW) getVolumeInformationW = ::GetVolumeInformationW;
  // Reading back and flushing (kept after the older entries, which tests fill in order).
  decltype(&::ReadFile) readFile = ::ReadFile;
  decltype(&::FlushFileBuffers) flushFileBuffers = ::FlushFileBuffers;
  // The volume enumeration and the names of drive letters.
  decltype(&::FindFirstVolumeW) findFirstVolumeW = ::FindFirstVolumeW;
  decltype(&::FindNextVolumeW) findNextVolumeW = ::FindNextVolumeW;
  decltype(&::FindVolumeClose) findVolumeClose = ::FindVolumeClose;
  decltype(&::GetVolumeNameForVolumeMountPointW) getVolumeNameForVolumeMountPointW =
      ::GetVolumeNameForVolumeMountPointW;
  decltype(&::GetWindowsDirectoryW) getWindowsDirectoryW = ::GetWindowsDirectoryW;

  static uint32_t defaultCmGetParent(uint32_t devInst);  // CM_Get_Parent, bound at run time
};

DevSystemCalls& devSystemCalls();

// Data bytes the process-wide pass-through buffer holds now (0 before the first call).
uint32_t devPassThroughCapacity();

// Frees the pass-through buffer, after a call in progress has finished; the next call allocates afresh.
void devReleasePassThroughBuffer();
