#include "Winversionutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  WindowsVersionFacts facts;
  int generation, processor, server, volumeAccess;
  const char* name;
};

// platform, major, minor, build, product type (1 workstation, 2 domain controller, 3 server), architecture
const Case kCases[] = {
    {{2, 10, 0, 19045, 1, 9}, 15, 1, 0, 0, "Windows 10 (x64)"},
    {{2, 10, 0, 14393, 3, 9}, 16, 1, 1, 0, "Windows Server 2016 (x64)"},
    {{2, 10, 0, 17763, 2, 9}, 15, 1, 0, 0, "Windows 10 (x64)"},  // a domain controller is no server here
    {{2, 10, 0, 22000, 1, 12}, 15, 3, 0, 0, "Windows 10 (arm64)"},
    {{2, 10, 0, 19045, 1, 5}, 15, -1, 0, 0, "Windows 10 (32-bits)"},  // 32-bit ARM
    {{2, 10, 1, 0, 3, 0}, 15, 0, 1, 0, "Windows 10 (32-bits)"},
    {{2, 11, 0, 0, 3, 9}, 15, 1, 1, 0, "Windows 10 (x64)"},
    {{2, 5, 2, 3790, 1, 9}, 5, 1, 0, 0, "Windows XP (x64)"},  // XP x64 is 5.2 but a workstation
    {{2, 5, 2, 3790, 3, 0}, 6, 0, 1, 0, "Windows Server 2003 (32-bits)"},
    {{2, 5, 2, 3790, 3, 6}, 6, 2, 1, 0, "Windows Server 2003 (ia64)"},
    {{2, 5, 1, 2600, 1, 0}, 5, 0, 0, 0, "Windows XP (32-bits)"},
    {{2, 5, 0, 2195, 3, 9}, 4, 0, 1, 0, "Windows 2000 Server"},  // the processor is not asked
    {{2, 5, 0, 2195, 1, 0}, 4, 0, 0, 0, "Windows 2000"},
    {{2, 4, 0, 1381, 3, 9}, 3, 0, 1, 0, "Windows NT Server"},
    {{2, 3, 51, 1057, 3, 0}, 3, 0, 0, 0, "Windows NT"},
    {{2, 6, 0, 6002, 1, 6}, 7, 2, 0, 0, "Windows Vista (ia64)"},
    {{2, 6, 0, 6002, 3, 9}, 8, 1, 1, 0, "Windows Server 2008 (x64)"},
    {{2, 6, 1, 7601, 1, 0}, 9, 0, 0, 0, "Windows 7 (32-bits)"},
    {{2, 6, 1, 7601, 3, 9}, 10, 1, 1, 0, "Windows Server 2008 R2 (x64)"},
    {{2, 6, 2, 9200, 1, 9}, 11, 1, 0, 0, "Windows 8 (x64)"},
    {{2, 6, 2, 9200, 3, 9}, 12, 1, 1, 0, "Windows Server 2012 (x64)"},
    {{2, 6, 3, 9600, 1, 12}, 13, 3, 0, 0, "Windows 8.1 (32-bits)"},  // arm64 is named only for 10
    {{2, 6, 4, 9841, 3, 9}, 14, 1, 1, 0, "Windows Server 2012 R2 (x64)"},
    {{1, 4, 0, 950, 0, 0}, 0, 0, 0, 1, "Windows 95"},
    {{1, 4, 10, 0x040A0AE2u, 0, 0}, 1, 0, 0, 1, "Windows 98"},
    {{1, 4, 90, 3000, 0, 0}, 2, 0, 0, 1, "Windows ME"},
    {{1, 5, 0, 0, 0, 0}, -1, 0, 0, 1, "This Windows version"},
    {{3, 10, 0, 0, 1, 9}, -1, -1, 0, 1, "This Windows version"},
};

TEST(Winversionutil, ClassifiesEveryGeneration) {
  for (const Case& c : kCases) {
    const WindowsVersionFacts& f = c.facts;
    SCOPED_TRACE(std::to_string(f.platform) + ": " + std::to_string(f.major) + "." + std::to_string(f.minor) +
                 " type " + std::to_string(f.productType) + " arch " + std::to_string(f.architecture));
    const WindowsVersion v = classifyWindowsVersion(f);
    EXPECT_EQ(v.generation, c.generation);
    EXPECT_EQ(v.processor, c.processor);
    EXPECT_EQ(v.server, c.server);
    EXPECT_EQ(v.volumeAccess, c.volumeAccess);
    EXPECT_EQ(v.major, f.major);
    EXPECT_EQ(v.minor, f.minor);
    EXPECT_STREQ(windowsGenerationName(v.generation, v.processor, v.server), c.name);
  }
}

TEST(Winversionutil, NineXBuildKeepsItsLowWord) {
  EXPECT_EQ(classifyWindowsVersion({1, 4, 10, 0x040A0AE2u, 0, 0}).build, 0x0AE2u);
  EXPECT_EQ(classifyWindowsVersion({2, 10, 0, 19045, 1, 9}).build, 19045u);
}

TEST(Winversionutil, NamesOutsideTheTable) {
  for (int generation : {-1, 17, 100}) {
    EXPECT_STREQ(windowsGenerationName(generation, 1, 0), "This Windows version");
  }
  EXPECT_STREQ(windowsGenerationName(16, 3, 1), "Windows Server 2016 (32-bits)");
}

}  // namespace
