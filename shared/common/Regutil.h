// The registry in either view (32- or 64-bit): opening keys, reading and writing values, deleting trees.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The view a key is opened in. The shipped programs are 32-bit, so their own view is view32; asking
// for it explicitly gives the 64-bit test build the same keys as the shipped one.
enum class RegView : uint32_t { view32 = KEY_WOW64_32KEY, view64 = KEY_WOW64_64KEY };

// Any value type is accepted by queryValue.
constexpr uint32_t kAnyRegType = 0xFFFFFFFFu;

// Opens root\subkey for full access, creating it when it cannot be opened. 0 with *key set, or the
// error code. The caller closes the key.
uint32_t openOrCreateKey(HKEY root, const char* subkey, HKEY* key, RegView view = RegView::view32);
uint32_t openKeyForReading(HKEY root, const char* subkey, HKEY* key, RegView view = RegView::view32);

// The value's bytes (empty for a value of size 0) and, when asked, its type. 11 when expectedType is
// not kAnyRegType and the value has another type.
uint32_t queryValue(HKEY key, const char* name, uint32_t expectedType, std::vector<uint8_t>* data,
                    uint32_t* type = nullptr);

// A REG_SZ value up to its terminator; empty on failure (*error, when given: 0 or the error code).
std::string readStringValue(HKEY root, const char* subkey, const char* name, uint32_t* error = nullptr,
                            RegView view = RegView::view32);

// A 4-byte REG_DWORD value; 0 on failure (11 for another type, 13 for another size).
uint32_t readDwordValue(HKEY root, const char* subkey, const char* name, uint32_t* error = nullptr,
                        RegView view = RegView::view32);

// REG_SZ with its terminator (size 0 for no text), creating the key when needed.
uint32_t writeStringValue(HKEY root, const char* subkey, const char* name, const char* text,
                          RegView view = RegView::view32);

// Write only when the stored value differs in type, size or bytes: an equal value is left untouched.
uint32_t writeStringIfChanged(HKEY key, const char* name, const char* text);
uint32_t writeDwordIfChanged(HKEY key, const char* name, uint32_t value);

// Deletes key\subkey with all its subkeys; a missing key is no error.
uint32_t deleteKeyTree(HKEY key, const char* subkey, RegView view = RegView::view32);

// Deletes the key root\subkey\name only when it has no subkeys left.
uint32_t deleteKeyIfEmpty(HKEY root, const char* subkey, const char* name, RegView view = RegView::view32);

// The key root\subkey\name with its tree, or the value name of root\subkey, first in the 64-bit view,
// then in the 32-bit view. 0 when it is gone from both (a missing key or value is no error), else the
// first error met.
uint32_t deleteKeyInBothViews(HKEY root, const char* subkey, const char* name);
uint32_t deleteValueInBothViews(HKEY root, const char* subkey, const char* name);
