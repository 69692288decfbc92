// The windowless element kinds: panel, label, image and shape.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Guielement.h"
#include "Guipaint.h"

// A container filled with its colour, without bevel or caption.
class Panel : public Container {};

// Text in the label's font. Auto-size (the default) fits the bounds to the text: to the longest line
// without word wrap, to the wrapped height at the set width with it; a right-aligned label keeps its
// right edge. An empty text measures as one blank.
class Label : public Element {
 public:
  Label();

  const std::u16string& text() const { return text_; }
  void setText(std::u16string_view text);
  bool autoSize() const { return autoSize_; }
  void setAutoSize(bool on);
  bool wordWrap() const { return wordWrap_; }
  void setWordWrap(bool on);
  TextAlign alignment() const { return alignment_; }
  void setAlignment(TextAlign alignment);
  TextLayout layout() const { return layout_; }
  void setLayout(TextLayout layout);
  // A transparent label draws only its text; otherwise it fills its area with its colour first (the
  // parent's until one is set).
  bool transparent() const { return transparent_; }
  void setTransparent(bool on);
  Colour colour() const;
  void setColour(Colour colour);

  // The size the text needs in the current font (at the current width when wrapping).
  Size textSize() const;

  void paint(Painter& painter) override;
  // A transparent label lets glyphs that reach past their advance (the tail of a last "p") show.
  int paintMargin() const override { return transparent_ ? 2 : 0; }

 protected:
  void fontChanged() override;
  void boundsChanged(const Rect& old) override;

 private:
  void adjustSize();

  std::u16string text_;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool transparent_ = false;
  bool hasColour_ = false;
  bool adjusting_ = false;
  TextAlign alignment_ = TextAlign::left;
  TextLayout layout_ = TextLayout::top;
  Colour colour_ = 0;
};

// Shows a picture, or a bitmap of its own to draw on. Unstretched pictures are drawn unscaled from
// the top-left corner; auto-size makes the element as large as the picture whenever one is set.
class Image : public Element {
 public:
  Image();
  ~Image() override;

  const Picture& picture() const { return picture_; }
  // Shows the picture instead of what was shown; an empty picture empties the element.
  void setPicture(const Picture& picture);
  void clearPicture() { setPicture(Picture()); }
  // True while it shows neither a picture nor a bitmap of its own.
  bool empty() const { return picture_.empty() && !canvas_; }

  bool autoSize() const { return autoSize_; }
  void setAutoSize(bool on);
  bool stretch() const { return stretch_; }
  void setStretch(bool on);
  // Bitmaps leave out the pixels of their bottom-left colour; PNG pictures always keep their alpha.
  bool transparent() const { return transparent_; }
  void setTransparent(bool on);

  // The image's own bitmap, shown instead of a picture; made white at the element's size on first
  // use (the picture is dropped). setBitmapSize gives it another size (white again).
  CanvasBitmap& canvas();
  bool setBitmapSize(int width, int height);
  bool hasCanvas() const { return canvas_ != nullptr; }

  void paint(Painter& painter) override;

 private:
  Picture picture_;
  std::unique_ptr<CanvasBitmap> canvas_;
  bool autoSize_ = false;
  bool stretch_ = false;
  bool transparent_ = false;
};

enum class ShapeKind : uint8_t { rectangle, roundRect };
enum class BrushStyle : uint8_t { solid, clear };

// A rectangle or rounded rectangle: outline of the pen width inside the bounds (none at width 0),
// filled with the brush colour unless the brush is clear.
class Shape : public Element {
 public:
  ShapeKind kind() const { return kind_; }
  void setKind(ShapeKind kind);
  Colour penColour() const { return penColour_; }
  void setPenColour(Colour colour);
  int penWidth() const { return penWidth_; }
  void setPenWidth(int width);
  Colour brushColour() const { return brushColour_; }
  void setBrushColour(Colour colour);
  BrushStyle brushStyle() const { return brushStyle_; }
  void setBrushStyle(BrushStyle style);

  void paint(Painter& painter) override;

 private:
  ShapeKind kind_ = ShapeKind::rectangle;
  Colour penColour_ = kBlack;
  int penWidth_ = 1;
  Colour brushColour_ = kWhite;
  BrushStyle brushStyle_ = BrushStyle::solid;
};
