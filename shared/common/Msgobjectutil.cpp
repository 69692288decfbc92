#include "Msgobjectutil.h"

#include <cstdint>
#include <limits>
#include <new>

#include "Textformatutil.h"

namespace {

bool isLineBreak(char16_t u) { return u == 13 || u == 10 || u == 26; }
bool isSeparator(char16_t u) { return u == 9 || u == 32; }
bool isBlankForNumber(char16_t u) { return u == 32 || (u >= 9 && u <= 13); }

// The decimal number at the start of a line as the Windows C runtime's wcstol reads it: leading
// white space, an optional sign, digits; saturating at the limits of its 32-bit long.
int32_t leadingNumber(const char16_t* s) {
  while (isBlankForNumber(*s)) ++s;
  bool negative = false;
  if (*s == u'+' || *s == u'-') negative = *s++ == u'-';
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (; *s >= u'0' && *s <= u'9'; ++s) {
    value = value * 10 + (*s - u'0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

bool clMsgObject::parseText(const uint8_t* bytes, size_t size) {
  const size_t units = bytes != nullptr ? size / 2 : 0;
  // Sizes are kept in 32 bits, as bytes, with room for the terminator.
  if (units >= std::numeric_limits<uint32_t>::max() / 4) return false;

  // One unit more than the source: the last line may lack its line break.
  std::unique_ptr<char16_t[]> text(new (std::nothrow) char16_t[units + 1]);
  if (text == nullptr) return false;
  uint32_t lines = 0;
  for (size_t i = 0; i < units; ++i) {
    char16_t u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (isLineBreak(u)) u = 0;
    text[i] = u;
    if (u != 0 && (i == 0 || text[i - 1] == 0)) ++lines;
  }
  text[units] = 0;

  std::unique_ptr<MsgEntry[]> entries;
  if (lines > 0) {
    entries.reset(new (std::nothrow) MsgEntry[lines]);
    if (entries == nullptr) return false;
  }
  uint32_t n = 0;
  for (uint32_t i = 0; i < units;) {
    if (text[i] == 0) {
      ++i;
      continue;
    }
    const uint32_t start = i;
    uint32_t separator = 0;
    bool found = false;
    for (; text[i] != 0; ++i) {
      if (!found && isSeparator(text[i])) {
        separator = i;
        found = true;
      }
    }
    MsgEntry& entry = entries[n++];
    if (found && separator != start) {
      entry.id = leadingNumber(&text[start]);
      entry.start = separator + 1;
      entry.length = i - (separator + 1);
    } else {
      entry.start = i;
    }
  }

  text_ = std::move(text);
  textSize_ = static_cast<uint32_t>(units * 2);
  entries_ = std::move(entries);
  entryCount_ = lines;
  return true;
}

const char16_t* clMsgObject::findText(int32_t id) {
  if (id == 0 || entryCount_ == 0) return nullptr;
  for (uint32_t i = 0; i < entryCount_; ++i) {
    const MsgEntry& entry = entries_[i];
    if (entry.id != id) continue;
    if (entry.length == 0) return nullptr;
    const char16_t* text = &text_[entry.start];  // ends at the 0 that replaced its line break
    if (!hasEscapes(text)) return text;
    const int64_t needed = 2 * static_cast<int64_t>(entry.length) + 512;
    if (needed > scratchSize_) {
      if (needed > std::numeric_limits<int32_t>::max()) return nullptr;
      std::unique_ptr<char16_t[]> grown(new (std::nothrow) char16_t[needed / 2]);
      if (grown == nullptr) return nullptr;
      scratch_ = std::move(grown);
      scratchSize_ = static_cast<int32_t>(needed);
    }
    expandEscapes(text, scratch_.get(), static_cast<size_t>(scratchSize_) / 2);
    return scratch_.get();
  }
  return nullptr;
}
