// Plain values of the GUI layer: geometry, colours, anchors, alignment, cursors, fonts and mouse input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

// A rectangle as elements keep their bounds: left, top, width, height. right() and bottom() lie just
// outside it.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool empty() const { return width <= 0 || height <= 0; }
  bool contains(Point p) const { return p.x >= left && p.x < right() && p.y >= top && p.y < bottom(); }
  Rect moved(int dx, int dy) const { return {left + dx, top + dy, width, height}; }
  Rect intersected(const Rect& o) const {
    const int l = std::max(left, o.left), t = std::max(top, o.top);
    const int r = std::min(right(), o.right()), b = std::min(bottom(), o.bottom());
    return r > l && b > t ? Rect{l, t, r - l, b - t} : Rect{l, t, 0, 0};
  }
  bool operator==(const Rect&) const = default;
};

// 24-bit colours laid out as the system's colour values: 0x00BBGGRR.
using Colour = uint32_t;
constexpr Colour rgb(uint8_t r, uint8_t g, uint8_t b) { return Colour(r) | Colour(g) << 8 | Colour(b) << 16; }
constexpr uint8_t redOf(Colour c) { return uint8_t(c); }
constexpr uint8_t greenOf(Colour c) { return uint8_t(c >> 8); }
constexpr uint8_t blueOf(Colour c) { return uint8_t(c >> 16); }
constexpr Colour kBlack = rgb(0, 0, 0);
constexpr Colour kWhite = rgb(255, 255, 255);

// The parent edges an element keeps its distance to when the parent is resized.
enum Anchor : uint8_t { anchorLeft = 1, anchorTop = 2, anchorRight = 4, anchorBottom = 8 };
using Anchors = uint8_t;
constexpr Anchors kAnchorsDefault = anchorLeft | anchorTop;
constexpr Anchors kAnchorsAll = anchorLeft | anchorTop | anchorRight | anchorBottom;

// Docking inside the parent: aligned elements fill the parent's edges in this order (top, bottom,
// left, right) and a client-aligned one takes what is left.
enum class Align : uint8_t { none, top, bottom, left, right, client };

enum class Cursor : uint8_t { standard, hand, move };

enum class TextAlign : uint8_t { left, centre, right };
enum class TextLayout : uint8_t { top, centre, bottom };

enum FontStyle : uint8_t { fontBold = 1, fontItalic = 2, fontUnderline = 4, fontStrikeOut = 8 };

constexpr uint8_t kDefaultCharset = 1;

struct Font {
  std::u16string face = u"MS Sans Serif";
  // As the system's font requests take it: below 0 the character height in pixels, above 0 the cell
  // height (character height and internal leading).
  int height = -11;
  uint8_t style = 0;  // FontStyle bits
  Colour colour = kBlack;
  uint8_t charset = kDefaultCharset;
  bool operator==(const Font&) const = default;
};

enum class MouseButton : uint8_t { left, right, middle };

// Keys and buttons held during a mouse event; shiftDouble marks the press of a double click.
enum ShiftFlag : uint16_t {
  shiftShift = 1,
  shiftAlt = 2,
  shiftCtrl = 4,
  shiftLeft = 8,
  shiftRight = 16,
  shiftMiddle = 32,
  shiftDouble = 64,
};
using ShiftState = uint16_t;

struct MouseEvent {
  MouseButton button = MouseButton::left;
  ShiftState shift = 0;
  Point pos;  // in the coordinates of the element that receives the event
};

enum class WindowState : uint8_t { normal, minimised, maximised };
