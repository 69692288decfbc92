// Erase planning: which ranges a run writes on which disks, when the station mirrors, what each disk
// ends with. Pure functions over plain data; the worker only carries them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Sunnywilldeviceutil.h"

// One disk of a run as planning sees it.
struct PlanDisk {
  int32_t bay = 0;
  int64_t length = 0;
  uint32_t sectorSize = 512;
  bool verified = false;  // its preparation open found the planned disk: the mirror may reach it
};

enum class MirrorChoice : uint8_t { none, allBays, fromSecondBay };

// A disk the station shows right before the mirror would go on.
struct StationMember {
  int32_t bay = -1;      // -1: its bay could not be told
  int32_t planned = -1;  // index into the planned disks, -1 for a disk the run does not erase
  std::string path{};    // the device path it answers at
};

struct StationSurvey {
  bool complete = false;  // the enumeration answered and every member's bay was asked
  std::vector<StationMember> members;
};

// The mirror only reaches disks the run erases: every planned disk present and verified, and every
// other disk of the station outside what the mode reaches (only bay 0, for the second-bay mode).
// Fewer than two disks gain nothing from it.
MirrorChoice chooseMirror(const std::vector<PlanDisk>& disks, const StationSurvey& survey);

BayMode mirrorMode(MirrorChoice mirror);

struct PlanStep {
  enum Kind : uint8_t { modeChange, job } kind = job;
  BayMode mode = BayMode::independent;  // for a mode step
  size_t disk = 0;                      // for a job: the disk it opens
  int64_t start = 0;
  int64_t end = 0;                      // exclusive, absolute
  std::vector<size_t> reaches;          // for a job: every disk it writes (the opened one first)
  bool mirrored() const { return reaches.size() > 1; }
  bool operator==(const PlanStep&) const = default;
};

struct RunPlan {
  MirrorChoice mirror = MirrorChoice::none;
  int64_t commonBytes = 0;  // the mirrored range [0, commonBytes); 0 without a mirror
  int64_t totalBytes = 0;   // what the run writes, a mirrored byte counted once
  std::vector<PlanStep> steps;
};

// The mirrored range is cut to a whole number of sectors of every disk, so every remainder starts on
// a sector boundary. Disks in skip take no part.
RunPlan planRun(const std::vector<PlanDisk>& disks, MirrorChoice mirror, const std::vector<bool>& skip = {});

// After a fault inside the mirrored range (a failed write, a missing target): the station back to
// independent, then every disk of the mirror not in skip erased on its own over its whole length.
std::vector<PlanStep> planMirrorFallback(const std::vector<PlanDisk>& disks, const PlanStep& mirrored,
                                         const std::vector<bool>& skip);

// --- what each disk ends with ----------------------------------------------------------------------

struct ByteSpan {
  int64_t start = 0;
  int64_t end = 0;
  bool operator==(const ByteSpan&) const = default;
};

struct DiskOutcome {
  std::vector<ByteSpan> covered;  // ranges that received every pass
  std::string ownError;           // the first failure of the disk's own doing ("WriteFile Error:23")
  bool stopped = false;           // cancelled, or dropped from the run by its own page
  std::string checkError;         // the flush or read-back result once it was whole; empty: equal
  bool checked = false;
};

// True when the spans cover [0, length).
bool coversWhole(std::vector<ByteSpan> spans, int64_t length);

// The disk's last log line: "Erase Success" only for a disk covered whole and read back equal;
// otherwise its own error, "Erase Cancel", or the check's error.
std::string diskVerdict(const DiskOutcome& outcome, int64_t length);
