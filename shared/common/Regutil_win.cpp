#include <cstring>

#include "Regutil.h"

namespace {

REGSAM withView(REGSAM access, RegView view) { return access | static_cast<REGSAM>(view); }

// The bytes a REG_SZ of the text holds: with its terminator; none for no text.
DWORD stringDataSize(const char* text) {
  return text != nullptr ? static_cast<DWORD>(std::strlen(text) + 1) : 0;
}

bool storedEquals(HKEY key, const char* name, uint32_t type, const void* bytes, DWORD size) {
  std::vector<uint8_t> stored;
  if (queryValue(key, name, type, &stored) != 0 || stored.size() != size) return false;
  return size == 0 || std::memcmp(stored.data(), bytes, size) == 0;
}

using ViewAction = uint32_t (*)(HKEY key, const char* name, RegView view);

uint32_t inBothViews(HKEY root, const char* subkey, const char* name, ViewAction action) {
  uint32_t first = 0;
  for (RegView view : {RegView::view64, RegView::view32}) {
    HKEY key;
    uint32_t result = RegOpenKeyExA(root, subkey, 0, withView(KEY_ALL_ACCESS, view), &key);
    if (result == ERROR_FILE_NOT_FOUND) continue;  // nothing of it in this view
    if (result == 0) {
      result = action(key, name, view);
      RegCloseKey(key);
    }
    if (first == 0) first = result;
  }
  return first;
}

uint32_t deleteValueIn(HKEY key, const char* name, RegView) {
  const LONG result = RegDeleteValueA(key, name);
  return result == ERROR_FILE_NOT_FOUND ? 0 : result;
}

}  // namespace

uint32_t openOrCreateKey(HKEY root, const char* subkey, HKEY* key, RegView view) {
  *key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, withView(KEY_ALL_ACCESS, view), key) == 0) return 0;
  *key = nullptr;
  return RegCreateKeyExA(root, subkey, 0, nullptr, 0, withView(KEY_ALL_ACCESS, view), nullptr, key, nullptr);
}

uint32_t openKeyForReading(HKEY root, const char* subkey, HKEY* key, RegView view) {
  *key = nullptr;
  return RegOpenKeyExA(root, subkey, 0, withView(KEY_READ, view), key);
}

uint32_t queryValue(HKEY key, const char* name, uint32_t expectedType, std::vector<uint8_t>* data,
                    uint32_t* type) {
  data->clear();
  // The value may grow between asking its size and reading it; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD actualType = 0, size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &actualType, nullptr, &size);
    if (result != 0) return result;
    if (type != nullptr) *type = actualType;
    if (expectedType != kAnyRegType && actualType != expectedType) return ERROR_BAD_FORMAT;
    if (size == 0) return 0;
    data->resize(size);
    result = RegQueryValueExA(key, name, nullptr, &actualType, data->data(), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result != 0) {
      data->clear();
      return result;
    }
    if (expectedType != kAnyRegType && actualType != expectedType) {
      data->clear();
      return ERROR_BAD_FORMAT;
    }
    data->resize(size);
    return 0;
  }
  data->clear();
  return ERROR_MORE_DATA;
}

std::string readStringValue(HKEY root, const char* subkey, const char* name, uint32_t* error, RegView view) {
  HKEY key;
  uint32_t result = openKeyForReading(root, subkey, &key, view);
  std::vector<uint8_t> data;
  if (result == 0) {
    result = queryValue(key, name, REG_SZ, &data);
    RegCloseKey(key);
  }
  if (error != nullptr) *error = result;
  if (result != 0 || data.empty()) return {};
  // Up to the terminator; a value stored without one still ends at its size.
  const auto* text = reinterpret_cast<const char*>(data.data());
  return std::string(text, strnlen(text, data.size()));
}

uint32_t readDwordValue(HKEY root, const char* subkey, const char* name, uint32_t* error, RegView view) {
  HKEY key;
  uint32_t result = openKeyForReading(root, subkey, &key, view);
  std::vector<uint8_t> data;
  if (result == 0) {
    result = queryValue(key, name, REG_DWORD, &data);
    RegCloseKey(key);
  }
  if (result == 0 && data.size() != sizeof(uint32_t)) result = ERROR_INVALID_DATA;
  if (error != nullptr) *error = result;
  if (result != 0) return 0;
  uint32_t value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

uint32_t writeStringValue(HKEY root, const char* subkey, const char* name, const char* text, RegView view) {
  HKEY key;
  uint32_t result = openOrCreateKey(root, subkey, &key, view);
  if (result != 0) return result;
  result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), stringDataSize(text));
  RegCloseKey(key);
  return result;
}

uint32_t writeStringIfChanged(HKEY key, const char* name, const char* text) {
  const DWORD size = stringDataSize(text);
  if (storedEquals(key, name, REG_SZ, text, size)) return 0;
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

uint32_t writeDwordIfChanged(HKEY key, const char* name, uint32_t value) {
  const DWORD data = value;
  if (storedEquals(key, name, REG_DWORD, &data, sizeof data)) return 0;
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

uint32_t deleteKeyTree(HKEY key, const char* subkey, RegView view) {
  // An empty name would stand for the key itself: never empty a parent by accident.
  if (subkey == nullptr || *subkey == 0) return ERROR_INVALID_PARAMETER;
  if (RegDeleteKeyA(key, subkey) == 0) return 0;
  HKEY opened;
  const LONG result = RegOpenKeyExA(key, subkey, 0, withView(KEY_ALL_ACCESS, view), &opened);
  if (result == ERROR_FILE_NOT_FOUND) return 0;
  if (result != 0) return result;
  std::string previous;
  for (;;) {
    char name[260];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(opened, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
    // A subkey that stays after being deleted would keep this loop going for ever.
    if (previous == name) break;
    previous = name;
    if (const uint32_t error = deleteKeyTree(opened, name, view)) {
      RegCloseKey(opened);
      return error;
    }
  }
  RegCloseKey(opened);
  return RegDeleteKeyA(key, subkey);
}

uint32_t deleteKeyIfEmpty(HKEY root, const char* subkey, const char* name, RegView view) {
  if (name == nullptr || *name == 0) return ERROR_INVALID_PARAMETER;
  HKEY parent;
  uint32_t result = RegOpenKeyExA(root, subkey, 0, withView(KEY_ALL_ACCESS, view), &parent);
  if (result != 0) return result;
  HKEY key;
  result = RegOpenKeyExA(parent, name, 0, withView(KEY_READ, view), &key);
  if (result == 0) {
    DWORD subkeys = 0;
    result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (result == 0 && subkeys != 0) result = ERROR_DIR_NOT_EMPTY;
    if (result == 0) result = RegDeleteKeyA(parent, name);
  }
  RegCloseKey(parent);
  return result;
}

uint32_t deleteKeyInBothViews(HKEY root, const char* subkey, const char* name) {
  return inBothViews(root, subkey, name, deleteKeyTree);
}

uint32_t deleteValueInBothViews(HKEY root, const char* subkey, const char* name) {
  return inBothViews(root, subkey, name, deleteValueIn);
}
