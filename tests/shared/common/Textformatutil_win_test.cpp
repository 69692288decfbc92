#include <gtest/gtest.h>

#include "Textformatutil.h"

namespace {

constexpr uint32_t kAccessDenied = 5;

TEST(Textformatutil, SystemMessageTexts) {
  uint8_t charset = 0;
  const std::u16string english = systemMessageText(1033, kAccessDenied, &charset);
  EXPECT_FALSE(english.empty());
  EXPECT_EQ(charset, 1);

  charset = 0;
  EXPECT_FALSE(systemMessageText(0, kAccessDenied, &charset).empty());
  EXPECT_EQ(charset, localeCharset(systemDefaultLocale()));

  // A language the system has no texts in falls back to English.
  EXPECT_FALSE(systemMessageText(0x0476, kAccessDenied, nullptr).empty());
}

TEST(Textformatutil, UnknownMessageGivesNothing) {
  uint8_t charset = 0;
  EXPECT_TRUE(systemMessageText(1031, 0x2FFFFFFF, &charset).empty());
  EXPECT_EQ(charset, 1);
  EXPECT_TRUE(systemMessageText(0, 0x2FFFFFFF, nullptr).empty());
}

TEST(Textformatutil, SystemDefaultLocaleIsKept) {
  const uint32_t locale = systemDefaultLocale();
  EXPECT_NE(locale, 0u);
  EXPECT_EQ(systemDefaultLocale(), locale);
}

}  // namespace
