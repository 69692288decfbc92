// The pictures one program carries (PICTURE_PROGRAM): every row of its table is there, decodes, and
// has the size and form its loader expects.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "Imagedecodeutil.h"
#include "Picturesource.h"

namespace {

const std::string kProgram = PICTURE_PROGRAM;
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool isPng(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin());
}

void expectPng(const std::vector<uint8_t>& bytes, uint32_t width, uint32_t height) {
  DecodedImage image;
  ASSERT_EQ(decodePng(bytes.data(), bytes.size(), &image), ImageError::none);
  EXPECT_EQ(image.width, width);
  EXPECT_EQ(image.height, height);
  // Colour type 6: the alpha channel travels with every PNG picture.
  EXPECT_EQ(bytes[25], 6);
}

// 16, 32 and 48 as 32-bit DIBs (colour rows, then the mask), 256 as PNG; each decodes at its size
// and keeps the transparent corners of the rounded mark.
void expectIconFile(const std::vector<uint8_t>& file) {
  std::vector<IconImage> images;
  ASSERT_TRUE(splitIconFile(file, &images));
  ASSERT_EQ(images.size(), std::size(kIconSizes));
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE("icon image " + std::to_string(kIconSizes[i]));
    const IconImage& icon = images[i];
    EXPECT_EQ(icon.width, kIconSizes[i]);
    EXPECT_EQ(icon.height, kIconSizes[i]);
    DecodedImage image;
    uint8_t topLeftAlpha = 0xFF;
    if (isPng(icon.bytes)) {
      ASSERT_EQ(decodePng(icon.bytes.data(), icon.bytes.size(), &image), ImageError::none);
      topLeftAlpha = image.rgba[3];
    } else {
      std::vector<uint8_t> dib = icon.bytes;
      ASSERT_GE(dib.size(), 40u);
      EXPECT_EQ(dib[14], 32) << "bits per pixel";
      // The header counts colour and mask rows; the colour picture is the first half of them.
      uint32_t rows = uint32_t(dib[8] | dib[9] << 8 | dib[10] << 16 | dib[11] << 24);
      EXPECT_EQ(rows, 2 * icon.height);
      rows /= 2;
      for (int b = 0; b < 4; ++b) dib[8 + b] = uint8_t(rows >> (8 * b));
      DecodedBitmap bitmap;
      ASSERT_EQ(decodeDib(dib.data(), dib.size(), &bitmap), ImageError::none);
      image = bitmap.image;
      // The decoder makes every pixel opaque; the alpha is the fourth byte, rows bottom-up.
      topLeftAlpha = dib[40 + (size_t(rows) - 1) * image.width * 4 + 3];
    }
    EXPECT_EQ(image.width, kIconSizes[i]);
    EXPECT_EQ(image.height, kIconSizes[i]);
    EXPECT_EQ(topLeftAlpha, 0) << "the rounded corner should be transparent";
  }
}

// A bitmap resource: 24 bits (or 8 with a palette), its bottom-left pixel, which the loader leaves
// out, is the background it was drawn on, and the picture itself is more than that colour.
void expectBitmap(const std::vector<uint8_t>& dib, const PictureRow& row) {
  ASSERT_GE(dib.size(), 40u);
  uint16_t bits = uint16_t(dib[14] | dib[15] << 8);
  EXPECT_TRUE(bits == 24 || bits == 8) << bits << " bits per pixel";
  DecodedBitmap bitmap;
  ASSERT_EQ(decodeDib(dib.data(), dib.size(), &bitmap), ImageError::none);
  EXPECT_EQ(bitmap.image.width, row.width);
  EXPECT_EQ(bitmap.image.height, row.height);
  EXPECT_EQ(bitmap.transparentColour, row.matte);
  DecodedImage keyed = bitmap.image;
  clearColourToTransparent(&keyed, bitmap.transparentColour);
  size_t visible = 0;
  for (size_t i = 3; i < keyed.rgba.size(); i += 4) visible += keyed.rgba[i] != 0;
  EXPECT_GT(visible, keyed.rgba.size() / 4 / 16) << "the picture is little more than its transparent colour";
}

class PicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(parsePictureTable(pictureTableText(kProgram), &all_, &error)) << error;
    rows_ = rowsOf(all_, kProgram);
    ASSERT_FALSE(rows_.empty()) << "no pictures for " << kProgram;
  }
  std::vector<PictureRow> all_, rows_;
};

TEST_F(PicturesTest, RowsUseTheLoadersKindsAndOneIdEach) {
  const bool eraser = kProgram == "eraser";
  const std::set<std::string> kinds =
      eraser ? std::set<std::string>{"rcdata", "icon"} : std::set<std::string>{"bitmap", "binres", "icon"};
  std::set<std::pair<std::string, uint32_t>> seen;
  size_t icons = 0;
  for (const PictureRow& row : rows_) {
    SCOPED_TRACE(row.kind + " " + std::to_string(row.id));
    EXPECT_TRUE(kinds.count(row.kind)) << "kind";
    EXPECT_TRUE(seen.insert({row.kind, row.id}).second) << "listed twice";
    EXPECT_GT(row.width, 0u);
    EXPECT_GT(row.height, 0u);
    EXPECT_LE(row.id, 0xFFFFu);
    EXPECT_EQ(row.hasMatte, row.kind == "bitmap");
    if (eraser) {
      EXPECT_GE(row.id, 10000u);
      EXPECT_LE(row.id, 13011u);
    }
    icons += row.kind == "icon";
  }
  EXPECT_EQ(icons, 1u) << "one program icon";
}

TEST_F(PicturesTest, EveryPictureIsCarriedAtItsSize) {
  for (const PictureRow& row : rows_) {
    SCOPED_TRACE(row.kind + " " + std::to_string(row.id) + " " + row.file);
    std::vector<uint8_t> bytes = pictureBytes(row);
    ASSERT_FALSE(bytes.empty()) << "not carried";
    if (row.file.ends_with(".ico")) {
      expectIconFile(bytes);
    } else if (row.kind == "bitmap") {
      expectBitmap(bytes, row);
    } else {
      expectPng(bytes, row.width, row.height);
    }
  }
}

}  // namespace
