#include "Winmsglistutil.h"

#include <cstring>
#include <new>

#include "Textformatutil.h"

namespace {

clNuvantObjectList* gLanguageList = nullptr;
clMsgObject* gDefaultTable = nullptr;
clMsgObject* gCurrentTable = nullptr;

constexpr uint32_t kTraditionalChineseLocale = 1028;
constexpr uint32_t kJapaneseLocale = 1041;

}  // namespace

bool createLanguageTables() { return createLanguageTables(programLanguageResources(), systemLanguageCode()); }

bool createLanguageTables(const LanguageResourceSource& source, const char* systemCode) {
  destroyLanguageTables();
  gLanguageList = new (std::nothrow) clNuvantObjectList;
  if (gLanguageList == nullptr) return false;
  char code[4] = {};
  for (size_t i = 0; systemCode != nullptr && i < 3 && systemCode[i] != 0; ++i) code[i] = systemCode[i];
  for (const LanguageCandidate& candidate : languageCandidates()) {
    clMsgObject* table = loadTable(candidate.id, candidate.code, source);
    if (table != nullptr && candidate.id == kEnglishTableId) gDefaultTable = table;
  }
  if (gDefaultTable == nullptr) gDefaultTable = firstLanguageTable();
  if (!selectLanguageByCode(code)) gCurrentTable = gDefaultTable;
  return true;
}

void destroyLanguageTables() {
  delete gLanguageList;
  gLanguageList = nullptr;
  gDefaultTable = nullptr;
  gCurrentTable = nullptr;
}

clMsgObject* loadTable(uint32_t id, const char* code) {
  return loadTable(id, code, programLanguageResources());
}

clMsgObject* loadTable(uint32_t id, const char* code, const LanguageResourceSource& source) {
  if (id == 0 || gLanguageList == nullptr || !source) return nullptr;
  clMsgObject* table = createTableFromResource(source(id), code);
  AppendOwned(gLanguageList, table);
  return table;
}

const clNuvantObjectList* languageList() { return gLanguageList; }

clMsgObject* firstLanguageTable() { return static_cast<clMsgObject*>(First(gLanguageList)); }

clMsgObject* nextLanguageTable(const clMsgObject* table) {
  return table != nullptr ? static_cast<clMsgObject*>(table->next) : nullptr;
}

clMsgObject* defaultTable() { return gDefaultTable; }
clMsgObject* currentTable() { return gCurrentTable; }

const char16_t* lookupText(int32_t id) {
  if (gCurrentTable != nullptr) {
    if (const char16_t* text = gCurrentTable->findText(id)) return text;
  }
  if (gDefaultTable != nullptr && gDefaultTable != gCurrentTable) return gDefaultTable->findText(id);
  return nullptr;
}

bool selectLanguageByCode(const char* code) {
  if (code == nullptr) return false;
  for (clMsgObject* table = firstLanguageTable(); table != nullptr; table = nextLanguageTable(table)) {
    if (std::strncmp(table->languageCode, code, 3) == 0) {
      gCurrentTable = table;
      return true;
    }
  }
  return false;
}

void setCurrentTable(clMsgObject* table) { gCurrentTable = table; }

const char* currentLanguageCode() {
  if (gCurrentTable != nullptr) return gCurrentTable->languageCode;
  if (gDefaultTable != nullptr) return gDefaultTable->languageCode;
  return nullptr;
}

uint8_t languageCharset() {
  const char* code = currentLanguageCode();
  if (gLanguageList == nullptr || code == nullptr) return 1;
  return localeCharset(localeOfLanguageCode(code));
}

const char* languageFontName() {
  switch (localeOfLanguageCode(currentLanguageCode())) {
    case kTraditionalChineseLocale:
      return "\xB7\x4C\xB3\x6E\xA5\xBF\xB6\xC2\xC5\xE9";  // the Big5 bytes of the UTF-16 name below
    case kJapaneseLocale:
      return "MS UI Gothic";
    default:
      return "Arial";
  }
}

const char16_t* languageFontNameWide() {
  switch (localeOfLanguageCode(currentLanguageCode())) {
    case kTraditionalChineseLocale:
      return u"微軟正黑體";
    case kJapaneseLocale:
      return u"MS UI Gothic";
    default:
      return u"Arial";
  }
}

const char16_t* nativeLanguageName(const char* code) {
  static char16_t name[512];
  return systemNativeLanguageName(localeOfLanguageCode(code), name, 512) ? name : nullptr;
}

bool moreThanOneLanguage() { return Count(gLanguageList) > 1; }
