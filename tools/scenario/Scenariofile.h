// Scenario files of the scenario runner: the simulated machine, the bays to erase, the method and the faults.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One scenario describes one erase run: a docking station with disks in its bays, or one plain disk.
// The format is line based; the README documents it.

enum class ScenarioModel : uint8_t { sywl, syw2, syw4 };
enum class ScenarioReplyForm : uint8_t { jm, plain };
enum class ScenarioBacking : uint8_t { memory, sparse, discard };
enum class ScenarioRequest : uint8_t { open, layout, geometry, length };
enum class ScenarioFaultKind : uint8_t {
  failRequest,
  writeError,
  unplug,
  swap,
  openFiles,
  refuseDismount,
  forgetWrites
};

constexpr uint64_t kScenarioMemoryLimit = uint64_t(1) << 30;  // memory-backed bytes of one scenario
constexpr uint64_t kScenarioMaxLength = uint64_t(1) << 48;    // 256 TiB
constexpr int kScenarioModelChars = 40;                       // IDENTIFY words 27 to 46
constexpr int kScenarioSerialChars = 20;                      // IDENTIFY words 10 to 19

struct ScenarioVolume {
  int line = 0;
  char letter = 0;  // 0: no drive letter
  uint64_t size = 0;
};

struct ScenarioDisk {
  int line = 0;
  int bay = 0;  // 0 for the plain disk
  uint64_t length = 0;
  uint32_t sectorSize = 512;
  std::string model;
  std::string serial;
  ScenarioBacking backing = ScenarioBacking::discard;  // the file's backing unless the line names one
  bool unbuffered = false;                             // sparse: written around the system cache
  std::string file;                     // image; empty: "disk<bay+1>.img"; relative to the output folder
  std::vector<ScenarioVolume> volumes;  // laid one after another from 1 MiB
};

struct ScenarioFault {
  int line = 0;
  ScenarioFaultKind kind = ScenarioFaultKind::failRequest;
  int bay = 0;
  ScenarioRequest request = ScenarioRequest::open;  // failRequest
  uint64_t at = 0;     // writeError: the bad byte; unplug: bytes received; swap: the new length (0: the same)
  uint32_t error = 0;  // 0: the simulator's default error
  int32_t times = -1;  // failRequest: how many requests fail, -1 all
  std::string serial;  // swap: the serial of the disk put in
};

struct Scenario {
  bool station = false;  // false: one plain disk
  ScenarioModel model = ScenarioModel::sywl;
  ScenarioReplyForm replyForm = ScenarioReplyForm::jm;
  std::vector<ScenarioDisk> disks;  // in the order the scan finds them; the first is the group head
  std::vector<int> selected;        // ticked bays, ascending
  int32_t method = 1;
  std::array<int32_t, 4> pattern{};
  std::vector<ScenarioFault> faults;
  bool refuseMode = false;
  bool refuseBusy = false;      // the refusal says busy rather than check condition
  bool dropCopies = false;      // the station takes the mirror modes but makes no copies
  uint64_t cancelAfter = 0;     // bytes sent in the run; 0: never
  uint64_t bytesPerSecond = 0;  // 0: as fast as it goes
  bool scanFirst = false;       // the disk scan lists the station instead of a direct admission
};

struct ScenarioError {
  int line = 0;  // 0: the file as a whole
  std::string message;
};

// Parses and checks a whole scenario. On failure nothing of *out is to be used and *error names the
// first line that is wrong.
bool parseScenario(std::string_view text, Scenario* out, ScenarioError* error);

// "line 3: ..." or the bare message for the whole file.
std::string scenarioErrorText(const ScenarioError& error);

// "4GiB", "512MiB", "1.5GiB", "1000000000", "2GB": binary units (KiB...TiB, also K, M, G, T) and
// decimal ones (KB...TB); a fraction must come out a whole number of bytes.
bool parseByteSize(std::string_view text, uint64_t* bytes);

// "200MiB/s": a byte size per second, above 0.
bool parseSpeed(std::string_view text, uint64_t* bytesPerSecond);

// "4 GiB", "1.5 GiB", "512 B": the size in the largest binary unit it reaches, up to two decimals.
std::string byteSizeText(uint64_t bytes);

int scenarioBayCount(ScenarioModel model);
const char* scenarioModelText(ScenarioModel model);  // "SYWL", "SYW2", "SYW4"
