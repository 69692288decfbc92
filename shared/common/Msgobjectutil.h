// clMsgObject: one language table - its text copy, one entry per line, and text lookup by number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Nuvantobjectutil.h"

// One line of a table; start and length count UTF-16 units in the text copy.
struct MsgEntry {
  int32_t id = 0;  // 0: the line has no usable id and is never found
  uint32_t start = 0;
  uint32_t length = 0;
};

class clMsgObject : public clNuvantObject {
 public:
  clMsgObject() = default;
  ~clMsgObject() override = default;

  // Fills the table from the UTF-16LE text that follows the byte-order mark: lines end at CR, LF
  // or SUB; each line is "id", one TAB or blank, the text. False when memory runs out (the table
  // is then left empty). Call once, on a new table.
  bool parseText(const uint8_t* bytes, size_t size);

  // The text of the first line with this id (a later duplicate is never found), or nullptr when
  // there is none or it is empty. A text with escapes or single percent signs comes back expanded
  // in this table's scratch buffer, valid until the next such lookup; any other is valid as long
  // as the table. Not for concurrent use: the scratch buffer is the table's one.
  const char16_t* findText(int32_t id);

  const MsgEntry* entries() const { return entries_.get(); }
  uint32_t entryCount() const { return entryCount_; }
  const char16_t* textCopy() const { return text_.get(); }
  uint32_t textSize() const { return textSize_; }  // bytes
  const char16_t* scratchBuffer() const { return scratch_.get(); }
  int32_t scratchSize() const { return scratchSize_; }  // bytes

  char languageCode[4] = {};  // three characters and a terminating 0

 private:
  std::unique_ptr<char16_t[]> scratch_;
  int32_t scratchSize_ = 0;
  std::unique_ptr<MsgEntry[]> entries_;
  uint32_t entryCount_ = 0;
  std::unique_ptr<char16_t[]> text_;
  uint32_t textSize_ = 0;
};
