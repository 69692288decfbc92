// The language state of a program: its language list, the default and the current table, text
// lookup by number with the English fallback, and the fonts of the current language.
#pragma once

#include <cstdint>

#include "Msglangcreateutil.h"
#include "Msgobjectutil.h"
#include "Nuvantobjectutil.h"

// All of this is process-wide state without locks: it belongs to the window thread.

// Builds the language list from the program's resources and chooses the start language from the
// system locale. False only when the list itself cannot be created (every lookup then yields
// nothing). Calling it again first destroys the tables of the earlier call.
bool createLanguageTables();
// The same from another source of resources and a given system language code (tests, tools).
bool createLanguageTables(const LanguageResourceSource& source, const char* systemCode);

// Destroys the language list and its tables; lookups yield nothing afterwards.
void destroyLanguageTables();

// Loads one resource into a new table appended to (and owned by) the language list; nullptr when
// there is no list or the resource is missing, shorter than 3 bytes, or lacks the byte-order mark.
clMsgObject* loadTable(uint32_t id, const char* code);
clMsgObject* loadTable(uint32_t id, const char* code, const LanguageResourceSource& source);

// The language list (nullptr before createLanguageTables) and its tables in list order (for the
// programs as shipped: English, Traditional Chinese, Simplified Chinese, German).
const clNuvantObjectList* languageList();
clMsgObject* firstLanguageTable();
clMsgObject* nextLanguageTable(const clMsgObject* table);
clMsgObject* defaultTable();  // ENG, else the first table; nullptr when there is none
clMsgObject* currentTable();  // nullptr until chosen

// The text of id in the current table, else in the default table, else nullptr. Id 0 is never
// found. Valid until the tables are destroyed; an expanded one (escapes, single percent signs)
// only until the next expanded lookup in the same table.
const char16_t* lookupText(int32_t id);

// The first table whose code equals the first three characters of code exactly (case matters)
// becomes current. False, changing nothing, when there is none.
bool selectLanguageByCode(const char* code);
void setCurrentTable(clMsgObject* table);

// The code of the current table, else of the default table, else nullptr.
const char* currentLanguageCode();

// The font character set of the current language; 1 (default) when there is none.
uint8_t languageCharset();

// The font face of the setup programs for the current language: "Arial", "MS UI Gothic" for
// Japanese, and for Traditional Chinese the face whose name languageFontName gives in Big5 bytes
// (for the single-byte font calls on a Big5 system) and languageFontNameWide in UTF-16.
const char* languageFontName();
const char16_t* languageFontNameWide();

// The system's native name of the language of code; nullptr when the system has none. One buffer
// per program, overwritten by the next call.
const char16_t* nativeLanguageName(const char* code);

bool moreThanOneLanguage();
