// Resource bitmaps: a DIB header, its colour table and uncompressed pixels, into RGBA.
#include <cstring>
#include <new>

#include "Imagedecodeutil.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;

uint32_t readLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t readLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct DibLayout {
  uint32_t width, height;
  bool topDown;
  unsigned bitCount;
  const uint8_t* colours;  // RGBQUAD entries (B, G, R, reserved)
  uint32_t colourCount;
  const uint8_t* pixels;
  size_t stride;
};

ImageError readLayout(const uint8_t* data, size_t size, DibLayout* l) {
  if (size < kInfoHeaderSize) return ImageError::truncated;
  uint32_t headerSize = readLe32(data);
  // The 12-byte core header of old bitmaps is not used by our resources.
  if (headerSize < kInfoHeaderSize) return ImageError::unsupported;
  if (headerSize > size) return ImageError::truncated;
  int32_t width = int32_t(readLe32(data + 4));
  int32_t height = int32_t(readLe32(data + 8));
  l->bitCount = readLe16(data + 14);
  uint32_t compression = readLe32(data + 16);
  uint32_t coloursUsed = readLe32(data + 32);
  if (width <= 0 || height == 0 || height == INT32_MIN) return ImageError::badHeader;
  l->width = uint32_t(width);
  l->topDown = height < 0;
  l->height = uint32_t(height < 0 ? -height : height);
  if (uint64_t(l->width) * l->height > kMaxImagePixels) return ImageError::tooLarge;
  unsigned b = l->bitCount;
  if (compression != kBiRgb || (b != 1 && b != 4 && b != 8 && b != 24 && b != 32))
    return ImageError::unsupported;

  // Paletted bitmaps carry 2^bits entries unless biClrUsed says fewer; true-colour bitmaps may
  // carry an optional table that is skipped.
  if (b <= 8) {
    if (coloursUsed > (1u << b)) return ImageError::badHeader;
    l->colourCount = coloursUsed ? coloursUsed : 1u << b;
  } else {
    if (coloursUsed > 256) return ImageError::badHeader;
    l->colourCount = coloursUsed;
  }
  size_t tableEnd = headerSize + size_t(l->colourCount) * 4;
  if (tableEnd > size) return ImageError::truncated;
  l->colours = data + headerSize;
  uint64_t stride = (uint64_t(l->width) * b + 31) / 32 * 4;
  if (stride * l->height > size - tableEnd) return ImageError::truncated;
  l->stride = size_t(stride);
  l->pixels = data + tableEnd;
  return ImageError::none;
}

unsigned paletteIndex(const uint8_t* row, uint32_t x, unsigned bits) {
  size_t bit = size_t(x) * bits;
  unsigned shift = 8 - bits - unsigned(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

ImageError convertRows(const DibLayout& l, DecodedImage* out) {
  out->rgba.resize(size_t(l.width) * l.height * 4);
  for (uint32_t y = 0; y < l.height; ++y) {
    const uint8_t* row = l.pixels + size_t(l.topDown ? y : l.height - 1 - y) * l.stride;
    uint8_t* px = &out->rgba[size_t(y) * l.width * 4];
    for (uint32_t x = 0; x < l.width; ++x, px += 4) {
      const uint8_t* bgr;
      if (l.bitCount <= 8) {
        unsigned index = paletteIndex(row, x, l.bitCount);
        if (index >= l.colourCount) return ImageError::badPaletteIndex;
        bgr = l.colours + size_t(index) * 4;
      } else {
        bgr = row + size_t(x) * (l.bitCount / 8);
      }
      px[0] = bgr[2], px[1] = bgr[1], px[2] = bgr[0], px[3] = 255;
    }
  }
  out->width = l.width;
  out->height = l.height;
  return ImageError::none;
}

}  // namespace

ImageError decodeDib(const uint8_t* data, size_t size, DecodedBitmap* out) {
  *out = DecodedBitmap();
  if (!data) return ImageError::truncated;
  DibLayout layout;
  ImageError e = readLayout(data, size, &layout);
  try {
    if (e == ImageError::none) e = convertRows(layout, &out->image);
  } catch (const std::bad_alloc&) {
    e = ImageError::outOfMemory;
  }
  if (e != ImageError::none) {
    *out = DecodedBitmap();
    return e;
  }
  const uint8_t* bottomLeft = &out->image.rgba[size_t(layout.height - 1) * layout.width * 4];
  out->transparentColour =
      uint32_t(bottomLeft[0]) | uint32_t(bottomLeft[1]) << 8 | uint32_t(bottomLeft[2]) << 16;
  return ImageError::none;
}
