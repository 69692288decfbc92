// Picture decoding from bytes: PNG files and resource bitmaps (DIB) into 8-bit straight RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A decoded picture: rows top to bottom, 4 bytes per pixel in the order R, G, B, A, alpha not
// premultiplied.
struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};

// Why a picture could not be decoded. Every failure leaves the output picture empty.
enum class ImageError : uint8_t {
  none,
  truncated,        // the bytes end inside a structure (signature, chunk, header, pixel data)
  badSignature,     // not a PNG file
  badCrc,           // a chunk's CRC does not match its type and data
  badHeader,        // invalid header fields or combination of colour type and bit depth
  badChunk,         // chunk out of order, repeated, of wrong length, or unknown critical chunk
  missingPalette,   // paletted picture without PLTE
  badPaletteIndex,  // a pixel names a palette entry that does not exist
  badFilter,        // a row names a filter type other than 0 to 4
  zlibError,        // the compressed data is not a valid zlib stream
  dataSize,         // the pixel data is shorter or longer than the dimensions require
  tooLarge,         // more than kMaxImagePixels pixels
  unsupported,      // a valid bitmap this reader does not handle (compression, bit depth)
  outOfMemory,
};

// Larger pictures are refused before anything is allocated for them.
constexpr uint64_t kMaxImagePixels = 64ull * 1024 * 1024;

// Decodes a complete PNG file: every colour type and bit depth, tRNS, Adam7 interlacing. CRCs
// of all chunks and the zlib checksum are verified. 16-bit samples are reduced to their high byte.
ImageError decodePng(const uint8_t* data, size_t size, DecodedImage* out);

// A bitmap resource: a BITMAPINFOHEADER (or a later, longer header) followed by the colour table
// and the pixels, as a bitmap resource holds it (no file header). Uncompressed 1, 4 and 8 bits per
// pixel with a colour table, and 24 and 32 bits (the fourth byte is ignored); bottom-up or
// top-down. All pixels come out opaque.
struct DecodedBitmap {
  DecodedImage image;
  // The colour drawn as transparent: that of the bottom-left pixel, as a COLORREF (0x00BBGGRR).
  uint32_t transparentColour = 0;
};
ImageError decodeDib(const uint8_t* data, size_t size, DecodedBitmap* out);

// Gives alpha 0 to every pixel of the given colour (0x00BBGGRR), so that a bitmap with a
// transparent colour can be drawn like a PNG with alpha.
void clearColourToTransparent(DecodedImage* image, uint32_t colour);

// The picture as premultiplied B, G, R, A bytes, top-down: what AlphaBlend with AC_SRC_ALPHA
// expects from a 32-bit DIB section.
std::vector<uint8_t> premultipliedBgra(const DecodedImage& image);
