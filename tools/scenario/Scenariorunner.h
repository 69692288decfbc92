// The scenario runner: one erase run of the real engine on a simulated machine built from a scenario.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Scenariofile.h"

struct RunnerOptions {
  std::string outDir;    // receives the images and "Velmora Log"; created when missing
  bool verbose = false;  // print the engine's diagnostics as well
  bool quiet = false;    // no progress lines
  bool noReadBack = false;  // skip the check after the last pass, to measure its cost
};

// What the run did to one disk, for the summary.
struct RunnerDiskReport {
  int bay = 0;
  std::string model;
  uint64_t length = 0;
  uint64_t bytesWritten = 0;  // every byte the disk received, mirrored copies included
  uint64_t bytesCovered = 0;  // distinct bytes written
  bool complete = false;      // every byte from 0 to the length was written
  bool selected = false;      // the bay was ticked (a plain disk always is)
  bool plugged = true;
  std::string image;      // image file, empty for a discarding disk
  bool directIo = false;  // the image was written around the system cache
  std::string log;        // log file name, empty when the run made none for the disk
  std::string logEnd;     // the endings the log records ("Erase Success, WriteFile Error:23")
};

struct RunnerReport {
  double seconds = 0;  // from the start of the run to its end
  uint64_t sent = 0;   // bytes the engine wrote (a mirrored write counts once)
  bool cancelled = false;
  std::vector<RunnerDiskReport> disks;  // in scenario order
};

// Builds the machine, runs the erase on a worker thread, prints progress and the summary. Returns
// the process exit code: 0 once the run has ended (whatever its logs say), 1 when the machine could
// not be built. *report, when given, receives the figures of the summary.
int runScenario(const Scenario& scenario, const RunnerOptions& options, RunnerReport* report = nullptr);
