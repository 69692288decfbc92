// The simulator's tick clock: time that tests move by hand, or real time for tools and the demo.
#pragma once

#include <cstdint>

enum class SimClockMode : uint8_t {
  manual,  // ticks move only through simClockAdvance; devSleep advances them by its interval
  real,    // ticks follow the monotonic clock; devSleep really sleeps
};

void simClockSetMode(SimClockMode mode);
void simClockSet(uint32_t tick);        // manual mode: the current tick count
void simClockAdvance(uint32_t milliseconds);
