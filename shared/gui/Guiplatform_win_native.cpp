// The system windows of native controls: EDIT for edits and memos, COMBOBOX, and the common
// controls' progress bar, as child windows of their form.

// clang-format off
#include "Guiplatform_win.h"  // windows.h first: the common controls need its types
#include <commctrl.h>
#include <windowsx.h>
// clang-format on

#include <algorithm>

#include "Guiform.h"
#include "Guinative.h"
#include "Guiplatform.h"

namespace {

// Memos show line breaks only as CR LF.
std::wstring withCrLf(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out.push_back(L'\r');
    out.push_back(wchar_t(text[i]));
  }
  return out;
}

class WinNative : public NativeHandle {
 public:
  WinNative(NativeKind kind, Form& form, NativeControl& control)
      : kind_(kind), form_(form), control_(control) {
    initCommonControls();
    create();
  }
  ~WinNative() override {
    if (window_ != nullptr) DestroyWindow(window_);
  }

  void* handle() const override { return window_; }

  void place(const Rect& r, bool showing, bool enabled) override {
    rect_ = r, showing_ = showing, enabled_ = enabled;
    applyPlace();
  }
  void setFont(const Font& font) override {
    font_ = font;
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle(font)), TRUE);
  }
  void setColour(Colour) override { InvalidateRect(window_, nullptr, TRUE); }
  void raise(bool toTop) override {
    SetWindowPos(window_, toTop ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  std::u16string text() const override {
    const int length = GetWindowTextLengthW(window_);
    std::wstring buffer(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(window_, buffer.data(), length + 1);
    return fromWide(buffer.data(), size_t(std::max(got, 0)));
  }
  void setText(std::u16string_view text) override {
    const std::wstring wide = kind_ == NativeKind::memo ? withCrLf(text) : wideString(text);
    SetWindowTextW(window_, wide.c_str());
  }

  void clearItems() override { SendMessageW(window_, CB_RESETCONTENT, 0, 0); }
  void addItem(std::u16string_view text) override {
    const std::wstring wide = wideString(text);
    SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  int itemIndex() const override { return int(SendMessageW(window_, CB_GETCURSEL, 0, 0)); }
  void setItemIndex(int index) override { SendMessageW(window_, CB_SETCURSEL, WPARAM(index), 0); }

  void setStyle(bool readOnly, bool horizontal, bool vertical, bool wordWrap) override {
    const DWORD style = memoStyle(readOnly, horizontal, vertical, wordWrap);
    if (style == style_) return;
    // Scroll bars and wrapping are fixed when the window is made: it is made again with the text.
    const std::u16string kept = text();
    style_ = style;
    DestroyWindow(window_);
    create();
    setFont(font_);
    setText(kept);
    applyPlace();
  }

  void setRange(int minimum, int maximum) override {
    SendMessageW(window_, PBM_SETRANGE32, minimum, maximum);
  }
  void setPosition(int position) override { SendMessageW(window_, PBM_SETPOS, WPARAM(position), 0); }

 private:
  static DWORD memoStyle(bool readOnly, bool horizontal, bool vertical, bool wordWrap) {
    DWORD s = ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (readOnly) s |= ES_READONLY;
    if (horizontal) s |= WS_HSCROLL;
    if (vertical) s |= WS_VSCROLL;
    if (!wordWrap || horizontal) s |= ES_AUTOHSCROLL;
    return s;
  }

  void create() {
    const wchar_t* cls = WC_EDITW;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    switch (kind_) {
      case NativeKind::edit:
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        ex = WS_EX_CLIENTEDGE;
        break;
      case NativeKind::memo:
        if (style_ == 0) style_ = memoStyle(false, false, false, true);
        style |= WS_TABSTOP | style_;
        ex = WS_EX_CLIENTEDGE;
        break;
      case NativeKind::comboList:
      case NativeKind::comboEdit:
        cls = WC_COMBOBOXW;
        style |= WS_TABSTOP | WS_VSCROLL |
                 (kind_ == NativeKind::comboList ? CBS_DROPDOWNLIST : CBS_DROPDOWN | CBS_AUTOHSCROLL);
        break;
      case NativeKind::progressBar:
        cls = PROGRESS_CLASSW;
        style |= PBS_SMOOTH;
        break;
    }
    window_ = CreateWindowExW(ex, cls, L"", style, 0, 0, 0, 0, static_cast<HWND>(form_.handle()), nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control_));
    if (kind_ == NativeKind::edit || kind_ == NativeKind::memo) SendMessageW(window_, EM_SETLIMITTEXT, 0, 0);
  }

  void applyPlace() {
    int height = rect_.height;
    // A combo box's window also holds its drop-down list: room for eight items.
    if (kind_ == NativeKind::comboList || kind_ == NativeKind::comboEdit) {
      const int item = int(SendMessageW(window_, CB_GETITEMHEIGHT, 0, 0));
      height += 8 * std::max(item, 12) + 2;
    }
    SetWindowPos(window_, nullptr, rect_.left, rect_.top, rect_.width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (showing_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    EnableWindow(window_, enabled_);
  }

  NativeKind kind_;
  Form& form_;
  NativeControl& control_;
  HWND window_ = nullptr;
  DWORD style_ = 0;
  Font font_;
  Rect rect_;
  bool showing_ = false;
  bool enabled_ = true;
};

}  // namespace

std::unique_ptr<NativeHandle> createNativeHandle(NativeKind kind, Form& form, NativeControl& control) {
  return std::make_unique<WinNative>(kind, form, control);
}
