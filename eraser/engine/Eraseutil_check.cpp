// The read-back check: flush, sampled unbuffered reads, comparison with the last pass's block.
#include "Eraseutil_check.h"

#include <algorithm>
#include <new>
#include <random>

#include "Eraseutil.h"

std::vector<int64_t> checkOffsets(int64_t start, int64_t end, uint32_t sectorSize, uint32_t seed,
                                  int samplesBetween, uint32_t* blockBytes) {
  std::vector<int64_t> offsets;
  const int64_t sector = std::max<uint32_t>(sectorSize, 1);
  int64_t block = std::max<int64_t>(kCheckBlockBytes, sector);
  block -= block % sector;
  if (end - start < block) block = end - start;
  if (blockBytes != nullptr) *blockBytes = uint32_t(block);
  if (block <= 0) return offsets;
  offsets.push_back(start);
  const int64_t last = end - block;  // a whole number of sectors before the end
  const int64_t sectorsBetween = (last - start) / sector;
  std::mt19937 draw(seed);
  for (int i = 0; i < samplesBetween && sectorsBetween > 1; ++i) {
    const int64_t k = 1 + int64_t(draw() % uint64_t(sectorsBetween - 1));
    offsets.push_back(start + k * sector);
  }
  if (last > start) offsets.push_back(last);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  return offsets;
}

CheckResult checkWrittenRanges(DevHandle h, uint32_t sectorSize, const std::vector<WrittenRange>& ranges,
                               uint32_t seed) {
  CheckResult result;
  if (const uint32_t error = devFlush(h); error != 0) {
    result.error = "WriteFile Error:" + std::to_string(error);
    return result;
  }
  void* p = ::operator new (kMaxCheckBlock, std::align_val_t{kEraseBufferAlignment}, std::nothrow);
  if (p == nullptr) {
    result.error = "ReadFile Error:" + std::to_string(kErrorNoSystemResources);
    return result;
  }
  std::unique_ptr<uint8_t, AlignedBufferFree> read(static_cast<uint8_t*>(p));
  for (const WrittenRange& range : ranges) {
    if (!range.block || range.block->empty()) continue;
    const std::vector<uint8_t>& expected = *range.block;
    uint32_t size = 0;
    std::vector<int64_t> offsets = checkOffsets(range.start, range.end, sectorSize, seed++, kCheckSamplesBetween, &size);
    for (const int64_t at : range.marks)
      if (at >= range.start && at + int64_t(size) <= range.end) offsets.push_back(at);
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    for (const int64_t at : offsets) {
      if (const uint32_t error = devRead(h, uint64_t(at), read.get(), size); error != 0) {
        result.error = "ReadFile Error:" + std::to_string(error);
        return result;
      }
      ++result.blocksRead;
      for (uint32_t i = 0; i < size; ++i) {
        if (read.get()[i] != expected[size_t((at - range.start + i) % int64_t(expected.size()))]) {
          result.error = "Verify Error";
          return result;
        }
      }
    }
  }
  return result;
}
