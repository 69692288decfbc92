// Native controls: the system's one-line edit, combo box, multi-line memo and progress bar, placed
// on their form like any element. Their state is kept here while they are on no form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Guielement.h"
#include "Guiplatform.h"

class NativeControl : public Element {
 public:
  explicit NativeControl(NativeKind kind);
  ~NativeControl() override;

  NativeKind kind() const { return kind_; }
  bool isNative() const override { return true; }
  // The control's system window (a HWND on Windows); nullptr while it is on no form.
  void* handle() const;
  // Background colour of edits and memos.
  Colour colour() const { return colour_; }
  void setColour(Colour colour);

  // The window side reports a change the user made (a new selection).
  virtual void nativeChanged() {}

 protected:
  void fontChanged() override;
  void placementChanged() override;
  void restacked(bool toTop) override;
  NativeHandle* native() const { return native_.get(); }
  // State kept while there is no window, and given to every new one.
  virtual void saveState() {}
  virtual void restoreState() {}

 private:
  NativeKind kind_;
  Colour colour_ = kWhite;
  Form* nativeForm_ = nullptr;
  std::unique_ptr<NativeHandle> native_;
};

// One-line edit.
class Edit : public NativeControl {
 public:
  Edit() : NativeControl(NativeKind::edit) {}
  std::u16string text() const;
  void setText(std::u16string_view text);

 protected:
  void saveState() override;
  void restoreState() override;

 private:
  std::u16string text_;
};

// Drop-down combo box: select-only, or with an editable text field. Each item may carry a value.
class ComboBox : public NativeControl {
 public:
  explicit ComboBox(bool editable = false)
      : NativeControl(editable ? NativeKind::comboEdit : NativeKind::comboList) {}

  void clear();
  void addItem(std::u16string_view text, intptr_t value = 0);
  int count() const { return int(items_.size()); }
  const std::u16string& itemText(int index) const;
  intptr_t itemValue(int index) const;
  // The chosen item, -1 for none (also when typed text matches no item).
  int itemIndex() const;
  void setItemIndex(int index);
  // The text field (the chosen item's text in a select-only box).
  std::u16string text() const;

  // The user chose another item.
  std::function<void()> onChange;
  void nativeChanged() override;

 protected:
  void saveState() override;
  void restoreState() override;

 private:
  std::vector<std::u16string> items_;
  std::vector<intptr_t> values_;
  int itemIndex_ = -1;
  std::u16string text_;
};

// Multi-line text with optional scroll bars.
class Memo : public NativeControl {
 public:
  Memo() : NativeControl(NativeKind::memo) {}
  std::u16string text() const;
  void setText(std::u16string_view text);
  void clear() { setText(u""); }
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool on);
  void setScrollBars(bool horizontal, bool vertical);
  bool horizontalScrollBar() const { return horizontal_; }
  bool verticalScrollBar() const { return vertical_; }
  // Long lines wrap at the memo's width (not with a horizontal scroll bar).
  bool wordWrap() const { return wordWrap_; }
  void setWordWrap(bool on);

 protected:
  void saveState() override;
  void restoreState() override;

 private:
  void applyStyle();
  std::u16string text_;
  bool readOnly_ = false;
  bool horizontal_ = false;
  bool vertical_ = false;
  bool wordWrap_ = true;
};

// Smooth progress bar; the position is kept inside the range.
class ProgressBar : public NativeControl {
 public:
  ProgressBar();
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  void setRange(int minimum, int maximum);
  int position() const { return position_; }
  void setPosition(int position);

 protected:
  void restoreState() override;

 private:
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
};
