// Optional system functions bound at run time: one process-wide table per system module, with wrappers.
#pragma once

#include <windows.h>

#include <cstdint>

// Each table is filled at first use, once per process; a function the module lacks stays null and its
// wrapper falls back to the statically bound function of the same purpose, or reports failure.

struct KernelFunctions {
  HMODULE module = nullptr;
  void(WINAPI* getNativeSystemInfo)(SYSTEM_INFO*) = nullptr;
};

struct ShellFunctions {
  HMODULE shell32 = nullptr;
  HMODULE shfolder = nullptr;
  HRESULT(WINAPI* shGetFolderPathA)(HWND, int, HANDLE, DWORD, char*) = nullptr;
  int(WINAPI* shCreateDirectoryExA)(HWND, const char*, const SECURITY_ATTRIBUTES*) = nullptr;
  void(WINAPI* shChangeNotify)(LONG, UINT, const void*, const void*) = nullptr;
};

struct SecurityFunctions {
  HMODULE module = nullptr;
  BOOL(WINAPI* setSecurityDescriptorControl)
  (PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL) = nullptr;
};

struct NativeFunctions {
  HMODULE module = nullptr;
  void(WINAPI* rtlGetNtVersionNumbers)(DWORD*, DWORD*, DWORD*) = nullptr;
};

struct ConfigManagerFunctions {
  HMODULE module = nullptr;
  DWORD(WINAPI* cmGetParent)(DWORD* parent, DWORD devInst, ULONG flags) = nullptr;
};

const KernelFunctions& kernelFunctions();
const ShellFunctions& shellFunctions();
const SecurityFunctions& securityFunctions();
const NativeFunctions& nativeFunctions();
const ConfigManagerFunctions& configManagerFunctions();

// GetNativeSystemInfo where the system has it, else GetSystemInfo.
void nativeSystemInfo(SYSTEM_INFO* info);

// RtlGetNtVersionNumbers with the build masked to 16 bits; false when the function is missing or
// gives a zero major number.
bool ntVersionNumbers(uint32_t* major, uint32_t* minor, uint32_t* build);

// The parent device node of devInst; 0 when the function is missing or the call fails.
uint32_t cmGetParent(uint32_t devInst);

BOOL setSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits);
HRESULT shGetFolderPathA(int folder, char path[MAX_PATH]);
int shCreateDirectoryExA(const char* path);
void shChangeNotify(LONG event, UINT flags, const void* item1, const void* item2);
