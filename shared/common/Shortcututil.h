// Shell links (.lnk files): creating a shortcut to a program.
#pragma once

#include <cstdint>

// Saves a shortcut at linkPath to target (single-byte, system code page), starting in workingFolder with
// the arguments (either may be null), a normal window and the target's first icon. 0, or the failing
// COM result code.
uint32_t createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder,
                        const char* arguments);
