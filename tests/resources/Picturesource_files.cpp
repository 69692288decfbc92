// The pictures as the source tree holds them.
#include <fstream>
#include <iterator>

#include "Picturesource.h"

namespace {

std::vector<uint8_t> readFile(const std::string& relative) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string pictureTableText(const std::string& program) {
  std::vector<uint8_t> bytes = readFile(pictureTablePath(program));
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> pictureBytes(const PictureRow& row) {
  std::vector<uint8_t> bytes = readFile(row.file);
  // A bitmap resource is the file without its 14-byte file header.
  if (row.kind == "bitmap") {
    if (bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    bytes.erase(bytes.begin(), bytes.begin() + 14);
  }
  return bytes;
}
