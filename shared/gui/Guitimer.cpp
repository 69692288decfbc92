#include "Guitimer.h"

#include "Guiplatform.h"

Timer::~Timer() {
  if (id_ != 0) stopPlatformTimer(id_);
}

void Timer::setInterval(uint32_t interval) {
  interval_ = interval;
  update();
}

void Timer::setEnabled(bool enabled) {
  enabled_ = enabled;
  update();
}

void Timer::setHandler(std::function<void()> handler) {
  handler_ = std::move(handler);
  update();
}

void Timer::update() {
  if (id_ != 0) stopPlatformTimer(id_);
  id_ = 0;
  if (enabled_ && interval_ > 0 && handler_) id_ = startPlatformTimer(*this, interval_);
}

void Timer::fire() {
  // A copy: the handler may replace itself.
  if (!enabled_ || !handler_) return;
  std::function<void()> handler = handler_;
  handler();
}
