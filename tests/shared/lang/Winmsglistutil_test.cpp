#include "Winmsglistutil.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> resource(std::u16string_view lines) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t u : lines) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

// A program's resources as a map from id to bytes.
class LanguageTables : public ::testing::Test {
 protected:
  void TearDown() override { destroyLanguageTables(); }

  LanguageResourceSource source() {
    return [this](uint32_t id) {
      auto it = resources_.find(id);
      return it != resources_.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
    };
  }
  void addStandardTables() {
    // Put in out of order: the list follows the table of languages, not the resources.
    resources_[21006] = resource(u"1\tDeutsch\r\n3\tGesamtgröße\r\n");
    resources_[21002] = resource(u"1\t简体中文\r\n3\t总容量\r\n");
    resources_[21001] = resource(u"1\t繁體中文\r\n3\t總容量\r\n");
    resources_[21000] = resource(u"1\tEnglish\r\n3\tTotal Size\r\n47\tCan not erase boot drive!\r\n");
  }
  std::vector<std::string> codes() {
    std::vector<std::string> result;
    for (clMsgObject* t = firstLanguageTable(); t != nullptr; t = nextLanguageTable(t)) {
      result.push_back(t->languageCode);
    }
    return result;
  }
  static std::u16string text(int32_t id) {
    const char16_t* t = lookupText(id);
    return t != nullptr ? std::u16string(t) : u"<none>";
  }

  std::map<uint32_t, std::vector<uint8_t>> resources_;
};

TEST_F(LanguageTables, ListFollowsTheTableOfLanguagesAndTheSystemCodeChoosesTheStart) {
  addStandardTables();
  ASSERT_TRUE(createLanguageTables(source(), "CHS"));
  EXPECT_EQ(codes(), (std::vector<std::string>{"ENG", "CHT", "CHS", "DEU"}));
  EXPECT_STREQ(defaultTable()->languageCode, "ENG");
  EXPECT_STREQ(currentLanguageCode(), "CHS");
  EXPECT_EQ(text(1), u"简体中文");
  EXPECT_TRUE(moreThanOneLanguage());
  for (clMsgObject* t = firstLanguageTable(); t != nullptr; t = nextLanguageTable(t)) {
    EXPECT_EQ(t->owner, languageList());
  }

  // A system code without a table leaves the default table current.
  ASSERT_TRUE(createLanguageTables(source(), "JPN"));
  EXPECT_EQ(currentTable(), defaultTable());
  EXPECT_EQ(text(1), u"English");
}

TEST_F(LanguageTables, MissingTextFallsBackToEnglish) {
  addStandardTables();
  ASSERT_TRUE(createLanguageTables(source(), "DEU"));
  EXPECT_EQ(text(3), u"Gesamtgröße");
  EXPECT_EQ(text(47), u"Can not erase boot drive!");
  EXPECT_EQ(text(2), u"<none>");
  EXPECT_EQ(text(0), u"<none>");
  setCurrentTable(nullptr);
  EXPECT_EQ(text(3), u"Total Size");
}

TEST_F(LanguageTables, SelectionByCodeIsCaseSensitive) {
  addStandardTables();
  ASSERT_TRUE(createLanguageTables(source(), "DEU"));
  EXPECT_FALSE(selectLanguageByCode("eng"));
  EXPECT_STREQ(currentLanguageCode(), "DEU");
  EXPECT_FALSE(selectLanguageByCode(""));
  EXPECT_FALSE(selectLanguageByCode(nullptr));
  EXPECT_TRUE(selectLanguageByCode("CHT"));
  EXPECT_STREQ(currentLanguageCode(), "CHT");
  EXPECT_TRUE(selectLanguageByCode("ENGLISH"));  // the first three characters count
  EXPECT_STREQ(currentLanguageCode(), "ENG");
}

TEST_F(LanguageTables, UnusableResourcesAreSkippedAndTheFirstTableStandsInForEnglish) {
  addStandardTables();
  resources_[21000] = {0xFF, 0xFE};               // too short
  resources_[21001] = {'1', 0, '\t', 0, 'x', 0};  // no byte-order mark
  resources_[21003] = resource(u"1\t日本語\r\n");
  ASSERT_TRUE(createLanguageTables(source(), "ENG"));
  EXPECT_EQ(codes(), (std::vector<std::string>{"CHS", "JPN", "DEU"}));
  EXPECT_STREQ(defaultTable()->languageCode, "CHS");
  EXPECT_EQ(currentTable(), defaultTable());
  EXPECT_EQ(loadTable(0, "XXX", source()), nullptr);
  EXPECT_EQ(loadTable(21000, "ENG", source()), nullptr);
}

