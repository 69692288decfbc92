// The simulator's tick clock and the device layer's time functions.
#include "Simclock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "Deviceioutil.h"

namespace {

std::atomic<uint8_t> clockMode{uint8_t(SimClockMode::manual)};
std::atomic<uint32_t> manualTick{1000};

// Waits sleep on this; every move of the clock and every stop wakes them to look again.
struct Waits {
  std::mutex lock;
  std::condition_variable changed;
};

Waits& waits() {
  static Waits* w = new Waits;  // never destroyed: a thread may still wait while the process ends
  return *w;
}

void wakeWaits() {
  Waits& w = waits();
  { std::lock_guard hold(w.lock); }
  w.changed.notify_all();
}

bool realMode() { return clockMode == uint8_t(SimClockMode::real); }

uint32_t realTick() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

void simClockSetMode(SimClockMode mode) {
  clockMode = uint8_t(mode);
  wakeWaits();
}

void simClockSet(uint32_t tick) {
  manualTick = tick;
  wakeWaits();
}

void simClockAdvance(uint32_t milliseconds) {
  manualTick += milliseconds;
  wakeWaits();
}

uint32_t devTickCount() { return realMode() ? realTick() : manualTick.load(); }

void devSleep(uint32_t milliseconds) {
  if (realMode()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  } else {
    // Simulated time passes for the sleeper; other threads get a chance to run.
    simClockAdvance(milliseconds);
    std::this_thread::yield();
  }
}

bool devWaitSince(DevStopSignal& signal, uint32_t since, uint32_t milliseconds) {
  Waits& w = waits();
  std::unique_lock hold(w.lock);
  for (;;) {
    if (signal.stopped) return true;
    const uint32_t passed = uint32_t(devTickCount() - since);
    if (passed >= milliseconds) return false;
    if (realMode()) {
      w.changed.wait_for(hold, std::chrono::milliseconds(milliseconds - passed));
    } else {
      w.changed.wait(hold);  // until the clock moves, its mode changes or the signal stops
    }
  }
}

void devStop(DevStopSignal& signal) {
  signal.stopped = true;
  wakeWaits();
}
