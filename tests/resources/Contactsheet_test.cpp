// Pictures for people to look at: every picture of the three programs at its size with its id under
// it (screenshots/contact-sheet.png), and the eraser's frame put together from its pieces at the
// start size (screenshots/eraser-frame.png). Also holds the committed .rc fragments to the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Imagedecodeutil.h"
#include "Picturesource.h"
#include "Pngtestwriter.h"

namespace {

const char* const kPrograms[] = {"eraser", "install", "uninstall"};

struct Canvas {
  uint32_t width, height;
  std::vector<uint8_t> rgba;

  Canvas(uint32_t w, uint32_t h, uint32_t rgb) : width(w), height(h), rgba(size_t(w) * h * 4) {
    fill(0, 0, w, h, rgb);
  }
  void fill(int x0, int y0, int w, int h, uint32_t rgb) {
    for (int y = std::max(y0, 0); y < std::min<int>(y0 + h, int(height)); ++y)
      for (int x = std::max(x0, 0); x < std::min<int>(x0 + w, int(width)); ++x) {
        uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        p[0] = uint8_t(rgb >> 16), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb), p[3] = 255;
      }
  }
  // Draws the image over the canvas with its alpha, scaled to w x h by nearest pixel.
  void draw(const DecodedImage& image, int x0, int y0, int w = -1, int h = -1) {
    if (w < 0) w = int(image.width);
    if (h < 0) h = int(image.height);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int cx = x0 + x, cy = y0 + y;
        if (cx < 0 || cy < 0 || cx >= int(width) || cy >= int(height)) continue;
        size_t sx = size_t(x) * image.width / size_t(w), sy = size_t(y) * image.height / size_t(h);
        const uint8_t* s = &image.rgba[(sy * image.width + sx) * 4];
        uint8_t* d = &rgba[(size_t(cy) * width + cx) * 4];
        for (int c = 0; c < 3; ++c) d[c] = uint8_t((s[c] * s[3] + d[c] * (255 - s[3]) + 127) / 255);
      }
  }
  // Decimal digits in a 3 x 5 pixel font, each pixel drawn scale x scale.
  int number(uint32_t value, int x, int y, int scale, uint32_t rgb) {
    static const uint16_t kGlyphs[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9,
                                         0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};
    std::string text = std::to_string(value);
    for (char ch : text) {
      uint16_t bits = kGlyphs[ch - '0'];
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (bits & (1 << (14 - row * 3 - col))) fill(x + col * scale, y + row * scale, scale, scale, rgb);
      x += 4 * scale;
    }
    return int(text.size()) * 4 * scale;
  }
  bool save(const std::filesystem::path& path) const {
    PngPicture picture;
    picture.width = width;
    picture.height = height;
    picture.samples.assign(rgba.begin(), rgba.end());
    std::vector<uint8_t> file = pngFile(pngChunks(picture, 1 << 20));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return bool(out);
  }
};

std::vector<PictureRow> tableOf(const std::string& program) {
  std::vector<PictureRow> rows;
  std::string error;
  EXPECT_TRUE(parsePictureTable(pictureTableText(program), &rows, &error)) << error;
  return rowsOf(rows, program);
}

// The images of a row as the program would draw them: bitmaps without their transparent colour,
// icon files as all their sizes.
std::vector<DecodedImage> imagesOf(const PictureRow& row) {
  std::vector<uint8_t> bytes = pictureBytes(row);
  std::vector<DecodedImage> images;
  if (row.file.ends_with(".ico")) {
    std::vector<IconImage> icons;
    splitIconFile(bytes, &icons);
    for (IconImage& icon : icons) {
      DecodedImage image;
      if (decodePng(icon.bytes.data(), icon.bytes.size(), &image) != ImageError::none) {
        // A 32-bit DIB: colour rows with alpha, bottom-up, then the mask.
        image.width = image.height = icon.width;
        image.rgba.resize(size_t(icon.width) * icon.width * 4);
        for (uint32_t y = 0; y < icon.width; ++y)
          for (uint32_t x = 0; x < icon.width; ++x) {
            const uint8_t* s = &icon.bytes[40 + (size_t(icon.width - 1 - y) * icon.width + x) * 4];
            uint8_t* d = &image.rgba[(size_t(y) * icon.width + x) * 4];
            d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
          }
      }
      images.push_back(image);
    }
  } else if (row.kind == "bitmap") {
    DecodedBitmap bitmap;
    if (decodeDib(bytes.data(), bytes.size(), &bitmap) == ImageError::none) {
      clearColourToTransparent(&bitmap.image, bitmap.transparentColour);
      images.push_back(bitmap.image);
    }
  } else {
    DecodedImage image;
    if (decodePng(bytes.data(), bytes.size(), &image) == ImageError::none) images.push_back(image);
  }
  return images;
}

