// The picture tables of the three programs as the picture tests read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One row: one resource of one or more programs.
struct PictureRow {
  uint32_t id = 0;
  std::string kind;  // rcdata, binres, bitmap or icon
  uint32_t width = 0, height = 0;
  std::vector<std::string> programs;
  std::string source;  // the SVG it is drawn from
  std::string file;    // relative to the repository root
  bool hasMatte = false;
  uint32_t matte = 0;  // a bitmap's background as a COLORREF (0x00BBGGRR)
  std::string shows;

  bool carriedBy(const std::string& program) const;
};

// The rows of a table's text; false with *error naming the line when a row is malformed.
bool parsePictureTable(const std::string& text, std::vector<PictureRow>* rows, std::string* error);

// The rows a program carries.
std::vector<PictureRow> rowsOf(const std::vector<PictureRow>& rows, const std::string& program);

// The table file of a program, relative to the repository root.
std::string pictureTablePath(const std::string& program);

// Pictures in icon files: the image sizes every icon holds.
extern const uint32_t kIconSizes[4];

// A picture of an icon file: its size and its bytes (a PNG file, or a DIB whose height counts the
// colour rows and the mask rows).
struct IconImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;
};
// The images of an icon file; false when its directory does not fit the file.
bool splitIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images);
