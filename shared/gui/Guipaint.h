// Drawing: pictures (PNG with alpha, bitmaps with a transparent colour), the painter that forms draw
// their elements with, the drawable bitmap of an image, and text measuring.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "Guitypes.h"
#include "Imagedecodeutil.h"

// What the platform's side keeps of a picture for drawing it (a bitmap handle on Windows).
struct NativePicture;

// A decoded picture, shared and immutable.
class Picture {
 public:
  Picture() = default;
  // A PNG picture: drawn with its alpha channel.
  static Picture fromImage(const DecodedImage& image);
  // A bitmap: opaque, or without the pixels of its bottom-left colour where the image element is
  // transparent.
  static Picture fromBitmap(const DecodedBitmap& bitmap);

  bool empty() const { return data_ == nullptr; }
  int width() const { return data_ ? data_->width : 0; }
  int height() const { return data_ ? data_->height : 0; }
  bool isBitmap() const { return data_ && data_->bitmap; }
  Colour transparentColour() const { return data_ ? data_->transparentColour : 0; }
  // Premultiplied B, G, R, A rows, top-down; keyed leaves out the transparent colour of a bitmap.
  const std::vector<uint8_t>& pixels(bool keyed) const;
  std::shared_ptr<NativePicture>& native(bool keyed) const;

 private:
  struct Data {
    int width = 0;
    int height = 0;
    bool bitmap = false;
    Colour transparentColour = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> keyedPixels;  // bitmaps only
    mutable std::shared_ptr<NativePicture> native[2];
  };
  std::shared_ptr<const Data> data_;
};

// A bitmap an image element owns and shows, with a canvas to draw on. Coordinates are corner points
// as the system's drawing calls take them: right and bottom edges and the last point of a line are
// left out.
class CanvasBitmap {
 public:
  virtual ~CanvasBitmap() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // New size; the whole bitmap is then white. False when it cannot be made.
  virtual bool resize(int width, int height) = 0;
  virtual void fillRect(int x1, int y1, int x2, int y2, Colour colour) = 0;
  // A one-pixel outline in the pen colour; the inside is left as it is.
  virtual void frameRect(int x1, int y1, int x2, int y2, Colour pen) = 0;
  virtual void line(int x1, int y1, int x2, int y2, Colour pen) = 0;
  // Text with its top-left corner at (x, y) over a transparent background.
  virtual void textOut(int x, int y, std::u16string_view text, const Font& font) = 0;
  virtual int textWidth(std::u16string_view text, const Font& font) = 0;
  virtual int textHeight(std::u16string_view text, const Font& font) = 0;
  virtual Colour pixel(int x, int y) const = 0;
  // Called after every drawing call (the image element repaints itself).
  std::function<void()> onChange;

 protected:
  void changed() {
    if (onChange) onChange();
  }
};

std::unique_ptr<CanvasBitmap> createCanvasBitmap(int width, int height);

// How a form's window draws its elements. Each element draws in its own coordinates; the form sets
// where they lie and the clip (both in client pixels) before each.
class Painter {
 public:
  virtual ~Painter() = default;
  virtual void setView(Point origin, const Rect& clip) = 0;
  virtual void fillRect(const Rect& rect, Colour colour) = 0;
  // A rounded rectangle with corner ellipses of the given size, the pen inside the rectangle (pen
  // width 0: no outline), filled or not.
  virtual void roundRect(const Rect& rect, int ellipse, Colour pen, int penWidth, bool filled,
                         Colour brush) = 0;
  // Text in a box: lines broken at line feeds, and at words when wrap is set; aligned per line.
  virtual void drawText(const Rect& box, std::u16string_view text, const Font& font, TextAlign align,
                        bool wrap) = 0;
  // The picture scaled to dest (alpha kept; keyed leaves out a bitmap's transparent colour).
  virtual void drawPicture(const Picture& picture, const Rect& dest, bool keyed) = 0;
  virtual void drawCanvas(CanvasBitmap& canvas, const Rect& dest, bool keyed) = 0;
};

// The size of a text in a font: the longest line and the height of all lines; with wrapWidth above
// 0 the lines are also broken at words to fit that width.
Size measureText(const Font& font, std::u16string_view text, int wrapWidth);
