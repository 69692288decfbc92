#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Guiheadless.h"
#include "Guitestpictures.h"

namespace {

std::vector<uint8_t> fileBytes(const char* name) {
  std::ifstream in(std::string(VELMORA_GUI_TEST_DATA) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A bitmap resource is the file without its 14-byte file header.
std::vector<uint8_t> bitmapResource(const char* name) {
  std::vector<uint8_t> file = fileBytes(name);
  return file.size() > 14 ? std::vector<uint8_t>(file.begin() + 14, file.end()) : std::vector<uint8_t>();
}

}  // namespace

// As Guitestpictures.rc has them.
void provideTestPictures() {
  setHeadlessResource(ResourceType::binres, kAlphaPng, fileBytes("alpha_24.png"));
  setHeadlessResource(ResourceType::rcdata, kFramedPng, fileBytes("framed_16.png"));
  setHeadlessResource(ResourceType::bitmap, kKeyedBitmap, bitmapResource("keyed_20x12.bmp"));
  setHeadlessResource(ResourceType::rcdata, kIconFile, fileBytes("disc.ico"));
}
