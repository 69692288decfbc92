// Which Windows runs: the version data read once, its generation and name, the Windows folder.
#pragma once

#include <cstdint>
#include <string>

enum : int {
  kGenerationUnknown = -1,
  kGenerationNt = 3,         // first generation of the NT family
  kGenerationWindows8 = 11,  // Windows 8 and later: 11 to 16
  kGenerationServer2016 = 16,
};

struct WindowsVersion {
  int generation = kGenerationUnknown;  // index into the generation names
  int processor = -1;                   // 0 x86, 1 x64, 2 IA64, 3 ARM64, -1 other
  int server = 0;                       // product type server (domain controllers count as 0)
  int volumeAccess = 0;                 // the Windows volume opens for reading and writing
  uint32_t major = 0, minor = 0, build = 0;
};

// What the system reports, from which the version data follows.
struct WindowsVersionFacts {
  uint32_t platform = 0;  // 1 the 9x family, 2 NT
  uint32_t major = 0, minor = 0, build = 0;
  uint32_t productType = 0;        // 1 workstation, 2 domain controller, 3 server
  uint32_t architecture = 0xFFFF;  // PROCESSOR_ARCHITECTURE_* of the machine
};

// The classification, without asking the system. volumeAccess is 1 outside the NT platform and 0 on
// it (the real call fills it in).
WindowsVersion classifyWindowsVersion(const WindowsVersionFacts& facts);
int processorKind(uint32_t architecture);
const char* windowsGenerationName(int generation, int processor, int server);

// The version data of this system, read on first use; later calls return the same record.
const WindowsVersion& loadWindowsVersion();
bool isNtFamily();
bool isWindows8OrLater();
bool isMiniNt();  // a pre-installation environment
const char* windowsName();
std::string windowsDirectory();  // empty on failure
char windowsDriveLetter();       // upper case, 0 when unknown
