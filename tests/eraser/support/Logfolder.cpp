// Test support: a temporary desktop folder for the erase logs.
#include "Logfolder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Platformservices.h"

namespace testsupport {

namespace fs = std::filesystem;

LogFolder::LogFolder() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path p =
      fs::temp_directory_path() / ("velmora-desk-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  fs::create_directories(p);
  root_ = p.string();
  setDesktopFolderOverride(root_);
}

LogFolder::~LogFolder() {
  setDesktopFolderOverride("");
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::map<std::string, std::string> LogFolder::logs() const {
  std::map<std::string, std::string> result;
  const fs::path folder = fs::path(root_) / "Velmora Log";
  std::error_code ec;
  if (!fs::exists(folder, ec)) return result;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    result[entry.path().filename().string()] = content.str();
  }
  return result;
}

std::string LogFolder::log(const std::string& suffix) const {
  for (const auto& [name, content] : logs())
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return content;
  return {};
}

}  // namespace testsupport
