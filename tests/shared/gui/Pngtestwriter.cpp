// Test-side PNG writer.
#include "Pngtestwriter.h"

#include <zlib.h>

#include <cstdlib>

namespace {

unsigned channels(uint8_t colourType) {
  static const unsigned kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  return colourType < 7 ? kChannels[colourType] : 1;
}

struct Pass {
  uint32_t x0, y0, dx, dy;
};

uint8_t paethPredictor(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Packs one row of the pass: sub-byte samples from the high bits down, 16-bit big-endian.
std::vector<uint8_t> packRow(const PngPicture& p, const Pass& pass, uint32_t y, uint32_t count) {
  unsigned n = channels(p.colourType), depth = p.bitDepth;
  std::vector<uint8_t> row((size_t(count) * n * depth + 7) / 8, 0);
  size_t bit = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t x = pass.x0 + i * pass.dx;
    for (unsigned c = 0; c < n; ++c) {
      uint16_t v = p.samples[(size_t(y) * p.width + x) * n + c];
      if (depth == 16) {
        row[bit / 8] = uint8_t(v >> 8);
        row[bit / 8 + 1] = uint8_t(v);
      } else {
        row[bit / 8] |= uint8_t(v << (8 - depth - bit % 8));
      }
      bit += depth;
    }
  }
  return row;
}

}  // namespace

std::vector<uint8_t> filteredPngData(const PngPicture& p) {
  static const Pass kWhole[1] = {{0, 0, 1, 1}};
  static const Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  const Pass* passes = p.interlace ? kAdam7 : kWhole;
  int passCount = p.interlace ? 7 : 1;
  size_t bpp = (channels(p.colourType) * p.bitDepth + 7) / 8;
  std::vector<uint8_t> out;
  unsigned filter = 0;
  for (int k = 0; k < passCount; ++k) {
    const Pass& pass = passes[k];
    uint32_t w = p.width > pass.x0 ? (p.width - pass.x0 + pass.dx - 1) / pass.dx : 0;
    if (w == 0) continue;
    std::vector<uint8_t> prior;
    for (uint32_t y = pass.y0; y < p.height; y += pass.dy) {
      std::vector<uint8_t> row = packRow(p, pass, y, w);
      if (prior.empty()) prior.assign(row.size(), 0);
      out.push_back(uint8_t(filter));
      for (size_t i = 0; i < row.size(); ++i) {
        int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
        int predicted[5] = {0, a, b, (a + b) / 2, paethPredictor(a, b, c)};
        out.push_back(uint8_t(row[i] - predicted[filter]));
      }
      prior = row;
      filter = (filter + 1) % 5;
    }
  }
  return out;
}

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(uLong(data.size()));
  std::vector<uint8_t> out(size);
  compress2(out.data(), &size, data.data(), uLong(data.size()), 9);
  out.resize(size);
  return out;
}

std::vector<uint8_t> be32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

std::vector<PngChunk> pngChunksWithData(const PngPicture& p, const std::vector<uint8_t>& zlibData,
                                        size_t idatSize) {
  std::vector<PngChunk> chunks;
  std::vector<uint8_t> ihdr = be32(p.width);
  for (uint8_t b : be32(p.height)) ihdr.push_back(b);
  for (uint8_t b : {p.bitDepth, p.colourType, uint8_t(0), uint8_t(0), uint8_t(p.interlace ? 1 : 0)})
    ihdr.push_back(b);
  chunks.push_back({"IHDR", ihdr});
  if (!p.palette.empty()) chunks.push_back({"PLTE", p.palette});
  if (!p.trns.empty()) chunks.push_back({"tRNS", p.trns});
  for (size_t pos = 0; pos < zlibData.size(); pos += idatSize) {
    size_t n = std::min(idatSize, zlibData.size() - pos);
    chunks.push_back(
        {"IDAT", std::vector<uint8_t>(zlibData.begin() + long(pos), zlibData.begin() + long(pos + n))});
  }
  return chunks;
}

std::vector<PngChunk> pngChunks(const PngPicture& p, size_t idatSize) {
  return pngChunksWithData(p, zlibCompress(filteredPngData(p)), idatSize);
}

std::vector<uint8_t> pngFile(const std::vector<PngChunk>& chunks) {
  std::vector<uint8_t> out = {137, 80, 78, 71, 13, 10, 26, 10};
  auto append = [&out](const std::string& type, const std::vector<uint8_t>& body) {
    for (uint8_t b : be32(uint32_t(body.size()))) out.push_back(b);
    std::vector<uint8_t> typed(type.begin(), type.end());
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    for (uint8_t b : be32(uint32_t(crc32(0, typed.data(), uInt(typed.size()))))) out.push_back(b);
  };
  for (const PngChunk& c : chunks) append(c.type, c.body);
  append("IEND", {});
  return out;
}
