#include "Resourceutil.h"

namespace {

const char kBinResType[] = "BINRES";

uint32_t lastErrorOr(uint32_t fallback) {
  const DWORD e = GetLastError();
  return e != 0 ? e : fallback;
}

}  // namespace

uint32_t findResourceBlock(HMODULE module, uint32_t id, ResourceBlock* block) {
  *block = ResourceBlock{};
  // Resource ids are 16-bit; a larger number would be taken for a name pointer.
  if (id == 0 || id > 0xFFFF) return ERROR_RESOURCE_NAME_NOT_FOUND;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), kBinResType);
  if (found == nullptr) return lastErrorOr(ERROR_RESOURCE_NAME_NOT_FOUND);
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return lastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
  const void* data = LockResource(loaded);
  if (data == nullptr) return lastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
  block->data = static_cast<const uint8_t*>(data);
  block->size = size;
  return 0;
}

uint32_t resourceBlockSize(uint32_t id) {
  ResourceBlock block;
  return findResourceBlock(nullptr, id, &block) == 0 ? block.size : 0;
}

std::vector<uint8_t> readResourceBytes(uint32_t id, uint32_t* error) {
  ResourceBlock block;
  const uint32_t result = findResourceBlock(nullptr, id, &block);
  if (error != nullptr) *error = result;
  if (result != 0) return {};
  return std::vector<uint8_t>(block.data, block.data + block.size);
}

uint32_t extractResourceBlock(const char* moduleFile, const char* targetPath, uint32_t id,
                              UsersAccess access) {
  HMODULE module = nullptr;
  if (moduleFile != nullptr && *moduleFile != 0) {
    // As data: nothing of the file runs, and its imports are not loaded.
    module = LoadLibraryExA(moduleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr) return lastErrorOr(ERROR_FILE_NOT_FOUND);
  }
  ResourceBlock block;
  uint32_t result = findResourceBlock(module, id, &block);
  if (result == 0) result = writeWholeFile(targetPath, block.data, block.size, access);
  if (module != nullptr) FreeLibrary(module);
  return result;
}
