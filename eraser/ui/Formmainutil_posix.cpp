// Stand-ins for what the main window asks of Windows, so that it runs headless in tests: posted
// calls wait until runPostedToWindow, the Windows folder is on C and the saved language lives in
// memory.
#include <atomic>
#include <mutex>

#include "Formmainutil.h"
#include "Guiform.h"
#include "Guipostqueue.h"
#include "Winmsglistutil.h"

namespace {

PostQueue& windowCalls() {
  static PostQueue queue;
  return queue;
}

std::mutex settingLock;
std::string savedLanguage;
std::atomic<uint32_t> settingSaves{0};

}  // namespace

void prepareEraserProcess() {}

void setApplicationTitle(std::u16string_view) {}

void postToWindow(std::function<void()> call) { windowCalls().post(std::move(call)); }

// Only what was posted so far: a thread that keeps posting must not keep the window thread here.
void runPostedToWindow() { windowCalls().runPending(); }

void minimiseApplication() {
  if (Form* main = Form::mainForm()) main->minimise();
}

char windowsFolderLetter() { return 'C'; }

std::string loadLanguageSetting() {
  std::lock_guard<std::mutex> hold(settingLock);
  return savedLanguage;
}

void storeLanguageSetting() {
  ++settingSaves;
  const char* code = currentLanguageCode();
  if (code == nullptr || *code == 0) return;
  std::lock_guard<std::mutex> hold(settingLock);
  savedLanguage = code;
}

uint32_t languageSettingSaves() { return settingSaves; }
