// Scenario files: what a valid file gives, and that every kind of mistake names its line.
#include "Scenariofile.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t MiB = 1048576;
constexpr uint64_t GiB = 1024 * MiB;

Scenario parsed(const std::string& text) {
  Scenario s;
  ScenarioError e;
  EXPECT_TRUE(parseScenario(text, &s, &e)) << scenarioErrorText(e);
  return s;
}

TEST(ScenarioFile, StationWithEverySetting) {
  const Scenario s = parsed(
      "# a station\n"
      "station SYW4 form=plain\n"
      "disk bay=1 length=4GiB sector=4096 model=\"WDC WD40 #1\" serial=WX12  # the first found\n"
      "disk bay=0 length=1.5MiB backing=memory\n"
      "\n"
      "select 1 0\r\n"
      "method 22\n"
      "pattern 0 1 256 0\n"
      "backing sparse unbuffered\n"
      "fail open bay=1 error=5 times=2\n"
      "fail layout bay=0\n"
      "write-error bay=1 offset=1MiB error=1117\n"
      "unplug bay=0 after=512MiB\n"
      "refuse-mode busy\n"
      "cancel after=2GiB\n"
      "speed 200MiB/s\n");
  EXPECT_TRUE(s.station);
  EXPECT_EQ(s.model, ScenarioModel::syw4);
  EXPECT_EQ(s.replyForm, ScenarioReplyForm::plain);
  ASSERT_EQ(s.disks.size(), 2u);
  EXPECT_EQ(s.disks[0].bay, 1);
  EXPECT_EQ(s.disks[0].line, 3);
  EXPECT_EQ(s.disks[0].length, 4 * GiB);
  EXPECT_EQ(s.disks[0].sectorSize, 4096u);
  EXPECT_EQ(s.disks[0].model, "WDC WD40 #1");
  EXPECT_EQ(s.disks[0].serial, "WX12");
  // The file's backing, unless the disk names its own; only sparse disks go around the cache.
  EXPECT_EQ(s.disks[0].backing, ScenarioBacking::sparse);
  EXPECT_TRUE(s.disks[0].unbuffered);
  EXPECT_EQ(s.disks[1].backing, ScenarioBacking::memory);
  EXPECT_FALSE(s.disks[1].unbuffered);
  EXPECT_EQ(s.disks[1].length, 3 * MiB / 2);
  EXPECT_EQ(s.selected, (std::vector<int>{0, 1}));
  EXPECT_EQ(s.method, 22);
  EXPECT_EQ(s.pattern, (std::array<int32_t, 4>{0, 1, 256, 0}));
  ASSERT_EQ(s.faults.size(), 4u);
  EXPECT_EQ(s.faults[0].kind, ScenarioFaultKind::failRequest);
  EXPECT_EQ(s.faults[0].request, ScenarioRequest::open);
  EXPECT_EQ(s.faults[0].error, 5u);
  EXPECT_EQ(s.faults[0].times, 2);
  EXPECT_EQ(s.faults[1].request, ScenarioRequest::layout);
  EXPECT_EQ(s.faults[1].times, -1);
  EXPECT_EQ(s.faults[2].kind, ScenarioFaultKind::writeError);
  EXPECT_EQ(s.faults[2].at, MiB);
  EXPECT_EQ(s.faults[2].error, 1117u);
  EXPECT_EQ(s.faults[3].kind, ScenarioFaultKind::unplug);
  EXPECT_EQ(s.faults[3].at, 512 * MiB);
  EXPECT_TRUE(s.refuseMode);
  EXPECT_TRUE(s.refuseBusy);
  EXPECT_EQ(s.cancelAfter, 2 * GiB);
  EXPECT_EQ(s.bytesPerSecond, 200 * MiB);
}

