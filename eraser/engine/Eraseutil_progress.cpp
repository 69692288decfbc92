// Erase progress: figures of the whole run from the current job and the run's byte totals.
#include "Eraseutil_progress.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "Deviceioutil.h"
#include "Eraseutil.h"

namespace {

std::atomic<ProgressSink*> progressSink{nullptr};

std::mutex captionLock;
std::string speedCaption, spentCaption, remainingCaption;

int64_t truncated(double value) { return int64_t(value); }

}  // namespace

void setProgressSink(ProgressSink* sink) { progressSink = sink; }

void setProgressCaptions(const std::string& speed, const std::string& spent, const std::string& remaining) {
  std::lock_guard<std::mutex> hold(captionLock);
  speedCaption = speed;
  spentCaption = spent;
  remainingCaption = remaining;
}

std::string durationText(const std::string& prefix, int64_t s) {
  char text[64];
  if (s > 3600) {
    std::snprintf(text, sizeof text, ":%dh %dm %ds", int(s / 3600), int(s % 3600 / 60), int(s % 60));
  } else if (s > 60) {
    std::snprintf(text, sizeof text, ":%dm %ds", int(s / 60), int(s % 60));
  } else {
    std::snprintf(text, sizeof text, ":%ds", int(s));
  }
  return prefix + text;
}

ProgressValues computeProgress(const clErase& job, int64_t bytesBefore, int64_t runTotalBytes,
                               uint32_t runStartTick, uint32_t nowTick) {
  std::string speed, spentPrefix, remainingPrefix;
  {
    std::lock_guard<std::mutex> hold(captionLock);
    speed = speedCaption;
    spentPrefix = spentCaption;
    remainingPrefix = remainingCaption;
  }
  const double rangeLength = double(job.rangeEnd - job.rangeStart);
  const int64_t covered = truncated(rangeLength * job.percent / 100.0 + double(bytesBefore));
  double overall = runTotalBytes > 0 ? double(covered) * 100.0 / double(runTotalBytes) : 0.0;
  overall = std::fmin(100.0, std::fmax(0.0, overall));  // a run whose total grew keeps within the bar

  ProgressValues v;
  char text[96];
  std::snprintf(text, sizeof text, "%0.2f%%", overall);
  v.percentText = text;
  v.barPosition = int32_t(truncated(overall * 100.0));

  const double spent = double(uint32_t(nowTick - runStartTick)) / 1000.0;
  const double rate = spent > 0.0 ? double(covered) / 1048576.0 / spent : 0.0;
  std::snprintf(text, sizeof text, ":%0.2f MB/s", rate * job.totalPasses);
  v.speedText = speed + text;
  v.spentText = durationText(spentPrefix, truncated(spent));
  if (rate > 0.0) {
    const double remaining = double(runTotalBytes - covered) / 1048576.0 / rate;
    v.remainingText = durationText(remainingPrefix, truncated(std::fmax(0.0, remaining)));
  } else {
    v.remainingText = remainingPrefix;  // nothing covered yet: no figure to show
  }
  return v;
}

void publishProgress(uint64_t runId, const clErase& job, int64_t bytesBefore, int64_t runTotalBytes,
                     uint32_t runStartTick) {
  ProgressSink* sink = progressSink;
  if (sink == nullptr) return;
  sink->progress(runId, computeProgress(job, bytesBefore, runTotalBytes, runStartTick, devTickCount()));
}
