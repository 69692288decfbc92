// What the main window asks of Windows: process preparation, the application window, the Windows
// folder's drive and the settings file.
#include <windows.h>

#include <atomic>

#include "Appsetupiniutil.h"
#include "Formmainutil.h"
#include "Guiapplication.h"
#include "Securityutil.h"
#include "Winfuncutil.h"
#include "Winversionutil.h"

namespace {

std::atomic<uint32_t> settingSaves{0};

}  // namespace

void prepareEraserProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS);
  enablePrivileges();
  loadWindowsVersion();
  // The optional functions are bound before the scan, which asks for the parent device nodes.
  kernelFunctions();
  shellFunctions();
  securityFunctions();
  nativeFunctions();
  configManagerFunctions();
  prepareFolders("Velmora");  // errors are not reported
}

void setApplicationTitle(std::u16string_view title) { application().setTitle(title); }

void postToWindow(std::function<void()> call) { application().post(std::move(call)); }

void runPostedToWindow() { application().runPosted(); }

void minimiseApplication() { application().minimise(); }

char windowsFolderLetter() { return windowsDriveLetter(); }

std::string loadLanguageSetting() { return readLanguageSetting(); }

void storeLanguageSetting() {
  ++settingSaves;
  saveLanguageSetting();
}

uint32_t languageSettingSaves() { return settingSaves; }
