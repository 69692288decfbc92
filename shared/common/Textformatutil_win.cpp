#include <windows.h>

#include "Textformatutil.h"
#include "Textformatutil_impl.h"

namespace {

void WINAPI releaseScratchBuffers(void* buffers) { delete static_cast<ScratchBuffers*>(buffers); }

}  // namespace

// Fiber-local storage rather than thread_local: with the mingw runtime, a namespace-scope
// thread_local object with a destructor that the main thread has touched corrupts the heap when
// another thread using it ends. An FLS callback runs at the end of every thread, also of those
// started with CreateThread.
ScratchBuffers* threadScratchBuffers() {
  static const DWORD slot = FlsAlloc(releaseScratchBuffers);
  if (slot == FLS_OUT_OF_INDEXES) return nullptr;
  auto* buffers = static_cast<ScratchBuffers*>(FlsGetValue(slot));
  if (buffers == nullptr) {
    buffers = new (std::nothrow) ScratchBuffers;
    if (buffers == nullptr) return nullptr;
    if (!FlsSetValue(slot, buffers)) {
      delete buffers;
      return nullptr;
    }
  }
  return buffers;
}

uint32_t systemDefaultLocale() {
  static const uint32_t locale = GetSystemDefaultLCID();
  return locale;
}

namespace {

// The message in one language; false when the system has no text for it.
bool messageInLanguage(uint32_t message, uint32_t language, std::u16string* text) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      message, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const bool found = length != 0 && buffer != nullptr;
  if (found) text->assign(reinterpret_cast<const char16_t*>(buffer), length);
  if (buffer != nullptr) LocalFree(buffer);
  return found;
}

}  // namespace

std::u16string systemMessageText(uint32_t language, uint32_t message, uint8_t* charset) {
  std::u16string text;
  uint32_t charsetLocale = 0;
  if (language == 0) {
    // 1024: the user's default language.
    if (messageInLanguage(message, 1024, &text)) charsetLocale = systemDefaultLocale();
  } else {
    for (uint32_t tried : {language, 1033u, systemDefaultLocale()}) {
      if (messageInLanguage(message, tried, &text)) {
        charsetLocale = tried;
        break;
      }
    }
  }
  if (charset != nullptr) *charset = text.empty() ? 1 : localeCharset(charsetLocale);
  return text;
}
