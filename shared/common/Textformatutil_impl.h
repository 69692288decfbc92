// Text formatting internals: the scratch buffers and where each thread keeps its own pair.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

// One growing buffer: (n / 256 + 1) * 256 bytes, zero-filled, for a request of n bytes above its
// capacity; otherwise its first n bytes are zeroed.
template <typename Unit>
class ScratchBuffer {
 public:
  Unit* request(size_t bytes) {
    if (bytes == 0) return nullptr;
    if (capacity_ >= bytes) {
      std::memset(data_.get(), 0, bytes);
      return data_.get();
    }
    data_.reset();
    capacity_ = 0;
    if (bytes > std::numeric_limits<size_t>::max() - 256) return nullptr;
    const size_t size = (bytes / 256 + 1) * 256;
    data_.reset(new (std::nothrow) Unit[size / sizeof(Unit)]());
    if (data_ == nullptr) return nullptr;
    capacity_ = size;
    return data_.get();
  }
  size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<Unit[]> data_;
  size_t capacity_ = 0;
};

struct ScratchBuffers {
  ScratchBuffer<char> text;
  ScratchBuffer<char16_t> wide;
};

// The calling thread's buffers, released when the thread ends; nullptr when they cannot be had.
// Per thread, so that two threads formatting at once cannot overwrite each other's text.
ScratchBuffers* threadScratchBuffers();
