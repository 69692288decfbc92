#include <windows.h>

#include "Bcimageutil.h"
#include "Bcimageutil_impl.h"
#include "Guiform.h"

ResourceBytes programResource(ResourceType type, int32_t id) {
  if (id <= 0 || id > 0xFFFF) return {};
  static const wchar_t* const kTypes[] = {MAKEINTRESOURCEW(2), L"BINRES",
                                          MAKEINTRESOURCEW(10)};  // RT_BITMAP, RT_RCDATA
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), kTypes[size_t(type)]);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return {static_cast<const uint8_t*>(data), SizeofResource(module, found)};
}

namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// The image of an icon file nearest to the wanted size (0 in the directory means 256).
HICON iconOfSize(const ResourceBytes& file, int wanted) {
  if (file.size < 6 || le16(file.data + 2) != 1) return nullptr;
  const size_t count = le16(file.data + 4);
  if (file.size < 6 + 16 * count) return nullptr;
  const uint8_t* best = nullptr;
  int bestDistance = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = file.data + 6 + 16 * i;
    const int width = entry[0] == 0 ? 256 : entry[0];
    const uint32_t bytes = le32(entry + 8), offset = le32(entry + 12);
    if (offset > file.size || bytes > file.size - offset) continue;
    const int distance = width >= wanted ? width - wanted : 2 * (wanted - width);  // rather larger
    if (best == nullptr || distance < bestDistance) best = entry, bestDistance = distance;
  }
  if (best == nullptr) return nullptr;
  return CreateIconFromResourceEx(const_cast<uint8_t*>(file.data + le32(best + 12)), le32(best + 8), TRUE,
                                  0x00030000, wanted, wanted, LR_DEFAULTCOLOR);
}

}  // namespace

bool LoadFormIcon(Form* form, int32_t id) {
  if (form == nullptr) return false;
  const ResourceBytes file = programResource(ResourceType::rcdata, id);
  HICON bigIcon = iconOfSize(file, GetSystemMetrics(SM_CXICON));
  HICON smallIcon = iconOfSize(file, GetSystemMetrics(SM_CXSMICON));
  if (bigIcon == nullptr || smallIcon == nullptr) {
    if (bigIcon != nullptr) DestroyIcon(bigIcon);
    if (smallIcon != nullptr) DestroyIcon(smallIcon);
    return false;
  }
  // The icons live as long as the program; a form gets its icon once.
  HWND window = static_cast<HWND>(form->handle());
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  return true;
}
