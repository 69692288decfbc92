// Test helpers for the system helpers: a scratch folder that is removed again, small file utilities.
#pragma once

#include <windows.h>

#include <string>

// A new empty folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
void makeFile(const std::string& path, const std::string& content);
std::string fileContent(const std::string& path);
