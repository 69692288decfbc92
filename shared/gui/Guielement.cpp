#include "Guielement.h"

#include <algorithm>

#include "Guiform.h"
#include "Guipaint.h"
#include "Guiplatform.h"

// --- Element ----------------------------------------------------------------------------------------

Element::Element() = default;

Element::~Element() {
  if (parent_ == nullptr) return;
  invalidateArea();
  if (Form* f = form()) f->mouse().forget(this);
  parent_->remove(this);
  parent_ = nullptr;
}

Form* Element::form() const {
  const Element* e = this;
  while (e->parent_ != nullptr) e = e->parent_;
  return const_cast<Element*>(e)->asForm();
}

void Element::setParent(Container* parent) {
  if (parent == parent_) return;
  for (Container* p = parent; p != nullptr; p = p->parent()) {
    if (p == this) return;  // into its own subtree
  }
  if (parent_ != nullptr) {
    invalidateArea();
    Container* old = parent_;
    if (Form* f = form()) f->mouse().detaching(this);
    old->remove(this);
    parent_ = nullptr;
    if (align_ != Align::none) old->realign();
  }
  parent_ = parent;
  if (parent_ != nullptr) {
    parent_->children_.push_back(this);
    if (align_ != Align::none) parent_->realign();
  }
  if (parentFont_) fontChanged();
  notifyPlacement();
  invalidateArea();
  if (Form* f = form()) f->treeChanged();
}

Point Element::formPosition() const {
  Point p;
  for (const Element* e = this; e->parent_ != nullptr; e = e->parent_) {
    p.x += e->bounds_.left;
    p.y += e->bounds_.top;
  }
  return p;
}

Rect Element::formRect() const {
  const Point p = formPosition();
  return {p.x, p.y, bounds_.width, bounds_.height};
}

void Element::setBounds(const Rect& bounds) {
  if (bounds == bounds_) return;
  const Rect old = bounds_;
  invalidate();
  bounds_ = bounds;
  invalidate();
  boundsChanged(old);
  if ((old.width != bounds_.width || old.height != bounds_.height) && onResize) onResize();
  notifyPlacement();
  if (align_ != Align::none && parent_ != nullptr) parent_->realign();
  if (Form* f = form()) f->treeChanged();
}

void Element::applyBounds(const Rect& bounds) { setBounds(bounds); }

void Element::boundsChanged(const Rect&) {}

void Element::parentResized(int dw, int dh) {
  Rect r = bounds_;
  const bool l = anchors_ & anchorLeft, rt = anchors_ & anchorRight;
  if (l && rt) {
    r.width += dw;
  } else if (rt) {
    r.left += dw;
  } else if (!l) {
    r.left += dw / 2;
  }
  const bool t = anchors_ & anchorTop, b = anchors_ & anchorBottom;
  if (t && b) {
    r.height += dh;
  } else if (b) {
    r.top += dh;
  } else if (!t) {
    r.top += dh / 2;
  }
  applyBounds(r);
}

void Element::setAlign(Align align) {
  if (align == align_) return;
  align_ = align;
  if (parent_ != nullptr) parent_->realign();
}

void Element::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  invalidateArea();
  visibilityChanged();
}

void Element::visibilityChanged() {
  notifyPlacement();
  if (align_ != Align::none && parent_ != nullptr) parent_->realign();
  if (Form* f = form()) f->treeChanged();
}

bool Element::visibleOnForm() const {
  const Element* e = this;
  for (; e->parent_ != nullptr; e = e->parent_) {
    if (!e->visible_) return false;
  }
  return const_cast<Element*>(e)->asForm() != nullptr;
}

void Element::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  invalidate();
  enabledChanged();
  notifyPlacement();
  if (Form* f = form()) f->treeChanged();
}

void Element::setHint(std::u16string_view hint) {
  hint_ = hint;
  if (Form* f = form(); f && f->mouse().hovered() == this) f->window().hoverChanged();
}

void Element::setShowHint(bool show) {
  showHint_ = show;
  if (Form* f = form(); f && f->mouse().hovered() == this) f->window().hoverChanged();
}

const Font& Element::font() const { return parentFont_ && parent_ != nullptr ? parent_->font() : font_; }

void Element::setParentFont(bool parentFont) {
  if (parentFont == parentFont_) return;
  if (!parentFont) font_ = font();
  parentFont_ = parentFont;
  fontChanged();
}

void Element::setFont(const Font& font) {
  if (!parentFont_ && font == font_) return;
  font_ = font;
  parentFont_ = false;
  fontChanged();
}

void Element::setFontFace(std::u16string_view face) {
  Font f = font();
  f.face = face;
  setFont(f);
}

void Element::setFontHeight(int height) {
  Font f = font();
  f.height = height;
  setFont(f);
}

void Element::setFontStyle(uint8_t style) {
  Font f = font();
  f.style = style;
  setFont(f);
}

void Element::setFontColour(Colour colour) {
  Font f = font();
  f.colour = colour;
  setFont(f);
}

void Element::setFontCharset(uint8_t charset) {
  Font f = font();
  f.charset = charset;
  setFont(f);
}

void Element::fontChanged() { invalidate(); }

