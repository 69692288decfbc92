// velmora-scenario from the outside: tiny scenarios run through the real engine, checked by their exit
// code, their logs and the bytes of their disk images.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
constexpr uint64_t MiB = 1048576;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Quotes a path only when it must: cmd.exe and sh agree on unquoted words.
std::string word(const fs::path& p) {
  const std::string s = p.string();
  return s.find(' ') == std::string::npos ? s : "\"" + s + "\"";
}

class ScenarioRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() /
            ("velmora-scenario-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Runs the runner on the scenario text; returns its exit code. Its output lands in output_.
  int run(const std::string& scenario, const std::string& options = "--quiet") {
    const fs::path file = root_ / "test.scn";
    std::ofstream(file, std::ios::binary) << scenario;
    const fs::path log = root_ / "runner.txt";
    const std::string command = word(fs::path(VELMORA_SCENARIO_RUNNER).make_preferred()) + " " + options +
                                " " + word(file) + " " + word(out()) + " > " + word(log) + " 2>&1";
    const int status = std::system(command.c_str());
    output_ = readAll(log);
    // sh hands back a wait status (the code in the second byte), cmd.exe the code itself.
    return status > 255 ? status >> 8 : status;
  }

  fs::path out() const { return root_ / "out"; }

  // Log file name -> content.
  std::map<std::string, std::string> logs() const {
    std::map<std::string, std::string> result;
    std::error_code ec;
    for (fs::directory_iterator it(out() / "Velmora Log", ec), end; !ec && it != end; it.increment(ec))
      result[it->path().filename().string()] = readAll(it->path());
    return result;
  }

  std::string logOf(int disk) const {
    const std::string suffix = "_Disk" + std::to_string(disk) + ".txt";
    for (const auto& [name, content] : logs())
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return content;
    return {};
  }

  fs::path root_;
  std::string output_;
};

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Where the image differs from the expected byte ranges: "" when it does not.
std::string compareImage(const std::string& image, const std::vector<std::pair<uint64_t, uint8_t>>& runs) {
  uint64_t at = 0;
  for (size_t r = 0; r < runs.size(); ++r) {
    const uint64_t end = r + 1 < runs.size() ? runs[r + 1].first : image.size();
    for (; at < end; ++at)
      if (uint8_t(image[at]) != runs[r].second)
        return "byte " + std::to_string(at) + " is " + std::to_string(uint8_t(image[at]));
  }
  return "";
}

TEST_F(ScenarioRunnerTest, MirroredStationRunLeavesTheLastPassOnEveryByte) {
  // Bays 0 and 1 of a two-bay station, both ticked: the common 3 MiB once through the mirror, then the
  // larger disk's last MiB on its own. Four passes: random, 00, FF, AA.
  ASSERT_EQ(run("station SYW2\n"
                "disk bay=1 length=3MiB model=\"SMALL ONE\" serial=S1\n"
                "disk bay=0 length=4MiB model=\"LARGE ONE\" serial=L0\n"
                "backing memory\n"
                "method 22\n"
                "pattern 0 1 256 171\n",
                ""),
            0)
      << output_;
  EXPECT_NE(output_.find("Run ended"), std::string::npos) << output_;
  ASSERT_EQ(logs().size(), 2u) << output_;
  const std::string log1 = logOf(1), log2 = logOf(2);
  EXPECT_EQ(log1.rfind("Disk1\r\nModel Name:LARGE ONE\r\nSerial Number:L0\r\nErase Type:User defined\r\n", 0),
            0u)
      << log1;
  EXPECT_EQ(log2.rfind("Disk2\r\nModel Name:SMALL ONE\r\nSerial Number:S1\r\n", 0), 0u) << log2;
  EXPECT_TRUE(endsWith(log1, "Erase Success\r\n")) << log1;
  EXPECT_TRUE(endsWith(log2, "Erase Success\r\n")) << log2;

  const std::string large = readAll(out() / "disk1.img");
  const std::string small = readAll(out() / "disk2.img");
  ASSERT_EQ(large.size(), 4 * MiB);
  ASSERT_EQ(small.size(), 3 * MiB);
  EXPECT_EQ(compareImage(large, {{0, 0xAA}}), "");
  EXPECT_EQ(compareImage(small, {{0, 0xAA}}), "");
}

TEST_F(ScenarioRunnerTest, WriteErrorOnASparsePlainDiskEndsTheRunWithTheErrorInTheLog) {
  ASSERT_EQ(run("plain length=3MiB backing=sparse file=plain.img\n"
                "method 22\n"
                "pattern 256 256 256 256\n"
                "write-error offset=1536KiB\n"),
            0)
      << output_;
  const std::string log = logOf(1);
  EXPECT_NE(log.find("Error when write file(1048576 - 2097152) FF \r\n"), std::string::npos) << log;
  EXPECT_TRUE(endsWith(log, "WriteFile Error:23\r\n")) << log;
  // The first block was written, the failed one and everything after it were not.
  const std::string image = readAll(out() / "plain.img");
  ASSERT_EQ(image.size(), 3 * MiB);
  EXPECT_EQ(compareImage(image, {{0, 0xFF}, {MiB, 0x00}}), "");
  EXPECT_NE(output_.find("partial, 1 MiB"), std::string::npos) << output_;
}

