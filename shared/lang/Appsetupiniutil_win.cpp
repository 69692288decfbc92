// Settings file on Windows: the all-users application data folder, folder preparation, ini file I/O.
#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "Appsetupiniutil.h"
#include "Fileutil.h"
#include "Securityutil.h"
#include "Shellfolderutil.h"
#include "Winmsglistutil.h"

namespace {

constexpr const char kMakerName[] = "NUVANT";
constexpr const char kProgramName[] = "Velmora";
// The settings file holds one line; anything this large is not ours to rewrite.
constexpr uint32_t kMaxSettingsFileSize = 1u << 20;

bool hasText(const char* s) { return s != nullptr && *s != 0; }

// The file's text: 0 with the text, 0 with no text for a missing file or folder, or the error.
uint32_t readTextFile(const char* file, std::string* text) {
  std::vector<uint8_t> bytes;
  uint32_t error = readWholeFile(file, &bytes, kMaxSettingsFileSize);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) error = 0;
  text->assign(bytes.begin(), bytes.end());
  return error;
}

}  // namespace

std::string commonAppDataFolder() { return shellFolderPath(CSIDL_COMMON_APPDATA); }

std::string makerFolder() {
  std::string common = commonAppDataFolder();
  return common.empty() ? common : common + "\\" + kMakerName;
}

std::string applicationDataFolder(const char* name) {
  std::string maker = makerFolder();
  return maker.empty() || !hasText(name) ? std::string() : maker + "\\" + name;
}

std::string settingsFilePath(const char* name) {
  std::string folder = applicationDataFolder(name);
  return folder.empty() ? folder : folder + "\\" + name + ".ini";
}

uint32_t prepareFolders(const char* name) {
  std::string folder = applicationDataFolder(name);
  if (folder.empty()) return ERROR_PATH_NOT_FOUND;
  uint32_t error = createFolderPath(folder.c_str());
  // The trailing backslashes name the folders themselves.
  grantUsersAccess((makerFolder() + "\\").c_str());
  grantUsersAccess((folder + "\\").c_str());
  return error;
}

std::string readIniText(const char* file, const char* section, const char* key, const char* defaultValue) {
  std::string value = defaultValue ? defaultValue : "";
  std::string text;
  if (!hasText(key) || !hasText(file) || !section || readTextFile(file, &text) != 0) return value;
  iniReadValue(text, section, key, &value);
  return value;
}

bool writeIniText(const char* file, const char* section, const char* key, const char* value) {
  if (!hasText(file) || !section || !key || !value) return false;
  std::string text, current, updated;
  if (readTextFile(file, &text) != 0) return false;
  iniReadValue(text, section, key, &current);
  if (current == value) return true;  // nothing to change: the file is not touched
  if (!iniSetValue(text, section, key, value, &updated)) return false;
  return writeWholeFile(file, updated.data(), uint32_t(updated.size()), UsersAccess::full) == 0;
}

std::string readLanguageSetting() {
  return readIniText(settingsFilePath(kProgramName).c_str(), "Display", "Lang", "");
}

bool saveLanguageCode(const char* code) {
  if (!hasText(code)) return false;
  return writeIniText(settingsFilePath(kProgramName).c_str(), "Display", "Lang", code);
}

void saveLanguageSetting() { saveLanguageCode(currentLanguageCode()); }
