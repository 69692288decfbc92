#include "Msgobjectutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> utf16le(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

// Parses a table text (the part after the byte-order mark).
void parse(clMsgObject* table, std::u16string_view text) {
  const std::vector<uint8_t> bytes = utf16le(text);
  ASSERT_TRUE(table->parseText(bytes.data(), bytes.size()));
}

std::u16string found(clMsgObject* table, int32_t id) {
  const char16_t* text = table->findText(id);
  return text != nullptr ? std::u16string(text) : u"<none>";
}

bool inTextCopy(const clMsgObject& table, const char16_t* text) {
  return text >= table.textCopy() && text < table.textCopy() + table.textSize() / 2;
}

TEST(Msgobjectutil, NewTableIsEmptyAndFindsNothing) {
  clMsgObject table;
  EXPECT_EQ(table.entryCount(), 0u);
  EXPECT_EQ(table.textSize(), 0u);
  EXPECT_EQ(table.scratchSize(), 0);
  EXPECT_STREQ(table.languageCode, "");
  EXPECT_EQ(table.findText(1), nullptr);
}

TEST(Msgobjectutil, LinesAndIds) {
  clMsgObject table;
  parse(&table,
        u"1\tEnglish\r\n"
        u"2 blank separated\r\n"
        u"3\t  keeps its blanks \r\n"
        u"7\tfirst\r\n"
        u"7\tsecond\r\n"
        u"8\t\r\n"
        u"8\tafter an empty one\r\n"
        u"\t9\tleading separator\r\n"
        u"10\r\n"
        u"x\tnot a number\r\n"
        u"0\tzero\r\n"
        u"+11\tsign\r\n"
        u"-12\tnegative\r\n"
        u"13abc\tdigits stop\r\n"
        u"\v14\tleading white space\r\n"
        u"99999999999\tsaturates\r\n"
        u"15\tlone LF\n16\tlone CR\r17\tSUB\x1a"
        u"18\tlast line without CR LF");
  EXPECT_EQ(table.entryCount(), 20u);
  const struct {
    int32_t id;
    std::u16string text;
  } cases[] = {
      {1, u"English"},
      {2, u"blank separated"},
      {3, u"  keeps its blanks "},
      {7, u"first"},    // a later duplicate is never found
      {8, u"<none>"},   // the first line with the id is empty: no text
      {9, u"<none>"},   // a line starting with its separator has no id
      {10, u"<none>"},  // no separator
      {0, u"<none>"},   // id 0 is never found
      {11, u"sign"},
      {-12, u"negative"},
      {13, u"digits stop"},
      {14, u"leading white space"},
      {INT32_MAX, u"saturates"},
      {15, u"lone LF"},
      {16, u"lone CR"},
      {17, u"SUB"},
      {18, u"last line without CR LF"},
      {19, u"<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(found(&table, c.id), c.text);
  }
}

TEST(Msgobjectutil, EscapedTextComesExpandedFromTheScratchBuffer) {
  clMsgObject table;
  parse(
      &table,
      u"5\ta\\nb\r\n6\tline\\rfeed\r\n20012\t%s does not support %s.\r\n30\tplain\r\n31\tC:\\\\Windows\r\n");

  const char16_t* five = table.findText(5);
  EXPECT_EQ(five, table.scratchBuffer());
  EXPECT_EQ(std::u16string(five), u"a\nb");
  EXPECT_GE(table.scratchSize(), 2 * 4 + 512);

  // Single percent signs also take the scratch road, with the content unchanged.
  const char16_t* unsupported = table.findText(20012);
  EXPECT_EQ(unsupported, table.scratchBuffer());
  EXPECT_EQ(std::u16string(unsupported), u"%s does not support %s.");
  EXPECT_EQ(found(&table, 6), u"line\rfeed");

  // Without escapes the text is the table's own copy; a doubled backslash stays doubled.
  EXPECT_TRUE(inTextCopy(table, table.findText(30)));
  const char16_t* path = table.findText(31);
  EXPECT_TRUE(inTextCopy(table, path));
  EXPECT_EQ(std::u16string(path), u"C:\\\\Windows");
}

TEST(Msgobjectutil, ScratchBufferGrowsAndNeverShrinks) {
  clMsgObject table;
  const std::u16string longText(1000, u'%');  // all pairs: no escapes
  parse(&table, u"1\t" + longText + u"!\\n\r\n2\tx\\n\r\n");
  ASSERT_NE(table.findText(1), nullptr);
  const int32_t grown = table.scratchSize();
  EXPECT_GE(grown, 2 * 1003 + 512);
  EXPECT_EQ(std::u16string(table.findText(1)), longText + u"!\n");
  EXPECT_EQ(found(&table, 2), u"x\n");
  EXPECT_EQ(table.scratchSize(), grown);
}

TEST(Msgobjectutil, ByteLevelEdges) {
  clMsgObject empty;
  ASSERT_TRUE(empty.parseText(nullptr, 0));
  EXPECT_EQ(empty.entryCount(), 0u);
  EXPECT_EQ(empty.findText(1), nullptr);

  // An odd byte at the end is half a unit and is dropped; a NUL unit ends a line like CR does.
  std::vector<uint8_t> bytes =
      utf16le(std::u16string(u"1\tone\0"
                             u"2\ttwo",
                             11));
  bytes.push_back('3');
  clMsgObject table;
  ASSERT_TRUE(table.parseText(bytes.data(), bytes.size()));
  EXPECT_EQ(table.entryCount(), 2u);
  EXPECT_EQ(table.textSize(), 22u);
  EXPECT_EQ(found(&table, 1), u"one");
  EXPECT_EQ(found(&table, 2), u"two");
}

}  // namespace
