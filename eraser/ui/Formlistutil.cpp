#include "Formlistutil.h"

#include <cstdio>

#include "Eraseutil.h"
#include "Guipaint.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

std::u16string languageText(int32_t id) {
  const char16_t* text = lookupText(id);
  return text != nullptr ? std::u16string(text) : std::u16string();
}

Stripe rowStripe(int row, int bodyWidth) {
  return {30, listRowTop(row), bodyWidth - 30, listRowTop(row + 1), row % 2 == 1 ? kWhite : kStripeGrey};
}

TitlePlacement confirmationTitle(int titleWidth) {
  if (titleWidth + 32 > kListWidth) return {titleWidth + 32, 16};
  return {kListWidth, (kListWidth - titleWidth) / 2};
}

Point centredIn(Size panel, Size label) {
  return {(panel.width - label.width) / 2, (panel.height - label.height) / 2};
}

ButtonPlacement placeDialogButtons(int clientWidth, int stripWidth, int stripHeight, Size okImage,
                                   Size cancelImage, int okLabelHeight, bool withCancel) {
  ButtonPlacement p{};
  p.ok.y = (stripHeight - okImage.height) / 2;
  p.cancel.y = (stripHeight - cancelImage.height) / 2;
  // Alone, OK's right edge sits on the centre line so that it and its caption look centred.
  p.ok.x = withCancel ? 20 : clientWidth / 2 - okImage.width;
  p.okLabel = {p.ok.x + okImage.width + 10, p.ok.y + (okImage.height - okLabelHeight) / 2};
  p.cancel.x = (stripWidth - cancelImage.width) / 2 + p.ok.x;
  p.cancelLabel = {p.cancel.x + cancelImage.width + 10, p.okLabel.y};
  return p;
}

void drawDialogBody(CanvasBitmap& canvas) {
  const int w = canvas.width(), h = canvas.height();
  canvas.fillRect(0, 0, w, h, kWhite);
  // The bottom edge of the outline falls outside: the strip below closes the frame.
  canvas.frameRect(0, 0, w, h + 1, kBlack);
  canvas.line(10, h - 1, w - 10, h - 1, kBodyFootLine);
}

void drawDialogButtonStrip(CanvasBitmap& canvas) {
  const int w = canvas.width(), h = canvas.height();
  canvas.fillRect(0, 0, w, h, kWhite);
  canvas.frameRect(0, -1, w, h, kBlack);
}

void drawRowStripes(CanvasBitmap& canvas, int rows) {
  for (int i = 0; i < rows; ++i) {
    const Stripe s = rowStripe(i, canvas.width());
    canvas.fillRect(s.x1, s.y1, s.x2, s.y2, s.colour);
  }
}

std::u16string makeConfirmationCode(uint32_t seconds) {
  seedRandom(seconds);
  return utf16FromUtf8(std::to_string(nextRandom() % 100000u));
}

bool codeMatches(std::u16string_view typed, std::u16string_view code) {
  return !code.empty() && typed == code;
}

std::u16string patternItemText(int item) {
  if (item == 0) return u"Random";
  if (item < 0 || item >= kPatternItemCount) return {};
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", unsigned(item - 1));
  return utf16FromUtf8(text);
}