TEST_F(ScenarioRunnerTest, ScanFirstListsTheStationAndTheRunErasesWhatItFound) {
  // The disk scan probes the disks (IDENTIFY gives the padded model) and groups them under one head.
  ASSERT_EQ(run("station SYWL form=plain\n"
                "disk bay=3 length=2MiB model=\"SCANNED\" serial=S3\n"
                "disk bay=1 length=3MiB\n"
                "backing memory\n"
                "scan\n",
                ""),
            0)
      << output_;
  EXPECT_NE(output_.find("scan: 1 position(s), 2 disk(s) listed"), std::string::npos) << output_;
  const std::string log = logOf(4);
  EXPECT_EQ(log.rfind("Disk4\r\nModel Name:SCANNED" + std::string(33, ' ') + "\r\nSerial Number:S3", 0), 0u)
      << log;
  EXPECT_TRUE(endsWith(logOf(2), "Erase Success\r\n")) << logOf(2);
  EXPECT_EQ(compareImage(readAll(out() / "disk4.img"), {{0, 0x00}}), "");
  EXPECT_EQ(compareImage(readAll(out() / "disk2.img"), {{0, 0x00}}), "");
}

TEST_F(ScenarioRunnerTest, VolumeWithOpenFilesIsDismountedAndTheDiskErasedWhole) {
  ASSERT_EQ(run("plain length=4MiB backing=memory\n"
                "volume size=2MiB letter=e\n"
                "volume size=1MiB\n"
                "open-files\n"
                "method 22\n"
                "pattern 256 256 256 256\n"),
            0)
      << output_;
  EXPECT_TRUE(endsWith(logOf(1), "Erase Success\r\n")) << logOf(1);
  EXPECT_EQ(compareImage(readAll(out() / "disk1.img"), {{0, 0xFF}}), "");
}

TEST_F(ScenarioRunnerTest, CancelAfterSomeBytesWritesTheCancelLines) {
  ASSERT_EQ(run("station SYWL\n"
                "disk bay=0 length=2MiB\n"
                "disk bay=2 length=2MiB\n"
                "select 0 2\n"
                "backing memory\n"
                "cancel after=1MiB\n"
                "method 3\n"),
            0)
      << output_;
  // The run stops in the mirrored range of the head, so both disks' logs end with the cancel lines.
  EXPECT_TRUE(endsWith(logOf(1), "Erase Cancel\r\n")) << logOf(1);
  EXPECT_TRUE(endsWith(logOf(3), "Erase Cancel\r\n")) << logOf(3);
  EXPECT_NE(output_.find("(cancelled)"), std::string::npos) << output_;
}

TEST_F(ScenarioRunnerTest, SwapPutsAnotherDiskBehindTheListedPathAndReportsWhatItReceived) {
  ASSERT_EQ(run("station SYWL\n"
                "disk bay=0 length=2MiB\n"
                "disk bay=2 length=2MiB\n"
                "select 0\n"
                "swap bay=2 length=4MiB serial=OTHER\n"),
            0)
      << output_;
  EXPECT_NE(output_.find("swap: bay 2 holds another disk under the same path (serial OTHER)"),
            std::string::npos)
      << output_;
  EXPECT_NE(output_.find("4 MiB        0 B  none"), std::string::npos) << output_;
  EXPECT_TRUE(endsWith(logOf(1), "Erase Success\r\n")) << logOf(1);
}

// Enabled once the worker hands each job the identity of the disk it planned with.
TEST_F(ScenarioRunnerTest, SwappedDiskIsNotWrittenAndItsLogSaysDiskInitError) {
  ASSERT_EQ(run("station SYWL\n"
                "disk bay=0 length=2MiB\n"
                "disk bay=2 length=2MiB\n"
                "select 2\n"
                "swap bay=2\n"),
            0)
      << output_;
  EXPECT_TRUE(endsWith(logOf(3), "===============================\r\nDisk Init Error\r\n")) << logOf(3);
  EXPECT_NE(output_.find("2 MiB        0 B  none"), std::string::npos) << output_;
}

TEST_F(ScenarioRunnerTest, AWrongScenarioIsRefusedBeforeAnythingRuns) {
  EXPECT_EQ(run("station SYWL\n"
                "disk bay=0 length=2MiB\n"
                "select 0 4\n"),
            2);
  EXPECT_NE(output_.find("line 3: bay 4 holds no disk"), std::string::npos) << output_;
  EXPECT_FALSE(fs::exists(out()));
}

}  // namespace
