#include "Formlistutil.h"

#include <cstdio>

#include "Eraseutil.h"
#include "Guipaint.h"

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
  return toU16(std::to_string(nextRandom() % 100000u));
}

bool codeMatches(std::u16string_view typed, std::u16string_view code) {
  return !code.empty() && typed == code;
}

std::u16string patternItemText(int item) {
  if (item == 0) return u"Random";
  if (item < 0 || item >= kPatternItemCount) return {};
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", unsigned(item - 1));
  return toU16(text);
}

std::u16string toU16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + size_t(extra) >= utf8.size()) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      const auto n = static_cast<unsigned char>(utf8[i + size_t(k)]);
      valid = valid && (n & 0xC0) == 0x80;
      c = (c << 6) | (n & 0x3F);
    }
    if (!valid) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    i += size_t(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(char16_t(0xD800 + (c >> 10)));
      out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
  }
  return out;
}
