#include "Imagedecodeutil.h"

#include <gtest/gtest.h>

#include <string>

#include "Pngtestwriter.h"

namespace {

unsigned channelsOf(uint8_t colourType) {
  return colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
}

// Deterministic samples that use the whole range of the bit depth.
PngPicture makePicture(uint8_t colourType, uint8_t depth, uint32_t w, uint32_t h, bool interlace, bool trns) {
  PngPicture p;
  p.width = w, p.height = h, p.colourType = colourType, p.bitDepth = depth, p.interlace = interlace;
  uint32_t seed = 12345u + colourType * 7u + depth;
  unsigned maxSample = depth == 16 ? 0xFFFF : (1u << depth) - 1;
  unsigned paletteSize = colourType == 3 ? (maxSample + 1 < 200 ? maxSample + 1 : 200) : 0;
  for (size_t i = 0; i < size_t(w) * h * channelsOf(colourType); ++i) {
    seed = seed * 1103515245u + 12345u;
    unsigned v = (seed >> 8) % (maxSample + 1);
    p.samples.push_back(uint16_t(colourType == 3 ? v % paletteSize : v));
  }
  for (unsigned i = 0; i < paletteSize * 3; ++i) p.palette.push_back(uint8_t(i * 37 + 11));
  if (trns) {
    if (colourType == 3) {
      for (unsigned i = 0; i < paletteSize / 2 + 1; ++i) p.trns.push_back(uint8_t(i * 53));
    } else {
      // The colour of the first pixel is the key, so at least one pixel is transparent.
      for (unsigned c = 0; c < channelsOf(colourType); ++c) {
        p.trns.push_back(uint8_t(p.samples[c] >> 8));
        p.trns.push_back(uint8_t(p.samples[c]));
      }
    }
  }
  return p;
}

std::vector<uint8_t> expectedRgba(const PngPicture& p) {
  unsigned n = channelsOf(p.colourType);
  auto to8 = [&p](unsigned v) {
    return uint8_t(p.bitDepth == 16 ? v >> 8 : v * 255 / ((1u << p.bitDepth) - 1));
  };
  std::vector<uint8_t> out;
  for (size_t i = 0; i < size_t(p.width) * p.height; ++i) {
    const uint16_t* s = &p.samples[i * n];
    uint8_t px[4];
    bool keyed = !p.trns.empty() && p.colourType != 3;
    for (unsigned c = 0; keyed && c < n; ++c) keyed = s[c] == (p.trns[2 * c] << 8 | p.trns[2 * c + 1]);
    switch (p.colourType) {
      case 0:
        px[0] = px[1] = px[2] = to8(s[0]), px[3] = keyed ? 0 : 255;
        break;
      case 2:
        px[0] = to8(s[0]), px[1] = to8(s[1]), px[2] = to8(s[2]), px[3] = keyed ? 0 : 255;
        break;
      case 3:
        for (int c = 0; c < 3; ++c) px[c] = p.palette[s[0] * 3 + c];
        px[3] = s[0] < p.trns.size() ? p.trns[s[0]] : 255;
        break;
      case 4:
        px[0] = px[1] = px[2] = to8(s[0]), px[3] = to8(s[1]);
        break;
      default:
        for (int c = 0; c < 4; ++c) px[c] = to8(s[c]);
    }
    out.insert(out.end(), px, px + 4);
  }
  return out;
}

ImageError decode(const std::vector<uint8_t>& bytes, DecodedImage* image) {
  return decodePng(bytes.data(), bytes.size(), image);
}

TEST(PngDecode, EveryColourTypeBitDepthAndInterlacing) {
  struct Format {
    uint8_t colourType, depth;
  } formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                 {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  struct Size {
    uint32_t w, h;
  } sizes[] = {{1, 1}, {3, 2}, {13, 11}, {2, 9}};
  int transparent = 0;
  for (const Format& f : formats)
    for (const Size& s : sizes)
      for (bool interlace : {false, true})
        for (bool trns : {false, true}) {
          if (trns && (f.colourType == 4 || f.colourType == 6)) continue;
          PngPicture p = makePicture(f.colourType, f.depth, s.w, s.h, interlace, trns);
          SCOPED_TRACE("type " + std::to_string(f.colourType) + " depth " + std::to_string(f.depth) + " " +
                       std::to_string(s.w) + "x" + std::to_string(s.h) + (interlace ? " Adam7" : "") +
                       (trns ? " tRNS" : ""));
          DecodedImage image;
          ASSERT_EQ(decode(pngFile(p), &image), ImageError::none);
          EXPECT_EQ(image.width, s.w);
          EXPECT_EQ(image.height, s.h);
          std::vector<uint8_t> want = expectedRgba(p);
          ASSERT_EQ(image.rgba, want);
          for (size_t i = 3; i < want.size(); i += 4) transparent += want[i] == 0;
        }
  EXPECT_GT(transparent, 50);  // the tRNS cases did make pixels transparent
}

// The inflater grows its buffer as data arrives; a picture past the first step must come out whole.
TEST(PngDecode, LargePictureInManySmallChunks) {
  PngPicture p = makePicture(6, 16, 300, 200, true, false);
  DecodedImage image;
  ASSERT_EQ(decode(pngFile(pngChunks(p, 1000)), &image), ImageError::none);
  EXPECT_EQ(image.rgba, expectedRgba(p));
}

// Made by an independent encoder (pypng): 4x3 RGBA 8-bit Adam7 and 5x2 2-bit palette with tRNS.
TEST(PngDecode, FilesFromAnotherEncoder) {
  std::vector<uint8_t> rgba = {
#include "data/rgba8_adam7_4x3.inc"
  };
  std::vector<uint8_t> paletted = {
#include "data/palette2_trns_5x2.inc"
  };
  DecodedImage image;
  ASSERT_EQ(decode(rgba, &image), ImageError::none);
  ASSERT_EQ(image.width, 4u);
  ASSERT_EQ(image.height, 3u);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 4; ++x) {
      const uint8_t* px = &image.rgba[(y * 4 + x) * 4];
      EXPECT_EQ(px[0], x * 60) << x << "," << y;
      EXPECT_EQ(px[1], y * 100);
      EXPECT_EQ(px[2], 255 - x * 60);
      EXPECT_EQ(px[3], (x + y * 4) * 20);
    }
  ASSERT_EQ(decode(paletted, &image), ImageError::none);
  ASSERT_EQ(image.width, 5u);
  // Palette red, green, blue, white; tRNS 0 and 128 for the first two entries.
  const uint8_t want[10][4] = {{255, 0, 0, 0}, {0, 255, 0, 128},     {0, 0, 255, 255}, {255, 255, 255, 255},
                               {255, 0, 0, 0}, {255, 255, 255, 255}, {0, 0, 255, 255}, {0, 255, 0, 128},
                               {255, 0, 0, 0}, {255, 255, 255, 255}};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(0, memcmp(&image.rgba[i * 4], want[i], 4)) << "pixel " << i;
}

PngPicture smallRgb() { return makePicture(2, 8, 5, 4, false, false); }

std::vector<PngChunk> withChunk(std::vector<PngChunk> chunks, size_t at, PngChunk extra) {
  chunks.insert(chunks.begin() + long(at), std::move(extra));
  return chunks;
}

TEST(PngDecode, MalformedFilesFailCleanly) {
  PngPicture rgb = smallRgb();
  std::vector<uint8_t> raw = filteredPngData(rgb);
  std::vector<uint8_t> shortRaw(raw.begin(), raw.end() - 1), longRaw = raw;
  longRaw.push_back(0);
  std::vector<uint8_t> badFilter = raw;
  badFilter[0] = 5;
  std::vector<uint8_t> notZlib = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::vector<uint8_t> badAdler = zlibCompress(raw);
  badAdler.back() ^= 1;
  std::vector<uint8_t> cutStream = zlibCompress(raw);
  cutStream.resize(cutStream.size() - 6);

  PngPicture paletted = makePicture(3, 4, 4, 4, false, false);
  PngPicture noPalette = paletted;
  noPalette.palette.clear();
  PngPicture badIndex = paletted;
  badIndex.palette.resize(3 * 5);  // pixels use indices up to 15
  PngPicture longTrns = paletted;
  longTrns.trns.assign(paletted.palette.size() / 3 + 1, 0);
  PngPicture rgbTrnsShort = rgb;
  rgbTrnsShort.trns = {0, 1};
  PngPicture alphaTrns = makePicture(6, 8, 2, 2, false, false);
  alphaTrns.trns = {0, 0, 0, 0, 0, 0};
  PngPicture greyPalette = makePicture(0, 8, 2, 2, false, false);
  greyPalette.palette = {1, 2, 3};

  auto chunks = pngChunks(rgb, 16);
  auto header = [&](auto edit) {
    auto c = chunks;
    edit(c[0].body);
    return pngFile(c);
  };
  auto badCrc = pngFile(chunks);
  badCrc[8 + 8 + 3] ^= 0x01;  // inside IHDR's width
  auto badIdatCrc = pngFile(chunks);
  badIdatCrc[8 + 25 + 9] ^= 0x40;  // inside the first IDAT
  auto badSignature = pngFile(chunks);
  badSignature[1] = 'X';
  auto idatSplit = chunks;
  idatSplit.insert(idatSplit.begin() + 2, PngChunk{"tEXt", {'a', 0, 'b'}});
  auto noIdat = std::vector<PngChunk>(chunks.begin(), chunks.begin() + 1);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ImageError want;
  } cases[] = {
      {"empty", {}, ImageError::truncated},
      {"bad signature", badSignature, ImageError::badSignature},
      {"CRC of IHDR", badCrc, ImageError::badCrc},
      {"CRC of IDAT", badIdatCrc, ImageError::badCrc},
      {"not a zlib stream", pngFile(pngChunksWithData(rgb, notZlib)), ImageError::zlibError},
      {"zlib checksum", pngFile(pngChunksWithData(rgb, badAdler)), ImageError::zlibError},
      {"zlib stream cut short", pngFile(pngChunksWithData(rgb, cutStream)), ImageError::dataSize},
      {"too little pixel data", pngFile(pngChunksWithData(rgb, zlibCompress(shortRaw))),
       ImageError::dataSize},
      {"too much pixel data", pngFile(pngChunksWithData(rgb, zlibCompress(longRaw))), ImageError::dataSize},
      {"filter type 5", pngFile(pngChunksWithData(rgb, zlibCompress(badFilter))), ImageError::badFilter},
      {"no IDAT", pngFile(noIdat), ImageError::dataSize},
      {"IDAT chunks apart", pngFile(idatSplit), ImageError::badChunk},
      {"IHDR not first", pngFile(withChunk(chunks, 0, {"tEXt", {'a', 0}})), ImageError::badChunk},
      {"second IHDR", pngFile(withChunk(chunks, 1, chunks[0])), ImageError::badChunk},
      {"unknown critical chunk", pngFile(withChunk(chunks, 1, {"ABCD", {}})), ImageError::badChunk},
      {"width 0", header([](auto& b) { b[0] = b[1] = b[2] = b[3] = 0; }), ImageError::badHeader},
      {"width 2^31", header([](auto& b) { b[0] = 0x80, b[1] = b[2] = b[3] = 0; }), ImageError::badHeader},
      {"65536 x 65536",
       header([](auto& b) { b[0] = b[2] = b[4] = b[6] = 0, b[1] = b[5] = 1, b[3] = b[7] = 0; }),
       ImageError::tooLarge},
      {"RGB at 4 bits", header([](auto& b) { b[8] = 4; }), ImageError::badHeader},
      {"colour type 5", header([](auto& b) { b[9] = 5; }), ImageError::badHeader},
      {"interlace method 2", header([](auto& b) { b[12] = 2; }), ImageError::badHeader},
      {"IHDR of 12 bytes", header([](auto& b) { b.pop_back(); }), ImageError::badChunk},
      {"palette missing", pngFile(noPalette), ImageError::missingPalette},
      {"palette index past the palette", pngFile(badIndex), ImageError::badPaletteIndex},
      {"tRNS longer than the palette", pngFile(longTrns), ImageError::badChunk},
      {"RGB tRNS of 2 bytes", pngFile(rgbTrnsShort), ImageError::badChunk},
      {"tRNS with an alpha channel", pngFile(alphaTrns), ImageError::badChunk},
      {"PLTE in a grey picture", pngFile(greyPalette), ImageError::badChunk},
  };
  for (const Case& c : cases) {
    DecodedImage image;
    image.width = 9, image.rgba.assign(4, 1);
    EXPECT_EQ(decode(c.bytes, &image), c.want) << c.what;
    EXPECT_EQ(image.width, 0u) << c.what;
    EXPECT_TRUE(image.rgba.empty()) << c.what;
  }
}

