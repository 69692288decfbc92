// PNG decoding over zlib's inflate: chunk walk with CRC checks, inflate, unfiltering, Adam7.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "Imagedecodeutil.h"

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

uint32_t readBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint16_t readBe16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

bool chunkIs(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

struct PngHeader {
  uint32_t width = 0, height = 0;
  uint8_t bitDepth = 0, colourType = 0, interlace = 0;
};

enum : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

unsigned channelCount(uint8_t colourType) {
  switch (colourType) {
    case kGrey:
    case kPalette:
      return 1;
    case kGreyAlpha:
      return 2;
    case kRgb:
      return 3;
    case kRgba:
      return 4;
  }
  return 0;
}

bool depthAllowed(uint8_t colourType, uint8_t depth) {
  switch (colourType) {
    case kGrey:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgba:
      return depth == 8 || depth == 16;
  }
  return false;
}

ImageError readHeader(const uint8_t* d, uint32_t length, PngHeader* h) {
  if (length != 13) return ImageError::badChunk;
  h->width = readBe32(d);
  h->height = readBe32(d + 4);
  h->bitDepth = d[8];
  h->colourType = d[9];
  h->interlace = d[12];
  if (h->width == 0 || h->height == 0 || h->width > kMaxChunkLength || h->height > kMaxChunkLength)
    return ImageError::badHeader;
  if (!depthAllowed(h->colourType, h->bitDepth) || d[10] != 0 || d[11] != 0 || h->interlace > 1)
    return ImageError::badHeader;
  if (uint64_t(h->width) * h->height > kMaxImagePixels) return ImageError::tooLarge;
  return ImageError::none;
}

// One pass of the picture: the whole picture, or one of the seven Adam7 sub-pictures.
struct Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr Pass kWholePass[1] = {{0, 0, 1, 1}};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t passExtent(uint32_t size, uint32_t start, uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

uint64_t rowBytes(uint32_t width, unsigned bitsPerPixel) { return (uint64_t(width) * bitsPerPixel + 7) / 8; }

// Filtered size of all passes: each non-empty row is a filter byte and its pixel bytes.
uint64_t filteredSize(const PngHeader& h, const Pass* passes, int passCount) {
  unsigned bits = channelCount(h.colourType) * h.bitDepth;
  uint64_t total = 0;
  for (int i = 0; i < passCount; ++i) {
    uint32_t w = passExtent(h.width, passes[i].x0, passes[i].dx);
    uint32_t rows = passExtent(h.height, passes[i].y0, passes[i].dy);
    if (w != 0) total += uint64_t(rows) * (1 + rowBytes(w, bits));
  }
  return total;
}

// Streams the IDAT chunks through inflate into a buffer that grows with the output actually
// produced, so a small file claiming large dimensions allocates little.
class Inflater {
 public:
  explicit Inflater(size_t expected) : expected_(expected) {}
  ~Inflater() {
    if (started_) inflateEnd(&zs_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  ImageError feed(const uint8_t* data, uint32_t length) {
    if (!started_) {
      std::memset(&zs_, 0, sizeof zs_);
      int rc = inflateInit(&zs_);
      if (rc != Z_OK) return rc == Z_MEM_ERROR ? ImageError::outOfMemory : ImageError::zlibError;
      started_ = true;
    }
    if (ended_) return ImageError::none;  // bytes after the end of the stream are ignored
    zs_.next_in = const_cast<Bytef*>(data);
    zs_.avail_in = length;
    for (;;) {
      if (filled_ == out_.size()) {
        // One byte of room past the expected size shows a stream that is too long.
        if (out_.size() > expected_) return ImageError::dataSize;
        size_t grown = out_.size() < 65536 ? 65536 : out_.size() * 2;
        if (grown > expected_ + 1 || grown < out_.size()) grown = expected_ + 1;
        out_.resize(grown);
      }
      zs_.next_out = out_.data() + filled_;
      zs_.avail_out = uInt(out_.size() - filled_);
      int rc = inflate(&zs_, Z_NO_FLUSH);
      filled_ = out_.size() - zs_.avail_out;
      if (filled_ > expected_) return ImageError::dataSize;
      if (rc == Z_STREAM_END) {
        ended_ = true;
        return ImageError::none;
      }
      if (rc == Z_MEM_ERROR) return ImageError::outOfMemory;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return ImageError::zlibError;
      if (zs_.avail_in == 0 && zs_.avail_out != 0) return ImageError::none;
      if (rc == Z_BUF_ERROR && zs_.avail_out != 0) return ImageError::zlibError;  // no progress
    }
  }

  // After the last IDAT: the stream must be complete (checksum included) and exactly as long as
  // the dimensions require.
  ImageError finish() {
    if (!started_) return ImageError::dataSize;
    if (!ended_) return filled_ < expected_ ? ImageError::dataSize : ImageError::zlibError;
    if (filled_ != expected_) return ImageError::dataSize;
    out_.resize(filled_);
    return ImageError::none;
  }

  std::vector<uint8_t>& data() { return out_; }

 private:
  z_stream zs_;
  bool started_ = false;
  bool ended_ = false;
  size_t expected_;
  size_t filled_ = 0;
  std::vector<uint8_t> out_;
};

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
  int p = int(a) + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the row filter in place; prior is the previous unfiltered row of the pass, or null.
bool unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = bpp; i < length; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
      return true;
    case 2:
      if (prior)
        for (size_t i = 0; i < length; ++i) row[i] = uint8_t(row[i] + prior[i]);
      return true;
    case 3:
      for (size_t i = 0; i < length; ++i) {
        unsigned left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
        row[i] = uint8_t(row[i] + ((left + up) >> 1));
      }
      return true;
    case 4:
      for (size_t i = 0; i < length; ++i) {
        uint8_t left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
        uint8_t upLeft = (prior && i >= bpp) ? prior[i - bpp] : 0;
        row[i] = uint8_t(row[i] + paeth(left, up, upLeft));
      }
      return true;
  }
  return false;
}

struct Palette {
  uint8_t rgb[256][3] = {};
  uint8_t alpha[256];
  unsigned count = 0;
  Palette() { std::memset(alpha, 255, sizeof alpha); }
};

// The colour key of tRNS for greyscale and RGB pictures, in sample units.
struct ColourKey {
  bool present = false;
  uint16_t value[3] = {};
};

class RowConverter {
 public:
  RowConverter(const PngHeader& h, const Palette& palette, const ColourKey& key)
      : h_(h), palette_(palette), key_(key), channels_(channelCount(h.colourType)) {}

  // Sample s of pixel i in an unfiltered row, at the picture's bit depth.
  unsigned sample(const uint8_t* row, uint32_t i, unsigned s) const {
    switch (h_.bitDepth) {
      case 8:
        return row[size_t(i) * channels_ + s];
      case 16:
        return readBe16(row + (size_t(i) * channels_ + s) * 2);
    }
    // Sub-byte depths have one channel; pixels are packed from the high bits down.
    size_t bit = size_t(i) * h_.bitDepth;
    unsigned shift = 8 - h_.bitDepth - unsigned(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << h_.bitDepth) - 1);
  }

  uint8_t to8(unsigned v) const {
    if (h_.bitDepth == 16) return uint8_t(v >> 8);
    if (h_.bitDepth == 8) return uint8_t(v);
    return uint8_t(v * 255 / ((1u << h_.bitDepth) - 1));
  }

  bool pixel(const uint8_t* row, uint32_t i, uint8_t* px) const {
    switch (h_.colourType) {
      case kGrey: {
        unsigned v = sample(row, i, 0);
        px[0] = px[1] = px[2] = to8(v);
        px[3] = key_.present && v == key_.value[0] ? 0 : 255;
        return true;
      }
      case kRgb: {
        unsigned r = sample(row, i, 0), g = sample(row, i, 1), b = sample(row, i, 2);
        px[0] = to8(r), px[1] = to8(g), px[2] = to8(b);
        px[3] = key_.present && r == key_.value[0] && g == key_.value[1] && b == key_.value[2] ? 0 : 255;
        return true;
      }
      case kPalette: {
        unsigned index = sample(row, i, 0);
        if (index >= palette_.count) return false;
        std::memcpy(px, palette_.rgb[index], 3);
        px[3] = palette_.alpha[index];
        return true;
      }
      case kGreyAlpha:
        px[0] = px[1] = px[2] = to8(sample(row, i, 0));
        px[3] = to8(sample(row, i, 1));
        return true;
      default:
        for (unsigned s = 0; s < 4; ++s) px[s] = to8(sample(row, i, s));
        return true;
    }
  }

 private:
  const PngHeader& h_;
  const Palette& palette_;
  const ColourKey& key_;
  unsigned channels_;
};

ImageError reconstruct(const PngHeader& h, const Palette& palette, const ColourKey& key,
                       std::vector<uint8_t>& raw, DecodedImage* out) {
  const Pass* passes = h.interlace ? kAdam7 : kWholePass;
  int passCount = h.interlace ? 7 : 1;
  unsigned bits = channelCount(h.colourType) * h.bitDepth;
  size_t bpp = bits >= 8 ? bits / 8 : 1;
  RowConverter convert(h, palette, key);
  out->rgba.resize(size_t(h.width) * h.height * 4);
  size_t pos = 0;
  for (int p = 0; p < passCount; ++p) {
    const Pass& pass = passes[p];
    uint32_t w = passExtent(h.width, pass.x0, pass.dx);
    uint32_t rows = passExtent(h.height, pass.y0, pass.dy);
    if (w == 0) continue;
    size_t length = size_t(rowBytes(w, bits));
    const uint8_t* prior = nullptr;
    for (uint32_t r = 0; r < rows; ++r) {
      uint8_t* row = raw.data() + pos + 1;
      if (!unfilterRow(raw[pos], row, prior, length, bpp)) return ImageError::badFilter;
      size_t y = pass.y0 + size_t(r) * pass.dy;
      for (uint32_t i = 0; i < w; ++i) {
        size_t x = pass.x0 + size_t(i) * pass.dx;
        if (!convert.pixel(row, i, &out->rgba[(y * h.width + x) * 4])) return ImageError::badPaletteIndex;
      }
      prior = row;
      pos += 1 + length;
    }
  }
  out->width = h.width;
  out->height = h.height;
  return ImageError::none;
}

class PngDecoder {
 public:
  ImageError run(const uint8_t* data, size_t size, DecodedImage* out) {
    if (size < sizeof kSignature) return ImageError::truncated;
    if (std::memcmp(data, kSignature, sizeof kSignature) != 0) return ImageError::badSignature;
    size_t pos = sizeof kSignature;
    for (;;) {
      if (size - pos < 12) return ImageError::truncated;
      uint32_t length = readBe32(data + pos);
      if (length > kMaxChunkLength) return ImageError::badChunk;
      if (size - pos - 12 < length) return ImageError::truncated;
      const uint8_t* type = data + pos + 4;
      const uint8_t* body = type + 4;
      if (uint32_t(crc32(crc32(0, nullptr, 0), type, 4 + length)) != readBe32(body + length))
        return ImageError::badCrc;
      pos += 12 + size_t(length);
      if (chunkIs(type, "IEND")) break;
      ImageError e = chunk(type, body, length);
      if (e != ImageError::none) return e;
    }
    if (!inflater_) return ImageError::dataSize;  // no IDAT
    ImageError e = inflater_->finish();
    if (e != ImageError::none) return e;
    return reconstruct(header_, palette_, key_, inflater_->data(), out);
  }

 private:
  ImageError chunk(const uint8_t* type, const uint8_t* body, uint32_t length) {
    bool haveHeader = header_.width != 0;
    if (chunkIs(type, "IHDR")) return haveHeader ? ImageError::badChunk : readHeader(body, length, &header_);
    if (!haveHeader) return ImageError::badChunk;
    bool idat = chunkIs(type, "IDAT");
    if (inflater_ && !idat) afterData_ = true;
    if (idat) return imageData(body, length);
    if (chunkIs(type, "PLTE")) return paletteChunk(body, length);
    if (chunkIs(type, "tRNS")) return transparencyChunk(body, length);
    // Bit 5 of the first letter clear: a critical chunk this decoder does not know.
    return (type[0] & 0x20) ? ImageError::none : ImageError::badChunk;
  }

  ImageError imageData(const uint8_t* body, uint32_t length) {
    if (afterData_) return ImageError::badChunk;  // IDAT chunks must be consecutive
    if (!inflater_) {
      if (header_.colourType == kPalette && palette_.count == 0) return ImageError::missingPalette;
      const Pass* passes = header_.interlace ? kAdam7 : kWholePass;
      uint64_t expected = filteredSize(header_, passes, header_.interlace ? 7 : 1);
      if (expected > SIZE_MAX - 1) return ImageError::tooLarge;
      inflater_.emplace(size_t(expected));
    }
    return inflater_->feed(body, length);
  }

  ImageError paletteChunk(const uint8_t* body, uint32_t length) {
    if (inflater_ || palette_.count != 0 || key_.present || trnsSeen_) return ImageError::badChunk;
    if (header_.colourType == kGrey || header_.colourType == kGreyAlpha) return ImageError::badChunk;
    if (length == 0 || length % 3 != 0 || length / 3 > 256) return ImageError::badChunk;
    // A suggested palette for a true-colour picture is not needed.
    if (header_.colourType != kPalette) return ImageError::none;
    unsigned count = length / 3;
    if (count > (1u << header_.bitDepth)) return ImageError::badChunk;
    std::memcpy(palette_.rgb, body, length);
    palette_.count = count;
    return ImageError::none;
  }

  ImageError transparencyChunk(const uint8_t* body, uint32_t length) {
    if (inflater_ || trnsSeen_) return ImageError::badChunk;
    trnsSeen_ = true;
    switch (header_.colourType) {
      case kPalette:
        if (palette_.count == 0 || length > palette_.count) return ImageError::badChunk;
        std::memcpy(palette_.alpha, body, length);
        return ImageError::none;
      case kGrey:
        if (length != 2) return ImageError::badChunk;
        key_.present = true;
        key_.value[0] = readBe16(body);
        return ImageError::none;
      case kRgb:
        if (length != 6) return ImageError::badChunk;
        key_.present = true;
        for (int i = 0; i < 3; ++i) key_.value[i] = readBe16(body + 2 * i);
        return ImageError::none;
    }
    return ImageError::badChunk;  // pictures with an alpha channel have no tRNS
  }

  PngHeader header_;
  Palette palette_;
  ColourKey key_;
  bool trnsSeen_ = false;
  bool afterData_ = false;
  std::optional<Inflater> inflater_;
};

}  // namespace

ImageError decodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  *out = DecodedImage();
  if (!data) return ImageError::truncated;
  ImageError e;
  try {
    PngDecoder decoder;
    e = decoder.run(data, size, out);
  } catch (const std::bad_alloc&) {
    e = ImageError::outOfMemory;
  }
  if (e != ImageError::none) *out = DecodedImage();
  return e;
}
