// The simulator's file seam, POSIX side: pwrite/pread, O_DIRECT for the uncached route.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Deviceioutil.h"
#include "Simfile.h"

namespace {

uint32_t windowsError(int e) {
  switch (e) {
    case ENOSPC:
      return 112;  // ERROR_DISK_FULL
    case EFBIG:
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOENT:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    default:
      return kErrorIoDevice;
  }
}

bool aligned(uint64_t offset, const void* data, uint32_t size) {
  return offset % kSimFileDirectAlign == 0 && size % kSimFileDirectAlign == 0 &&
         reinterpret_cast<uintptr_t>(data) % kSimFileDirectAlign == 0;
}

class PosixFile final : public SimFile {
 public:
  PosixFile(int fd, int directFd) : fd_(fd), directFd_(directFd) {}
  ~PosixFile() override {
    if (directFd_ >= 0) close(directFd_);
    close(fd_);
  }

  uint32_t write(uint64_t offset, const void* data, uint32_t size) override {
    const int fd = directFd_ >= 0 && aligned(offset, data, size) ? directFd_ : fd_;
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
      const ssize_t n = pwrite(fd, p, size, off_t(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return windowsError(errno);
      if (n == 0) return 112;
      p += n, offset += uint64_t(n), size -= uint32_t(n);
    }
    return 0;
  }

  uint32_t read(uint64_t offset, void* data, uint32_t size) override {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
      const ssize_t n = pread(fd_, p, size, off_t(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return windowsError(errno);
      if (n == 0) {
        std::memset(p, 0, size);
        break;
      }
      p += n, offset += uint64_t(n), size -= uint32_t(n);
    }
    return 0;
  }

  bool direct() const override { return directFd_ >= 0; }

 private:
  int fd_;
  int directFd_;
};

}  // namespace

std::unique_ptr<SimFile> SimFile::create(const std::string& path, uint64_t length, bool unbuffered,
                                         uint32_t* error) {
  uint32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = windowsError(errno);
    return nullptr;
  }
  // ftruncate leaves a hole: the file takes no space until it is written.
  if (ftruncate(fd, off_t(length)) != 0) {
    *error = windowsError(errno);
    close(fd);
    return nullptr;
  }
  // Some file systems refuse O_DIRECT; the cached route then serves every write.
  const int directFd = unbuffered ? open(path.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC) : -1;
  *error = 0;
  return std::make_unique<PosixFile>(fd, directFd);
}
