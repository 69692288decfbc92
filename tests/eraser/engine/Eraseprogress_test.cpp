// Progress figures of a run: percent, bar position, speed and the time texts.
#include <gtest/gtest.h>

#include <memory>

#include "Eraseutil.h"
#include "Eraseutil_progress.h"

namespace {

constexpr int64_t MiB = 1048576;

std::unique_ptr<clErase> jobOver(int64_t length, double percent, int32_t passes) {
  auto job = std::make_unique<clErase>();
  job->rangeStart = 0;
  job->rangeEnd = length;
  job->percent = percent;
  job->totalPasses = passes;
  return job;
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgressCaptions("Speed", "Spend time", "Remaining time"); }
  void TearDown() override { setProgressCaptions("", "", ""); }
};

TEST_F(ProgressTest, HalfOfOnePassOnOneDisk) {
  const auto job = jobOver(100 * MiB, 50.0, 1);
  const ProgressValues v = computeProgress(*job, 0, 100 * MiB, 1000, 1000 + 10000);
  EXPECT_EQ(v.percentText, "50.00%");
  EXPECT_EQ(v.barPosition, 5000);
  EXPECT_EQ(v.speedText, "Speed:5.00 MB/s");
  EXPECT_EQ(v.spentText, "Spend time:10s");
  EXPECT_EQ(v.remainingText, "Remaining time:10s");
}

TEST_F(ProgressTest, ThreePassJobShowsThePhysicalWriteRate) {
  // First pass complete, second at a quarter: 100/3 + 25/3.
  const double percent = 100.0 / 3 + 25.0 / 3;
  const auto job = jobOver(120 * MiB, percent, 3);
  const ProgressValues v = computeProgress(*job, 0, 120 * MiB, 0, 10000);
  EXPECT_EQ(v.percentText, "41.67%");
  EXPECT_EQ(v.barPosition, 4166);
  EXPECT_EQ(v.speedText, "Speed:15.00 MB/s");  // 50 MiB covered in 10 s, three passes written
}

TEST_F(ProgressTest, LaterJobOfAStationRunAddsTheBytesBefore) {
  const auto job = jobOver(50 * MiB, 20.0, 1);  // a remainder [0, 50 MiB) at 20 %
  const ProgressValues v = computeProgress(*job, 150 * MiB, 200 * MiB, 0, 4000);
  EXPECT_EQ(v.percentText, "80.00%");
  EXPECT_EQ(v.barPosition, 8000);
}

TEST_F(ProgressTest, TimeTexts) {
  struct Case {
    int64_t seconds;
    const char* text;
  } cases[] = {{3725, "Spend time:1h 2m 5s"}, {3600, "Spend time:60m 0s"}, {60, "Spend time:60s"},
               {61, "Spend time:1m 1s"},      {0, "Spend time:0s"},        {3601, "Spend time:1h 0m 1s"}};
  for (const Case& c : cases) EXPECT_EQ(durationText("Spend time", c.seconds), c.text);

  const auto job = jobOver(MiB, 0.0, 1);
  EXPECT_EQ(computeProgress(*job, 0, MiB, 0, 3725 * 1000).spentText, "Spend time:1h 2m 5s");
}

TEST_F(ProgressTest, NothingCoveredYetShowsNoRemainingFigure) {
  const auto job = jobOver(10 * MiB, 0.0, 1);
  for (uint32_t now : {0u, 5000u}) {
    const ProgressValues v = computeProgress(*job, 0, 10 * MiB, 0, now);
    EXPECT_EQ(v.percentText, "0.00%");
    EXPECT_EQ(v.speedText, "Speed:0.00 MB/s");
    EXPECT_EQ(v.remainingText, "Remaining time");
  }
}

TEST_F(ProgressTest, TickCountWrapsAround) {
  const auto job = jobOver(100 * MiB, 50.0, 1);
  const ProgressValues v = computeProgress(*job, 0, 100 * MiB, 0xFFFFF000u, 0x00001000u + 5000);
  EXPECT_EQ(v.spentText, "Spend time:13s");  // 4096 ms before the wrap, 9096 after
}

}  // namespace
