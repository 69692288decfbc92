#include <windows.h>

#include "Bcimageutil.h"
#include "Guicontrols.h"
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
