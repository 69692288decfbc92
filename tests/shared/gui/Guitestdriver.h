// Window tests (Windows): running messages, synthetic mouse input sent to a form at client
// coordinates, keys and choices sent to native controls, and screenshots saved as PNG files.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "Guiform.h"
#include "Guinative.h"
#include "Imagedecodeutil.h"

// Runs the waiting messages, then keeps running them for at least the given time.
void pumpMessages(int milliseconds = 0);
// Runs messages until the condition holds; false when it still does not after the timeout.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 3000);

// The pointer is put on the point too, so that the system agrees where it is.
void mouseMove(Form& form, Point at, ShiftState held = 0);
void mouseDown(Form& form, Point at, MouseButton button = MouseButton::left);
void mouseUp(Form& form, Point at, MouseButton button = MouseButton::left);
void click(Form& form, Point at);
void doubleClick(Form& form, Point at);
// The pointer goes to a far corner of the screen, off every test window.
void mouseAway();

// Characters typed into an edit or memo.
void typeText(NativeControl& control, std::u16string_view text);
// An item chosen in a combo box's list as the user does it, with the change notification.
void chooseItem(ComboBox& combo, int index);

// The client area of a window as it is on the screen (RGBA, opaque).
DecodedImage captureWindow(void* window);
Colour pixelAt(const DecodedImage& image, int x, int y);
bool savePng(const DecodedImage& image, const std::string& path);
// The form's picture into <build>/screenshots/<name>.png; the path written, empty on failure.
std::string saveScreenshot(Form& form, const std::string& name);
