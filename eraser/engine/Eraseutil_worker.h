// The erase worker: starting, running and cancelling erase runs, and the state they share with the window.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int32_t kErasePositions = 50;
constexpr int32_t kBays = 6;

// Shared between the window and the workers. A run sets its position's two flags when it starts and
// clears them when it ends; the window cancels by clearing eraseRunning.
extern std::atomic<uint8_t> eraseRunning[kErasePositions];
extern std::atomic<uint8_t> eraseAlive[kErasePositions];
extern std::atomic<uint8_t> baySelected[kBays];
extern std::atomic<int32_t> shownPage;

// Starts a worker thread for the position when no run is alive there and the main disk list has a
// record at it. The flags are set before the thread exists, so a second Start, even at once, starts
// nothing. True when a worker was started.
bool startErase(int32_t position);

// The worker's body: one whole run for the position. Runs on the calling thread; startErase calls it
// on a new thread after setting the flags.
void runErase(int32_t position);

// Cancels every run and clears every bay tick, then waits, polling every 30 ms, until no worker is
// alive or maxMilliseconds have passed. True when every worker ended.
bool stopEraseWorkers(uint32_t maxMilliseconds = 10000);
