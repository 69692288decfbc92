// Text and number formatting: the scratch buffers, byte counts, version numbers, product texts,
// escapes, locale character sets and the system's message texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// --- scratch buffers ------------------------------------------------------------------------------
// Result buffers that formatting functions hand their texts out in, instead of allocating per call.
// Each thread has its own pair, so a text stays valid until the next request for the same buffer on
// the same thread; use it at once. A request for n bytes gives a buffer of at least n zeroed bytes,
// or nullptr for n = 0 or when memory runs out (the capacity is then 0). A buffer grows to
// (n / 256 + 1) * 256 bytes and never shrinks.

char* requestScratchText(size_t bytes);
char16_t* requestScratchWide(size_t bytes);
size_t scratchTextCapacity();
size_t scratchWideCapacity();

// --- numbers --------------------------------------------------------------------------------------

// "0", the plain number below 1024, else 1.50K, 465.76G, 1024.00T ... (single precision, as the
// volume table has always shown them). In the scratch text buffer; nullptr when it cannot be had.
const char* byteCountText(uint64_t count);

// 10203 gives "1.02.03". In the scratch text buffer.
const char* versionText(int32_t version);

// --- product texts --------------------------------------------------------------------------------

// Writes format into target with each "%s" replaced by the next argument (a missing or null one by
// nothing) and "%%" by "%"; any other percent sign is copied as it stands, so a table text can never
// make us read arguments that were not passed. At most targetUnits - 1 units are written, then the
// terminator. Returns the number of units written before the terminator.
size_t formatWideText(char16_t* target, size_t targetUnits, const char16_t* format,
                      std::initializer_list<const char16_t*> arguments);

// The format applied to one or two arguments, at most 1023 units, in the scratch wide buffer.
// nullptr for a missing format. An argument may itself live in the scratch wide buffer.
const char16_t* formatProductText(const char16_t* format, const char16_t* argument);
const char16_t* formatProductText(const char16_t* format, const char16_t* first, const char16_t* second);

// --- texts from devices ---------------------------------------------------------------------------

// A text as a device gave it (model, serial number, identity) made fit for a log line or the window:
// every byte outside 0x20..0x7E becomes a blank, so that no line break or control byte a device sends
// can add a line to a log. The length stays; records keep the bytes as they came.
std::string printableText(std::string_view text);

// --- escapes --------------------------------------------------------------------------------------

// True when the text holds a backslash or a percent sign that is not doubled (a doubled pair is
// skipped as a whole). Such a text is copied through expandEscapes before use.
bool hasEscapes(const char16_t* text);

// Copies source to target turning backslash-n into a line feed and backslash-r into a carriage
// return; every other unit is copied unchanged, so "\\" stays two backslashes unless the second one
// starts "\n" or "\r". Writes at most targetUnits - 1 units and a terminator; returns the units
// written before the terminator. A target of the source's length + 1 units always suffices.
size_t expandEscapes(const char16_t* source, char16_t* target, size_t targetUnits);

// --- locale ---------------------------------------------------------------------------------------

// The font character set that shows the language of a Windows locale id (1 for the default set).
uint8_t localeCharset(uint32_t localeId);

// The system's default locale id, read once and kept (1033 where there is no Windows).
uint32_t systemDefaultLocale();

// The system's message text for a Windows error code in the given language (0: the user's default
// language; otherwise that language, then English, then the system locale). Empty when the system
// has none. *charset (when given) receives the character set of the language that gave the text,
// 1 when there is none.
std::u16string systemMessageText(uint32_t language, uint32_t message, uint8_t* charset);

// --- UTF-8 and UTF-16 -----------------------------------------------------------------------------
// A lone surrogate, a malformed or cut sequence, a surrogate or a value past U+10FFFF encoded in
// UTF-8 each become U+FFFD; nothing is dropped silently.
std::string utf8FromUtf16(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);
