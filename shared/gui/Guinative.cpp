#include "Guinative.h"

#include <algorithm>

#include "Guiform.h"

namespace {

bool enabledOnForm(const Element& e) {
  for (const Element* p = &e; p != nullptr; p = p->parent()) {
    if (!p->enabled()) return false;
  }
  return true;
}

}  // namespace

// --- NativeControl ----------------------------------------------------------------------------------

NativeControl::NativeControl(NativeKind kind) : kind_(kind) {}

NativeControl::~NativeControl() = default;

void* NativeControl::handle() const { return native_ ? native_->handle() : nullptr; }

void NativeControl::setColour(Colour colour) {
  colour_ = colour;
  if (native_) native_->setColour(colour);
}

void NativeControl::fontChanged() {
  if (native_) native_->setFont(font());
}

void NativeControl::restacked(bool toTop) {
  if (native_) native_->raise(toTop);
}

void NativeControl::placementChanged() {
  Form* f = form();
  if (f != nativeForm_) {
    if (native_) saveState();
    native_.reset();
    nativeForm_ = f;
    if (f != nullptr) {
      native_ = createNativeHandle(kind_, *f, *this);
      if (native_) {
        native_->setFont(font());
        native_->setColour(colour_);
        restoreState();
      }
    }
  }
  if (native_) native_->place(formRect(), visibleOnForm(), enabledOnForm(*this));
}

// --- Edit -------------------------------------------------------------------------------------------

std::u16string Edit::text() const { return native() ? native()->text() : text_; }

void Edit::setText(std::u16string_view text) {
  text_ = text;
  if (native()) native()->setText(text);
}

void Edit::saveState() { text_ = native()->text(); }
void Edit::restoreState() { native()->setText(text_); }

// --- ComboBox ---------------------------------------------------------------------------------------

void ComboBox::clear() {
  items_.clear();
  values_.clear();
  itemIndex_ = -1;
  text_.clear();
  if (native()) native()->clearItems();
}

void ComboBox::addItem(std::u16string_view text, intptr_t value) {
  items_.emplace_back(text);
  values_.push_back(value);
  if (native()) native()->addItem(text);
}

const std::u16string& ComboBox::itemText(int index) const {
  static const std::u16string none;
  return index >= 0 && index < count() ? items_[size_t(index)] : none;
}

intptr_t ComboBox::itemValue(int index) const {
  return index >= 0 && index < count() ? values_[size_t(index)] : 0;
}

int ComboBox::itemIndex() const { return native() ? native()->itemIndex() : itemIndex_; }

void ComboBox::setItemIndex(int index) {
  if (index < -1 || index >= count()) index = -1;
  itemIndex_ = index;
  text_ = itemText(index);
  if (native()) native()->setItemIndex(index);
}

std::u16string ComboBox::text() const { return native() ? native()->text() : text_; }

void ComboBox::nativeChanged() {
  if (onChange) onChange();
}

void ComboBox::saveState() {
  itemIndex_ = native()->itemIndex();
  text_ = native()->text();
}

void ComboBox::restoreState() {
  for (const auto& item : items_) native()->addItem(item);
  native()->setItemIndex(itemIndex_);
  if (kind() == NativeKind::comboEdit && itemIndex_ < 0) native()->setText(text_);
}

// --- Memo -------------------------------------------------------------------------------------------

std::u16string Memo::text() const { return native() ? native()->text() : text_; }

void Memo::setText(std::u16string_view text) {
  text_ = text;
  if (native()) native()->setText(text);
}

void Memo::applyStyle() {
  if (native()) native()->setStyle(readOnly_, horizontal_, vertical_, wordWrap_);
}

void Memo::setReadOnly(bool on) {
  readOnly_ = on;
  applyStyle();
}

void Memo::setScrollBars(bool horizontal, bool vertical) {
  horizontal_ = horizontal;
  vertical_ = vertical;
  applyStyle();
}

void Memo::setWordWrap(bool on) {
  wordWrap_ = on;
  applyStyle();
}

void Memo::saveState() { text_ = native()->text(); }

void Memo::restoreState() {
  applyStyle();
  native()->setText(text_);
}

// --- ProgressBar ------------------------------------------------------------------------------------

ProgressBar::ProgressBar() : NativeControl(NativeKind::progressBar) { setColour(systemFaceColour()); }

void ProgressBar::setRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(maximum, minimum);
  position_ = std::clamp(position_, minimum_, maximum_);
  if (native()) {
    native()->setRange(minimum_, maximum_);
    native()->setPosition(position_);
  }
}

void ProgressBar::setPosition(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
  if (native()) native()->setPosition(position_);
}

void ProgressBar::restoreState() {
  native()->setRange(minimum_, maximum_);
  native()->setPosition(position_);
}
