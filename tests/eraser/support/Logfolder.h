// Test support: a temporary desktop folder that receives the erase logs, and reading them back.
#pragma once

#include <map>
#include <string>

namespace testsupport {

class LogFolder {
 public:
  LogFolder();   // a fresh folder, set as the desktop
  ~LogFolder();  // removes it and clears the desktop override
  LogFolder(const LogFolder&) = delete;
  LogFolder& operator=(const LogFolder&) = delete;

  // File name -> content of every file in "<desktop>\Velmora Log".
  std::map<std::string, std::string> logs() const;
  // The content of the one log whose name ends with suffix ("_Disk3.txt"); empty when none.
  std::string log(const std::string& suffix) const;

 private:
  std::string root_;
};

}  // namespace testsupport
