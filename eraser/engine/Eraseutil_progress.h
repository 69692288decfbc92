// Erase progress: percent, bar position, speed, time spent and time remaining of a running erase.
#pragma once

#include <cstdint>
#include <string>

class clErase;

struct ProgressValues {
  std::string percentText;    // "42.17%"
  int32_t barPosition = 0;    // 0..10000
  std::string speedText;      // "<Speed>:12.34 MB/s"
  std::string spentText;      // "<Spend time>:1h 2m 5s"
  std::string remainingText;  // "<Remaining time>:5m 3s", or only the prefix while nothing is covered
};

// Receives progress on the worker thread; an implementation must hand the values on without waiting
// for the thread that shows them (the window posts them to itself).
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void progress(uint64_t runId, const ProgressValues& values) = 0;
};

// The sink of the process (the main window), or none. Set it before workers start.
void setProgressSink(ProgressSink* sink);

// The three caption prefixes (language texts "Speed", "Spend time", "Remaining time"); empty until set.
void setProgressCaptions(const std::string& speed, const std::string& spent, const std::string& remaining);

// Computes the five values from a job, the run's bytes already covered, its total and its start tick.
ProgressValues computeProgress(const clErase& job, int64_t bytesBefore, int64_t runTotalBytes,
                               uint32_t runStartTick, uint32_t nowTick);

// Computes the values now and hands them to the sink for the run.
void publishProgress(uint64_t runId, const clErase& job, int64_t bytesBefore, int64_t runTotalBytes,
                     uint32_t runStartTick);

// "%s:%dh %dm %ds", "%s:%dm %ds" or "%s:%ds" for a number of seconds.
std::string durationText(const std::string& prefix, int64_t seconds);
