// The picture tables of the three programs as the picture tests read them.
#include "Picturetable.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool parseNumber(const std::string& text, uint32_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
  return true;
}

// "#rrggbb" as a COLORREF.
bool parseColour(const std::string& text, uint32_t* colour) {
  if (text.size() != 7 || text[0] != '#' ||
      text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
    return false;
  uint32_t rgb = uint32_t(std::strtoul(text.c_str() + 1, nullptr, 16));
  *colour = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  return true;
}

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

const uint32_t kIconSizes[4] = {16, 32, 48, 256};

bool PictureRow::carriedBy(const std::string& program) const {
  return std::find(programs.begin(), programs.end(), program) != programs.end();
}

bool parsePictureTable(const std::string& text, std::vector<PictureRow>* rows, std::string* error) {
  rows->clear();
  std::vector<std::string> lines = split(text, '\n');
  for (size_t n = 0; n < lines.size(); ++n) {
    std::string line = lines[n];
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = split(line, '\t');
    PictureRow row;
    bool ok = f.size() == 9 && parseNumber(f[0], &row.id) && parseNumber(f[2], &row.width) &&
              parseNumber(f[3], &row.height) && !f[4].empty() && !f[6].empty();
    if (ok) {
      row.kind = f[1];
      row.programs = split(f[4], '+');
      row.source = f[5];
      row.file = f[6];
      row.hasMatte = f[7] != "-";
      ok = !row.hasMatte || parseColour(f[7], &row.matte);
      row.shows = f[8];
    }
    if (!ok) {
      *error = "line " + std::to_string(n + 1) + ": " + line;
      return false;
    }
    rows->push_back(row);
  }
  return true;
}

std::vector<PictureRow> rowsOf(const std::vector<PictureRow>& rows, const std::string& program) {
  std::vector<PictureRow> carried;
  for (const PictureRow& row : rows)
    if (row.carriedBy(program)) carried.push_back(row);
  return carried;
}

std::string pictureTablePath(const std::string& program) {
  return program == "eraser" ? "eraser/resources/pictures.tsv" : "setup/resources/pictures.tsv";
}

bool splitIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images) {
  images->clear();
  if (file.size() < 6 || le16(&file[0]) != 0 || le16(&file[2]) != 1) return false;
  size_t count = le16(&file[4]);
  if (file.size() < 6 + 16 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &file[6 + 16 * i];
    uint32_t size = le32(entry + 8), offset = le32(entry + 12);
    if (offset > file.size() || size > file.size() - offset) return false;
    IconImage image;
    image.width = entry[0] ? entry[0] : 256;
    image.height = entry[1] ? entry[1] : 256;
    image.bytes.assign(file.begin() + offset, file.begin() + offset + size);
    images->push_back(std::move(image));
  }
  return true;
}
