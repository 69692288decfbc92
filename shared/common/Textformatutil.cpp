#include "Textformatutil.h"

#include <cstdio>
#include <cstring>

#include "Textformatutil_impl.h"

namespace {

constexpr size_t kFormatRequest = 2048;     // bytes requested by every formatting function
constexpr size_t kProductTextUnits = 1024;  // terminator included

// Rounds to single precision through memory: an x87 FPU would otherwise keep extra bits, and the
// figures must not depend on the processor.
float single(float value) {
  volatile float rounded = value;
  return rounded;
}

}  // namespace

char* requestScratchText(size_t bytes) {
  ScratchBuffers* buffers = threadScratchBuffers();
  return buffers != nullptr ? buffers->text.request(bytes) : nullptr;
}

char16_t* requestScratchWide(size_t bytes) {
  ScratchBuffers* buffers = threadScratchBuffers();
  return buffers != nullptr ? buffers->wide.request(bytes) : nullptr;
}

size_t scratchTextCapacity() {
  ScratchBuffers* buffers = threadScratchBuffers();
  return buffers != nullptr ? buffers->text.capacity() : 0;
}

size_t scratchWideCapacity() {
  ScratchBuffers* buffers = threadScratchBuffers();
  return buffers != nullptr ? buffers->wide.capacity() : 0;
}

const char* byteCountText(uint64_t count) {
  char* out = requestScratchText(kFormatRequest);
  if (out == nullptr) return nullptr;
  if (count < 1024) {
    std::snprintf(out, kFormatRequest, "%llu", static_cast<unsigned long long>(count));
    return out;
  }
  static const char kUnits[] = "KMGT";
  float c = single(single(static_cast<float>(count)) / 1024.0f);
  int unit = 0;
  while (unit < 3 && !(c < 1024.0f)) {
    c = single(c / 1024.0f);
    ++unit;
  }
  std::snprintf(out, kFormatRequest, "%.2f%c", static_cast<double>(c), kUnits[unit]);
  return out;
}

const char* versionText(int32_t version) {
  char* out = requestScratchText(kFormatRequest);
  if (out == nullptr) return nullptr;
  std::snprintf(out, kFormatRequest, "%i.%02i.%02i", static_cast<int>(version / 10000),
                static_cast<int>(version % 10000 / 100), static_cast<int>(version % 100));
  return out;
}

size_t formatWideText(char16_t* target, size_t targetUnits, const char16_t* format,
                      std::initializer_list<const char16_t*> arguments) {
  if (target == nullptr || targetUnits == 0) return 0;
  size_t n = 0;
  auto put = [&](char16_t u) {
    if (n + 1 < targetUnits) target[n++] = u;
  };
  const char16_t* const* nextArgument = arguments.begin();
  for (const char16_t* f = format; f != nullptr && *f != 0; ++f) {
    if (f[0] == u'%' && f[1] == u's') {
      const char16_t* argument = nextArgument != arguments.end() ? *nextArgument++ : nullptr;
      for (const char16_t* a = argument; a != nullptr && *a != 0; ++a) put(*a);
      ++f;
    } else if (f[0] == u'%' && f[1] == u'%') {
      put(u'%');
      ++f;
    } else {
      put(*f);
    }
  }
  target[n] = 0;
  return n;
}

namespace {

const char16_t* formatIntoScratch(const char16_t* format, std::initializer_list<const char16_t*> arguments) {
  if (format == nullptr) return nullptr;
  // Formatted aside first: an argument may be a text from the scratch buffer itself.
  char16_t local[kProductTextUnits];
  const size_t n = formatWideText(local, kProductTextUnits, format, arguments);
  char16_t* out = requestScratchWide(kFormatRequest);
  if (out == nullptr) return nullptr;
  std::memcpy(out, local, (n + 1) * sizeof(char16_t));
  return out;
}

}  // namespace

const char16_t* formatProductText(const char16_t* format, const char16_t* argument) {
  return formatIntoScratch(format, {argument});
}

const char16_t* formatProductText(const char16_t* format, const char16_t* first, const char16_t* second) {
  return formatIntoScratch(format, {first, second});
}

bool hasEscapes(const char16_t* text) {
  if (text == nullptr) return false;
  for (const char16_t* s = text; *s != 0;) {
    if (*s == u'\\' || *s == u'%') {
      if (s[1] != *s) return true;
      s += 2;
    } else {
      ++s;
    }
  }
  return false;
}

size_t expandEscapes(const char16_t* source, char16_t* target, size_t targetUnits) {
  if (target == nullptr || targetUnits == 0) return 0;
  size_t n = 0;
  for (const char16_t* s = source; s != nullptr && *s != 0 && n + 1 < targetUnits; ++s) {
    char16_t u = *s;
    if (u == u'\\' && (s[1] == u'n' || s[1] == u'r')) {
      u = s[1] == u'n' ? u'\n' : u'\r';
      ++s;
    }
    target[n++] = u;
  }
  target[n] = 0;
  return n;
}

uint8_t localeCharset(uint32_t localeId) {
  struct LocaleSet {
    uint16_t locale;
    uint8_t charset;
  };
  static const LocaleSet kSets[] = {
      {1025, 178},                                                      // Arabic
      {1026, 238}, {1029, 238}, {1045, 238}, {1048, 238}, {1050, 238},  // East European
      {1051, 238}, {1058, 238}, {1060, 238}, {3098, 238},               //
      {1028, 136},                                                      // Chinese Big5
      {1032, 161},                                                      // Greek
      {1037, 177},                                                      // Hebrew
      {1041, 128},                                                      // Shift-JIS
      {1042, 129},                                                      // Hangul
      {1049, 204},                                                      // Cyrillic
      {1054, 222},                                                      // Thai
      {1055, 162},                                                      // Turkish
      {1061, 186}, {1062, 186}, {1063, 186},                            // Baltic
      {1066, 163},                                                      // Vietnamese
      {2052, 134},                                                      // Chinese GB2312
  };
  for (const LocaleSet& s : kSets) {
    if (s.locale == localeId) return s.charset;
  }
  return 1;
}

// --- UTF-8 and UTF-16
// ----------------------------------------------------------------------------------------

std::string utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | c >> 6));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | c >> 12));
      out.push_back(char(0x80 | (c >> 6 & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | c >> 18));
      out.push_back(char(0x80 | (c >> 12 & 0x3F)));
      out.push_back(char(0x80 | (c >> 6 & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string utf16FromUtf8(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const uint8_t lead = uint8_t(text[i]);
    const int extra = lead < 0x80             ? 0
                      : (lead & 0xE0) == 0xC0 ? 1
                      : (lead & 0xF0) == 0xE0 ? 2
                      : (lead & 0xF8) == 0xF0 ? 3
                                              : -1;
    uint32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1Fu : extra == 2 ? lead & 0x0Fu : lead & 0x07u;
    bool valid = extra >= 0 && i + size_t(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const uint8_t next = uint8_t(text[i + size_t(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      c = c << 6 | (next & 0x3Fu);
    }
    if (!valid || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(char16_t(0xD800 + (c >> 10)));
      out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
    i += size_t(extra) + 1;
  }
  return out;
}

std::string printableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = ' ';
  }
  return out;
}
