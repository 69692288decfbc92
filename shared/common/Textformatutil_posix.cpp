// Without Windows there is no system locale and no message table: behave as an English system.
#include "Textformatutil.h"
#include "Textformatutil_impl.h"

ScratchBuffers* threadScratchBuffers() {
  thread_local ScratchBuffers buffers;
  return &buffers;
}

uint32_t systemDefaultLocale() { return 1033; }

std::u16string systemMessageText(uint32_t, uint32_t, uint8_t* charset) {
  if (charset != nullptr) *charset = 1;
  return {};
}
