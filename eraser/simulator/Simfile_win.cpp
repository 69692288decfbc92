// The simulator's file seam, Windows side: WriteFile/ReadFile at offsets, FILE_FLAG_NO_BUFFERING
// for the uncached route.
#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "Simfile.h"

namespace {

bool aligned(uint64_t offset, const void* data, uint32_t size) {
  return offset % kSimFileDirectAlign == 0 && size % kSimFileDirectAlign == 0 &&
         reinterpret_cast<uintptr_t>(data) % kSimFileDirectAlign == 0;
}

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = DWORD(offset);
  o.OffsetHigh = DWORD(offset >> 32);
  return o;
}

class WinFile final : public SimFile {
 public:
  WinFile(HANDLE h, HANDLE direct) : h_(h), direct_(direct) {}
  ~WinFile() override {
    if (direct_ != INVALID_HANDLE_VALUE) CloseHandle(direct_);
    CloseHandle(h_);
  }

  uint32_t write(uint64_t offset, const void* data, uint32_t size) override {
    const HANDLE h = direct_ != INVALID_HANDLE_VALUE && aligned(offset, data, size) ? direct_ : h_;
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
      OVERLAPPED o = at(offset);
      DWORD n = 0;
      if (!WriteFile(h, p, size, &n, &o)) return GetLastError();
      if (n == 0) return ERROR_DISK_FULL;
      p += n, offset += n, size -= n;
    }
    return 0;
  }

  uint32_t read(uint64_t offset, void* data, uint32_t size) override {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
      OVERLAPPED o = at(offset);
      DWORD n = 0;
      if (!ReadFile(h_, p, size, &n, &o)) {
        const DWORD e = GetLastError();
        if (e != ERROR_HANDLE_EOF) return e;
        n = 0;
      }
      if (n == 0) {
        std::memset(p, 0, size);
        break;
      }
      p += n, offset += n, size -= n;
    }
    return 0;
  }

  bool direct() const override { return direct_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
  HANDLE direct_;
};

}  // namespace

std::unique_ptr<SimFile> SimFile::create(const std::string& path, uint64_t length, bool unbuffered,
                                         uint32_t* error) {
  uint32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  // Sparse where the file system can; otherwise the file is merely long.
  DWORD returned = 0;
  DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = LONGLONG(length);
  if (!SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
    *error = GetLastError();
    CloseHandle(h);
    return nullptr;
  }
  HANDLE direct = INVALID_HANDLE_VALUE;
  if (unbuffered) {
    direct = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING, nullptr);
  }
  *error = 0;
  return std::make_unique<WinFile>(h, direct);
}
