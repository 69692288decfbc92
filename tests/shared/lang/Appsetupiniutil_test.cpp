#include "Appsetupiniutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IniText, ReadsSectionsKeysCaseBlanksAndLineEnds) {
  struct Case {
    const char* text;
    const char* want;  // null: not found
  } cases[] = {
      {"[Display]\r\nLang=DEU\r\n", "DEU"},
      {"[display]\nLANG=deu", "deu"},
      {"  [ Display ]  \n\t Lang  =  DEU  \n", "DEU"},
      {"\xEF\xBB\xBF[Display]\r\nLang=CHS", "CHS"},
      {"[Other]\r\nLang=ENG\r\n[Display]\r\nFont=Arial\r\nLang=CHT\r\n", "CHT"},
      {"[Display]\nLang=\"DEU\"\n", "DEU"},
      {"[Display]\nLang='x y'\n", "x y"},
      {"[Display]\nLang=\"DEU\n", "\"DEU"},
      {"[Display]\nLang=a=b\n", "a=b"},
      {"[Display]\nLang=\n", ""},
      {"[Display]\r\r\nLang=ENG\r\r\n", "ENG"},
      {"[Display]\nLang=ENG\nLang=DEU\n", "ENG"},
      {"", nullptr},
      {"Lang=ENG\r\n[Display]\r\n", nullptr},
      {"[Other]\r\nLang=ENG\r\n", nullptr},
      {"[Display]\r\nX=1\r\n[Other]\r\nLang=ENG\r\n", nullptr},
      {"[Display]\r\n;Lang=ENG\r\n#Lang=ENG\r\nLang\r\n", nullptr},
      {"[Display]\r\nA=1\r\n[Display]\r\nLang=ENG\r\n", nullptr},  // the first section of a name counts
      {"[DisplayX]\r\nLang=ENG\r\n", nullptr},
      {"[Display]\r\nLanguage=ENG\r\n", nullptr},
  };
  for (const Case& c : cases) {
    std::string value = "untouched";
    bool found = iniReadValue(c.text, "Display", "Lang", &value);
    EXPECT_EQ(found, c.want != nullptr) << c.text;
    EXPECT_EQ(value, c.want ? c.want : "untouched") << c.text;
  }
}

TEST(IniText, SettingAValueKeepsEveryOtherLine) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"", "[Display]\r\nLang=DEU\r\n"},
      {"; settings\r\n[Other]\r\nLang=X\r\n\r\n[Display]\r\nLang = ENG  \r\nFont=Arial\r\n",
       "; settings\r\n[Other]\r\nLang=X\r\n\r\n[Display]\r\nLang = DEU\r\nFont=Arial\r\n"},
      {"[DISPLAY]\nlang=\"eng\"\n", "[DISPLAY]\nlang=DEU\n"},
      {"[Display]\r\nLang=ENG", "[Display]\r\nLang=DEU"},
      {"[Display]\r\nFont=Arial\r\n\r\n[Other]\r\nA=1\r\n",
       "[Display]\r\nFont=Arial\r\nLang=DEU\r\n\r\n[Other]\r\nA=1\r\n"},
      {"[Display]", "[Display]\r\nLang=DEU\r\n"},
      // A CR alone ends no line (found by fuzzing).
      {"[Display]\r", "[Display]\r\r\nLang=DEU\r\n"},
      {"[Display\r", "[Display\r\r\nLang=DEU\r\n"},
      {"[Display]\nFont=Arial", "[Display]\nFont=Arial\nLang=DEU\n"},
      {"[Other]\nA=1\n", "[Other]\nA=1\n\n[Display]\nLang=DEU\n"},
      {"[Other]\r\nA=1", "[Other]\r\nA=1\r\n\r\n[Display]\r\nLang=DEU\r\n"},
      {"[Other]\r\nA=1\r\n\r\n", "[Other]\r\nA=1\r\n\r\n[Display]\r\nLang=DEU\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBF[Display]\r\nLang=DEU\r\n"},
  };
  for (const Case& c : cases) {
    std::string out, value;
    ASSERT_TRUE(iniSetValue(c.text, "Display", "Lang", "DEU", &out)) << c.text;
    EXPECT_EQ(out, c.want) << c.text;
    ASSERT_TRUE(iniReadValue(out, "Display", "Lang", &value));
    EXPECT_EQ(value, "DEU");
  }
}

TEST(IniText, EntriesThatWouldNotReadBackAreRefused) {
  struct Case {
    const char *section, *key, *value;
  } cases[] = {
      {"Display", "Lang", "DE\r\n[X]"}, {"Display", "Lang", " DEU"},
      {"Display", "Lang", "\"DEU\""},   {"Display", "La=ng", "DEU"},
      {"Display", "", "DEU"},           {"Display", " Lang", "DEU"},
      {"Display", "[Lang", "DEU"},      {"Display", ";Lang", "DEU"},
      {"Disp]lay", "Lang", "DEU"},      {"", "Lang", "DEU"},
      {"Display\n", "Lang", "DEU"},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_FALSE(iniSetValue("[Display]\r\nLang=ENG\r\n", c.section, c.key, c.value, &out))
        << c.section << "/" << c.key << "/" << c.value;
    EXPECT_EQ(out, "untouched");
  }
  std::string out;
  EXPECT_FALSE(iniSetValue("", "Display", "Lang", std::string_view("DE\0U", 4), &out));
  EXPECT_TRUE(iniSetValue("", "Display", "Lang", "", &out));
  EXPECT_TRUE(iniSetValue("", "Display", "Lang", "a \"quoted\" word", &out));
}

}  // namespace