TEST(PngDecode, AncillaryChunksAndPaletteOfTrueColourAreIgnored) {
  PngPicture p = smallRgb();
  auto chunks = withChunk(pngChunks(p), 1, {"tEXt", {'k', 0, 'v'}});
  chunks = withChunk(chunks, 1, {"PLTE", {1, 2, 3, 4, 5, 6}});
  DecodedImage image;
  ASSERT_EQ(decode(pngFile(chunks), &image), ImageError::none);
  EXPECT_EQ(image.rgba, expectedRgba(p));
}

TEST(PngDecode, EveryTruncationFails) {
  std::vector<uint8_t> file = pngFile(makePicture(3, 2, 7, 5, true, true));
  for (size_t n = 0; n < file.size(); ++n) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));
    DecodedImage image;
    EXPECT_NE(decode(cut, &image), ImageError::none) << n;
    EXPECT_TRUE(image.rgba.empty());
  }
}

// A header that claims the largest allowed picture over a few bytes of data is refused without
// allocating the picture.
TEST(PngDecode, HugeDimensionsWithLittleData) {
  PngPicture p = makePicture(6, 16, 8192, 1, false, false);
  std::vector<uint8_t> raw = filteredPngData(p);
  PngPicture claimed = p;
  claimed.height = 8192;
  DecodedImage image;
  EXPECT_EQ(decode(pngFile(pngChunksWithData(claimed, zlibCompress(raw))), &image), ImageError::dataSize);
}