TEST(PicturesSheet, ContactSheetShowsEveryPicture) {
  const int kWidth = 1280, kMargin = 16, kGap = 18, kLabel = 14;
  struct Cell {
    std::vector<DecodedImage> images;
    uint32_t id;
    int x, y;
  };
  std::vector<Cell> cells;
  std::set<std::string> shown;
  int x = kMargin, y = kMargin, rowHeight = 0;
  std::vector<int> sectionTops;
  for (const char* program : kPrograms) {
    bool first = true;
    for (const PictureRow& row : tableOf(program)) {
      if (!shown.insert(row.file).second) continue;  // once per file: the same icon, the shared rows
      if (first) {
        if (x > kMargin) y += rowHeight + kLabel + kGap * 2;
        x = kMargin, rowHeight = 0, first = false;
        sectionTops.push_back(y - kGap);
      }
      Cell cell{imagesOf(row), row.id, 0, 0};
      ASSERT_FALSE(cell.images.empty()) << row.file;
      int w = 0, h = 0;
      for (const DecodedImage& image : cell.images)
        w += int(image.width) + 6, h = std::max(h, int(image.height));
      w = std::max(w - 6, 5 * 8);
      if (x + w > kWidth - kMargin && x > kMargin) x = kMargin, y += rowHeight + kLabel + kGap, rowHeight = 0;
      cell.x = x, cell.y = y;
      cells.push_back(cell);
      x += w + kGap, rowHeight = std::max(rowHeight, h);
    }
  }
  Canvas sheet(kWidth, uint32_t(y + rowHeight + kLabel + kMargin), 0x8C8C8C);
  // Mid greys in a checkerboard: light and dark pictures both stand out, and so do their holes.
  for (int cy = 0; cy < int(sheet.height); cy += 8)
    for (int cx = (cy / 8 % 2) * 8; cx < kWidth; cx += 16) sheet.fill(cx, cy, 8, 8, 0xA6A6A6);
  for (size_t i = 1; i < sectionTops.size(); ++i) sheet.fill(0, sectionTops[i], kWidth, 3, 0x404040);
  for (const Cell& cell : cells) {
    int cx = cell.x, bottom = cell.y;
    for (const DecodedImage& image : cell.images) {
      sheet.draw(image, cx, cell.y);
      cx += int(image.width) + 6;
      bottom = std::max(bottom, cell.y + int(image.height));
    }
    sheet.number(cell.id, cell.x, bottom + 4, 2, 0x000000);
  }
  EXPECT_TRUE(sheet.save(std::filesystem::path(VELMORA_SCREENSHOT_DIR) / "contact-sheet.png"));
}

