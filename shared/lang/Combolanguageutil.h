// The installer's language box: filled with the language tables, and its choice made current.
#pragma once

#include <cstdint>

#include "Msgobjectutil.h"

// What the box has to offer; the GUI's combo box implements it. Items keep the caption (copied)
// and the table they stand for.
class LanguageBox {
 public:
  virtual ~LanguageBox() = default;
  virtual void clearItems() = 0;
  virtual void addItem(const char16_t* caption, clMsgObject* table) = 0;
  virtual int32_t itemCount() const = 0;
  virtual void selectItem(int32_t index) = 0;
  virtual int32_t selectedItem() const = 0;  // -1 for none
  virtual clMsgObject* itemTable(int32_t index) const = 0;
  virtual void setCharset(uint8_t charset) = 0;
};

// One item per table in list order, captioned with the table's own text nameId (its language name)
// or else the system's native name of its language; a table with neither is left out. The current
// table's item is selected, else the first. False when there is no box or no language list.
bool fillLanguageBox(LanguageBox* box, int32_t nameId);

// The table of the selected item becomes current; nothing happens without a selection.
void applyLanguageBox(LanguageBox* box);
