#include <windows.h>

#include "Shellfolderutil.h"
// windows.h first: shlobj.h needs its types.
#include <shlobj.h>

#include "Winfuncutil.h"
#include "Winversionutil.h"

namespace {

// The all-users folder on the NT family; the user's own where that is missing or fails.
std::string commonOrOwn(int common, int own) {
  if (isNtFamily()) {
    std::string path = shellFolderPath(common);
    if (!path.empty()) return path;
  }
  return shellFolderPath(own);
}

}  // namespace

std::string shellFolderPath(int folder) {
  char path[MAX_PATH] = {};
  if (shGetFolderPathA(folder, path) != S_OK) return {};
  return path;
}

std::string desktopFolder() { return shellFolderPath(CSIDL_DESKTOP); }
std::string commonDesktopFolder() { return commonOrOwn(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOP); }
std::string programsFolder() { return commonOrOwn(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS); }
std::string commonStartupFolder() { return commonOrOwn(CSIDL_COMMON_STARTUP, CSIDL_STARTUP); }
std::string programFilesFolder() { return shellFolderPath(CSIDL_PROGRAM_FILES); }

void notifyFolderChanged(const wchar_t* path) {
  shChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, path, nullptr);
}