// The frame, title band, caption buttons, sidebar slots and a station page at the positions the
// main window gives them, so that the pieces can be judged together.
TEST(PicturesSheet, EraserFrameFromItsPieces) {
  std::vector<PictureRow> rows = tableOf("eraser");
  auto image = [&](uint32_t id) {
    for (const PictureRow& row : rows)
      if (row.id == id && row.kind == "rcdata") return imagesOf(row).at(0);
    ADD_FAILURE() << id;
    return DecodedImage{};
  };
  const int cw = 780, ch = 550;
  Canvas window(cw, ch, 0xFFFFFF);
  struct Piece {
    uint32_t id;
    int x, y, w, h;
  };
  const Piece pieces[] = {
      {11001, 0, 0, 200, 80},
      {11004, cw - 40, 0, 40, 80},
      {11007, 200, 0, cw - 240, 80},
      {11003, 0, ch - 30, 200, 30},
      {11002, 0, 80, 200, ch - 110},
      {11006, cw - 40, ch - 30, 40, 30},
      {11005, cw - 40, 80, 40, ch - 110},
      {11008, 200, ch - 30, cw - 240, 30},
      {10000, 15, 14, 44, 44},
      {10001, 75, 18, 210, 38},
      {12001, cw - 80, 13, 17, 11},
      {12002, cw - 55, 13, 15, 10},
      {12003, cw - 30, 13, 12, 12},
      {12009, cw - 30, 45, 15, 15},
      {10004, 22, ch - 93, 161, 71},
      {10003, 35, ch - 68, 130, 21},
      {13010, 235, 121, 152, 152},
  };
  for (const Piece& p : pieces) window.draw(image(p.id), p.x, p.y, p.w, p.h);
  const uint32_t icons[] = {10040, 10041, 10042};
  for (int slot = 0; slot < 3; ++slot) {
    int y0 = 51 * slot;
    if (slot == 0) window.draw(image(10010), 16, 76 + y0);
    window.fill(16, 73 + y0, 170, 1, 0x333333);
    window.draw(image(icons[slot]), 30, 83 + y0);
    if (slot == 1) window.draw(image(10017), 16, 76 + y0);
  }
  const uint32_t bays[] = {10022, 10023, 10039, 10022, 10039, 10039};
  for (int i = 0; i < 6; ++i) window.draw(image(bays[i]), 200 + 230 + 40 * i, 80 + 42);
  window.draw(image(12004), 520, 460);
  window.draw(image(12005), 600, 460);
  EXPECT_TRUE(window.save(std::filesystem::path(VELMORA_SCREENSHOT_DIR) / "eraser-frame.png"));
}

// The wizard window of each setup program with the pictures its start page shows: the product icon
// on the top band, the step chevrons, the logo, the brand word, a check box.
TEST(PicturesSheet, WizardStartPagesWithTheirPictures) {
  for (const char* program : {"install", "uninstall"}) {
    std::vector<PictureRow> rows = tableOf(program);
    auto image = [&](uint32_t id) {
      for (const PictureRow& row : rows)
        if (row.id == id && row.kind != "icon") return imagesOf(row).at(0);
      ADD_FAILURE() << id;
      return DecodedImage{};
    };
    Canvas window(500, 400, 0xFFFFFF);
    window.fill(0, 24, 500, 55, 0xF0F0F0);
    window.fill(0, 355, 500, 45, 0xF0F0F0);
    window.fill(0, 0, 500, 24, 0xA30000);
    window.draw(image(21304), 22, 30);
    for (int step = 0; step < 3; ++step) {
      int x = 32 + 51 * step;
      if (step > 0) window.draw(image(21305), x, 106);
      window.fill(x + 20, 100, 23, 23, step == 0 ? 0xCC3333 : 0xA30000);
    }
    window.draw(image(21303), 166, 140);
    window.draw(image(21470), 26, program == std::string("install") ? 188 : 191);
    if (program == std::string("install")) {
      window.draw(image(21203), 30, 260);
      window.draw(image(21201), 30, 280);
    }
    window.fill(0, 0, 500, 1, 0), window.fill(0, 399, 500, 1, 0);
    window.fill(0, 0, 1, 400, 0), window.fill(499, 0, 1, 400, 0);
    EXPECT_TRUE(
        window.save(std::filesystem::path(VELMORA_SCREENSHOT_DIR) / (std::string(program) + "-start.png")));
  }
}

// The fragments are generated from the tables; one that was not regenerated after a table change
// would build a program with the old pictures.
TEST(PicturesSheet, FragmentsListExactlyTheTablesRows) {
  const std::pair<const char*, const char*> fragments[] = {{"eraser", "eraser/resources/pictures.rc"},
                                                           {"install", "setup/resources/pictures.rc"},
                                                           {"uninstall", "uninstall/resources/pictures.rc"}};
  const std::map<std::string, std::string> types = {
      {"rcdata", "RCDATA"}, {"binres", "BINRES"}, {"bitmap", "BITMAP"}, {"icon", "ICON"}};
  for (const auto& [program, fragment] : fragments) {
    SCOPED_TRACE(fragment);
    std::set<std::string> expected, listed;
    for (const PictureRow& row : tableOf(program))
      expected.insert(std::to_string(row.id) + " " + types.at(row.kind) + " \"" + row.file + "\"");
    std::ifstream in(std::filesystem::path(VELMORA_SOURCE_DIR) / fragment);
    ASSERT_TRUE(in);
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line.rfind("//", 0) != 0) listed.insert(line);
    EXPECT_EQ(listed, expected);
  }
}

}  // namespace
