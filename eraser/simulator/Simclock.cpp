// The simulator's tick clock and the device layer's time functions.
#include "Simclock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "Deviceioutil.h"

namespace {

std::atomic<uint8_t> clockMode{uint8_t(SimClockMode::manual)};
std::atomic<uint32_t> manualTick{1000};

uint32_t realTick() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

void simClockSetMode(SimClockMode mode) { clockMode = uint8_t(mode); }
void simClockSet(uint32_t tick) { manualTick = tick; }
void simClockAdvance(uint32_t milliseconds) { manualTick += milliseconds; }

uint32_t devTickCount() {
  return clockMode == uint8_t(SimClockMode::real) ? realTick() : manualTick.load();
}

void devSleep(uint32_t milliseconds) {
  if (clockMode == uint8_t(SimClockMode::real)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  } else {
    // Simulated time passes for the sleeper; other threads get a chance to run.
    manualTick += milliseconds;
    std::this_thread::yield();
  }
}
