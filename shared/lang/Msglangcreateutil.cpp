#include "Msglangcreateutil.h"

#include <cstring>
#include <new>

#include "Textformatutil.h"

namespace {

const LanguageCandidate kCandidates[] = {
    {21000, "ENG"}, {21001, "CHT"}, {21002, "CHS"}, {21003, "JPN"}, {21004, "KOR"}, {21008, "ITA"},
    {21005, "FRA"}, {21006, "DEU"}, {21007, "ESN"}, {21009, "PTG"}, {21017, "LVI"}, {21018, "ETI"},
    {21019, "HUN"}, {21020, "CSY"}, {21021, "LTH"}, {21022, "HRV"}, {21023, "SRB"}, {21024, "SLV"},
    {21025, "ROM"}, {21011, "PLK"}, {21014, "NLD"}, {21016, "DAN"}, {21026, "SKY"}, {21013, "RUS"},
    {21027, "BGR"}, {21010, "TRK"}, {21012, "THA"}, {21015, "ARA"}, {21028, "UKR"}, {21029, "ELL"},
    {21030, "SVE"},
};

// Abbreviated names of the system to our codes, tried in this order; a two-letter name matches on
// the first two letters only.
struct AbbreviationCode {
  const char* abbreviation;
  const char* code;
};
const AbbreviationCode kAbbreviations[] = {
    {"AR", "ARA"},  {"BGR", "BGR"}, {"CHT", "CHT"}, {"CHS", "CHS"}, {"CSY", "CSY"}, {"DAN", "DAN"},
    {"DE", "DEU"},  {"ELL", "ELL"}, {"ENG", "ENG"}, {"ES", "ESN"},  {"ETI", "ETI"}, {"FR", "FRA"},
    {"HEB", "HEB"}, {"HRB", "HRV"}, {"HRV", "HRV"}, {"HUN", "HUN"}, {"ITA", "ITA"}, {"ITS", "ITA"},
    {"JPN", "JPN"}, {"KOR", "KOR"}, {"LTH", "LTH"}, {"LVI", "LVI"}, {"NLB", "NLD"}, {"NLD", "NLD"},
    {"PLK", "PLK"}, {"PTB", "PTG"}, {"PTG", "PTG"}, {"RUS", "RUS"}, {"ROM", "ROM"}, {"SKY", "SKY"},
    {"SLV", "SLV"}, {"SRB", "SRB"}, {"SRL", "SRB"}, {"SRN", "SRB"}, {"SRS", "SRB"}, {"SVE", "SVE"},
    {"SVF", "SVE"}, {"THA", "THA"}, {"TRK", "TRK"}, {"UKR", "UKR"}, {"VIT", "VIT"}, {"ZHH", "CHT"},
    {"ZHI", "CHS"}, {"ZHM", "CHT"},
};

struct CodeLocale {
  const char* code;
  uint16_t locale;
};
const CodeLocale kCodeLocales[] = {
    {"ENG", 1033}, {"CHT", 1028}, {"CHS", 2052}, {"JPN", 1041}, {"KOR", 1042}, {"DEU", 1031}, {"ESN", 3082},
    {"FRA", 1036}, {"ITA", 1040}, {"PTG", 2070}, {"TRK", 1055}, {"THA", 1054}, {"PLK", 1045}, {"RUS", 1049},
    {"NLD", 1043}, {"DAN", 1030}, {"ARA", 1025}, {"LVI", 1062}, {"ETI", 1061}, {"HUN", 1038}, {"CSY", 1029},
    {"LTH", 1063}, {"HRV", 1050}, {"SRB", 3098}, {"SLV", 1060}, {"ROM", 1048}, {"SKY", 1051}, {"BGR", 1026},
    {"UKR", 1058}, {"ELL", 1032}, {"SVE", 1053}, {"HEB", 1037}, {"VIT", 1066},
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The first n characters of text equal key's, ASCII case ignored; a shorter text never matches.
bool startsWithNoCase(const char* text, const char* key, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == 0 || upper(text[i]) != key[i]) return false;
  }
  return true;
}

}  // namespace

std::span<const LanguageCandidate> languageCandidates() { return kCandidates; }

clMsgObject* createTableFromResource(std::span<const uint8_t> bytes, const char* code) {
  if (bytes.size() <= 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return nullptr;
  clMsgObject* table = new (std::nothrow) clMsgObject;
  if (table == nullptr) return nullptr;
  if (!table->parseText(bytes.data() + 2, bytes.size() - 2)) {
    delete table;
    return nullptr;
  }
  for (size_t i = 0; code != nullptr && i < 3 && code[i] != 0; ++i) table->languageCode[i] = code[i];
  return table;
}

const char* languageCodeForAbbreviation(const char* abbreviation) {
  if (abbreviation != nullptr) {
    for (const AbbreviationCode& a : kAbbreviations) {
      if (startsWithNoCase(abbreviation, a.abbreviation, std::strlen(a.abbreviation))) return a.code;
    }
  }
  return "ENG";
}

uint32_t localeOfLanguageCode(const char* code) {
  if (code != nullptr) {
    for (const CodeLocale& c : kCodeLocales) {
      if (startsWithNoCase(code, c.code, 3)) return c.locale;
    }
  }
  return 2057;
}

const char* systemLanguageCode() {
  static const char* const code =
      languageCodeForAbbreviation(abbreviatedLanguageName(systemDefaultLocale()).c_str());
  return code;
}
