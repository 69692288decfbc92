// "BINRES" resources of a module: finding them, reading their bytes, writing them out as files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "Fileutil.h"

// A resource as the loader maps it: valid as long as the module stays loaded.
struct ResourceBlock {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// The "BINRES" resource with the numeric id in the module (nullptr: the program's own file).
// 0 with *block filled, or a Windows error code with *block left empty.
uint32_t findResourceBlock(HMODULE module, uint32_t id, ResourceBlock* block);

// Size of the program's own "BINRES" resource of that id; 0 when there is none.
uint32_t resourceBlockSize(uint32_t id);

// A copy of the program's own "BINRES" resource of that id; empty when there is none (*error, when
// given, receives 0 or the Windows error code).
std::vector<uint8_t> readResourceBytes(uint32_t id, uint32_t* error = nullptr);

// Writes the "BINRES" resource with that id of a module file (null: the program itself), loaded as
// data only, to targetPath with writeWholeFile. 0 or the error code.
uint32_t extractResourceBlock(const char* moduleFile, const char* targetPath, uint32_t id,
                              UsersAccess access = UsersAccess::full);
