// The dialogs' portable rules: row, title and button geometry, the drawn backgrounds and stripes,
// the confirmation code and its comparison, the pattern list items.
#include "Formlistutil.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Guipaint.h"
#include "Textformatutil.h"

namespace {

TEST(DialogGeometry, RowsTitlesAndWidthsFollowTheirRules) {
  EXPECT_EQ(listClientHeight(22), 22 * 20 + 41 + 57);
  EXPECT_EQ(listClientHeight(1), 118);
  EXPECT_EQ(listRowTop(0), 7);
  EXPECT_EQ(listRowTop(21), 427);
  EXPECT_EQ(confirmationClientHeight(19), 127);

  // A message up to 216 pixels keeps the width 280; a longer one is 64 wider than itself.
  EXPECT_EQ(messageDialogWidth(100), 280);
  EXPECT_EQ(messageDialogWidth(216), 280);
  EXPECT_EQ(messageDialogWidth(217), 281);
  EXPECT_EQ(messageDialogWidth(400), 464);

  struct Case {
    int titleWidth, dialogWidth, titleLeft;
  };
  for (const Case& c : {Case{200, 280, 40}, Case{248, 280, 16}, Case{249, 281, 16}, Case{300, 332, 16}}) {
    const TitlePlacement t = confirmationTitle(c.titleWidth);
    EXPECT_EQ(t.dialogWidth, c.dialogWidth) << c.titleWidth;
    EXPECT_EQ(t.titleLeft, c.titleLeft) << c.titleWidth;
  }
  EXPECT_EQ(centredIn({280, 41}, {100, 19}), (Point{90, 11}));
}

TEST(DialogGeometry, ButtonsSitBesideEachOtherOrOkAloneOnTheCentreLine) {
  const Size button{36, 36};
  const ButtonPlacement both = placeDialogButtons(280, 280, 42, button, button, 18, true);
  EXPECT_EQ(both.ok, (Point{20, 3}));
  EXPECT_EQ(both.okLabel, (Point{66, 12}));
  EXPECT_EQ(both.cancel, (Point{142, 3}));
  EXPECT_EQ(both.cancelLabel, (Point{188, 12}));

  // Alone, OK's right edge is on the centre line; a wide message dialog moves it along.
  EXPECT_EQ(placeDialogButtons(280, 280, 42, button, button, 18, false).ok, (Point{104, 3}));
  EXPECT_EQ(placeDialogButtons(464, 464, 42, button, button, 18, false).ok, (Point{196, 3}));
}

TEST(DialogBackgrounds, BodyStripAndStripesAreDrawnWhereTheyBelong) {
  std::unique_ptr<CanvasBitmap> body = createCanvasBitmap(280, 454);
  drawDialogBody(*body);
  drawRowStripes(*body, 22);
  std::unique_ptr<CanvasBitmap> strip = createCanvasBitmap(280, 42);
  drawDialogButtonStrip(*strip);

  const Colour grey = rgb(0xE6, 0xE6, 0xE6), foot = rgb(0x66, 0x66, 0x66);
  struct Probe {
    const char* what;
    CanvasBitmap* canvas;
    int x, y;
    Colour expected;
  };
  const Probe probes[] = {
      {"body top edge", body.get(), 140, 0, kBlack},
      {"body left edge at the bottom", body.get(), 0, 453, kBlack},
      {"body right edge", body.get(), 279, 200, kBlack},
      {"body has no bottom edge", body.get(), 5, 453, kWhite},
      {"foot line start", body.get(), 10, 453, foot},
      {"foot line end left out", body.get(), 270, 453, kWhite},
      {"foot line", body.get(), 269, 453, foot},
      {"first stripe grey", body.get(), 30, 7, grey},
      {"first stripe bottom", body.get(), 249, 26, grey},
      {"second stripe white", body.get(), 100, 27, kWhite},
      {"third stripe grey", body.get(), 100, 47, grey},
      {"last stripe white", body.get(), 100, 446, kWhite},
      {"stripes keep 30 from the left", body.get(), 29, 10, kWhite},
      {"stripes keep 30 from the right", body.get(), 250, 10, kWhite},
      {"above the stripes", body.get(), 100, 6, kWhite},
      {"strip has no top edge", strip.get(), 140, 0, kWhite},
      {"strip left edge", strip.get(), 0, 0, kBlack},
      {"strip right edge", strip.get(), 279, 20, kBlack},
      {"strip bottom edge", strip.get(), 140, 41, kBlack},
      {"strip inside", strip.get(), 140, 20, kWhite},
  };
  for (const Probe& p : probes) EXPECT_EQ(p.canvas->pixel(p.x, p.y), p.expected) << p.what;
  EXPECT_EQ(rowStripe(3, 280).colour, kWhite);
  EXPECT_EQ(rowStripe(4, 280).colour, grey);
}

TEST(ConfirmationCode, IsTheGeneratorsNextOutputForTheSecondAndRepeatsWithinASecond) {
  for (uint32_t seconds : {0u, 1u, 1700000000u, 0xFFFFFFFFu}) {
    // The engine's generator: seeding draws one output, the code is the one after it.
    uint32_t state = seconds;
    for (int i = 0; i < 2; ++i) state = state * 22695477u + 1u;
    const uint32_t expected = (state >> 16) & 0x7FFF;
    const std::u16string code = makeConfirmationCode(seconds);
    EXPECT_EQ(code, utf16FromUtf8(std::to_string(expected))) << seconds;
    EXPECT_EQ(makeConfirmationCode(seconds), code);
    EXPECT_TRUE(code.size() == 1 || code[0] != u'0') << "no leading zero";
  }
  EXPECT_NE(makeConfirmationCode(1700000000u), makeConfirmationCode(1700000001u));
}

TEST(ConfirmationCode, OnlyTheExactCodeMatches) {
  struct Case {
    const char16_t* typed;
    bool matches;
  };
  const Case cases[] = {
      {u"12345", true}, {u" 12345", false}, {u"12345 ", false}, {u"123 45", false},
      {u"1234", false}, {u"123456", false}, {u"", false},       {u"\uFF11\uFF12\uFF13\uFF14\uFF15", false}};
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(codeMatches(cases[i].typed, u"12345"), cases[i].matches) << i;
  EXPECT_FALSE(codeMatches(u"", u"")) << "no code was shown";
}

TEST(PatternItems, RandomThenEveryByteInUpperCaseHexWithoutLeadingZeros) {
  struct Case {
    int item;
    const char16_t* text;
  };
  for (const Case& c : {Case{0, u"Random"}, Case{1, u"0x0"}, Case{11, u"0xA"}, Case{17, u"0x10"},
                        Case{86, u"0x55"}, Case{256, u"0xFF"}, Case{257, u""}, Case{-1, u""}}) {
    EXPECT_EQ(patternItemText(c.item), c.text) << c.item;
  }
}

}  // namespace