TEST(ScenarioFile, VolumesAndTheFaultsOfLockingAndReadingBack) {
  const Scenario s = parsed(
      "station SYW2\n"
      "disk bay=0 length=64MiB\n"
      "disk bay=1 length=32MiB\n"
      "volume bay=0 size=16MiB letter=E\n"
      "volume bay=0 size=8MiB\n"
      "volume bay=1 size=31MiB\n"
      "open-files bay=0\n"
      "refuse-dismount bay=1\n"
      "forget-writes bay=1\n"
      "drop-copies\n");
  ASSERT_EQ(s.disks.size(), 2u);
  ASSERT_EQ(s.disks[0].volumes.size(), 2u);
  EXPECT_EQ(s.disks[0].volumes[0].letter, 'e');
  EXPECT_EQ(s.disks[0].volumes[0].size, 16 * MiB);
  EXPECT_EQ(s.disks[0].volumes[1].letter, 0);
  EXPECT_EQ(s.disks[1].volumes.at(0).size, 31 * MiB);  // just fits after the first MiB
  ASSERT_EQ(s.faults.size(), 3u);
  EXPECT_EQ(s.faults[0].kind, ScenarioFaultKind::openFiles);
  EXPECT_EQ(s.faults[0].bay, 0);
  EXPECT_EQ(s.faults[1].kind, ScenarioFaultKind::refuseDismount);
  EXPECT_EQ(s.faults[2].kind, ScenarioFaultKind::forgetWrites);
  EXPECT_EQ(s.faults[2].bay, 1);
  EXPECT_TRUE(s.dropCopies);
  EXPECT_EQ(parsed("plain length=4MiB\nvolume size=1MiB\nopen-files\n").disks[0].volumes.size(), 1u);
}

TEST(ScenarioFile, DefaultsOfAPlainDisk) {
  const Scenario s = parsed("plain length=8MiB\nwrite-error offset=4MiB\n");
  EXPECT_FALSE(s.station);
  ASSERT_EQ(s.disks.size(), 1u);
  EXPECT_EQ(s.disks[0].bay, 0);
  EXPECT_EQ(s.disks[0].sectorSize, 512u);
  EXPECT_EQ(s.disks[0].backing, ScenarioBacking::discard);
  EXPECT_FALSE(s.disks[0].model.empty());
  EXPECT_FALSE(s.disks[0].serial.empty());
  EXPECT_EQ(s.method, 1);
  EXPECT_EQ(s.pattern, (std::array<int32_t, 4>{0, 0, 0, 0}));
  ASSERT_EQ(s.faults.size(), 1u);
  EXPECT_EQ(s.faults[0].bay, 0);  // a fault without bay= is the plain disk's
  EXPECT_EQ(s.cancelAfter, 0u);
  EXPECT_EQ(s.bytesPerSecond, 0u);
}

TEST(ScenarioFile, WithoutSelectEveryDiskOfTheStationIsTicked) {
  EXPECT_EQ(parsed("station SYWL\ndisk bay=4 length=1MiB\ndisk bay=2 length=1MiB\n").selected,
            (std::vector<int>{2, 4}));
  EXPECT_TRUE(parsed("station SYWL\ndisk bay=4 length=1MiB\nselect none\n").selected.empty());
}

TEST(ScenarioFile, SwapNamesTheBayAndWhatDiffers) {
  const Scenario s = parsed(
      "station SYW2\ndisk bay=1 length=2MiB sector=4096\nswap bay=1\nswap bay=1 length=4MiB serial=NEW7\n");
  ASSERT_EQ(s.faults.size(), 2u);
  EXPECT_EQ(s.faults[0].kind, ScenarioFaultKind::swap);
  EXPECT_EQ(s.faults[0].bay, 1);
  EXPECT_EQ(s.faults[0].at, 0u);  // the same length
  EXPECT_FALSE(s.faults[0].serial.empty());
  EXPECT_NE(s.faults[0].serial, s.disks[0].serial);
  EXPECT_EQ(s.faults[1].at, 4 * MiB);
  EXPECT_EQ(s.faults[1].serial, "NEW7");
}

