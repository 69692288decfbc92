#include <windows.h>

#include "Msglangcreateutil.h"
#include "Resourceutil.h"

LanguageResourceSource programLanguageResources() {
  return [](uint32_t id) -> std::span<const uint8_t> {
    ResourceBlock block;
    if (findResourceBlock(nullptr, id, &block) != 0) return {};
    return {block.data, block.size};
  };
}

std::string abbreviatedLanguageName(uint32_t localeId) {
  char name[16] = {};
  if (GetLocaleInfoA(localeId, LOCALE_SABBREVLANGNAME, name, sizeof name) == 0) return {};
  return std::string(name).substr(0, 3);
}

bool systemNativeLanguageName(uint32_t localeId, char16_t* buffer, size_t units) {
  if (buffer == nullptr || units == 0) return false;
  buffer[0] = 0;
  const int n = GetLocaleInfoW(localeId, LOCALE_SNATIVELANGNAME, reinterpret_cast<wchar_t*>(buffer),
                               static_cast<int>(units));
  if (n == 0) buffer[0] = 0;
  return buffer[0] != 0;
}
