#include "Guimouse.h"

#include "Guiform.h"
#include "Guiplatform.h"

namespace {

uint8_t buttonBit(MouseButton b) { return uint8_t(1u << unsigned(b)); }

MouseEvent eventFor(const Element& e, MouseButton button, Point pos, ShiftState shift) {
  const Point origin = e.formPosition();
  return MouseEvent{button, shift, {pos.x - origin.x, pos.y - origin.y}};
}

}  // namespace

Element* MouseRouter::target(Point pos) const {
  Element* e = form_.elementAt(pos);
  return e == &form_ ? nullptr : e;
}

bool MouseRouter::inSubtree(const Element* e, const Element* root) const {
  for (; e != nullptr; e = e->parent()) {
    if (e == root) return true;
  }
  return false;
}

void MouseRouter::updateHover() {
  Element* under = inside_ ? target(last_) : nullptr;
  // While a button is held only the element that has the mouse can be entered or left.
  if (captured_ != nullptr && under != captured_) under = nullptr;
  if (under == hovered_) return;
  Element* old = hovered_;
  hovered_ = under;
  if (old != nullptr && old->onMouseLeave) old->onMouseLeave();
  // The leave handler may have destroyed the new one, or moved the pointer's target.
  if (under != nullptr && hovered_ == under && under->onMouseEnter) under->onMouseEnter();
  form_.window().hoverChanged();
}

void MouseRouter::move(Point pos, ShiftState shift) {
  inside_ = true;
  last_ = pos;
  updateHover();
  Element* t = captured_ != nullptr ? captured_ : hovered_;
  if (t != nullptr && t->onMouseMove) t->onMouseMove(eventFor(*t, MouseButton::left, pos, shift));
}

void MouseRouter::press(MouseButton button, Point pos, ShiftState shift, bool doubleClick) {
  inside_ = true;
  last_ = pos;
  updateHover();
  Element* t = captured_ != nullptr ? captured_ : target(pos);
  if (t == nullptr) return;
  if (captured_ == nullptr) {
    captured_ = t;
    form_.window().setMouseCapture(true);
  }
  buttonsDown_ |= buttonBit(button);
  // An element without a double-click handler takes the second press as a plain one, so that two
  // quick clicks are two clicks.
  const bool dbl = doubleClick && button == MouseButton::left && bool(t->onDoubleClick);
  if (button == MouseButton::left) clickCandidate_ = dbl ? nullptr : t;
  dispatching_ = t;
  if (dbl) {
    t->onDoubleClick();
    if (dispatching_ != t) return;
  }
  if (t->onMouseDown) t->onMouseDown(eventFor(*t, button, pos, ShiftState(shift | (dbl ? shiftDouble : 0))));
}

void MouseRouter::release(MouseButton button, Point pos, ShiftState shift) {
  last_ = pos;
  buttonsDown_ &= uint8_t(~buttonBit(button));
  Element* t = captured_ != nullptr ? captured_ : target(pos);
  if (buttonsDown_ == 0) releaseCapture();
  if (t == nullptr) return;
  const bool click = button == MouseButton::left && clickCandidate_ == t;
  if (button == MouseButton::left) clickCandidate_ = nullptr;
  const MouseEvent e = eventFor(*t, button, pos, shift);
  // Enter and leave follow the pointer again once this message is done.
  form_.window().scheduleHoverCheck();
  dispatching_ = t;
  if (t->onMouseUp) t->onMouseUp(e);
  if (!click || dispatching_ != t) return;
  if (t->visibleOnForm() && t->enabled() && Rect{0, 0, t->width(), t->height()}.contains(e.pos) &&
      t->onClick) {
    t->onClick();
  }
}

void MouseRouter::releaseCapture() {
  if (captured_ == nullptr) return;
  captured_ = nullptr;
  buttonsDown_ = 0;
  form_.window().setMouseCapture(false);
}

void MouseRouter::leaveWindow() {
  inside_ = false;
  updateHover();
}

void MouseRouter::captureLost() {
  captured_ = nullptr;
  buttonsDown_ = 0;
  clickCandidate_ = nullptr;
}

void MouseRouter::checkHover() { updateHover(); }

Cursor MouseRouter::cursorAt(Point pos) const {
  const Element* e = captured_ != nullptr ? captured_ : target(pos);
  for (; e != nullptr; e = e->parent()) {
    if (e->cursor() != Cursor::standard) return e->cursor();
  }
  return Cursor::standard;
}

const Element* MouseRouter::hintElement() const {
  return hovered_ != nullptr && hovered_->showHint() && !hovered_->hint().empty() ? hovered_ : nullptr;
}

void MouseRouter::forget(Element* element) {
  if (hovered_ == element) hovered_ = nullptr;
  if (clickCandidate_ == element) clickCandidate_ = nullptr;
  if (dispatching_ == element) dispatching_ = nullptr;
  if (captured_ == element) releaseCapture();
}

void MouseRouter::forgetSubtree(Element* root) {
  if (inSubtree(hovered_, root)) hovered_ = nullptr;
  if (inSubtree(clickCandidate_, root)) clickCandidate_ = nullptr;
  if (inSubtree(dispatching_, root)) dispatching_ = nullptr;
  if (inSubtree(captured_, root)) releaseCapture();
}

void MouseRouter::detaching(Element* root) {
  if (inSubtree(captured_, root)) {
    releaseCapture();
    clickCandidate_ = nullptr;
  }
  if (inSubtree(hovered_, root)) {
    // It still exists: it hears that the pointer has left it.
    Element* old = hovered_;
    hovered_ = nullptr;
    if (old->onMouseLeave) old->onMouseLeave();
    form_.window().hoverChanged();
  }
  form_.window().scheduleHoverCheck();
}
