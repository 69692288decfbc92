// Internals shared by the Win32 units of the GUI layer: wide texts, cached GDI objects, the private
// window messages and the application window.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

#include "Guitypes.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts are handed to the W functions as they are");

inline const wchar_t* wideText(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::wstring wideString(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string fromWide(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Font, brush and pen handles, made on first use and kept for the life of the program (a program
// uses a handful).
HFONT fontHandle(const Font& font);
HBRUSH solidBrush(Colour colour);
HPEN solidPen(Colour colour, int width);

// A memory device context for measuring text.
HDC measuringDc();

class CanvasBitmap;
class Form;
// The memory device context an image's bitmap is selected into.
HDC canvasDc(CanvasBitmap& canvas);
// Paints an area of the form (client pixels) into a device context with the form's layout.
void paintFormArea(Form& form, HDC dc, const Rect& area);

// Window messages of our own windows.
constexpr UINT kHoverCheckMessage = WM_APP + 1;   // form: look at the pointer again
constexpr UINT kPostedCallsMessage = WM_APP + 2;  // application window: run the posted calls
constexpr UINT kActivateMessage = WM_APP + 3;     // application window: activate the program's form

// The application's hidden window (made on first use) and the class name of form windows.
HWND applicationWindow();
extern const wchar_t kFormClassName[];
bool isFormWindow(HWND window);

// Shows a failure that escaped a handler in the standard exception box and ends the program.
void handleEscapedException(const char* what);

// A window procedure's work: an exception must not unwind through the system's dispatch, so one
// that escapes goes to handleEscapedException and the message gives 0.
template <typename Work>
LRESULT guardedMessage(Work&& work) {
  try {
    return work();
  } catch (const std::exception& e) {
    handleEscapedException(e.what());
  } catch (...) {
    handleEscapedException("Unknown failure");
  }
  return 0;
}

// The common controls (progress bar, tooltips) are registered once.
void initCommonControls();
