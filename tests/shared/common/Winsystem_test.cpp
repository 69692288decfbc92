// The real calls: version data, the run-time bound tables, privileges, shell folders (under Wine).
#include <windows.h>
// windows.h first: cfgmgr32.h needs its types.
#include <cfgmgr32.h>
#include <gtest/gtest.h>

#include <cctype>

#include "Securityutil.h"
#include "Shellfolderutil.h"
#include "Syshelptest.h"
#include "Winfuncutil.h"
#include "Winversionutil.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Wine reports Windows 7 by default (10 where so configured), to a 64-bit test program on a 64-bit
// machine; the numbers must agree with what the kernel tells through a documented call.
TEST(Winversionutil, RealCallOnWine) {
  RTL_OSVERSIONINFOW kernel{};
  kernel.dwOSVersionInfoSize = sizeof kernel;
  auto rtlGetVersion = reinterpret_cast<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(rtlGetVersion, nullptr);
  ASSERT_EQ(rtlGetVersion(&kernel), 0);

  const WindowsVersion& v = loadWindowsVersion();
  EXPECT_EQ(&loadWindowsVersion(), &v);  // read once
  EXPECT_EQ(v.major, kernel.dwMajorVersion);
  EXPECT_EQ(v.minor, kernel.dwMinorVersion);
  EXPECT_EQ(v.build, kernel.dwBuildNumber & 0xFFFF);
  EXPECT_EQ(v.processor, 1);
  EXPECT_EQ(v.server, 0);
  EXPECT_TRUE(v.volumeAccess == 0 || v.volumeAccess == 1);
  if (kernel.dwMajorVersion == 10) {
    EXPECT_EQ(v.generation, 15);
    EXPECT_STREQ(windowsName(), "Windows 10 (x64)");
    EXPECT_TRUE(isWindows8OrLater());
  } else {
    ASSERT_EQ(kernel.dwMajorVersion * 10 + kernel.dwMinorVersion, 61u) << "a Wine set to another version";
    EXPECT_EQ(v.generation, 9);
    EXPECT_STREQ(windowsName(), "Windows 7 (x64)");
    EXPECT_FALSE(isWindows8OrLater());
  }
  EXPECT_TRUE(isNtFamily());
  EXPECT_FALSE(isMiniNt());
  EXPECT_EQ(lower(windowsDirectory()), "c:\\windows");
  EXPECT_EQ(windowsDriveLetter(), 'C');
}

TEST(Winfuncutil, TablesBindWhatTheSystemHas) {
  EXPECT_NE(kernelFunctions().module, nullptr);
  EXPECT_NE(kernelFunctions().getNativeSystemInfo, nullptr);
  EXPECT_NE(shellFunctions().shell32, nullptr);
  EXPECT_NE(shellFunctions().shGetFolderPathA, nullptr);
  EXPECT_NE(shellFunctions().shCreateDirectoryExA, nullptr);
  EXPECT_NE(shellFunctions().shChangeNotify, nullptr);
  EXPECT_NE(securityFunctions().setSecurityDescriptorControl, nullptr);
  EXPECT_NE(nativeFunctions().rtlGetNtVersionNumbers, nullptr);
  EXPECT_NE(configManagerFunctions().cmGetParent, nullptr);
  EXPECT_EQ(&kernelFunctions(), &kernelFunctions());

  uint32_t major = 0, minor = 0, build = 0;
  ASSERT_TRUE(ntVersionNumbers(&major, &minor, &build));
  EXPECT_EQ(major, loadWindowsVersion().major);
  EXPECT_LE(build, 0xFFFFu);
  SYSTEM_INFO info{};
  nativeSystemInfo(&info);
  EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
}

TEST(Winfuncutil, ParentDeviceNodeOrZero) {
  EXPECT_EQ(cmGetParent(0), 0u);
  EXPECT_EQ(cmGetParent(0x7FFFFFF0u), 0u);
  // A child of the root node has the root as its parent, where the system lists one.
  DEVINST root = 0, child = 0;
  if (CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS ||
      CM_Get_Child(&child, root, 0) != CR_SUCCESS) {
    GTEST_SKIP() << "no device tree";
  }
  EXPECT_EQ(cmGetParent(child), root);
}

bool privilegeEnabled(const char* name) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  PRIVILEGE_SET set{};
  set.PrivilegeCount = 1;
  set.Control = PRIVILEGE_SET_ALL_NECESSARY;
  LookupPrivilegeValueA(nullptr, name, &set.Privilege[0].Luid);
  BOOL held = FALSE;
  PrivilegeCheck(token, &set, &held);
  CloseHandle(token);
  return held != FALSE;
}

TEST(Securityutil, EnablesPrivilegesOfTheToken) {
  EXPECT_TRUE(enablePrivileges());
  for (const char* name : {"SeShutdownPrivilege", "SeBackupPrivilege", "SeRestorePrivilege"}) {
    EXPECT_TRUE(privilegeEnabled(name)) << name;
  }
}

TEST(Shellfolderutil, FoldersOfTheSystem) {
  for (const std::string& folder : {desktopFolder(), commonDesktopFolder(), programsFolder(),
                                    commonStartupFolder(), programFilesFolder()}) {
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.find_first_of("\\"), 2u) << folder;  // a drive path
  }
  EXPECT_EQ(lower(programFilesFolder()), "c:\\program files");
  EXPECT_NE(commonDesktopFolder(), desktopFolder());  // all users' desktop, not the user's
  EXPECT_NE(lower(programsFolder()).find("programdata"), std::string::npos);
  EXPECT_EQ(shellFolderPath(0x7F), "");  // no such folder number
  notifyFolderChanged(L"C:\\");          // no crash, no wait
}

}  // namespace
