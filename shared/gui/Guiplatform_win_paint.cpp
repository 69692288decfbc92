// Drawing of windowless elements with GDI: fills, rounded rectangles, text, pictures with alpha
// (AlphaBlend of premultiplied 32-bit bitmaps) and the images' own bitmaps.
#include <cstring>

#include "Guiform.h"
#include "Guipaint.h"
#include "Guiplatform_win.h"

struct NativePicture {
  HBITMAP bitmap = nullptr;
  ~NativePicture() {
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
};

namespace {

HBITMAP makePictureBitmap(const Picture& picture, bool keyed) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.width();
  info.bmiHeader.biHeight = -picture.height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  const std::vector<uint8_t>& pixels = picture.pixels(keyed);
  std::memcpy(bits, pixels.data(), pixels.size());
  return bitmap;
}

class GdiPainter : public Painter {
 public:
  explicit GdiPainter(HDC dc) : dc_(dc), source_(CreateCompatibleDC(dc)) {
    SetBkMode(dc_, TRANSPARENT);
    SetStretchBltMode(dc_, COLORONCOLOR);
  }
  ~GdiPainter() override {
    SelectClipRgn(dc_, nullptr);
    SetViewportOrgEx(dc_, 0, 0, nullptr);
    DeleteDC(source_);
  }

  void setView(Point origin, const Rect& clip) override {
    SetViewportOrgEx(dc_, origin.x, origin.y, nullptr);
    // Regions are in device pixels, which are the form's client pixels here.
    HRGN region = CreateRectRgn(clip.left, clip.top, clip.right(), clip.bottom());
    SelectClipRgn(dc_, region);
    DeleteObject(region);
  }

  void fillRect(const Rect& r, Colour colour) override {
    if (r.empty()) return;
    const RECT rc{r.left, r.top, r.right(), r.bottom()};
    FillRect(dc_, &rc, solidBrush(colour));
  }

  void roundRect(const Rect& r, int ellipse, Colour pen, int penWidth, bool filled, Colour brush) override {
    if (r.empty()) return;
    HGDIOBJ oldPen =
        SelectObject(dc_, penWidth > 0 ? HGDIOBJ(solidPen(pen, penWidth)) : GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc_, filled ? HGDIOBJ(solidBrush(brush)) : GetStockObject(NULL_BRUSH));
    // Without a pen GDI leaves out the right and bottom edges.
    const int grow = penWidth > 0 ? 0 : 1;
    RoundRect(dc_, r.left, r.top, r.right() + grow, r.bottom() + grow, ellipse, ellipse);
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
  }

  void drawText(const Rect& box, std::u16string_view text, const Font& font, TextAlign align,
                bool wrap) override {
    HGDIOBJ old = SelectObject(dc_, fontHandle(font));
    SetTextColor(dc_, font.colour);
    RECT rc{box.left, box.top, box.right(), box.bottom()};
    UINT flags = DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP;
    if (wrap) flags |= DT_WORDBREAK;
    if (align == TextAlign::centre) flags |= DT_CENTER;
    if (align == TextAlign::right) flags |= DT_RIGHT;
    DrawTextW(dc_, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &rc, flags);
    SelectObject(dc_, old);
  }

  void drawPicture(const Picture& picture, const Rect& dest, bool keyed) override {
    if (picture.empty() || dest.empty()) return;
    std::shared_ptr<NativePicture>& native = picture.native(keyed);
    if (!native) {
      native = std::make_shared<NativePicture>();
      native->bitmap = makePictureBitmap(picture, keyed);
    }
    if (native->bitmap == nullptr) return;
    HGDIOBJ old = SelectObject(source_, native->bitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc_, dest.left, dest.top, dest.width, dest.height, source_, 0, 0, picture.width(),
               picture.height(), blend);
    SelectObject(source_, old);
  }

  void drawCanvas(CanvasBitmap& canvas, const Rect& dest, bool keyed) override {
    if (dest.empty() || canvas.width() == 0 || canvas.height() == 0) return;
    HDC source = canvasDc(canvas);
    const int w = canvas.width(), h = canvas.height();
    if (keyed) {
      TransparentBlt(dc_, dest.left, dest.top, dest.width, dest.height, source, 0, 0, w, h,
                     canvas.pixel(0, h - 1));
    } else if (dest.width == w && dest.height == h) {
      BitBlt(dc_, dest.left, dest.top, w, h, source, 0, 0, SRCCOPY);
    } else {
      StretchBlt(dc_, dest.left, dest.top, dest.width, dest.height, source, 0, 0, w, h, SRCCOPY);
    }
  }

 private:
  HDC dc_;
  HDC source_;
};

}  // namespace

void paintFormArea(Form& form, HDC dc, const Rect& area) {
  GdiPainter painter(dc);
  form.paintClient(painter, area);
}
