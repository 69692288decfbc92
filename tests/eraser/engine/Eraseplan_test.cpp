// Run planning as pure functions: the mirror decision from the station as it is, the steps of a run,
// the fallback after a fault inside the mirrored range, and each disk's verdict.
#include <gtest/gtest.h>

#include "Eraseutil_plan.h"

namespace {

constexpr int64_t MiB = 1048576;

PlanDisk disk(int32_t bay, int64_t length, uint32_t sector = 512, bool verified = true) {
  return {bay, length, sector, verified};
}

StationSurvey survey(std::vector<StationMember> members) { return {true, std::move(members)}; }

TEST(ChooseMirror, OnlyWhenEveryDiskTheModeReachesIsPlannedAndVerified) {
  const std::vector<PlanDisk> three{disk(0, 3 * MiB), disk(1, 5 * MiB), disk(2, 4 * MiB)};
  const std::vector<PlanDisk> upper{disk(1, 3 * MiB), disk(2, 5 * MiB)};
  struct Case {
    const char* name;
    std::vector<PlanDisk> disks;
    StationSurvey station;
    MirrorChoice expected;
  } cases[] = {
      {"every disk planned", three, survey({{0, 0}, {1, 1}, {2, 2}}), MirrorChoice::allBays},
      {"bay 0 holds a disk the run leaves", upper, survey({{0, -1}, {1, 0}, {2, 1}}), MirrorChoice::fromSecondBay},
      {"another bay holds a disk the run leaves", three, survey({{0, 0}, {1, 1}, {2, 2}, {3, -1}}), MirrorChoice::none},
      {"a disk of no known bay", upper, survey({{-1, -1}, {1, 0}, {2, 1}}), MirrorChoice::none},
      {"a planned disk is missing", three, survey({{0, 0}, {2, 2}}), MirrorChoice::none},
      {"a planned disk was not verified", {disk(0, MiB), disk(1, MiB, 512, false)}, survey({{0, 0}, {1, 1}}),
       MirrorChoice::none},
      {"the station could not be surveyed", three, StationSurvey{}, MirrorChoice::none},
      {"one disk gains nothing", {disk(1, MiB)}, survey({{1, 0}}), MirrorChoice::none},
      {"bay 0 planned beside a disk the run leaves", {disk(0, MiB), disk(2, MiB)}, survey({{0, 0}, {1, -1}, {2, 1}}),
       MirrorChoice::none},
  };
  for (const Case& c : cases) EXPECT_EQ(chooseMirror(c.disks, c.station), c.expected) << c.name;
}

PlanStep job(size_t d, int64_t start, int64_t end, std::vector<size_t> reaches) {
  PlanStep s;
  s.disk = d;
  s.start = start;
  s.end = end;
  s.reaches = std::move(reaches);
  return s;
}

PlanStep mode(BayMode m) {
  PlanStep s;
  s.kind = PlanStep::modeChange;
  s.mode = m;
  return s;
}

TEST(PlanRun, MirroredCommonRangeOnceThenEachRemainder) {
  const std::vector<PlanDisk> disks{disk(0, 3 * MiB), disk(1, 5 * MiB), disk(2, 4 * MiB)};
  const RunPlan plan = planRun(disks, MirrorChoice::allBays);
  EXPECT_EQ(plan.commonBytes, 3 * MiB);
  EXPECT_EQ(plan.totalBytes, 3 * MiB + 2 * MiB + MiB);
  EXPECT_EQ(plan.steps, (std::vector<PlanStep>{mode(BayMode::mirrorAllBays), job(0, 0, 3 * MiB, {0, 1, 2}),
                                               mode(BayMode::independent), job(1, 3 * MiB, 5 * MiB, {1}),
                                               job(2, 3 * MiB, 4 * MiB, {2})}));
}

TEST(PlanRun, WithoutMirrorEveryDiskIsOneWholeJob) {
  const std::vector<PlanDisk> disks{disk(0, 3 * MiB), disk(2, 4 * MiB)};
  const RunPlan plan = planRun(disks, MirrorChoice::none);
  EXPECT_EQ(plan.totalBytes, 7 * MiB);
  EXPECT_EQ(plan.steps, (std::vector<PlanStep>{job(0, 0, 3 * MiB, {0}), job(1, 0, 4 * MiB, {1})}));
}

TEST(PlanRun, TheCommonRangeEndsOnASectorOfEveryDiskAndSkippedDisksTakeNoPart) {
  // A 4096-byte-sector disk: its remainder must start on its own sector boundary, whatever the open
  // of planning learned (the sector size comes from the record when it failed).
  const std::vector<PlanDisk> disks{disk(0, 3 * MiB + 512), disk(1, 5 * MiB, 4096, false), disk(2, 4 * MiB)};
  const RunPlan plan = planRun(disks, MirrorChoice::allBays);
  EXPECT_EQ(plan.commonBytes, 3 * MiB);
  EXPECT_EQ(plan.commonBytes % 4096, 0);
  // Skipping the smallest disk: the mirror serves the other two.
  const RunPlan skipped = planRun(disks, MirrorChoice::allBays, {true, false, false});
  EXPECT_EQ(skipped.commonBytes, 4 * MiB);
  EXPECT_EQ(skipped.steps[1], job(1, 0, 4 * MiB, {1, 2}));
  // With one disk left there is nothing to mirror.
  EXPECT_EQ(planRun(disks, MirrorChoice::allBays, {true, true, false}).steps,
            (std::vector<PlanStep>{job(2, 0, 4 * MiB, {2})}));
}

TEST(PlanRun, AFaultInsideTheMirrorErasesEveryDiskOfItOnItsOwnFromTheStart) {
  const std::vector<PlanDisk> disks{disk(0, 64 * MiB), disk(1, 32 * MiB), disk(2, 48 * MiB)};
  const RunPlan plan = planRun(disks, MirrorChoice::allBays);
  const PlanStep& mirrored = plan.steps[1];
  EXPECT_EQ(planMirrorFallback(disks, mirrored, {}),
            (std::vector<PlanStep>{mode(BayMode::independent), job(0, 0, 64 * MiB, {0}), job(1, 0, 32 * MiB, {1}),
                                   job(2, 0, 48 * MiB, {2})}));
  EXPECT_EQ(planMirrorFallback(disks, mirrored, {false, true, false}).size(), 3u) << "a dropped disk is left";
}

TEST(DiskVerdict, SuccessOnlyForAWholeDiskThatReadBackEqual) {
  const int64_t L = 8 * MiB;
  struct Case {
    const char* name;
    DiskOutcome outcome;
    std::string expected;
  } cases[] = {
      {"whole and equal", {{{0, L}}, "", false, "", true}, "Erase Success"},
      {"whole from two ranges", {{{4 * MiB, L}, {0, 4 * MiB}}, "", false, "", true}, "Erase Success"},
      {"whole but not checked", {{{0, L}}, "", false, "", false}, "Disk Init Error"},
      {"read back different", {{{0, L}}, "", false, "Verify Error", true}, "Verify Error"},
      {"a gap", {{{0, MiB}, {2 * MiB, L}}, "", false, "", true}, "Disk Init Error"},
      {"its own write error", {{{0, L}}, "WriteFile Error:23", false, "", true}, "WriteFile Error:23"},
      {"cancelled part-way", {{{0, MiB}}, "", true, "", false}, "Erase Cancel"},
      {"cancelled after it was whole", {{{0, L}}, "", true, "", true}, "Erase Success"},
      {"its error wins over the cancel", {{}, "Disk Init Error", true, "", false}, "Disk Init Error"},
  };
  for (const Case& c : cases) EXPECT_EQ(diskVerdict(c.outcome, L), c.expected) << c.name;
}

}  // namespace
