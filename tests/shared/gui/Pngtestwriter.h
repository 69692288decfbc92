// Test-side PNG writer: builds PNG files of any colour type, bit depth, filter and interlacing
// from sample values, and lets tests damage them chunk by chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngPicture {
  uint32_t width = 0, height = 0;
  uint8_t colourType = 6, bitDepth = 8;
  bool interlace = false;
  // Samples per pixel (1 to 4 by colour type), row-major, each at the picture's bit depth.
  std::vector<uint16_t> samples;
  std::vector<uint8_t> palette;  // RGB triples
  std::vector<uint8_t> trns;     // tRNS chunk body as written, empty for none
};

struct PngChunk {
  std::string type;
  std::vector<uint8_t> body;
};

// The rows of every pass, each with its filter byte: filters cycle through 0 to 4 row by row.
std::vector<uint8_t> filteredPngData(const PngPicture& picture);

// IHDR, PLTE, tRNS and the zlib stream of the filtered data split into IDAT chunks of at most
// idatSize bytes.
std::vector<PngChunk> pngChunks(const PngPicture& picture, size_t idatSize = 64);
std::vector<PngChunk> pngChunksWithData(const PngPicture& picture, const std::vector<uint8_t>& zlibData,
                                        size_t idatSize = 64);

// Signature, the chunks with their CRCs, IEND.
std::vector<uint8_t> pngFile(const std::vector<PngChunk>& chunks);
inline std::vector<uint8_t> pngFile(const PngPicture& picture) { return pngFile(pngChunks(picture)); }

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data);
std::vector<uint8_t> be32(uint32_t v);
