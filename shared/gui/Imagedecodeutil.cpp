// Conversions of decoded pictures for drawing.
#include "Imagedecodeutil.h"

void clearColourToTransparent(DecodedImage* image, uint32_t colour) {
  uint8_t r = uint8_t(colour), g = uint8_t(colour >> 8), b = uint8_t(colour >> 16);
  for (size_t i = 0; i + 3 < image->rgba.size(); i += 4) {
    uint8_t* px = &image->rgba[i];
    if (px[0] == r && px[1] == g && px[2] == b) px[3] = 0;
  }
}

std::vector<uint8_t> premultipliedBgra(const DecodedImage& image) {
  std::vector<uint8_t> out(image.rgba.size());
  for (size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
    const uint8_t* px = &image.rgba[i];
    unsigned a = px[3];
    // Rounded c * a / 255.
    auto scale = [a](unsigned c) { return uint8_t((c * a + 127) / 255); };
    out[i] = scale(px[2]);
    out[i + 1] = scale(px[1]);
    out[i + 2] = scale(px[0]);
    out[i + 3] = uint8_t(a);
  }
  return out;
}
