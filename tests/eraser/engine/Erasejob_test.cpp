// An erase job checks that the disk it opened is the one its run planned for before it touches it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Eraseutil.h"
#include "Eraseutil_log.h"
#include "Logfolder.h"
#include "Platformservices.h"
#include "Simmachine.h"
#include "Simulator.h"

namespace {

using namespace testsupport;
constexpr uint64_t kLength = 3 * 1048576;

class EraseJobIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMachine();
    setDebugSink([this](const std::string& text) { diagnostics_.push_back(text); });
  }
  void TearDown() override { resetMachine(); }

  // One job of method 1 over the whole disk of the record, run to its end; the disk's log.
  std::string eraseWith(const DiskRecord& record, const DiskIdentity* expected) {
    const LogFolder folder;  // its own, so the log read back is this job's
    {
      EraseRunLogs logs;
      logs.resetRunLogs();
      EXPECT_TRUE(logs.createDiskLog(*record, methodName(kMethodOnePassZeros)));
      clErase job;
      job.logs = &logs;
      job.open(record->devicePath, 0, 0, expected);
      buildPasses(job, kMethodOnePassZeros, {});
      while (job.step(false) == 1) {
      }
      job.close();
      logs.closeRunLogs();
    }
    return folder.log("_Disk1.txt");
  }

  std::string diagnosticsText() const {
    std::string all;
    for (const std::string& d : diagnostics_) all += d + "\n";
    return all;
  }

  std::vector<std::string> diagnostics_;
};

const std::string kInitError = std::string(kLogRule) + "Disk Init Error\r\n";
const std::string kSuccess = std::string(kLogRule) + "Erase Success\r\n";

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(EraseJobIdentityTest, JobWritesOnlyTheDiskItExpects) {
  struct Case {
    const char* what;
    std::function<void(DiskIdentity&)> change;
    const char* differs;  // in the diagnostic; null for the disk that matches
  } cases[] = {
      {"the planned disk", [](DiskIdentity&) {}, nullptr},
      {"another device number", [](DiskIdentity& e) { e.deviceNumber += 1; }, "device number"},
      {"another length", [](DiskIdentity& e) { e.length -= 512; }, "length"},
      {"another serial number", [](DiskIdentity& e) { e.serialNumber = "SN2"; }, "serial number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    const sim::DiskId disk = addPlainDisk(kLength);
    const DiskRecord record = mainDiskList().diskAt(0);
    ASSERT_TRUE(record);
    DiskIdentity expected = identityOf(*record);
    ASSERT_EQ(expected.serialNumber, "SN");
    c.change(expected);

    const std::string log = eraseWith(record, &expected);
    if (c.differs == nullptr) {
      EXPECT_TRUE(endsWith(log, kSuccess)) << log;
      EXPECT_EQ(sim::bytesWritten(disk), kLength);
      EXPECT_EQ(sim::layoutDeletions(disk), 1u);
      continue;
    }
    EXPECT_TRUE(endsWith(log, kInitError)) << log;
    EXPECT_EQ(sim::bytesWritten(disk), 0u);
    EXPECT_EQ(sim::layoutDeletions(disk), 0u);
    EXPECT_NE(diagnosticsText().find(std::string("Not the planned disk: ") + c.differs), std::string::npos)
        << diagnosticsText();
  }
}

TEST_F(EraseJobIdentityTest, DiskSwappedIntoThePlannedDisksBayIsLeftUntouched) {
  const SimStation station = addStation(sim::StationModel::syw2, {{0, kLength}, {1, kLength}});
  const DiskIdentity planned = identityOf(*station.head);
  // Same model, same length, same device number: only the serial tells the disks apart.
  sim::DiskSpec spec = sim::diskSpec(station.disks[0]);
  spec.volumes.clear();
  sim::setAtaString(spec.identify, 10, 2, "S2");
  const sim::DiskId swapped = sim::swapDisk(station.disks[0], spec);
  ASSERT_NE(swapped, sim::kNone);

  EXPECT_TRUE(endsWith(eraseWith(station.head, &planned), kInitError));
  EXPECT_EQ(sim::bytesWritten(swapped), 0u);
  EXPECT_EQ(sim::layoutDeletions(swapped), 0u);
}

TEST_F(EraseJobIdentityTest, SerialIsAskedOnlyWhenKnownAndAnUnreadableOneIsRefused) {
  const sim::DiskId disk = addPlainDisk(kLength);
  const DiskRecord record = mainDiskList().diskAt(0);
  DiskIdentity expected = identityOf(*record);
  sim::failRequest(disk, sim::Request::ataIdentify);
  EXPECT_TRUE(endsWith(eraseWith(record, &expected), kInitError));
  EXPECT_EQ(sim::bytesWritten(disk), 0u);

  // Without a known serial the number and the length decide, and IDENTIFY is not asked.
  expected.serialNumber.clear();
  const uint32_t asked = sim::requestCount(disk, sim::Request::ataIdentify);
  EXPECT_TRUE(endsWith(eraseWith(record, &expected), kSuccess));
  EXPECT_EQ(sim::requestCount(disk, sim::Request::ataIdentify), asked);
  EXPECT_EQ(sim::bytesWritten(disk), kLength);

  // A job given no identity (the callers of before) checks nothing.
  sim::clearFault(disk, sim::Request::ataIdentify);
  sim::failRequest(disk, sim::Request::deviceNumber);
  EXPECT_TRUE(endsWith(eraseWith(record, nullptr), kSuccess));
}

}  // namespace
