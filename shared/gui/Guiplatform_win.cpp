// The Win32 side's shared pieces: GDI object caches, text measuring, the drawable bitmap of images
// and the system values.

// clang-format off
#include "Guiplatform_win.h"  // windows.h first: the common controls need its types
#include <commctrl.h>
#include <windowsx.h>
// clang-format on

#include <cstring>
#include <map>
#include <tuple>

#include "Guipaint.h"
#include "Guiplatform.h"

namespace {

struct FontKey {
  std::u16string face;
  int height;
  uint8_t style;
  uint8_t charset;
  bool operator<(const FontKey& o) const {
    return std::tie(face, height, style, charset) < std::tie(o.face, o.height, o.style, o.charset);
  }
};

// A DIB section of its own with a memory device context for the canvas calls.
class WinCanvas : public CanvasBitmap {
 public:
  WinCanvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)) { resize(width, height); }
  ~WinCanvas() override {
    release();
    DeleteDC(dc_);
  }
  int width() const override { return width_; }
  int height() const override { return height_; }
  HDC dc() const { return dc_; }

  bool resize(int width, int height) override {
    release();
    width_ = height_ = 0;
    if (width > 0 && height > 0) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = -height;  // top-down
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      if (bitmap_ == nullptr) return false;
      bits_ = static_cast<uint32_t*>(bits);
      width_ = width, height_ = height;
      std::memset(bits_, 0xFF, size_t(width) * size_t(height) * 4);
      old_ = SelectObject(dc_, bitmap_);
    }
    changed();
    return true;
  }
  void fillRect(int x1, int y1, int x2, int y2, Colour colour) override {
    const RECT r{x1, y1, x2, y2};
    FillRect(dc_, &r, solidBrush(colour));
    changed();
  }
  void frameRect(int x1, int y1, int x2, int y2, Colour pen) override {
    HGDIOBJ oldPen = SelectObject(dc_, solidPen(pen, 1));
    HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(NULL_BRUSH));
    Rectangle(dc_, x1, y1, x2, y2);
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
    changed();
  }
  void line(int x1, int y1, int x2, int y2, Colour pen) override {
    HGDIOBJ oldPen = SelectObject(dc_, solidPen(pen, 1));
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
    SelectObject(dc_, oldPen);
    changed();
  }
  void textOut(int x, int y, std::u16string_view text, const Font& font) override {
    HGDIOBJ oldFont = SelectObject(dc_, fontHandle(font));
    SetTextColor(dc_, font.colour);
    SetBkMode(dc_, TRANSPARENT);
    SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    TextOutW(dc_, x, y, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()));
    SelectObject(dc_, oldFont);
    changed();
  }
  int textWidth(std::u16string_view text, const Font& font) override { return extent(text, font).cx; }
  int textHeight(std::u16string_view text, const Font& font) override { return extent(text, font).cy; }
  Colour pixel(int x, int y) const override {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    GdiFlush();
    const uint32_t v = bits_[size_t(y) * size_t(width_) + size_t(x)];
    return rgb(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  }

 private:
  SIZE extent(std::u16string_view text, const Font& font) {
    SIZE size{0, 0};
    HGDIOBJ oldFont = SelectObject(dc_, fontHandle(font));
    GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &size);
    SelectObject(dc_, oldFont);
    return size;
  }
  void release() {
    if (bitmap_ == nullptr) return;
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
  }

  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace

HDC canvasDc(CanvasBitmap& canvas) { return static_cast<WinCanvas&>(canvas).dc(); }

HFONT fontHandle(const Font& font) {
  static std::map<FontKey, HFONT> fonts;
  const FontKey key{font.face, font.height, font.style, font.charset};
  auto it = fonts.find(key);
  if (it != fonts.end()) return it->second;
  LOGFONTW lf{};
  lf.lfHeight = font.height;
  lf.lfWeight = (font.style & fontBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (font.style & fontItalic) ? 1 : 0;
  lf.lfUnderline = (font.style & fontUnderline) ? 1 : 0;
  lf.lfStrikeOut = (font.style & fontStrikeOut) ? 1 : 0;
  lf.lfCharSet = font.charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  const size_t n = std::min(font.face.size(), size_t(LF_FACESIZE - 1));
  std::memcpy(lf.lfFaceName, font.face.data(), n * sizeof(wchar_t));
  HFONT handle = CreateFontIndirectW(&lf);
  if (handle == nullptr) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts.emplace(key, handle);
  return handle;
}

HBRUSH solidBrush(Colour colour) {
  static std::map<Colour, HBRUSH> brushes;
  auto it = brushes.find(colour);
  if (it != brushes.end()) return it->second;
  HBRUSH brush = CreateSolidBrush(colour);
  brushes.emplace(colour, brush);
  return brush;
}

HPEN solidPen(Colour colour, int width) {
  static std::map<std::pair<Colour, int>, HPEN> pens;
  const auto key = std::make_pair(colour, width);
  auto it = pens.find(key);
  if (it != pens.end()) return it->second;
  HPEN pen = CreatePen(width > 1 ? PS_INSIDEFRAME : PS_SOLID, width, colour);
  pens.emplace(key, pen);
  return pen;
}

HDC measuringDc() {
  static HDC dc = CreateCompatibleDC(nullptr);
  return dc;
}

void initCommonControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

Size measureText(const Font& font, std::u16string_view text, int wrapWidth) {
  HDC dc = measuringDc();
  HGDIOBJ old = SelectObject(dc, fontHandle(font));
  RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
  UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
  if (wrapWidth > 0) flags |= DT_WORDBREAK;
  DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &r, flags);
  SelectObject(dc, old);
  return {int(r.right - r.left), int(r.bottom - r.top)};
}

std::unique_ptr<CanvasBitmap> createCanvasBitmap(int width, int height) {
  return std::make_unique<WinCanvas>(width, height);
}

Colour systemFaceColour() { return GetSysColor(COLOR_BTNFACE); }

Size screenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }
