// The tables the programs ship, as generated from their sources: built once for the eraser
// (LANG_NAME_ID 1) and once for the installer and uninstaller (LANG_NAME_ID 20001).
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "Tablesource.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

namespace {

constexpr int32_t kNameId = LANG_NAME_ID;

std::string utf8(const char16_t* text) {
  std::string out;
  for (const char16_t* s = text; s != nullptr && *s != 0; ++s) {
    const uint32_t u = *s;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The printf formats of a text in order, "%%" left out.
std::vector<std::string> formats(const std::string& text) {
  static const std::regex format("%%|%[-+ #0]*[0-9]*(\\.[0-9]+)?(hh|h|ll|l)?[diouxXeEfgGcsSp]");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), format); it != std::sregex_iterator(); ++it) {
    if (it->str() != "%%") found.push_back(it->str());
  }
  return found;
}

class ShippedTables : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(createLanguageTables(tableSource(), "ENG")); }
  void TearDown() override { destroyLanguageTables(); }
};

TEST_F(ShippedTables, FourLanguagesInOrderEachNamedInItsOwnLanguage) {
  std::vector<std::string> codes, names;
  for (clMsgObject* t = firstLanguageTable(); t != nullptr; t = nextLanguageTable(t)) {
    codes.push_back(t->languageCode);
    names.push_back(utf8(t->findText(kNameId)));
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"ENG", "CHT", "CHS", "DEU"}));
  EXPECT_EQ(names, (std::vector<std::string>{"English", "繁體中文", "简体中文", "Deutsch"}));
}

TEST_F(ShippedTables, EveryLanguageHasEveryEnglishTextWithTheSameFormats) {
  clMsgObject* english = defaultTable();
  ASSERT_NE(english, nullptr);
  ASSERT_GT(english->entryCount(), 20u);
  for (clMsgObject* t = nextLanguageTable(english); t != nullptr; t = nextLanguageTable(t)) {
    SCOPED_TRACE(t->languageCode);
    EXPECT_EQ(t->entryCount(), english->entryCount());
    for (uint32_t i = 0; i < english->entryCount(); ++i) {
      const int32_t id = english->entries()[i].id;
      ASSERT_NE(id, 0) << "line " << i + 1 << " of the English table has no id";
      const std::string englishText = utf8(english->findText(id));
      const char16_t* translated = t->findText(id);
      ASSERT_NE(translated, nullptr) << id;
      EXPECT_EQ(formats(utf8(translated)), formats(englishText)) << id;
    }
  }
}

TEST_F(ShippedTables, EnglishTextsAsTheProgramsShowThem) {
  // Texts other parts of the programs depend on to the letter; the eraser's and the setup's.
  const std::map<int32_t, std::u16string> expected = {
      {1, u"English"},
      {21, u"Cancel"},
      {27, u"Start"},
      {33, u"Verification Error"},
      {47, u"Can not erase boot drive!"},
      {52, u"Memory allocation failed."},
      {20011, u"Memory allocation failed."},
      {20012, u"%s does not support %s."},
      {20034, u"Licensing Agreement of %s "},  // the trailing blank is part of it
      {20039, u"%s Version %s is already installed. Do you want to replace Version %s ?"},
      {20041, u"Do you want to uninstall %s ?"},
  };
  size_t checked = 0;
  for (const auto& [id, text] : expected) {
    if ((id >= 20001) != (kNameId >= 20001)) continue;
    SCOPED_TRACE(id);
    const char16_t* found = lookupText(id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::u16string(found), text);
    // Single percent signs send a text through the scratch buffer, unchanged.
    EXPECT_EQ(found == defaultTable()->scratchBuffer(), hasEscapes(text.c_str()));
    ++checked;
  }
  EXPECT_GE(checked, 5u);
}

}  // namespace
