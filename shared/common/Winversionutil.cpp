// The classification half of Winversionutil: plain functions of the numbers, built on every platform.
#include "Winversionutil.h"

namespace {

struct GenerationNames {
  const char* x64;
  const char* ia64;
  const char* other;
};

// Generations 5 to 16, named by processor.
const GenerationNames kNames[] = {
    {"Windows XP (x64)", "Windows XP (ia64)", "Windows XP (32-bits)"},
    {"Windows Server 2003 (x64)", "Windows Server 2003 (ia64)", "Windows Server 2003 (32-bits)"},
    {"Windows Vista (x64)", "Windows Vista (ia64)", "Windows Vista (32-bits)"},
    {"Windows Server 2008 (x64)", "Windows Server 2008 (ia64)", "Windows Server 2008 (32-bits)"},
    {"Windows 7 (x64)", "Windows 7 (ia64)", "Windows 7 (32-bits)"},
    {"Windows Server 2008 R2 (x64)", "Windows Server 2008 R2 (ia64)", "Windows Server 2008 R2 (32-bits)"},
    {"Windows 8 (x64)", "Windows 8 (ia64)", "Windows 8 (32-bits)"},
    {"Windows Server 2012 (x64)", "Windows Server 2012 (ia64)", "Windows Server 2012 (32-bits)"},
    {"Windows 8.1 (x64)", "Windows 8.1 (ia64)", "Windows 8.1 (32-bits)"},
    {"Windows Server 2012 R2 (x64)", "Windows Server 2012 R2 (ia64)", "Windows Server 2012 R2 (32-bits)"},
    {"Windows 10 (x64)", "Windows 10 (ia64)", "Windows 10 (32-bits)"},
    {"Windows Server 2016 (x64)", "Windows Server 2016 (ia64)", "Windows Server 2016 (32-bits)"},
};

int ntGeneration(uint32_t major, uint32_t minor, bool server) {
  const int plusServer = server ? 1 : 0;
  switch (major) {
    case 4:
      return 3;
    case 5:
      if (minor == 0) return 4;
      if (minor == 1) return 5;
      return server ? 6 : 5;  // 5.2 is also XP x64, a workstation
    case 6:
      if (minor == 0) return 7 + plusServer;
      if (minor == 1) return 9 + plusServer;
      if (minor == 2) return 11 + plusServer;
      return 13 + plusServer;
    case 10:
      return minor == 0 && server ? 16 : 15;
    default:
      return 15;
  }
}

}  // namespace

int processorKind(uint32_t architecture) {
  switch (architecture) {
    case 0:  // x86
      return 0;
    case 9:  // AMD64
      return 1;
    case 6:  // IA64
      return 2;
    case 12:  // ARM64
      return 3;
    default:
      return -1;
  }
}

WindowsVersion classifyWindowsVersion(const WindowsVersionFacts& f) {
  WindowsVersion v;
  v.major = f.major;
  v.minor = f.minor;
  v.build = f.build;
  if (f.platform == 1) {  // the 9x family
    v.build = f.build & 0xFFFF;
    v.processor = 0;
    v.volumeAccess = 1;
    if (f.major != 4) {
      v.generation = kGenerationUnknown;
    } else {
      v.generation = f.minor == 0 ? 0 : f.minor == 10 ? 1 : 2;
    }
    return v;
  }
  if (f.platform != 2) {
    v.volumeAccess = 1;
    return v;
  }
  if (f.major <= 3) {
    v.generation = 3;
    v.processor = 0;
    return v;
  }
  v.server = f.productType == 3 ? 1 : 0;
  v.generation = ntGeneration(f.major, f.minor, v.server != 0);
  // NT 4 and 2000 only ran 32-bit on the processors that matter here.
  const bool asksProcessor = f.major > 5 || (f.major == 5 && f.minor >= 1);
  v.processor = asksProcessor ? processorKind(f.architecture) : 0;
  return v;
}

const char* windowsGenerationName(int generation, int processor, int server) {
  switch (generation) {
    case 0:
      return "Windows 95";
    case 1:
      return "Windows 98";
    case 2:
      return "Windows ME";
    case 3:
      return server ? "Windows NT Server" : "Windows NT";
    case 4:
      return server ? "Windows 2000 Server" : "Windows 2000";
    default:
      break;
  }
  if (generation < 5 || generation > 16) return "This Windows version";
  const GenerationNames& n = kNames[generation - 5];
  if (processor == 1) return n.x64;
  if (processor == 2) return n.ia64;
  if (processor == 3 && generation == 15) return "Windows 10 (arm64)";
  return n.other;
}
