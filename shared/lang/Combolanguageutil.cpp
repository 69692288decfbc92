#include "Combolanguageutil.h"

#include "Msglangcreateutil.h"
#include "Textformatutil.h"
#include "Winmsglistutil.h"

namespace {

constexpr uint8_t kDefaultCharset = 1;
constexpr uint8_t kHangulCharset = 129;

bool isKorean(const char* code) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  return upper(code[0]) == 'K' && upper(code[1]) == 'O' && upper(code[2]) == 'R';
}

}  // namespace

bool fillLanguageBox(LanguageBox* box, int32_t nameId) {
  if (box == nullptr || languageList() == nullptr) return false;
  box->clearItems();
  uint8_t charset = kDefaultCharset;
  bool selected = false;
  for (clMsgObject* table = firstLanguageTable(); table != nullptr; table = nextLanguageTable(table)) {
    const char16_t* caption = table->findText(nameId);
    if (caption == nullptr) caption = nativeLanguageName(table->languageCode);
    if (caption == nullptr) continue;
    box->addItem(caption, table);
    if (table == currentTable()) {
      box->selectItem(box->itemCount() - 1);
      selected = true;
    }
    // The box has one font: the first language that needs a character set of its own sets it.
    if (isKorean(table->languageCode)) {
      charset = kHangulCharset;
    } else if (charset == kDefaultCharset) {
      charset = localeCharset(localeOfLanguageCode(table->languageCode));
    }
  }
  box->setCharset(charset);
  if (!selected && box->itemCount() > 0) box->selectItem(0);
  return true;
}

void applyLanguageBox(LanguageBox* box) {
  if (box == nullptr || languageList() == nullptr) return;
  const int32_t index = box->selectedItem();
  if (index < 0 || index >= box->itemCount()) return;
  if (clMsgObject* table = box->itemTable(index)) setCurrentTable(table);
}
