// The generated tables read from the build tree (LANG_TABLE_DIR).
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Tablesource.h"

LanguageResourceSource tableSource() {
  static const std::map<uint32_t, std::vector<uint8_t>> tables = [] {
    std::map<uint32_t, std::vector<uint8_t>> read;
    for (const LanguageCandidate& c : languageCandidates()) {
      std::ifstream file(std::string(LANG_TABLE_DIR) + "/" + c.code + ".lang", std::ios::binary);
      if (file) read[c.id].assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return read;
  }();
  return [](uint32_t id) {
    auto it = tables.find(id);
    return it != tables.end() ? std::span<const uint8_t>(it->second) : std::span<const uint8_t>();
  };
}
