// Timers of the window thread: an interval, an enabled flag and one handler.
#pragma once

#include <cstdint>
#include <functional>

class Timer {
 public:
  Timer() = default;
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  uint32_t interval() const { return interval_; }
  // Milliseconds; 0 stops the ticks. A running timer starts counting again.
  void setInterval(uint32_t interval);
  bool enabled() const { return enabled_; }
  // A timer runs while it is enabled and has a handler and an interval above 0. Enabling it again
  // starts counting again.
  void setEnabled(bool enabled);
  void setHandler(std::function<void()> handler);

  // One tick: runs the handler (the platform's side calls this; tests may too).
  void fire();

 private:
  void update();

  std::function<void()> handler_;
  uint32_t interval_ = 1000;
  uint32_t id_ = 0;
  bool enabled_ = false;
};