std::vector<uint8_t> le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> dibHeader(int32_t w, int32_t h, uint16_t bits, uint32_t coloursUsed,
                               uint32_t compression = 0) {
  std::vector<uint8_t> d;
  auto put = [&d](const std::vector<uint8_t>& b) { d.insert(d.end(), b.begin(), b.end()); };
  put(le32(40)), put(le32(uint32_t(w))), put(le32(uint32_t(h)));
  d.push_back(1), d.push_back(0), d.push_back(uint8_t(bits)), d.push_back(0);
  put(le32(compression)), put(le32(0)), put(le32(2835)), put(le32(2835)), put(le32(coloursUsed)),
      put(le32(0));
  return d;
}

std::vector<uint8_t> rgbaOf(std::initializer_list<uint32_t> rgbs) {
  std::vector<uint8_t> out;
  for (uint32_t c : rgbs) out.insert(out.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
  return out;
}

TEST(DibDecode, TrueColourAndPalettedBitmaps) {
  // 24 bits, bottom-up, 3 x 2: rows padded from 9 to 12 bytes; the first stored row is the bottom.
  std::vector<uint8_t> rgb24 = dibHeader(3, 2, 24, 0);
  for (uint8_t b : {0x01, 0x02, 0x03, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23, 0, 0, 0,  //
                    0x31, 0x32, 0x33, 0x41, 0x42, 0x43, 0x51, 0x52, 0x53, 0, 0, 0})
    rgb24.push_back(b);
  // 8 bits, top-down, 2 x 2, three colours in the table.
  std::vector<uint8_t> pal8 = dibHeader(2, -2, 8, 3);
  for (uint8_t b : {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}) pal8.push_back(b);  // blue, green, red
  for (uint8_t b : {0, 1, 0, 0, 2, 2, 0, 0}) pal8.push_back(b);
  // 4 bits, bottom-up, 3 x 1: a full table of 16, pixels 1, 15, 0.
  std::vector<uint8_t> pal4 = dibHeader(3, 1, 4, 0);
  for (int i = 0; i < 16; ++i) pal4.insert(pal4.end(), {uint8_t(i), uint8_t(i * 2), uint8_t(i * 3), 0});
  for (uint8_t b : {0x1F, 0x00, 0, 0}) pal4.push_back(b);
  // 1 bit, bottom-up, 10 x 1: bits 1011001110.
  std::vector<uint8_t> pal1 = dibHeader(10, 1, 1, 2);
  for (uint8_t b : {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}) pal1.push_back(b);
  for (uint8_t b : {0xB3, 0x80, 0, 0}) pal1.push_back(b);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t w, h;
    std::vector<uint8_t> rgba;
    uint32_t transparent;
  } cases[] = {
      {"24 bits", rgb24, 3, 2, rgbaOf({0x333231, 0x434241, 0x535251, 0x030201, 0x131211, 0x232221}),
       0x010203},
      {"8 bits top-down", pal8, 2, 2, rgbaOf({0x0000FF, 0x00FF00, 0xFF0000, 0xFF0000}), 0x0000FF},
      {"4 bits", pal4, 3, 1, rgbaOf({0x030201, 0x2D1E0F, 0x000000}), 0x010203},
      {"1 bit", pal1, 10, 1, rgbaOf({0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0}),
       0xFFFFFF},
  };
  for (const Case& c : cases) {
    DecodedBitmap bitmap;
    ASSERT_EQ(decodeDib(c.bytes.data(), c.bytes.size(), &bitmap), ImageError::none) << c.what;
    EXPECT_EQ(bitmap.image.width, c.w) << c.what;
    EXPECT_EQ(bitmap.image.height, c.h) << c.what;
    EXPECT_EQ(bitmap.image.rgba, c.rgba) << c.what;
    EXPECT_EQ(bitmap.transparentColour, c.transparent) << c.what;
  }
}

