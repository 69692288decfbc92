// The element tree of a form: the base element (bounds, anchors, alignment, visibility, fonts, mouse
// events, stacking) and the container that holds, owns, lays out and hit-tests its children.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Guitypes.h"

class Container;
class Form;
class Painter;

class Element {
 public:
  Element();
  virtual ~Element();
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;

  // --- tree ----------------------------------------------------------------------------------------
  Container* parent() const { return parent_; }
  // Takes the element off its old parent and puts it on top of the new parent's stacking order;
  // nullptr only detaches it. Its children go with it.
  void setParent(Container* parent);
  // The form at the root of the element's tree; nullptr while it is on none.
  Form* form() const;

  // --- geometry, relative to the parent --------------------------------------------------------
  const Rect& bounds() const { return bounds_; }
  int left() const { return bounds_.left; }
  int top() const { return bounds_.top; }
  int width() const { return bounds_.width; }
  int height() const { return bounds_.height; }
  void setBounds(const Rect& bounds);
  void setBounds(int left, int top, int width, int height) { setBounds(Rect{left, top, width, height}); }
  void setLeft(int left) { setBounds(left, top(), width(), height()); }
  void setTop(int top) { setBounds(left(), top, width(), height()); }
  void setWidth(int width) { setBounds(left(), top(), width, height()); }
  void setHeight(int height) { setBounds(left(), top(), width(), height); }
  // The element's origin and area in the coordinates of its form's client area.
  Point formPosition() const;
  Rect formRect() const;

  Anchors anchors() const { return anchors_; }
  void setAnchors(Anchors anchors) { anchors_ = anchors; }
  Align align() const { return align_; }
  void setAlign(Align align);

  // --- state -------------------------------------------------------------------------------------
  bool visible() const { return visible_; }
  void setVisible(bool visible);
  void show() { setVisible(true); }
  void hide() { setVisible(false); }
  // Visible together with every container up to the form (the form itself not counted).
  bool visibleOnForm() const;
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  Cursor cursor() const { return cursor_; }
  void setCursor(Cursor cursor) { cursor_ = cursor; }
  const std::u16string& hint() const { return hint_; }
  void setHint(std::u16string_view hint);
  bool showHint() const { return showHint_; }
  void setShowHint(bool show);

  // --- font: the parent's until one of its properties is set here --------------------------------
  const Font& font() const;
  bool parentFont() const { return parentFont_; }
  void setParentFont(bool parentFont);
  void setFont(const Font& font);
  void setFontFace(std::u16string_view face);
  void setFontHeight(int height);
  void setFontStyle(uint8_t style);
  void setFontColour(Colour colour);
  void setFontCharset(uint8_t charset);

  // --- stacking among the parent's children (last painted, first hit) -----------------------------
  void bringToFront();
  void sendToBack();

  // --- events ------------------------------------------------------------------------------------
  std::function<void()> onClick;
  std::function<void()> onDoubleClick;
  std::function<void()> onMouseEnter;
  std::function<void()> onMouseLeave;
  std::function<void(const MouseEvent&)> onMouseDown;
  std::function<void(const MouseEvent&)> onMouseMove;
  std::function<void(const MouseEvent&)> onMouseUp;
  std::function<void()> onResize;

  // Asks for the element's area to be painted again.
  void invalidate();

  // Draws the element in its own coordinates; children are drawn after it by the form.
  virtual void paint(Painter&) {}
  // Pixels the drawing may reach beyond the bounds on each side (glyphs that overhang a label).
  virtual int paintMargin() const { return 0; }

  virtual Container* asContainer() { return nullptr; }
  virtual Form* asForm() { return nullptr; }
  // Native controls are windows of their own: the form neither paints nor hit-tests them.
  virtual bool isNative() const { return false; }

 protected:
  // Hooks of the kinds, called after the change.
  virtual void boundsChanged(const Rect& old);
  virtual void fontChanged();
  virtual void visibilityChanged();
  virtual void enabledChanged() {}
  // Moved to the top (or bottom) of its parent's stacking order.
  virtual void restacked(bool /*toTop*/) {}
  // Where the element lies on its form, whether it shows there, or which form it is on has changed.
  virtual void placementChanged();
  // The parent moved it by its anchors; the default applies the bounds.
  void applyBounds(const Rect& bounds);
  void invalidateArea();  // repaints its area whether it is visible or not

 private:
  friend class Container;
  void parentResized(int dw, int dh);
  void notifyPlacement();

  Container* parent_ = nullptr;
  Rect bounds_;
  Anchors anchors_ = kAnchorsDefault;
  Align align_ = Align::none;
  bool visible_ = true;
  bool enabled_ = true;
  bool showHint_ = false;
  bool parentFont_ = true;
  Cursor cursor_ = Cursor::standard;
  std::u16string hint_;
  Font font_;
};

class Container : public Element {
 public:
  Container();
  ~Container() override;

  // Children in stacking order: the first is at the bottom.
  const std::vector<Element*>& children() const { return children_; }

  // The top-most visible, enabled, windowless element at a point of this container's area (in its
  // coordinates), looked for inside nested containers; the container itself when no child is
  // there; nullptr outside it.
  Element* elementAt(Point local);

  // The colour the container fills its area with.
  Colour colour() const { return colour_; }
  void setColour(Colour colour);

  // Lays the aligned children out again (done by itself on every change that needs it).
  void realign();

  // --- ownership: owned elements die with the container, whichever container they sit on ------
  // A new element owned by this container and placed on it.
  template <class T, class... Args>
  T* make(Args&&... args) {
    auto element = std::make_unique<T>(std::forward<Args>(args)...);
    T* raw = element.get();
    own(std::move(element));
    raw->setParent(this);
    return raw;
  }
  Element* own(std::unique_ptr<Element> element);
  // Destroys an element this container owns; false when it owns no such element.
  bool destroyOwned(Element* element);

  Container* asContainer() override { return this; }
  void paint(Painter& painter) override;

 protected:
  void boundsChanged(const Rect& old) override;
  void fontChanged() override;
  void placementChanged() override;
  // Destroys the owned elements and lets the others go (forms do it before their window goes).
  void destroyChildren();

 private:
  friend class Element;
  void remove(Element* child);

  std::vector<Element*> children_;
  std::vector<std::unique_ptr<Element>> owned_;
  Colour colour_;
  bool aligning_ = false;
};
