// The headless side: forms and native controls keep their state without windows, text is measured
// with a fixed advance of half the font height per character, canvases draw into memory.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Guiform.h"
#include "Guiheadless.h"
#include "Guinative.h"
#include "Guipaint.h"
#include "Guiplatform.h"
#include "Guitimer.h"

namespace {

std::vector<Form*> gPendingHover;
std::function<void(Form&)> gModalHandler;

int lineHeight(const Font& f) { return f.height > 0 ? f.height : (-f.height * 5 + 3) / 4; }
int advance(const Font& f) { return std::max(1, std::abs(f.height) / 2); }

class HeadlessFormWindow : public FormWindow {
 public:
  explicit HeadlessFormWindow(Form& form) : form_(form) {}
  ~HeadlessFormWindow() override {
    gPendingHover.erase(std::remove(gPendingHover.begin(), gPendingHover.end(), &form_), gPendingHover.end());
  }
  void* handle() const override { return nullptr; }
  void setBounds(const Rect&) override {}
  void setVisible(bool) override {}
  void setCaption(std::u16string_view) override {}
  void setAlwaysOnTop(bool) override {}
  void setOutline(int) override {}
  WindowState windowState() const override { return state_; }
  void setWindowState(WindowState state) override { state_ = state; }
  void activate() override { form_.windowActivated(); }
  void invalidate(const Rect&) override {}
  void setMouseCapture(bool) override {}
  void scheduleHoverCheck() override {
    if (std::find(gPendingHover.begin(), gPendingHover.end(), &form_) == gPendingHover.end()) {
      gPendingHover.push_back(&form_);
    }
  }
  void hoverChanged() override {}
  void runModal() override {
    if (gModalHandler) gModalHandler(form_);
    if (form_.modalResult() == kModalNone) form_.setModalResult(kModalCancel);
  }
  void closed() override {}

 private:
  Form& form_;
  WindowState state_ = WindowState::normal;
};

class HeadlessNative : public NativeHandle {
 public:
  void* handle() const override { return nullptr; }
  void place(const Rect&, bool, bool) override {}
  void setFont(const Font&) override {}
  void setColour(Colour) override {}
  void raise(bool) override {}
  std::u16string text() const override { return text_; }
  void setText(std::u16string_view text) override { text_ = text; }
  void clearItems() override {
    items_.clear();
    index_ = -1;
  }
  void addItem(std::u16string_view text) override { items_.emplace_back(text); }
  int itemIndex() const override { return index_; }
  void setItemIndex(int index) override {
    index_ = index >= 0 && index < int(items_.size()) ? index : -1;
    text_ = index_ >= 0 ? items_[size_t(index_)] : std::u16string();
  }
  void setStyle(bool, bool, bool, bool) override {}
  void setRange(int, int) override {}
  void setPosition(int) override {}

 private:
  std::u16string text_;
  std::vector<std::u16string> items_;
  int index_ = -1;
};

class MemoryCanvas : public CanvasBitmap {
 public:
  MemoryCanvas(int w, int h) { resize(w, h); }
  int width() const override { return width_; }
  int height() const override { return height_; }
  bool resize(int w, int h) override {
    width_ = std::max(w, 0), height_ = std::max(h, 0);
    pixels_.assign(size_t(width_) * size_t(height_), kWhite);
    changed();
    return true;
  }
  void fillRect(int x1, int y1, int x2, int y2, Colour c) override {
    fill(x1, y1, x2, y2, c);
    changed();
  }
  void frameRect(int x1, int y1, int x2, int y2, Colour pen) override {
    if (x2 <= x1 || y2 <= y1) return;
    fill(x1, y1, x2, y1 + 1, pen);
    fill(x1, y2 - 1, x2, y2, pen);
    fill(x1, y1, x1 + 1, y2, pen);
    fill(x2 - 1, y1, x2, y2, pen);
    changed();
  }
  void line(int x1, int y1, int x2, int y2, Colour pen) override {
    // Bresenham, the last point left out.
    const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    while (x1 != x2 || y1 != y2) {
      set(x1, y1, pen);
      const int e2 = 2 * err;
      if (e2 >= dy) err += dy, x1 += sx;
      if (e2 <= dx) err += dx, y1 += sy;
    }
    changed();
  }
  void textOut(int, int, std::u16string_view, const Font&) override { changed(); }
  int textWidth(std::u16string_view text, const Font& font) override {
    return measureText(font, text, 0).width;
  }
  int textHeight(std::u16string_view text, const Font& font) override {
    return measureText(font, text, 0).height;
  }
  Colour pixel(int x, int y) const override {
    return x >= 0 && y >= 0 && x < width_ && y < height_ ? pixels_[size_t(y) * size_t(width_) + size_t(x)]
                                                         : 0;
  }

 private:
  void set(int x, int y, Colour c) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[size_t(y) * size_t(width_) + size_t(x)] = c;
  }
  void fill(int x1, int y1, int x2, int y2, Colour c) {
    for (int y = std::max(y1, 0); y < std::min(y2, height_); ++y) {
      for (int x = std::max(x1, 0); x < std::min(x2, width_); ++x) set(x, y, c);
    }
  }
  int width_ = 0, height_ = 0;
  std::vector<Colour> pixels_;
};

// Greedy word wrap with the fixed advance; a word wider than the width keeps a line of its own.
std::vector<int> lineWidths(const Font& font, std::u16string_view text, int wrapWidth) {
  const int a = advance(font);
  std::vector<int> widths;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(u'\n', start);
    std::u16string_view line = text.substr(start, end == std::u16string_view::npos ? text.npos : end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (wrapWidth <= 0) {
      widths.push_back(int(line.size()) * a);
    } else {
      int current = 0;
      bool any = false;
      size_t pos = 0;
      while (pos <= line.size()) {
        size_t space = line.find(u' ', pos);
        const size_t wordEnd = space == line.npos ? line.size() : space;
        const int word = int(wordEnd - pos) * a;
        const int needed = any ? current + a + word : word;
        if (any && needed > wrapWidth) {
          widths.push_back(current);
          current = word;
        } else {
          current = needed;
        }
        any = true;
        if (space == line.npos) break;
        pos = space + 1;
      }
      widths.push_back(current);
    }
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return widths;
}

}  // namespace

void runHeadlessPending() {
  std::vector<Form*> forms;
  forms.swap(gPendingHover);
  for (Form* f : forms) f->mouse().checkHover();
}

void setHeadlessModalHandler(std::function<void(Form&)> handler) { gModalHandler = std::move(handler); }

std::unique_ptr<FormWindow> createFormWindow(Form& form) {
  return std::make_unique<HeadlessFormWindow>(form);
}

std::unique_ptr<NativeHandle> createNativeHandle(NativeKind, Form&, NativeControl&) {
  return std::make_unique<HeadlessNative>();
}

std::unique_ptr<CanvasBitmap> createCanvasBitmap(int width, int height) {
  return std::make_unique<MemoryCanvas>(width, height);
}

Size measureText(const Font& font, std::u16string_view text, int wrapWidth) {
  const std::vector<int> widths = lineWidths(font, text, wrapWidth);
  return {*std::max_element(widths.begin(), widths.end()), int(widths.size()) * lineHeight(font)};
}

uint32_t startPlatformTimer(Timer&, uint32_t) {
  static uint32_t next = 0;
  return ++next;
}

void stopPlatformTimer(uint32_t) {}

Colour systemFaceColour() { return rgb(240, 240, 240); }
Size screenSize() { return {1280, 1024}; }
