#include "Textformatutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace {

TEST(Textformatutil, ByteCountText) {
  const struct {
    uint64_t count;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {1023, "1023"},
      {1024, "1.00K"},
      {1536, "1.50K"},
      {1048575, "1024.00K"},  // just below a unit: rounds in the text, not in the unit
      {1048576, "1.00M"},
      {500107862016ull, "465.76G"},
      {1ull << 40, "1.00T"},
      {(1ull << 40) - 1, "1.00T"},  // single precision rounds the count up to 2^40
      {1ull << 50, "1024.00T"},     // terabytes have no limit
      {std::numeric_limits<uint64_t>::max(), "16777216.00T"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    EXPECT_STREQ(byteCountText(c.count), c.text);
  }
}

TEST(Textformatutil, VersionTextSharesTheScratchBuffer) {
  const char* first = versionText(10203);
  EXPECT_STREQ(first, "1.02.03");
  const char* second = versionText(10500);
  EXPECT_EQ(second, first);
  EXPECT_STREQ(first, "1.05.00");
  EXPECT_STREQ(versionText(0), "0.00.00");
  EXPECT_EQ(byteCountText(1536), first);  // one buffer for every single-byte result
}

// Fresh threads start with empty buffers, so the sizes below do not depend on earlier tests.
TEST(Textformatutil, ScratchBufferSizes) {
  std::thread([] {
    EXPECT_EQ(requestScratchText(0), nullptr);
    EXPECT_EQ(scratchTextCapacity(), 0u);

    char* text = requestScratchText(2048);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(scratchTextCapacity(), 2304u);
    for (size_t i = 0; i < 2304; ++i) ASSERT_EQ(text[i], 0) << i;

    // A smaller request reuses the buffer and zeroes only what it asked for.
    std::memset(text, 'x', 300);
    EXPECT_EQ(requestScratchText(100), text);
    EXPECT_EQ(text[99], 0);
    EXPECT_EQ(text[100], 'x');
    EXPECT_EQ(requestScratchText(2304), text);
    EXPECT_EQ(scratchTextCapacity(), 2304u);
    ASSERT_NE(requestScratchText(2305), nullptr);
    EXPECT_EQ(scratchTextCapacity(), 2560u);

    // A request that cannot be met leaves no buffer instead of an overflowing one.
    EXPECT_EQ(requestScratchText(std::numeric_limits<size_t>::max()), nullptr);
    EXPECT_EQ(scratchTextCapacity(), 0u);
  }).join();

  for (const auto& [request, capacity] : {std::pair<size_t, size_t>{1, 256}, {255, 256}, {256, 512}}) {
    std::thread([request, capacity] {
      ASSERT_NE(requestScratchWide(request), nullptr);
      EXPECT_EQ(scratchWideCapacity(), capacity) << request;
      EXPECT_EQ(scratchTextCapacity(), 0u);  // the two buffers are separate
    }).join();
  }
}

TEST(Textformatutil, EachThreadHasItsOwnScratchBuffers) {
  const char* mine = byteCountText(1536);
  std::thread([] {
    for (int i = 0; i < 1000; ++i) byteCountText(500107862016ull);
  }).join();
  EXPECT_STREQ(mine, "1.50K");
}

TEST(Textformatutil, FormatProductText) {
  EXPECT_EQ(std::u16string(formatProductText(u"%s does not support %s.", u"Velmora", u"Windows 98")),
            u"Velmora does not support Windows 98.");
  EXPECT_EQ(std::u16string(formatProductText(u"Uninstall %s", u"Velmora")), u"Uninstall Velmora");
  // More %s than arguments, other conversions and %%: nothing is read that was not passed.
  EXPECT_EQ(std::u16string(formatProductText(u"%s|%s|%d|%%|%", u"a")), u"a||%d|%|%");
  EXPECT_EQ(std::u16string(formatProductText(u"[%s]", nullptr)), u"[]");
  EXPECT_EQ(formatProductText(nullptr, u"a"), nullptr);

  // At most 1023 units and the terminator, however long the argument.
  const std::u16string longArgument(3000, u'x');
  const char16_t* text = formatProductText(u"<%s>", longArgument.c_str());
  EXPECT_EQ(std::u16string(text), u"<" + std::u16string(1022, u'x'));
  EXPECT_EQ(scratchWideCapacity(), 2304u);

  // A result may be fed back in as an argument.
  const char16_t* inner = formatProductText(u"Version %s", u"1.03.02");
  EXPECT_EQ(std::u16string(formatProductText(u"%s installed", inner)), u"Version 1.03.02 installed");
}

TEST(Textformatutil, FormatWideTextTruncatesToItsTarget) {
  char16_t target[6];
  std::memset(target, 0x55, sizeof target);
  EXPECT_EQ(formatWideText(target, 6, u"%s=%s", {u"abc", u"def"}), 5u);
  EXPECT_EQ(std::u16string(target), u"abc=d");
  EXPECT_EQ(formatWideText(target, 1, u"abc", {}), 0u);
  EXPECT_EQ(target[0], 0);
  EXPECT_EQ(formatWideText(target, 0, u"abc", {}), 0u);
}

TEST(Textformatutil, EscapesAndDoubledBackslashes) {
  const struct {
    std::u16string text;
    bool escapes;
    std::u16string expanded;
  } cases[] = {
      {u"plain", false, u"plain"},  {u"a\\nb", true, u"a\nb"},   {u"a\\rb", true, u"a\rb"},
      {u"\\\\", false, u"\\\\"},     // a doubled backslash alone: no escape, kept as two
      {u"\\\\n", false, u"\\\n"},    // ... but its second backslash still starts "\n"
      {u"\\\\\\", true, u"\\\\\\"},  // a third, single backslash
      {u"\\x", true, u"\\x"},        // unknown escapes are copied
      {u"end\\", true, u"end\\"},   {u"100%%", false, u"100%%"},  // percent pairs are kept as they are
      {u"100%", true, u"100%"},     {u"%s", true, u"%s"},        {u"", false, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(hasEscapes(c.text.c_str()), c.escapes);
    char16_t target[32];
    const size_t n = expandEscapes(c.text.c_str(), target, 32);
    EXPECT_EQ(std::u16string(target), c.expanded);
    EXPECT_EQ(n, c.expanded.size());
  }
  EXPECT_FALSE(hasEscapes(nullptr));

  // A short target gets what fits and its terminator.
  char16_t small[3];
  EXPECT_EQ(expandEscapes(u"a\\nbcd", small, 3), 2u);
  EXPECT_EQ(std::u16string(small), u"a\n");
}

TEST(Textformatutil, LocaleCharsets) {
  const struct {
    uint32_t locale;
    uint8_t charset;
  } cases[] = {
      {1025, 178}, {1026, 238}, {3098, 238}, {1028, 136}, {1032, 161}, {1037, 177},
      {1041, 128}, {1042, 129}, {1049, 204}, {1054, 222}, {1055, 162}, {1062, 186},
      {1066, 163}, {2052, 134}, {1033, 1},   {1031, 1},   {2057, 1},   {0, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(localeCharset(c.locale), c.charset) << c.locale;
}

}  // namespace

TEST(TextConversion, Utf8AndUtf16) {
  for (std::u16string text : {std::u16string(u"Speed"), std::u16string(u"\u901F\u5EA6"),
                              std::u16string(u"Gr\u00F6\u00DFe"), std::u16string(u"\U0001F600")}) {
    EXPECT_EQ(utf16FromUtf8(utf8FromUtf16(text)), text);
  }
  EXPECT_EQ(utf16FromUtf8("Gr\xC3\xB6\xC3\x9F"
                          "e \xE4\xB8\xAD \xF0\x9F\x98\x80"),
            u"Gr\u00F6\u00DFe \u4E2D \U0001F600");
  EXPECT_EQ(utf16FromUtf8("a\xFF"
                          "b\xC3"),
            u"a\uFFFDb\uFFFD");
  EXPECT_EQ(utf16FromUtf8("\xE9\x80"), u"\uFFFD\uFFFD") << "a cut sequence";
  EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "an encoded surrogate, byte by byte";
  EXPECT_EQ(utf8FromUtf16(u"a\xD800"
                          "b"),
            "a\xEF\xBF\xBD"
            "b")
      << "a lone surrogate";
}
