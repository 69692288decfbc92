#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Appsetupiniutil.h"

namespace {

std::string fileText(const std::string& path) {
  std::string text;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(f);
  return text;
}

void putFile(const std::string& path, const std::string& text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
}

FILETIME lastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Puts the file's modification time far back, so that any rewrite shows.
void ageFile(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  SYSTEMTIME st{2001, 2, 0, 3, 4, 5, 6, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  SetFileTime(f, nullptr, nullptr, &ft);
  CloseHandle(f);
}

bool sameTime(FILETIME a, FILETIME b) { return CompareFileTime(&a, &b) == 0; }

bool isFolder(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string tempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir) + name;
  DeleteFileA(path.c_str());
  return path;
}

TEST(SettingsFile, PathsUnderTheAllUsersApplicationDataFolder) {
  std::string common = commonAppDataFolder();
  ASSERT_FALSE(common.empty());
  EXPECT_TRUE(isFolder(common));
  EXPECT_EQ(makerFolder(), common + "\\NUVANT");
  EXPECT_EQ(applicationDataFolder("Velmora"), common + "\\NUVANT\\Velmora");
  EXPECT_EQ(settingsFilePath("Velmora"), common + "\\NUVANT\\Velmora\\Velmora.ini");
}

TEST(SettingsFile, LanguageRoundTripInThePreparedFolder) {
  std::string file = settingsFilePath("Velmora");
  EXPECT_EQ(readLanguageSetting(), "");  // no file yet
  EXPECT_EQ(prepareFolders("Velmora"), 0u);
  EXPECT_TRUE(isFolder(applicationDataFolder("Velmora")));
  EXPECT_EQ(prepareFolders("Velmora"), 0u);  // again: the folders are there

  EXPECT_FALSE(saveLanguageCode(""));
  EXPECT_EQ(fileText(file), "<missing>");
  ASSERT_TRUE(saveLanguageCode("DEU"));
  EXPECT_EQ(fileText(file), "[Display]\r\nLang=DEU\r\n");
  EXPECT_EQ(readLanguageSetting(), "DEU");
  ASSERT_TRUE(saveLanguageCode("CHT"));
  EXPECT_EQ(readLanguageSetting(), "CHT");
  EXPECT_EQ(fileText(file), "[Display]\r\nLang=CHT\r\n");
}

TEST(SettingsFile, WritingTheStoredValueLeavesTheFileAlone) {
  std::string file = tempFile("velmora-settings-test.ini");
  const std::string original = "; kept\r\n[Display]\r\nLang = ENG\r\n[Other]\r\nA=1\r\n";
  putFile(file, original);
  ageFile(file);
  FILETIME before = lastWrite(file);

  EXPECT_TRUE(writeIniText(file.c_str(), "display", "LANG", "ENG"));
  EXPECT_TRUE(sameTime(lastWrite(file), before));
  EXPECT_EQ(fileText(file), original);
  EXPECT_TRUE(writeIniText(file.c_str(), "Display", "Missing", ""));  // absent equals empty
  EXPECT_TRUE(sameTime(lastWrite(file), before));
  EXPECT_FALSE(writeIniText(file.c_str(), "Display", "Lang", "a\r\nb"));
  EXPECT_EQ(fileText(file), original);

  EXPECT_TRUE(writeIniText(file.c_str(), "Display", "Lang", "DEU"));
  EXPECT_FALSE(sameTime(lastWrite(file), before));
  EXPECT_EQ(fileText(file), "; kept\r\n[Display]\r\nLang = DEU\r\n[Other]\r\nA=1\r\n");
  DeleteFileA(file.c_str());
}

TEST(SettingsFile, ReadGivesTheDefaultWhenAnythingIsMissing) {
  std::string file = tempFile("velmora-settings-read.ini");
  EXPECT_EQ(readIniText(file.c_str(), "Display", "Lang", "dflt"), "dflt");  // no file
  putFile(file, "[Display]\r\nLang=CHS\r\n");
  EXPECT_EQ(readIniText(file.c_str(), "Display", "Lang", "dflt"), "CHS");
  EXPECT_EQ(readIniText(file.c_str(), "Display", "", "dflt"), "dflt");
  EXPECT_EQ(readIniText(file.c_str(), "Display", "Font", "dflt"), "dflt");
  EXPECT_EQ(readIniText(file.c_str(), "Other", "Lang", "dflt"), "dflt");
  EXPECT_EQ(readIniText((file + "\\nothing.ini").c_str(), "Display", "Lang", "dflt"), "dflt");
  DeleteFileA(file.c_str());
}

}  // namespace