void Element::bringToFront() {
  if (parent_ == nullptr) return;
  auto& c = parent_->children_;
  c.erase(std::find(c.begin(), c.end(), this));
  c.push_back(this);
  invalidate();
  restacked(true);
  if (Form* f = form()) f->treeChanged();
}

void Element::sendToBack() {
  if (parent_ == nullptr) return;
  auto& c = parent_->children_;
  c.erase(std::find(c.begin(), c.end(), this));
  c.insert(c.begin(), this);
  invalidate();
  restacked(false);
  if (Form* f = form()) f->treeChanged();
}

void Element::invalidate() {
  if (visibleOnForm()) invalidateArea();
}

void Element::invalidateArea() {
  if (parent_ == nullptr) {
    if (Form* f = asForm()) f->invalidateRect({0, 0, bounds_.width, bounds_.height});
    return;
  }
  const int m = paintMargin();
  const Rect r = formRect();
  if (Form* f = form()) f->invalidateRect({r.left - m, r.top - m, r.width + 2 * m, r.height + 2 * m});
}

void Element::placementChanged() {}

void Element::notifyPlacement() { placementChanged(); }

// --- Container --------------------------------------------------------------------------------------

Container::Container() : colour_(systemFaceColour()) {}

Container::~Container() { destroyChildren(); }

void Container::destroyChildren() {
  if (Form* f = form()) f->mouse().forgetSubtree(this);
  // Owned elements die first, the newest first; then whatever else sits here is let go.
  while (!owned_.empty()) {
    std::unique_ptr<Element> last = std::move(owned_.back());
    owned_.pop_back();
    last.reset();
  }
  for (Element* child : children_) {
    child->parent_ = nullptr;
    child->notifyPlacement();
  }
  children_.clear();
}

Element* Container::own(std::unique_ptr<Element> element) {
  Element* raw = element.get();
  if (raw != nullptr) owned_.push_back(std::move(element));
  return raw;
}

bool Container::destroyOwned(Element* element) {
  auto it = std::find_if(owned_.begin(), owned_.end(), [element](auto& o) { return o.get() == element; });
  if (it == owned_.end()) return false;
  std::unique_ptr<Element> doomed = std::move(*it);
  owned_.erase(it);
  doomed.reset();
  return true;
}

void Container::remove(Element* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it != children_.end()) children_.erase(it);
}

Element* Container::elementAt(Point local) {
  if (!Rect{0, 0, width(), height()}.contains(local)) return nullptr;
  for (size_t i = children_.size(); i-- > 0;) {
    Element* c = children_[i];
    if (!c->visible_ || !c->enabled_ || c->isNative() || !c->bounds_.contains(local)) continue;
    if (Container* k = c->asContainer()) return k->elementAt({local.x - c->left(), local.y - c->top()});
    return c;
  }
  return this;
}

void Container::setColour(Colour colour) {
  if (colour == colour_) return;
  colour_ = colour;
  invalidate();
  // Labels without a colour of their own take this one.
  for (Element* c : children_) c->invalidate();
}

void Container::paint(Painter& painter) { painter.fillRect({0, 0, width(), height()}, colour_); }

void Container::boundsChanged(const Rect& old) {
  const int dw = width() - old.width, dh = height() - old.height;
  if (dw == 0 && dh == 0) return;
  // A copy: anchored children may change the list through their handlers.
  const std::vector<Element*> children = children_;
  for (Element* c : children) {
    if (c->align_ == Align::none && c->parent_ == this) c->parentResized(dw, dh);
  }
  realign();
}

void Container::fontChanged() {
  Element::fontChanged();
  for (Element* c : children_) {
    if (c->parentFont_) c->fontChanged();
  }
}

void Container::placementChanged() {
  for (Element* c : children_) c->notifyPlacement();
}

void Container::realign() {
  if (aligning_) return;
  aligning_ = true;
  Rect rest{0, 0, width(), height()};
  auto take = [this](Align a) {
    std::vector<Element*> list;
    for (Element* c : children_) {
      if (c->align_ == a && c->visible_) list.push_back(c);
    }
    return list;
  };
  auto byKey = [](std::vector<Element*> list, auto key) {
    std::stable_sort(list.begin(), list.end(), [&](Element* a, Element* b) { return key(a) < key(b); });
    return list;
  };
  for (Element* c : byKey(take(Align::top), [](Element* e) { return e->top(); })) {
    c->setBounds(rest.left, rest.top, rest.width, c->height());
    rest.top += c->height(), rest.height -= c->height();
  }
  for (Element* c : byKey(take(Align::bottom), [](Element* e) { return -e->bounds().bottom(); })) {
    c->setBounds(rest.left, rest.bottom() - c->height(), rest.width, c->height());
    rest.height -= c->height();
  }
  for (Element* c : byKey(take(Align::left), [](Element* e) { return e->left(); })) {
    c->setBounds(rest.left, rest.top, c->width(), rest.height);
    rest.left += c->width(), rest.width -= c->width();
  }
  for (Element* c : byKey(take(Align::right), [](Element* e) { return -e->bounds().right(); })) {
    c->setBounds(rest.right() - c->width(), rest.top, c->width(), rest.height);
    rest.width -= c->width();
  }
  for (Element* c : take(Align::client))
    c->setBounds(rest.left, rest.top, std::max(rest.width, 0), std::max(rest.height, 0));
  aligning_ = false;
}
