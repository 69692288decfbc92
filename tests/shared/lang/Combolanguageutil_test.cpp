#include "Combolanguageutil.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Winmsglistutil.h"

namespace {

class FakeBox : public LanguageBox {
 public:
  void clearItems() override {
    captions.clear();
    tables.clear();
    selected = -1;
  }
  void addItem(const char16_t* caption, clMsgObject* table) override {
    captions.emplace_back(caption);
    tables.push_back(table);
  }
  int32_t itemCount() const override { return static_cast<int32_t>(tables.size()); }
  void selectItem(int32_t index) override { selected = index; }
  int32_t selectedItem() const override { return selected; }
  clMsgObject* itemTable(int32_t index) const override { return tables.at(index); }
  void setCharset(uint8_t value) override { charset = value; }

  std::vector<std::u16string> captions;
  std::vector<clMsgObject*> tables;
  int32_t selected = -1;
  uint8_t charset = 0;
};

std::vector<uint8_t> resource(std::u16string_view lines) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t u : lines) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

class LanguageBoxTest : public ::testing::Test {
 protected:
  void TearDown() override { destroyLanguageTables(); }
  void create(const char* systemCode) {
    ASSERT_TRUE(createLanguageTables(
        [this](uint32_t id) {
          auto it = resources_.find(id);
          return it != resources_.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
        },
        systemCode));
  }
  std::map<uint32_t, std::vector<uint8_t>> resources_ = {
      {21000, resource(u"20001\tEnglish\r\n")},
      {21001, resource(u"20001\t繁體中文\r\n")},
      {21004, resource(u"20002\t예\r\n")},  // Korean without a name of its own
      {21006, resource(u"20001\tDeutsch\r\n")},
  };
};

TEST_F(LanguageBoxTest, OneItemPerTableTheCurrentOneSelected) {
  create("DEU");
  FakeBox box;
  box.captions = {u"stale"};
  ASSERT_TRUE(fillLanguageBox(&box, 20001));
  // The Korean table has no name text; the system's native name stands in for it when it has one.
  const char16_t* korean = nativeLanguageName("KOR");
  std::vector<std::u16string> expected = {u"English", u"繁體中文"};
  if (korean != nullptr) expected.push_back(korean);
  expected.push_back(u"Deutsch");
  EXPECT_EQ(box.captions, expected);
  EXPECT_STREQ(box.tables.at(box.selected)->languageCode, "DEU");
  // English keeps the default set, so Traditional Chinese decides; Korean always wins.
  EXPECT_EQ(box.charset, korean != nullptr ? 129 : 136);

  box.selectItem(1);
  applyLanguageBox(&box);
  EXPECT_STREQ(currentLanguageCode(), "CHT");
}

TEST_F(LanguageBoxTest, FirstItemSelectedWhenTheCurrentTableHasNoItem) {
  resources_.erase(21004);
  create("ENG");
  setCurrentTable(nullptr);
  FakeBox box;
  ASSERT_TRUE(fillLanguageBox(&box, 20001));
  EXPECT_EQ(box.selected, 0);
  EXPECT_EQ(box.charset, 136);
}

TEST_F(LanguageBoxTest, NothingWithoutBoxListOrSelection) {
  FakeBox box;
  EXPECT_FALSE(fillLanguageBox(&box, 20001));  // no language list yet
  create("ENG");
  EXPECT_FALSE(fillLanguageBox(nullptr, 20001));
  ASSERT_TRUE(fillLanguageBox(&box, 20001));
  box.selectItem(-1);
  applyLanguageBox(&box);
  applyLanguageBox(nullptr);
  EXPECT_STREQ(currentLanguageCode(), "ENG");
}

}  // namespace
