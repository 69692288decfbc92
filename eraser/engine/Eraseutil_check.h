// The read-back check of an erased disk: flush its cache, then read sampled blocks of every range it
// received and compare them with what the last pass wrote there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Deviceioutil.h"

// A range as its last pass left it: the byte at offset x is block[(x - start) % block.size()], since a
// job writes its one buffer again and again from the range's start.
struct WrittenRange {
  int64_t start = 0;
  int64_t end = 0;  // exclusive
  std::shared_ptr<const std::vector<uint8_t>> block;
  std::vector<int64_t> marks;  // offsets that were marked before the range was written: read too
};

constexpr int kCheckSamplesBetween = 16;  // blocks drawn between a range's first and last block
constexpr uint32_t kCheckBlockBytes = 4096;
constexpr uint32_t kMaxCheckBlock = 65536;  // one block of the largest sector size accepted

struct CheckResult {
  std::string error;  // "" when every block read back equal; else the log's ending for the disk
  int blocksRead = 0;
};

// Offsets of the blocks to read in [start, end): the first, the last and samplesBetween drawn from
// seed between them, each a multiple of sectorSize; blockBytes is set to the size of one read.
std::vector<int64_t> checkOffsets(int64_t start, int64_t end, uint32_t sectorSize, uint32_t seed,
                                  int samplesBetween, uint32_t* blockBytes);

// Flushes the opened disk and checks the ranges. The handle must be open for unbuffered reads.
CheckResult checkWrittenRanges(DevHandle h, uint32_t sectorSize, const std::vector<WrittenRange>& ranges,
                               uint32_t seed);
