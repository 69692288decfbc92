// The erase job on simulated disks of every sector size the device layer accepts, its transfer
// buffer, and what a disk's own texts can do to its log.
#include <gtest/gtest.h>

#include <sstream>

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Logfolder.h"
#include "Simmachine.h"
#include "Textformatutil.h"

namespace {

using namespace testsupport;
constexpr uint64_t MiB = 1048576;

class EraseJob : public ::testing::Test {
 protected:
  void SetUp() override { resetMachine(); }
  void TearDown() override { resetMachine(); }
};

TEST_F(EraseJob, TransferBufferIsAlignedForTheLargestSector) {
  clErase job;
  ASSERT_TRUE(job.allocateBuffer());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(job.buffer.get()) % 65536, 0u);
  EXPECT_EQ(job.bufferLength, 1048576u);
}

// Unbuffered writes must be whole sectors at sector-aligned addresses: every sector size is written
// to its last byte in 1 MiB blocks and a shorter tail.
TEST_F(EraseJob, EverySectorSizeIsWrittenWhole) {
  const uint64_t length = 2 * MiB + 3 * 65536;  // whole sectors of every size, and a tail
  for (uint32_t sector : {512u, 4096u, 8192u, 65536u}) {
    SCOPED_TRACE(sector);
    resetMachine();
    const sim::DiskId disk = addPlainDisk(length, sector);
    clErase job;
    ASSERT_TRUE(job.open(sim::diskSpec(disk).path, 0, 0));
    EXPECT_EQ(job.bytesPerSector, sector);
    buildPasses(job, kMethodUserDefined, {256, 0, 0, 0});  // FF, then three random passes
    int steps = 0, result = 1;
    while (result == 1 && steps++ < 100) result = job.step(false);
    job.close();
    EXPECT_EQ(result, 0) << "every pass to the end";
    EXPECT_EQ(sim::coverage(disk), (std::vector<sim::ByteRange>{{0, length}}));
    EXPECT_EQ(sim::bytesWritten(disk), 4 * length);
    EXPECT_EQ(sim::readBytes(disk, length - sector, sector).size(), sector);
  }
}

TEST(PrintableText, BytesOutsidePrintableAsciiBecomeBlanks) {
  EXPECT_EQ(printableText("WDC WD5000AAKX"), "WDC WD5000AAKX");
  EXPECT_EQ(printableText(std::string("A\r\nB\tC\x7F\x80\xFF", 9) + std::string(1, '\0') + "D"),
            "A  B C    D");
  EXPECT_EQ(printableText(""), "");
}

// A disk whose IDENTIFY model carries a line break and "Erase Success" cannot add a verdict to its log.
TEST_F(EraseJob, DeviceTextsCannotAddLinesToALog) {
  LogFolder folder;
  sim::DiskSpec spec;
  spec.path = "\\\\?\\usbstor#disk&ven_evil&prod_disk#1";
  spec.deviceNumber = 1;
  spec.length = 2 * MiB;
  spec.vendorId = "EVIL";
  spec.productId = "DISK";
  sim::setIdentifyModel(spec.identify, "X\r\nErase Success\r\n");
  sim::setIdentifySerial(spec.identify, "S\nN\x01");
  const sim::DiskId disk = sim::addDisk(spec);
  ASSERT_NE(disk, sim::kNone);
  sim::failWritesAt(disk, MiB);  // the erase fails: the log must not claim success anywhere
  DiskRecord record = admit(disk);
  ASSERT_TRUE(record);
  EXPECT_NE(record->modelName.find("\r\nErase Success"), std::string::npos) << "the record keeps the bytes";

  eraseNow(0, kMethodOnePassZeros);
  const std::string log = folder.log("_Disk1.txt");
  std::istringstream lines(log);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_GE(all.size(), 6u) << log;
  EXPECT_EQ(all[1].rfind("Model Name:X  Erase Success  ", 0), 0u) << log;
  EXPECT_EQ(all[2].rfind("Serial Number:S N ", 0), 0u) << log;
  EXPECT_EQ(all[3].rfind("Erase Type:", 0), 0u) << log;
  for (const std::string& line : all) EXPECT_NE(line, "Erase Success\r") << log;
  EXPECT_EQ(all.back(), "WriteFile Error:23\r") << log;
}

}  // namespace
