#include "Guipostqueue.h"

void PostQueue::post(std::function<void()> call) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake && wake_) wake_();
}

size_t PostQueue::runPending() {
  size_t budget = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    budget = calls_.size();
  }
  // One at a time from the shared queue, so that a call that runs a nested loop (which runs the
  // queue too) keeps the order; at most what was there at the start, so that a call that posts
  // again does not keep us here.
  size_t ran = 0;
  while (ran < budget) {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (calls_.empty()) break;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    if (call) call();
    ++ran;
  }
  bool again = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    again = !calls_.empty();
    wakePending_ = again;
  }
  if (again && wake_) wake_();
  return ran;
}

size_t PostQueue::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_.size();
}