TEST(ScenarioFile, ByteSizes) {
  const struct {
    const char* text;
    uint64_t bytes;  // 0: refused
  } cases[] = {
      {"512", 512},
      {"4GiB", 4 * GiB},
      {"4gib", 4 * GiB},
      {"4G", 4 * GiB},
      {"1.5GiB", 3 * GiB / 2},
      {"0.5KiB", 512},
      {"2GB", 2000000000},
      {"1.5MB", 1500000},
      {"1TiB", 1024 * GiB},
      {"16384PiB", 0},  // no such unit
      {"0.3KiB", 0},    // not a whole number of bytes
      {"1.KiB", 0},
      {".5KiB", 0},
      {"1..5KiB", 0},
      {"GiB", 0},
      {"-1", 0},
      {"", 0},
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", 0},
      {"17179869184GiB", 0},  // 2^64 bytes
  };
  for (const auto& c : cases) {
    uint64_t bytes = 0;
    EXPECT_EQ(parseByteSize(c.text, &bytes), c.bytes != 0) << c.text;
    if (c.bytes != 0) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
  uint64_t speed = 0;
  EXPECT_TRUE(parseSpeed("200MiB/s", &speed));
  EXPECT_EQ(speed, 200 * MiB);
  EXPECT_FALSE(parseSpeed("200MiB", &speed));
  EXPECT_FALSE(parseSpeed("0MiB/s", &speed));
  EXPECT_FALSE(parseSpeed("200MiB/h", &speed));
  EXPECT_EQ(byteSizeText(512), "512 B");
  EXPECT_EQ(byteSizeText(3 * GiB / 2), "1.50 GiB");
  EXPECT_EQ(byteSizeText(4 * GiB), "4 GiB");
}

TEST(ScenarioFile, EveryMistakeNamesItsLine) {
  const std::string station = "station SYWL\ndisk bay=0 length=4MiB\n";  // lines 1 and 2
  const struct {
    std::string text;
    int line;
    const char* words;  // part of the message
  } cases[] = {
      {"dsik bay=0 length=1MiB\n", 1, "unknown keyword \"dsik\""},
      {station + "disk bay=1 length=1MiB model=\"unclosed\n", 3, "double quote"},
      {"station SYWX\n", 1, "SYWX"},
      {"station\n", 1, "needs a model"},
      {"station SYW2 form=xy\n", 1, "form"},
      {"station SYW2 colour=red\n", 1, "unknown setting \"colour\""},
      {station + "station SYW2\n", 3, "twice"},
      {station + "plain length=1MiB\n", 3, "not both"},
      {"plain length=1MiB\nstation SYWL\n", 2, "not both"},
      {"disk bay=0 length=1MiB\n", 1, "station line before"},
      {"station SYW2\ndisk bay=2 length=1MiB\n", 2, "bays 0 to 1"},
      {station + "disk bay=0 length=1MiB\n", 3, "already holds the disk of line 2"},
      {station + "disk length=1MiB\n", 3, "missing bay="},
      {station + "disk bay=7 length=1MiB\n", 3, "not a bay number"},
      {station + "disk bay=1\n", 3, "missing length="},
      {station + "disk bay=1 length=lots\n", 3, "not a byte size"},
      {station + "disk bay=1 length=0\n", 3, "above 0"},
      {station + "disk bay=1 length=1000\n", 3, "not a whole number of 512-byte sectors"},
      {station + "disk bay=1 length=1MiB sector=1000\n", 3, "power of two"},
      {station + "disk bay=1 length=1MiB length=2MiB\n", 3, "given twice"},
      {station + "disk bay=1 length=1MiB lonely\n", 3, "name=value"},
      {station + "disk bay=1 length=1MiB model=\"" + std::string(41, 'M') + "\"\n", 3, "longer than 40"},
      {station + "disk bay=1 length=1MiB serial=\"" + std::string(21, 'S') + "\"\n", 3, "longer than 20"},
      {station + "disk bay=1 length=1MiB model=\"tab\there\"\n", 3, "printable"},
      {station + "disk bay=1 length=1MiB backing=tape\n", 3, "not memory, sparse or discard"},
      {station + "select 0 0\n", 3, "selected twice"},
      {station + "select\n", 3, "needs bay numbers"},
      {station + "select 0\nselect 0\n", 4, "twice"},
      {station + "select 0 3\n", 3, "bay 3 holds no disk"},
      {"plain length=1MiB\nselect 0\n", 2, "needs a station"},
      {station + "method 23\n", 3, "1 to 22"},
      {station + "method\n", 3, "1 to 22"},
      {station + "pattern 0 1 2\n", 3, "four numbers"},
      {station + "pattern 0 1 2 257\n", 3, "257"},
      {station + "backing memory unbuffered\n", 3, "only sparse"},
      {station + "backing floppy\n", 3, "floppy"},
      {station + "fail reboot bay=0\n", 3, "reboot"},
      {station + "fail open\n", 3, "missing bay="},
      {station + "fail open bay=3\n", 3, "bay 3 holds no disk"},
      {station + "fail open bay=0 times=0\n", 3, "times=0"},
      {station + "fail open bay=0 error=x\n", 3, "not an error code"},
      {station + "write-error bay=0\n", 3, "missing offset="},
      {station + "write-error bay=0 offset=4MiB\n", 3, "past the end"},
      {station + "unplug bay=0 after=0\n", 3, "above 0"},
      {"plain length=1MiB\nswap\n", 2, "needs a station"},
      {station + "swap bay=3\n", 3, "bay 3 holds no disk"},
      {station + "swap bay=0 length=1000\n", 3, "whole number of 512-byte sectors"},
      {station + "swap bay=0 serial=\"" + std::string(21, 'x') + "\"\n", 3, "longer than 20"},
      {"plain length=1MiB\nrefuse-mode\n", 2, "needs a station"},
      {station + "refuse-mode sometimes\n", 3, "busy"},
      {"plain length=1MiB\nscan\n", 2, "needs a station"},
      {station + "scan\nscan\n", 4, "twice"},
      {station + "scan now\n", 3, "takes nothing"},
      {station + "cancel after=soon\n", 3, "not a byte size"},
      {station + "speed fast\n", 3, "200MiB/s"},
      {station + "disk bay=1 length=2MiB file=x.img\n", 3, "needs memory or sparse backing"},
      {station + "backing sparse\ndisk bay=1 length=2MiB file=A.img\ndisk bay=2 length=2MiB file=a.img\n", 5,
       "image of line 4"},
      {"station SYWL\ndisk bay=0 length=768MiB backing=memory\ndisk bay=1 length=512MiB backing=memory\n", 3,
       "memory backing"},
      {station + "volume bay=0\n", 3, "missing size="},
      {station + "volume bay=0 size=1MiB letter=b\n", 3, "not c to z"},
      {station + "volume bay=0 size=1MiB letter=e\nvolume bay=1 size=1MiB letter=E\n", 4, "taken by line 3"},
      {station + "volume bay=0 size=3.5MiB\n", 3, "does not fit"},
      {station + "volume bay=3 size=1MiB\n", 3, "bay 3 holds no disk"},
      {station + "volume size=1MiB\n", 3, "missing bay="},
      {station + "open-files bay=0\n", 3, "has no volume"},
      {station + "refuse-dismount bay=0\n", 3, "has no volume"},
      {station + "forget-writes bay=0 now\n", 3, "name=value"},
      {"plain length=1MiB\ndrop-copies\n", 2, "needs a station"},
      {station + "drop-copies\ndrop-copies\n", 4, "twice"},
      {"# nothing\n", 0, "no disk"},
      {"station SYWL\n", 0, "holds no disk"},
  };
  for (const auto& c : cases) {
    Scenario s;
    ScenarioError e;
    EXPECT_FALSE(parseScenario(c.text, &s, &e)) << c.text;
    EXPECT_EQ(e.line, c.line) << c.text << " -> " << e.message;
    EXPECT_NE(e.message.find(c.words), std::string::npos) << c.text << " -> " << e.message;
  }
}

TEST(ScenarioFile, ErrorTextNamesTheLine) {
  EXPECT_EQ(scenarioErrorText({7, "bay 3 holds no disk"}), "line 7: bay 3 holds no disk");
  EXPECT_EQ(scenarioErrorText({0, "no disk"}), "no disk");
}

}  // namespace
