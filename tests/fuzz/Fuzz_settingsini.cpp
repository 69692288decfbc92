// The settings file can be edited by anyone: any text must parse, and a value that can be stored
// must read back after it is set, with setting it again changing nothing.
// Input: the ini text, optionally followed by NUL, section, NUL, key, NUL, value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Appsetupiniutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view parts[4] = {input, "Display", "Lang", "DEU"};
  // The last part keeps any further NULs.
  for (int i = 0; i < 3; ++i) {
    size_t nul = parts[i].find('\0');
    if (nul == std::string_view::npos) break;
    parts[i + 1] = parts[i].substr(nul + 1);
    parts[i] = parts[i].substr(0, nul);
  }
  std::string_view text = parts[0], section = parts[1], key = parts[2], value = parts[3];
  std::string read, once, twice;
  iniReadValue(text, section, key, &read);
  if (!iniSetValue(text, section, key, value, &once)) {
    if (iniCanStore(section, key, value)) abort();
    return 0;
  }
  if (!iniReadValue(once, section, key, &read) || read != value) abort();
  if (!iniSetValue(once, section, key, value, &twice) || twice != once) abort();
  return 0;
}
