// Language-table resources as a program might carry them: parse, then look up every id found.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Msglangcreateutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<clMsgObject> table(createTableFromResource({data, size}, "ENG"));
  if (table == nullptr) return 0;
  const uint32_t units = table->textSize() / 2;
  for (uint32_t i = 0; i < table->entryCount(); ++i) {
    const MsgEntry& entry = table->entries()[i];
    if (entry.start > units || entry.length > units - entry.start) __builtin_trap();
    const char16_t* text = table->findText(entry.id);
    if (text == nullptr) continue;
    // Expansion only ever shortens a text.
    size_t length = 0;
    while (text[length] != 0) ++length;
    const MsgEntry* first = table->entries();
    while (first->id != entry.id) ++first;
    if (length > first->length) __builtin_trap();
  }
  if (table->findText(0) != nullptr) __builtin_trap();
  table->findText(-1);
  table->findText(INT32_MAX);
  return 0;
}
