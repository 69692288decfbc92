// Calls that other threads hand to the window thread, run there in the order they were posted.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

class PostQueue {
 public:
  // wake is called (on the posting thread) when the queue turns non-empty, to have the window
  // thread call runPending; it must not wait for the window thread.
  explicit PostQueue(std::function<void()> wake = nullptr) : wake_(std::move(wake)) {}

  // Any thread. Never waits for the window thread.
  void post(std::function<void()> call);
  // Window thread: runs, in order, at most as many calls as were waiting (later ones get a new
  // wake). Returns how many ran.
  size_t runPending();
  size_t pending() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  std::function<void()> wake_;
  bool wakePending_ = false;
};
