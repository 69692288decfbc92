// Mouse input for the windowless elements of a form: hit-testing, enter and leave, capture while a
// button is held, down, move, up, click and double click.
#pragma once

#include "Guitypes.h"

class Container;
class Element;
class Form;

class MouseRouter {
 public:
  explicit MouseRouter(Form& form) : form_(form) {}

  // Input from the form's window, positions in client coordinates.
  void move(Point pos, ShiftState shift);
  void press(MouseButton button, Point pos, ShiftState shift, bool doubleClick);
  void release(MouseButton button, Point pos, ShiftState shift);
  void leaveWindow();
  // The window lost the capture to someone else: no click follows.
  void captureLost();
  // Looks again which element is under the pointer (after elements were hidden, moved or removed).
  void checkHover();

  Element* hovered() const { return hovered_; }
  Element* captured() const { return captured_; }
  // The pointer shape for the current position: that of the captured or hovered element, else of
  // the nearest container above it that has one.
  Cursor cursor() const { return cursorAt(last_); }
  Cursor cursorAt(Point pos) const;
  // The element whose hint is to be shown, nullptr for none.
  const Element* hintElement() const;

  // Called by elements: one is destroyed (no event reaches it again), or taken off the form.
  void forget(Element* element);
  void forgetSubtree(Element* root);
  void detaching(Element* root);

 private:
  Element* target(Point pos) const;
  void updateHover();
  void releaseCapture();
  bool inSubtree(const Element* e, const Element* root) const;

  Form& form_;
  Element* hovered_ = nullptr;
  Element* captured_ = nullptr;
  Element* clickCandidate_ = nullptr;
  Element* dispatching_ = nullptr;  // cleared when the element under a handler call is destroyed
  Point last_;
  bool inside_ = false;
  uint8_t buttonsDown_ = 0;
};
