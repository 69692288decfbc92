// Forms: borderless top-level windows whose windowless elements are painted into a back buffer in
// stacking order; position, size, outline, state, showing (modal too) and their events.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Guielement.h"
#include "Guimouse.h"

class FormWindow;
class NativeControl;

// Where a form goes each time it is shown.
enum class FormPosition : uint8_t { asSet, screenCentre, mainFormCentre };

constexpr int kModalNone = 0;
constexpr int kModalOk = 1;
constexpr int kModalCancel = 2;

class Form : public Container {
 public:
  // A hidden form with its window (on the platform's side; a headless one where there is no Windows).
  Form();
  ~Form() override;

  // Bounds are in screen pixels; the whole window is client area.
  int clientWidth() const { return width(); }
  int clientHeight() const { return height(); }
  void setClientSize(int width, int height) { setBounds(left(), top(), width, height); }

  FormPosition position() const { return position_; }
  void setPosition(FormPosition position) { position_ = position; }
  void centreOnScreen();
  // Centred over another form (outer sizes, divisions truncated); on the screen when it is nullptr.
  void centreOver(const Form* reference);

  const std::u16string& caption() const { return caption_; }
  void setCaption(std::u16string_view caption);

  // Painting always goes through a back buffer; the flag is kept for callers that set it.
  bool doubleBuffered() const { return doubleBuffered_; }
  void setDoubleBuffered(bool on) { doubleBuffered_ = on; }

  // Window outline: a rounded rectangle over the whole client area with corner ellipses of this
  // size, kept in step with every change of size; 0 gives the plain rectangle.
  int roundedOutline() const { return outlineEllipse_; }
  void setRoundedOutline(int ellipse);

  bool alwaysOnTop() const { return alwaysOnTop_; }
  void setAlwaysOnTop(bool on);

  // A borderless form is moved by its title: left-button drags on handle move the form, except while
  // it is maximised. Takes the handle's mouse-down and mouse-move events.
  void dragWith(Element& handle);

  WindowState windowState() const;
  void minimise();
  void maximise();
  void restore();

  // Brings the shown form to the foreground.
  void activate();

  // The program's main form: forms positioned over the main form centre on it, and closing it
  // ends the program.
  static Form* mainForm();
  static void setMainForm(Form* form);

  // --- closing and modal showing ----------------------------------------------------------------
  // Shows the form and runs the message loop until a modal result is set or the form is closed;
  // other windows of the program are disabled meanwhile. Returns the modal result.
  int showModal();
  bool modal() const { return modalDepth_ > 0; }
  int modalResult() const { return modalResult_; }
  void setModalResult(int result);
  // A modal form ends with kModalCancel (unless a result is set); any form runs onClose and hides.
  void close();

  std::function<void()> onShow;      // before the form appears (lay it out here)
  std::function<void()> onActivate;  // each time it becomes the active window
  std::function<void()> onClose;

  // The window handle (a HWND on Windows); nullptr where there is none.
  void* handle() const;
  FormWindow& window() { return *window_; }
  MouseRouter& mouse() { return mouse_; }

  // --- from the window side ---------------------------------------------------------------------
  void windowMoved(Point topLeft);
  void windowResized(Size size);
  void windowActivated();
  void paintClient(Painter& painter, const Rect& clip);
  // An element needs its area repainted, or its tree changed under the pointer.
  void invalidateRect(const Rect& formRect);
  void treeChanged();

  Form* asForm() override { return this; }

 protected:
  void boundsChanged(const Rect& old) override;
  void visibilityChanged() override;

 private:
  void placeForShowing();

  std::unique_ptr<FormWindow> window_;
  MouseRouter mouse_;
  std::u16string caption_;
  FormPosition position_ = FormPosition::asSet;
  int outlineEllipse_ = 0;
  Point dragOrigin_;
  int modalResult_ = kModalNone;
  int modalDepth_ = 0;
  bool doubleBuffered_ = false;
  bool alwaysOnTop_ = false;
  bool fromWindow_ = false;  // bounds change reported by the window, not to be sent back
};
