// Without Windows: no resources of our own, and the names of the few locales the tables need, as
// Windows gives them.
#include "Msglangcreateutil.h"

namespace {

struct LocaleNames {
  uint32_t locale;
  const char* abbreviation;
  const char16_t* nativeName;
};
const LocaleNames kLocales[] = {
    {1033, "ENU", u"English"}, {2057, "ENG", u"English"},    {1031, "DEU", u"Deutsch"},
    {3079, "DEA", u"Deutsch"}, {1028, "CHT", u"中文(繁體)"}, {2052, "CHS", u"中文(简体)"},
};

const LocaleNames* find(uint32_t locale) {
  for (const LocaleNames& l : kLocales) {
    if (l.locale == locale) return &l;
  }
  return nullptr;
}

}  // namespace

LanguageResourceSource programLanguageResources() {
  return [](uint32_t) { return std::span<const uint8_t>(); };
}

std::string abbreviatedLanguageName(uint32_t localeId) {
  const LocaleNames* l = find(localeId);
  return l != nullptr ? l->abbreviation : "";
}

bool systemNativeLanguageName(uint32_t localeId, char16_t* buffer, size_t units) {
  if (buffer == nullptr || units == 0) return false;
  buffer[0] = 0;
  const LocaleNames* l = find(localeId);
  if (l == nullptr) return false;
  size_t n = 0;
  for (const char16_t* s = l->nativeName; *s != 0 && n + 1 < units; ++s) buffer[n++] = *s;
  buffer[n] = 0;
  return n > 0;
}