TEST(DibDecode, MalformedBitmapsFailCleanly) {
  std::vector<uint8_t> pal8 = dibHeader(2, 1, 8, 2);
  pal8.insert(pal8.end(), 8, 0);
  std::vector<uint8_t> badIndex = pal8;
  badIndex.insert(badIndex.end(), {0, 2, 0, 0});
  std::vector<uint8_t> core = {12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0};
  core.resize(64);
  std::vector<uint8_t> huge = dibHeader(65536, 65536, 24, 0);
  std::vector<uint8_t> noPixels = dibHeader(4, 4, 24, 0);
  noPixels.resize(noPixels.size() + 47);
  std::vector<uint8_t> bigHeader = dibHeader(1, 1, 24, 0);
  bigHeader[0] = 200;

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ImageError want;
  } cases[] = {
      {"short header", std::vector<uint8_t>(39, 0), ImageError::truncated},
      {"core header", core, ImageError::unsupported},
      {"header size past the end", bigHeader, ImageError::truncated},
      {"width 0", dibHeader(0, 1, 24, 0), ImageError::badHeader},
      {"height INT_MIN", dibHeader(1, INT32_MIN, 24, 0), ImageError::badHeader},
      {"run-length compressed", dibHeader(1, 1, 8, 0, 1), ImageError::unsupported},
      {"16 bits", dibHeader(1, 1, 16, 0), ImageError::unsupported},
      {"too many colours", dibHeader(1, 1, 4, 17), ImageError::badHeader},
      {"colour table cut", dibHeader(1, 1, 8, 0), ImageError::truncated},
      {"pixels cut", noPixels, ImageError::truncated},
      {"index past the table", badIndex, ImageError::badPaletteIndex},
      {"65536 x 65536", huge, ImageError::tooLarge},
  };
  for (const Case& c : cases) {
    DecodedBitmap bitmap;
    EXPECT_EQ(decodeDib(c.bytes.data(), c.bytes.size(), &bitmap), c.want) << c.what;
    EXPECT_TRUE(bitmap.image.rgba.empty()) << c.what;
  }
}

TEST(ImageConvert, PremultipliedBgraAndTransparentColour) {
  DecodedImage image;
  image.width = 4, image.height = 1;
  image.rgba = {255, 128, 0, 255, 255, 128, 1, 128, 200, 100, 50, 0, 10, 20, 30, 255};
  EXPECT_EQ(premultipliedBgra(image),
            (std::vector<uint8_t>{0, 128, 255, 255, 1, 64, 128, 128, 0, 0, 0, 0, 30, 20, 10, 255}));
  clearColourToTransparent(&image, 0x1E140A);  // COLORREF of 10, 20, 30
  EXPECT_EQ(image.rgba[15], 0);
  EXPECT_EQ(image.rgba[3], 255);
  EXPECT_EQ(image.rgba[7], 128);
}

}  // namespace
