// Bitmap resources are read from bytes: any bytes must decode or fail without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Imagedecodeutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodedBitmap bitmap;
  if (decodeDib(data, size, &bitmap) == ImageError::none) {
    if (bitmap.image.rgba.size() != size_t(bitmap.image.width) * bitmap.image.height * 4) abort();
    clearColourToTransparent(&bitmap.image, bitmap.transparentColour);
  }
  return 0;
}
