// PNG files are outside data: any bytes must decode or fail without a fault or a runaway allocation.
// CRCs and the zlib stream would stop most mutations at the door, so the harness also decodes the
// input with its chunk CRCs made right, and builds a valid file around inputs that are not PNG files:
// width, height, bit depth, colour type, interlace, palette entries, tRNS length, palette, tRNS,
// then the filtered pixel data, which it compresses.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Imagedecodeutil.h"

namespace {

void check(const std::vector<uint8_t>& bytes) {
  DecodedImage image;
  if (decodePng(bytes.data(), bytes.size(), &image) == ImageError::none) {
    if (image.rgba.size() != size_t(image.width) * image.height * 4) abort();
    premultipliedBgra(image);
  } else if (!image.rgba.empty() || image.width != 0) {
    abort();
  }
}

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* body, size_t length) {
  putBe32(out, uint32_t(length));
  size_t at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body, body + length);
  putBe32(out, uint32_t(crc32(0, out.data() + at, uInt(length + 4))));
}

void fixCrcs(std::vector<uint8_t>& bytes) {
  size_t pos = 8;
  while (bytes.size() - pos >= 12) {
    uint32_t length =
        uint32_t(bytes[pos]) << 24 | bytes[pos + 1] << 16 | bytes[pos + 2] << 8 | bytes[pos + 3];
    if (length > bytes.size() - pos - 12) return;
    uint32_t crc = uint32_t(crc32(0, bytes.data() + pos + 4, uInt(length + 4)));
    for (int i = 0; i < 4; ++i) bytes[pos + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
    pos += 12 + length;
  }
}

std::vector<uint8_t> synthesize(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  if (size < 7) return out;
  std::vector<uint8_t> ihdr;
  putBe32(ihdr, 1u + data[0] % 70);
  putBe32(ihdr, 1u + data[1] % 70);
  ihdr.insert(ihdr.end(), {data[2], data[3], 0, 0, uint8_t(data[4] & 1)});
  putChunk(out, "IHDR", ihdr.data(), ihdr.size());
  size_t plte = size_t(data[5]) * 3, trns = data[6], pos = 7;
  if (plte && size - pos >= plte) putChunk(out, "PLTE", data + pos, plte), pos += plte;
  if (trns && size - pos >= trns) putChunk(out, "tRNS", data + pos, trns), pos += trns;
  uLongf length = compressBound(uLong(size - pos));
  std::vector<uint8_t> z(length);
  compress2(z.data(), &length, data + pos, uLong(size - pos), 1);
  putChunk(out, "IDAT", z.data(), length);
  putChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  check(bytes);
  if (size >= 8 && std::memcmp(data, "\x89PNG", 4) == 0) {
    fixCrcs(bytes);
    check(bytes);
  } else {
    check(synthesize(data, size));
  }
  return 0;
}
