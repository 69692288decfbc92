// Erase planning: the mirror decision, the steps of a run and its fallback, each disk's verdict.
#include "Eraseutil_plan.h"

#include <algorithm>

namespace {

bool skipped(const std::vector<bool>& skip, size_t i) { return i < skip.size() && skip[i]; }

// The mode a run reaches `bay` with.
bool reaches(MirrorChoice mirror, int32_t bay) {
  return mirror == MirrorChoice::allBays || (mirror == MirrorChoice::fromSecondBay && bay > 0);
}

PlanStep modeStep(BayMode mode) {
  PlanStep step;
  step.kind = PlanStep::modeChange;
  step.mode = mode;
  return step;
}

PlanStep jobStep(size_t disk, int64_t start, int64_t end, std::vector<size_t> reached) {
  PlanStep step;
  step.disk = disk;
  step.start = start;
  step.end = end;
  step.reaches = std::move(reached);
  return step;
}

}  // namespace

MirrorChoice chooseMirror(const std::vector<PlanDisk>& disks, const StationSurvey& survey) {
  if (!survey.complete || disks.size() < 2) return MirrorChoice::none;
  std::vector<bool> present(disks.size(), false);
  bool otherInBayZero = false;
  for (const StationMember& m : survey.members) {
    if (m.planned >= 0 && size_t(m.planned) < disks.size()) {
      present[size_t(m.planned)] = true;
      continue;
    }
    if (m.bay != 0) return MirrorChoice::none;  // a disk either mode may reach, or one of no known bay
    otherInBayZero = true;
  }
  for (size_t i = 0; i < disks.size(); ++i) {
    if (!present[i] || !disks[i].verified) return MirrorChoice::none;
  }
  if (!otherInBayZero) return MirrorChoice::allBays;
  for (const PlanDisk& d : disks) {
    if (d.bay <= 0) return MirrorChoice::none;  // bay 0 is taken by a disk the run does not erase
  }
  return MirrorChoice::fromSecondBay;
}

BayMode mirrorMode(MirrorChoice mirror) {
  return mirror == MirrorChoice::allBays ? BayMode::mirrorAllBays : BayMode::mirrorFromSecondBay;
}

RunPlan planRun(const std::vector<PlanDisk>& disks, MirrorChoice mirror, const std::vector<bool>& skip) {
  RunPlan plan;
  std::vector<size_t> part;
  for (size_t i = 0; i < disks.size(); ++i) {
    if (!skipped(skip, i) && disks[i].length > 0) part.push_back(i);
  }
  if (mirror != MirrorChoice::none) {
    for (size_t i : part) {
      if (!reaches(mirror, disks[i].bay)) mirror = MirrorChoice::none;
    }
    if (part.size() < 2) mirror = MirrorChoice::none;
  }
  plan.mirror = mirror;
  if (mirror == MirrorChoice::none) {
    for (size_t i : part) {
      plan.steps.push_back(jobStep(i, 0, disks[i].length, {i}));
      plan.totalBytes += disks[i].length;
    }
    return plan;
  }
  int64_t common = disks[part.front()].length;
  uint32_t sector = 1;
  for (size_t i : part) {
    common = std::min(common, disks[i].length);
    sector = std::max(sector, disks[i].sectorSize);
  }
  // Mixed sector sizes are powers of two: the largest is a multiple of every other.
  common -= common % sector;
  plan.commonBytes = common;
  if (common > 0) {
    plan.steps.push_back(modeStep(mirrorMode(mirror)));
    plan.steps.push_back(jobStep(part.front(), 0, common, part));
    plan.steps.push_back(modeStep(BayMode::independent));
    plan.totalBytes += common;
  } else {
    plan.mirror = MirrorChoice::none;
  }
  for (size_t i : part) {
    if (disks[i].length > common) {
      plan.steps.push_back(jobStep(i, common, disks[i].length, {i}));
      plan.totalBytes += disks[i].length - common;
    }
  }
  return plan;
}

std::vector<PlanStep> planMirrorFallback(const std::vector<PlanDisk>& disks, const PlanStep& mirrored,
                                         const std::vector<bool>& skip) {
  std::vector<PlanStep> steps{modeStep(BayMode::independent)};
  for (size_t i : mirrored.reaches) {
    if (i < disks.size() && !skipped(skip, i)) steps.push_back(jobStep(i, 0, disks[i].length, {i}));
  }
  return steps;
}

bool coversWhole(std::vector<ByteSpan> spans, int64_t length) {
  std::sort(spans.begin(), spans.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.start < b.start; });
  int64_t reached = 0;
  for (const ByteSpan& s : spans) {
    if (s.start > reached) return false;
    reached = std::max(reached, s.end);
  }
  return reached >= length;
}

std::string diskVerdict(const DiskOutcome& outcome, int64_t length) {
  if (!outcome.ownError.empty()) return outcome.ownError;
  if (coversWhole(outcome.covered, length) && outcome.checked) {
    return outcome.checkError.empty() ? "Erase Success" : outcome.checkError;
  }
  return outcome.stopped ? "Erase Cancel" : "Disk Init Error";
}
