#include "Bcimageutil.h"

#include "Bcimageutil_impl.h"
#include "Guicontrols.h"
#include "Imagedecodeutil.h"

namespace {

bool decodePngResource(ResourceType type, int32_t id, Picture* picture) {
  const ResourceBytes bytes = programResource(type, id);
  if (bytes.data == nullptr) return false;
  DecodedImage decoded;
  if (decodePng(bytes.data, bytes.size, &decoded) != ImageError::none) return false;
  *picture = Picture::fromImage(decoded);
  return true;
}

bool decodeBitmapResource(int32_t id, Picture* picture) {
  const ResourceBytes bytes = programResource(ResourceType::bitmap, id);
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
  const bool loaded = kind == kResourcePng ? decodePngResource(ResourceType::binres, id, &picture)
                                           : decodeBitmapResource(id, &picture);
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
  const bool loaded = id != 0 && decodePngResource(ResourceType::rcdata, id, &picture);
  image->setPicture(picture);
  return id == 0 || loaded;
}
