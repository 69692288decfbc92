#include <windows.h>

#include "Bcimageutil.h"
#include "Guicontrols.h"
#include "Guiform.h"
#include "Imagedecodeutil.h"

namespace {

// The bytes of a resource of the program's own file; empty when it is missing.
struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

Bytes resourceBytes(int32_t id, const wchar_t* type) {
  if (id <= 0 || id > 0xFFFF) return {};
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return {static_cast<const uint8_t*>(data), SizeofResource(module, found)};
}

bool decodePngResource(int32_t id, const wchar_t* type, Picture* picture) {
  const Bytes bytes = resourceBytes(id, type);
  if (bytes.data == nullptr) return false;
  DecodedImage decoded;
  if (decodePng(bytes.data, bytes.size, &decoded) != ImageError::none) return false;
  *picture = Picture::fromImage(decoded);
  return true;
}

bool decodeBitmapResource(int32_t id, Picture* picture) {
  const Bytes bytes = resourceBytes(id, MAKEINTRESOURCEW(2));  // RT_BITMAP
  if (bytes.data == nullptr) return false;
  DecodedBitmap decoded;
  if (decodeDib(bytes.data, bytes.size, &decoded) != ImageError::none) return false;
  *picture = Picture::fromBitmap(decoded);
  return true;
}

}  // namespace

bool LoadImage(Image* image, int32_t id, uint8_t kind) {
  if (image == nullptr || id == -1) return false;
  Picture picture;
  const bool loaded =
      kind == kResourcePng ? decodePngResource(id, L"BINRES", &picture) : decodeBitmapResource(id, &picture);
  if (!loaded) return false;
  image->setPicture(picture);
  return true;
}

Image* CreateImage(Container* owner, int32_t id, uint8_t kind) {
  if (owner == nullptr) return nullptr;
  Image* image = owner->make<Image>();
  image->setVisible(true);
  image->setAutoSize(true);
  image->setTransparent(true);
  LoadImage(image, id, kind);
  return image;
}

bool LoadPngResource(Image* image, int32_t id) {
  if (image == nullptr) return false;
  Picture picture;
  const bool loaded = id != 0 && decodePngResource(id, MAKEINTRESOURCEW(10), &picture);  // RT_RCDATA
  image->setPicture(picture);
  return id == 0 || loaded;
}

namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// The image of an icon file nearest to the wanted size (0 in the directory means 256).
HICON iconOfSize(const Bytes& file, int wanted) {
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
  const Bytes file = resourceBytes(id, MAKEINTRESOURCEW(10));  // RT_RCDATA
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
