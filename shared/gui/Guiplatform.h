// What the GUI layer asks of the platform: the window of a form, the windows of native controls,
// timers and a few system values. The Windows side is Win32 and GDI; elsewhere a headless side
// keeps the state so that the portable logic runs in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Guitypes.h"

class Form;
class NativeControl;
class Timer;

class FormWindow {
 public:
  virtual ~FormWindow() = default;
  virtual void* handle() const = 0;
  virtual void setBounds(const Rect& screen) = 0;
  virtual void setVisible(bool visible) = 0;
  virtual void setCaption(std::u16string_view caption) = 0;
  virtual void setAlwaysOnTop(bool on) = 0;
  // The rounded outline for the window's current size; 0 removes it.
  virtual void setOutline(int ellipse) = 0;
  virtual WindowState windowState() const = 0;
  virtual void setWindowState(WindowState state) = 0;
  virtual void activate() = 0;
  virtual void invalidate(const Rect& client) = 0;
  virtual void setMouseCapture(bool on) = 0;
  // Have the form's MouseRouter::checkHover run once the current message is done.
  virtual void scheduleHoverCheck() = 0;
  // The hovered element changed (its hint may need showing).
  virtual void hoverChanged() = 0;
  // Runs messages until the form has a modal result or the program ends; other windows of the
  // program are disabled meanwhile.
  virtual void runModal() = 0;
  // The form was closed (hidden by close); the main form's closing ends the program.
  virtual void closed() = 0;
};

std::unique_ptr<FormWindow> createFormWindow(Form& form);

enum class NativeKind : uint8_t { edit, comboList, comboEdit, memo, progressBar };

// The system window of a native control, owned by the control while it is on a form.
class NativeHandle {
 public:
  virtual ~NativeHandle() = default;
  virtual void* handle() const = 0;
  virtual void place(const Rect& formRect, bool showing, bool enabled) = 0;
  virtual void setFont(const Font& font) = 0;
  virtual void setColour(Colour colour) = 0;
  virtual void raise(bool toTop) = 0;
  virtual std::u16string text() const = 0;
  virtual void setText(std::u16string_view text) = 0;
  virtual void clearItems() = 0;
  virtual void addItem(std::u16string_view text) = 0;
  virtual int itemIndex() const = 0;
  virtual void setItemIndex(int index) = 0;
  // Edit and memo styles; a change may build the window again (the text is kept).
  virtual void setStyle(bool readOnly, bool horizontalScroll, bool verticalScroll, bool wordWrap) = 0;
  virtual void setRange(int minimum, int maximum) = 0;
  virtual void setPosition(int position) = 0;
};

std::unique_ptr<NativeHandle> createNativeHandle(NativeKind kind, Form& form, NativeControl& control);

// Window-thread timers: an id for a running timer (0 when none could be started) that fires
// Timer::fire every interval.
uint32_t startPlatformTimer(Timer& timer, uint32_t interval);
void stopPlatformTimer(uint32_t id);

// The system's colour of forms and panels ("button face").
Colour systemFaceColour();
Size screenSize();
