// The simulator's file seam: a fixed-length sparse file written and read at offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Simfile_posix.cpp and Simfile_win.cpp hold the two sides. Calls at different offsets may run at
// the same time from several threads.
class SimFile {
 public:
  // Creates (or truncates) the file at path and sizes it to length without writing data. With
  // unbuffered set, writes whose offset, size and buffer are 4096-aligned bypass the system cache
  // when the file system allows it; other writes go through the cache. Null with the system error
  // (a Windows code) in *error on failure.
  static std::unique_ptr<SimFile> create(const std::string& path, uint64_t length, bool unbuffered,
                                         uint32_t* error);

  virtual ~SimFile() = default;
  virtual uint32_t write(uint64_t offset, const void* data, uint32_t size) = 0;  // 0 or an error
  virtual uint32_t read(uint64_t offset, void* data, uint32_t size) = 0;         // zeros past the end
  virtual bool direct() const = 0;  // whether aligned writes really bypass the cache
};

// The alignment that makes a write take the uncached route.
constexpr uint32_t kSimFileDirectAlign = 4096;
