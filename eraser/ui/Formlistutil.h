// The dialogs' portable rules: list dialog modes and results, row, title and button geometry, the
// drawn backgrounds and stripes, the confirmation code and its comparison, the pattern list items.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Guitypes.h"

class CanvasBitmap;

// --- texts of the eraser's language tables -----------------------------------------------------

constexpr int32_t kTextOk = 20;
constexpr int32_t kTextCancel = 21;
constexpr int32_t kTextLanguage = 23;
constexpr int32_t kTextEnterCode = 32;
constexpr int32_t kTextEraseMethod = 43;

// The text of id in the current language, else English; empty when neither has it.
std::u16string languageText(int32_t id);

// --- list dialog: modes and outcomes ------------------------------------------------------------

constexpr int32_t kDialogList = 0;
constexpr int32_t kDialogMessage = 1;
constexpr int32_t kDialogConfirm = 2;

constexpr int32_t kResultNone = -1;       // Cancel, or OK with no row chosen
constexpr int32_t kResultCodeOk = 0;      // confirmation: the typed text is the code
constexpr int32_t kResultCodeWrong = -2;  // confirmation: it is not

// --- list dialog: geometry ----------------------------------------------------------------------

constexpr int kListMaxRows = 22;
constexpr int kListRowHeight = 20;
constexpr int kListRowsTop = 7;  // first row's top in the body
constexpr int kListWidth = 280;  // the narrowest the dialog gets once laid out
constexpr int kDialogTitleHeight = 41;
constexpr int kDialogButtonHeight = 42;
constexpr Colour kDialogPanelColour = rgb(0xEE, 0xEE, 0xEE);
constexpr Colour kRowChosenColour = rgb(0xFF, 0, 0);
constexpr Colour kStripeGrey = rgb(0xE6, 0xE6, 0xE6);
constexpr Colour kBodyFootLine = rgb(0x66, 0x66, 0x66);

// Top of row i in the body.
constexpr int listRowTop(int row) { return kListRowsTop + row * kListRowHeight; }
// Client height of a list or message dialog with that many rows.
constexpr int listClientHeight(int rows) { return rows * kListRowHeight + kDialogTitleHeight + 57; }
// Client height of the confirmation dialog around a code label that high.
constexpr int confirmationClientHeight(int codeHeight) { return codeHeight + kDialogTitleHeight + 67; }
// Width of the message dialog for a message measured that wide in the code label's font.
constexpr int messageDialogWidth(int textWidth) {
  return textWidth + 64 > kListWidth ? textWidth + 64 : kListWidth;
}

// The stripe behind row i: its corner points in the body bitmap, and its colour (grey first).
struct Stripe {
  int x1, y1, x2, y2;
  Colour colour;
};
Stripe rowStripe(int row, int bodyWidth);

// Where the confirmation title goes: a wide title widens the dialog and sits 16 from the left,
// otherwise the dialog is kListWidth wide and the title centred.
struct TitlePlacement {
  int dialogWidth;
  int titleLeft;
};
TitlePlacement confirmationTitle(int titleWidth);
// Top-left of a label centred in a panel.
Point centredIn(Size panel, Size label);

// The button strip: OK (and Cancel) pictures with their captions beside them.
struct ButtonPlacement {
  Point ok, okLabel;
  Point cancel, cancelLabel;  // meaningful only with Cancel
};
ButtonPlacement placeDialogButtons(int clientWidth, int stripWidth, int stripHeight, Size okImage,
                                   Size cancelImage, int okLabelHeight, bool withCancel);

// --- drawn backgrounds (both dialogs) -----------------------------------------------------------

// The body: white, black outline on the left, top and right, a grey foot line 10 in from the sides.
void drawDialogBody(CanvasBitmap& canvas);
// The button strip: white, black outline on the left, right and bottom.
void drawDialogButtonStrip(CanvasBitmap& canvas);
// The row stripes over the body.
void drawRowStripes(CanvasBitmap& canvas, int rows);

// --- confirmation code ----------------------------------------------------------------------------

// Seeds the calling thread's random generator (the erase engine's) with seconds and gives its next
// output modulo 100000 in decimal: "0" to "32767".
std::u16string makeConfirmationCode(uint32_t seconds);
// Exactly the code, character for character: no blank trimmed, nothing else forgiven.
bool codeMatches(std::u16string_view typed, std::u16string_view code);

// --- pattern dialog lists -----------------------------------------------------------------------

constexpr int kPatternItemCount = 257;
// Item 0 "Random", item k above 0 the byte k - 1 as "0x%X" ("0x0", "0xA", "0xFF"); empty outside.
std::u16string patternItemText(int item);