TEST_F(LanguageTables, WithoutTablesEverythingIsNone) {
  EXPECT_EQ(lookupText(1), nullptr);  // before any list exists
  EXPECT_EQ(languageCharset(), 1);
  ASSERT_TRUE(createLanguageTables(source(), "ENG"));
  EXPECT_EQ(firstLanguageTable(), nullptr);
  EXPECT_EQ(defaultTable(), nullptr);
  EXPECT_EQ(currentTable(), nullptr);
  EXPECT_EQ(currentLanguageCode(), nullptr);
  EXPECT_EQ(lookupText(1), nullptr);
  EXPECT_EQ(languageCharset(), 1);
  EXPECT_STREQ(languageFontName(), "Arial");
  EXPECT_FALSE(moreThanOneLanguage());
}

TEST_F(LanguageTables, CharacterSetAndFontFollowTheCurrentLanguage) {
  addStandardTables();
  ASSERT_TRUE(createLanguageTables(source(), "ENG"));
  const struct {
    const char* code;
    uint8_t charset;
    const char* font;
    std::u16string wideFont;
  } cases[] = {
      {"ENG", 1, "Arial", u"Arial"},
      {"CHT", 136, "\xB7\x4C\xB3\x6E\xA5\xBF\xB6\xC2\xC5\xE9", u"微軟正黑體"},
      {"CHS", 134, "Arial", u"Arial"},
      {"DEU", 1, "Arial", u"Arial"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_TRUE(selectLanguageByCode(c.code));
    EXPECT_EQ(languageCharset(), c.charset);
    EXPECT_STREQ(languageFontName(), c.font);
    EXPECT_EQ(std::u16string(languageFontNameWide()), c.wideFont);
  }
}

TEST(LanguageCodes, FromTheSystemsAbbreviatedName) {
  const struct {
    const char* abbreviation;
    const char* code;
  } cases[] = {
      {"ENU", "ENG"},                  // United States English: not in the list, English by default
      {"ENG", "ENG"}, {"DEA", "DEU"},  // Austrian German by its first two letters
      {"deu", "DEU"}, {"ARE", "ARA"}, {"ESM", "ESN"}, {"FRB", "FRA"}, {"CHT", "CHT"},
      {"ZHH", "CHT"}, {"ZHM", "CHT"}, {"ZHI", "CHS"}, {"HRB", "HRV"}, {"SRL", "SRB"},
      {"ITS", "ITA"}, {"NLB", "NLD"}, {"PTB", "PTG"}, {"SVF", "SVE"}, {"HEB", "HEB"},
      {"VIT", "VIT"}, {"XYZ", "ENG"}, {"D", "ENG"},   {"", "ENG"},    {nullptr, "ENG"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(languageCodeForAbbreviation(c.abbreviation), c.code)
        << (c.abbreviation != nullptr ? c.abbreviation : "null");
  }
}

TEST(LanguageCodes, LocaleOfCode) {
  EXPECT_EQ(localeOfLanguageCode("ENG"), 1033u);
  EXPECT_EQ(localeOfLanguageCode("cht"), 1028u);
  EXPECT_EQ(localeOfLanguageCode("CHSX"), 2052u);
  EXPECT_EQ(localeOfLanguageCode("SRB"), 3098u);
  EXPECT_EQ(localeOfLanguageCode("XYZ"), 2057u);
  EXPECT_EQ(localeOfLanguageCode("EN"), 2057u);
  EXPECT_EQ(localeOfLanguageCode(nullptr), 2057u);
}

// The system side (Windows, or the table that stands in for it elsewhere).
TEST(LanguageCodes, SystemNames) {
  EXPECT_STREQ(languageCodeForAbbreviation(abbreviatedLanguageName(1033).c_str()), "ENG");
  EXPECT_EQ(abbreviatedLanguageName(3079), "DEA");
  EXPECT_STREQ(languageCodeForAbbreviation(abbreviatedLanguageName(3079).c_str()), "DEU");
  EXPECT_EQ(std::string(systemLanguageCode()).size(), 3u);
  const char16_t* german = nativeLanguageName("DEU");
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(std::u16string(german), u"Deutsch");
  EXPECT_EQ(std::u16string(nativeLanguageName("ENG")), u"English");
}

}  // namespace
