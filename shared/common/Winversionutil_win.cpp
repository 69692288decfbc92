// The system half of Winversionutil: reading the version once, the Windows folder.
#include <windows.h>

#include <cctype>
#include <mutex>

#include "Winfuncutil.h"
#include "Winversionutil.h"

namespace {

WindowsVersion gVersion;
std::once_flag gVersionOnce;

std::string readWindowsDirectory() {
  char buffer[512];
  const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::string(buffer, n);
}

char driveLetterOf(const std::string& folder) {
  if (folder.empty()) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
}

bool windowsVolumeOpens() {
  const char letter = driveLetterOf(readWindowsDirectory());
  if (letter == 0) return false;
  const char volume[] = {'\\', '\\', '.', '\\', letter, ':', 0};
  HANDLE h = CreateFileA(volume, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

void readVersion() {
  OSVERSIONINFOEXA info{};
  // The extended record: the product type (server or not) is only in it.
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info = OSVERSIONINFOEXA{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return;
  }
  WindowsVersionFacts facts;
  facts.platform = info.dwPlatformId;
  facts.major = info.dwMajorVersion;
  facts.minor = info.dwMinorVersion;
  facts.build = info.dwBuildNumber;
  facts.productType = info.wProductType;
  if (facts.platform == VER_PLATFORM_WIN32_NT) {
    kernelFunctions();
    shellFunctions();
    // GetVersionExA lies to programs without a manifest naming newer systems.
    uint32_t major, minor, build;
    if (ntVersionNumbers(&major, &minor, &build)) {
      facts.major = major;
      facts.minor = minor;
      facts.build = build;
    }
    SYSTEM_INFO system{};
    nativeSystemInfo(&system);
    facts.architecture = system.wProcessorArchitecture;
  }
  gVersion = classifyWindowsVersion(facts);
  if (facts.platform == VER_PLATFORM_WIN32_NT) gVersion.volumeAccess = windowsVolumeOpens() ? 1 : 0;
}

}  // namespace

const WindowsVersion& loadWindowsVersion() {
  std::call_once(gVersionOnce, readVersion);
  return gVersion;
}

bool isNtFamily() { return loadWindowsVersion().generation >= kGenerationNt; }

bool isWindows8OrLater() {
  const int g = loadWindowsVersion().generation;
  return g >= kGenerationWindows8 && g <= kGenerationServer2016;
}

bool isMiniNt() {
  loadWindowsVersion();
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0, KEY_READ, &key) !=
      0) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

const char* windowsName() {
  const WindowsVersion& v = loadWindowsVersion();
  return windowsGenerationName(v.generation, v.processor, v.server);
}

std::string windowsDirectory() {
  loadWindowsVersion();
  return readWindowsDirectory();
}

char windowsDriveLetter() {
  loadWindowsVersion();
  return driveLetterOf(readWindowsDirectory());
}
