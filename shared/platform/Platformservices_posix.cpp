// Platform services on POSIX: for the tests and tools that run the engine on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Platformservices.h"
#include "Platformservices_impl.h"

namespace {

struct PosixLog {
  int fd;
};

// The portable code forms Windows paths; here they become POSIX ones.
std::string posixPath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

}  // namespace

LocalTime localTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

uint32_t calendarSeconds() { return uint32_t(std::time(nullptr)); }

void platformDebugOutput(const std::string& text) {
  if (std::getenv("VELMORA_DEBUG") != nullptr) std::fprintf(stderr, "%s\n", text.c_str());
}

void platformMessageBox(const std::string& text) { std::fprintf(stderr, "message: %s\n", text.c_str()); }

bool platformDesktopFolder(std::string* path, std::string* failureText) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == 0) {
    *failureText = "SHGetPathFromIDList Error";
    return false;
  }
  *path = std::string(home) + "/Desktop";
  return true;
}

bool createFolders(const std::string& windowsPath) {
  const std::string path = posixPath(windowsPath);
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/' && path[at] != '\\') continue;
    std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

LogFileHandle createLogFile(const std::string& windowsPath) {
  const std::string path = posixPath(windowsPath);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return new PosixLog{fd};
}

bool writeLogFile(LogFileHandle file, const char* data, size_t size) {
  auto* log = static_cast<PosixLog*>(file);
  while (size > 0) {
    ssize_t n = write(log->fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

void closeLogFile(LogFileHandle file) {
  auto* log = static_cast<PosixLog*>(file);
  if (log == nullptr) return;
  close(log->fd);
  delete log;
}
