#include "Guicontrols.h"

#include <algorithm>

#include "Guiplatform.h"

// --- Label ------------------------------------------------------------------------------------------

Label::Label() { adjustSize(); }

void Label::setText(std::u16string_view text) {
  if (text == text_) return;
  text_ = text;
  adjustSize();
  invalidate();
}

void Label::setAutoSize(bool on) {
  autoSize_ = on;
  adjustSize();
}

void Label::setWordWrap(bool on) {
  if (on == wordWrap_) return;
  wordWrap_ = on;
  adjustSize();
  invalidate();
}

void Label::setAlignment(TextAlign alignment) {
  alignment_ = alignment;
  invalidate();
}

void Label::setLayout(TextLayout layout) {
  layout_ = layout;
  invalidate();
}

void Label::setTransparent(bool on) {
  invalidate();
  transparent_ = on;
  invalidate();
}

Colour Label::colour() const {
  if (hasColour_) return colour_;
  return parent() != nullptr ? parent()->colour() : systemFaceColour();
}

void Label::setColour(Colour colour) {
  colour_ = colour;
  hasColour_ = true;
  invalidate();
}

Size Label::textSize() const {
  const std::u16string_view text = text_.empty() ? std::u16string_view(u" ") : std::u16string_view(text_);
  return measureText(font(), text, wordWrap_ ? std::max(width(), 1) : 0);
}

void Label::adjustSize() {
  if (!autoSize_ || adjusting_) return;
  adjusting_ = true;
  const Size s = textSize();
  if (wordWrap_) {
    setBounds(left(), top(), width(), s.height);
  } else {
    const int l = alignment_ == TextAlign::right ? left() + width() - s.width : left();
    setBounds(l, top(), s.width, s.height);
  }
  adjusting_ = false;
}

void Label::fontChanged() {
  Element::fontChanged();
  adjustSize();
}

void Label::boundsChanged(const Rect& old) {
  if (wordWrap_ && old.width != width()) adjustSize();
}

void Label::paint(Painter& painter) {
  if (!transparent_) painter.fillRect({0, 0, width(), height()}, colour());
  if (text_.empty()) return;
  const Size s = textSize();
  int y = 0;
  if (layout_ == TextLayout::centre) y = (height() - s.height) / 2;
  if (layout_ == TextLayout::bottom) y = height() - s.height;
  Font f = font();
  if (!enabled()) f.colour = rgb(128, 128, 128);
  painter.drawText({0, y, width(), s.height}, text_, f, alignment_, wordWrap_);
}

// --- Image ------------------------------------------------------------------------------------------

Image::Image() = default;
Image::~Image() = default;

void Image::setPicture(const Picture& picture) {
  canvas_.reset();
  picture_ = picture;
  if (autoSize_ && !picture_.empty()) setBounds(left(), top(), picture_.width(), picture_.height());
  invalidate();
}

void Image::setAutoSize(bool on) {
  autoSize_ = on;
  if (autoSize_ && !picture_.empty()) setBounds(left(), top(), picture_.width(), picture_.height());
}

void Image::setStretch(bool on) {
  stretch_ = on;
  invalidate();
}

void Image::setTransparent(bool on) {
  transparent_ = on;
  invalidate();
}

CanvasBitmap& Image::canvas() {
  if (!canvas_) {
    picture_ = Picture();
    canvas_ = createCanvasBitmap(std::max(width(), 0), std::max(height(), 0));
    canvas_->onChange = [this] { invalidate(); };
    invalidate();
  }
  return *canvas_;
}

bool Image::setBitmapSize(int width, int height) {
  const bool made = canvas().resize(width, height);
  invalidate();
  return made;
}

void Image::paint(Painter& painter) {
  if (canvas_) {
    const Rect dest =
        stretch_ ? Rect{0, 0, width(), height()} : Rect{0, 0, canvas_->width(), canvas_->height()};
    painter.drawCanvas(*canvas_, dest, transparent_);
  } else if (!picture_.empty()) {
    const Rect dest =
        stretch_ ? Rect{0, 0, width(), height()} : Rect{0, 0, picture_.width(), picture_.height()};
    painter.drawPicture(picture_, dest, transparent_);
  }
}

// --- Shape ------------------------------------------------------------------------------------------

void Shape::setKind(ShapeKind kind) {
  kind_ = kind;
  invalidate();
}

void Shape::setPenColour(Colour colour) {
  penColour_ = colour;
  invalidate();
}

void Shape::setPenWidth(int width) {
  penWidth_ = std::max(width, 0);
  invalidate();
}

void Shape::setBrushColour(Colour colour) {
  brushColour_ = colour;
  invalidate();
}

void Shape::setBrushStyle(BrushStyle style) {
  brushStyle_ = style;
  invalidate();
}

void Shape::paint(Painter& painter) {
  const int w = width(), h = height(), p = penWidth_;
  const bool filled = brushStyle_ == BrushStyle::solid;
  if (kind_ == ShapeKind::roundRect) {
    painter.roundRect({0, 0, w, h}, std::min(w, h) / 4, penColour_, p, filled, brushColour_);
    return;
  }
  if (filled) painter.fillRect({p, p, w - 2 * p, h - 2 * p}, brushColour_);
  if (p == 0) return;
  painter.fillRect({0, 0, w, p}, penColour_);
  painter.fillRect({0, h - p, w, p}, penColour_);
  painter.fillRect({0, p, p, h - 2 * p}, penColour_);
  painter.fillRect({w - p, p, p, h - 2 * p}, penColour_);
}
