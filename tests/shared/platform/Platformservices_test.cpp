#include "Platformservices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// A Windows-style path (backslashes) inside a fresh temporary folder.
std::string tempFolder(const char* name) {
  fs::path p =
      fs::temp_directory_path() /
      (std::string(name) + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string s = p.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string nativePath(std::string s) {
  if (fs::path::preferred_separator == '/')
    for (char& c : s)
      if (c == '\\') c = '/';
  return s;
}

TEST(PlatformServices, CreatesNestedFoldersAndExclusiveLogFiles) {
  const std::string root = tempFolder("velmora-platform-");
  const std::string folder = root + "\\a\\b\\Velmora Log";
  ASSERT_TRUE(createFolders(folder));
  EXPECT_TRUE(createFolders(folder));  // already there

  const std::string file = folder + "\\20240309_140507_Disk1.txt";
  LogFileHandle first = createLogFile(file);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(createLogFile(file), nullptr);  // held open
  ASSERT_TRUE(writeLogFile(first, "x", 1));
  closeLogFile(first);
  EXPECT_EQ(createLogFile(file), nullptr);  // an existing log is never replaced
  {
    std::ifstream in(nativePath(file), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "x");
  }
  fs::remove_all(nativePath(root));
}

TEST(PlatformServices, SinksAndOverrideReplaceTheSystem) {
  std::string seen;
  setDebugSink([&](const std::string& t) { seen += t; });
  debugOutput("Disk 0, TotalByte:1");
  setDebugSink(nullptr);
  EXPECT_EQ(seen, "Disk 0, TotalByte:1");

  setDesktopFolderOverride("C:\\desk");
  std::string path, failure;
  ASSERT_TRUE(desktopFolder(&path, &failure));
  EXPECT_EQ(path, "C:\\desk");
  setDesktopFolderOverride("");

  const LocalTime t = localTimeNow();
  EXPECT_GE(t.year, 2024);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
}

}  // namespace
