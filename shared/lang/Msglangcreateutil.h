// Creating language tables: the table of languages, a table from its resource bytes, and the
// language codes and locale ids behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "Msgobjectutil.h"

struct LanguageCandidate {
  uint16_t id;  // "BINRES" resource number
  char code[4];
};

// Every language resource a program may carry, in the order they are tried and listed.
std::span<const LanguageCandidate> languageCandidates();
constexpr uint32_t kEnglishTableId = 21000;

// Gives the bytes of one "BINRES" resource, byte-order mark included; empty when there is none.
// The bytes need to stay valid only during the call that asked for them.
using LanguageResourceSource = std::function<std::span<const uint8_t>(uint32_t id)>;

// The program's own resources; nothing where there is no Windows.
LanguageResourceSource programLanguageResources();

// A new table parsed from resource bytes and tagged with the first three characters of code, or
// nullptr when the bytes are 2 or fewer, do not start with the byte-order mark FF FE, or memory runs
// out. The caller owns the table.
clMsgObject* createTableFromResource(std::span<const uint8_t> bytes, const char* code);

// The language code that a system's abbreviated language name stands for, compared without regard
// to case ("DEA" gives "DEU" by its first two letters); "ENG" for any name not known ("ENU" too).
const char* languageCodeForAbbreviation(const char* abbreviation);

// The Windows locale id of a language code (first three characters, any case); 2057 for any other.
uint32_t localeOfLanguageCode(const char* code);

// The language code of the system's default locale; computed once and kept.
const char* systemLanguageCode();

// --- the system's locale names (Windows side, or a small table where there is no Windows) ---------

// The system's three-letter abbreviated language name of a locale ("ENU"); empty when it has none.
std::string abbreviatedLanguageName(uint32_t localeId);

// The system's native name of a locale's language into buffer (at most units - 1 units and a
// terminator); false when the system has no such name or it is empty.
bool systemNativeLanguageName(uint32_t localeId, char16_t* buffer, size_t units);
