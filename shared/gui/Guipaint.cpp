#include "Guipaint.h"

Picture Picture::fromImage(const DecodedImage& image) {
  Picture p;
  if (image.width == 0 || image.height == 0) return p;
  auto d = std::make_shared<Data>();
  d->width = int(image.width);
  d->height = int(image.height);
  d->pixels = premultipliedBgra(image);
  p.data_ = std::move(d);
  return p;
}

Picture Picture::fromBitmap(const DecodedBitmap& bitmap) {
  Picture p = fromImage(bitmap.image);
  if (p.empty()) return p;
  auto d = std::make_shared<Data>(*p.data_);
  d->bitmap = true;
  d->transparentColour = bitmap.transparentColour;
  DecodedImage keyed = bitmap.image;
  clearColourToTransparent(&keyed, bitmap.transparentColour);
  d->keyedPixels = premultipliedBgra(keyed);
  p.data_ = std::move(d);
  return p;
}

const std::vector<uint8_t>& Picture::pixels(bool keyed) const {
  static const std::vector<uint8_t> none;
  if (!data_) return none;
  return keyed && data_->bitmap ? data_->keyedPixels : data_->pixels;
}

std::shared_ptr<NativePicture>& Picture::native(bool keyed) const {
  return data_->native[keyed && data_->bitmap ? 1 : 0];
}
