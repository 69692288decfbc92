// Generated runs, one or two stations at once with faults and the user's unticks at random moments,
// each held to the promises of a run: every disk of a run ends its log with its own truth ("Erase
// Success" exactly when it was written whole by every pass and read back equal), a disk without a
// fault of its own in a run that was not cancelled is written whole, no other disk receives a byte,
// and the station ends independent.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "Eraseutil.h"
#include "Eraseutil_worker.h"
#include "Logfolder.h"
#include "Platformservices.h"
#include "Simclock.h"
#include "Simmachine.h"
#include "Sunnywilldeviceutil.h"

namespace {

using namespace testsupport;

enum class Trouble {
  none,
  writeError,    // a bad sector on one disk, often inside the common range
  cancel,        // the run's Cancel after some bytes
  refusedMode,   // every mode command refused
  busyMode,      // the station takes mirror-on, then answers busy a few times
  unplug,        // one disk pulled out after some bytes
  layout,        // its drive layout cannot be deleted
  openFails,     // it cannot be opened at all
  drop,          // its bay unticked on the run's own page after some bytes
  unlisted,      // a disk sits in a free bay of the station but not in the list
  droppedCopies,  // the station takes the mirror but makes no copies
  forgetful,     // the disk acknowledges writes and keeps nothing
  openFiles,     // its volume has open files: the lock is refused, the dismount still goes
  lockedVolume,  // its volume refuses both the lock and the dismount
  blink,         // one disk pulled out after some bytes and pushed back in a moment later
  earlyDrop,     // its bay unticked while the run plans, before anything is written
  count,
};

const char* troubleName(Trouble t) {
  static const char* names[] = {"none",   "write error", "cancel",   "refused mode", "busy mode",
                                "unplug", "layout",      "open",     "drop",         "unlisted disk",
                                "dropped copies", "forgetful disk", "open files", "volume that will not let go",
                                "blink", "untick while planning"};
  return names[int(t)];
}

struct StationPlan {
  sim::StationModel model;
  std::vector<BayDisk> bays;  // in the order the scan finds them
  std::vector<int> selected;
  std::vector<bool> volume;  // per disk: it carries a mounted volume (lettered or not)
  Trouble trouble = Trouble::none;
  size_t troubleDisk = 0;  // index into bays
  uint64_t troubleAt = 0;  // offset or byte count
};

struct Scenario {
  std::vector<StationPlan> stations;  // one or two
  int32_t method = 1;
  UserPattern pattern{};
  uint64_t secondStartAfter = 0;  // bytes the first run writes before the second starts
};

StationPlan generateStation(std::mt19937& rng) {
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  StationPlan s;
  s.model = sim::StationModel(pick(3));
  const int bays = s.model == sim::StationModel::sywl ? 6 : 2;
  for (int bay = 0; bay < bays; ++bay) {
    if (pick(10) >= 6) continue;
    const uint32_t sector = pick(10) < 3 ? 4096 : 512;
    const uint64_t sectors = 16 + uint64_t(pick(int(2 * 1048576 / sector)));
    s.bays.push_back({bay, sectors * sector, sector});
  }
  if (s.bays.empty()) s.bays.push_back({pick(bays), 1048576, 512});
  // Disks of one model: the mirrored range is every disk's whole length.
  if (pick(4) == 0) {
    const uint64_t length = s.bays[0].length + 4096 - s.bays[0].length % 4096;
    for (BayDisk& b : s.bays) b.length = length;
  }
  std::shuffle(s.bays.begin(), s.bays.end(), rng);
  for (const BayDisk& b : s.bays) {
    if (pick(10) < 7) s.selected.push_back(b.bay);
    s.volume.push_back(pick(10) < 4);
  }
  if (pick(10) < 6) {
    s.trouble = Trouble(1 + pick(int(Trouble::count) - 1));
    s.troubleDisk = size_t(pick(int(s.bays.size())));
    if (s.trouble == Trouble::openFiles || s.trouble == Trouble::lockedVolume) s.volume[s.troubleDisk] = true;
    // Half of the offsets fall where every disk has data: inside the mirrored range.
    const uint64_t smallest =
        std::min_element(s.bays.begin(), s.bays.end(), [](auto& a, auto& b) { return a.length < b.length; })->length;
    s.troubleAt = uint64_t(pick(int(pick(2) == 0 ? smallest : s.bays[s.troubleDisk].length)));
  }
  return s;
}

Scenario generate(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  Scenario s;
  s.stations.push_back(generateStation(rng));
  if (pick(3) == 0) {
    s.stations.push_back(generateStation(rng));
    // Lengths tell the logs of the two stations apart.
    for (BayDisk& d : s.stations[1].bays) {
      for (const BayDisk& other : s.stations[0].bays)
        if (other.length == d.length) d.length += 4096;
    }
    s.secondStartAfter = uint64_t(pick(4 * 1048576));
    // The planning line names no run: the untick while planning is for one run alone.
    for (StationPlan& p : s.stations)
      if (p.trouble == Trouble::earlyDrop) p.trouble = Trouble::drop;
  }
  static const int32_t methods[] = {1, 2, 3, 7, 8, 9, 10, 11, 14, 15, 19, 22};
  s.method = methods[pick(int(std::size(methods)))];
  for (auto& p : s.pattern) p = pick(257);
  // A disk that forgets writes still reads zeros, as it did before: a last pass of zeros cannot be
  // told from it by reading back, and would leave nothing to erase anyway.
  clErase passes;
  buildPasses(passes, s.method, s.pattern);
  const PassPattern& last = passes.passes.back();
  const bool zeros = last.random == 0 && std::all_of(last.pattern, last.pattern + last.length, [](uint8_t b) { return b == 0; });
  for (StationPlan& p : s.stations)
    if (zeros && p.trouble == Trouble::forgetful) p.trouble = Trouble::none;
  return s;
}

// The last ending of a log, which must also be its last line: what follows the last equal-sign line.
std::string lastEnding(const std::string& log) {
  const std::string rule = "===============================\r\n";
  const size_t at = log.rfind(rule);
  if (at == std::string::npos) return "";
  std::string rest = log.substr(at + rule.size());
  if (rest.size() < 2 || rest.compare(rest.size() - 2, 2, "\r\n") != 0) return "(no line end)";
  rest.resize(rest.size() - 2);
  return rest.find("\r\n") == std::string::npos ? rest : "(more than one line after the rule)";
}

bool ownEnding(const std::string& e) {
  return e == "Disk Init Error" || e == "Erase Cancel" || e == "Verify Error" || e.rfind("WriteFile Error:", 0) == 0 ||
         e.rfind("ReadFile Error:", 0) == 0;
}

// One station of the machine as built, with what happened to it.
struct Built {
  const StationPlan* plan;
  SimStation station;
  sim::DiskId unlisted = sim::kNone;
  std::atomic<uint64_t> written{0};
  int32_t totalPasses = 0;
  EraseRunHandle run;
  bool cancelled = false;
  bool dropped = false;
  int blinked = 0;  // 1 while the blinking disk is out, 2 once it is back
  uint64_t bytesAtDrop = 0;  // what the dropped disk had received when its bay was unticked
  bool wholeAtDrop = false;  // it had every pass over its whole length by then
};

// The log of the disk in that bay with that length (the stations of one scenario differ in lengths).
std::string logOf(const LogFolder& folder, int bay, uint64_t length) {
  const std::string head = "Disk" + std::to_string(bay + 1) + "\r\n";
  const std::string capacity = "Capacity:" + std::to_string(length) + " bytes\r\n";
  std::string found;
  for (const auto& [name, content] : folder.logs()) {
    if (content.rfind(head, 0) == 0 && content.find(capacity) != std::string::npos) {
      EXPECT_TRUE(found.empty()) << "two logs for one disk";
      found = content;
    }
  }
  return found;
}

// Waits for every run to end by itself.
bool runsEnd(uint32_t maxMilliseconds) {
  const auto start = std::chrono::steady_clock::now();
  while (!liveEraseRuns().empty()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(maxMilliseconds)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool isSelected(const StationPlan& p, int bay) {
  return std::find(p.selected.begin(), p.selected.end(), bay) != p.selected.end();
}

// A volume laid inside the disk, as a partition would be; every other one gets a drive letter.
void addVolumeTo(sim::DiskId disk, uint64_t length) {
  static char next = 'e';
  sim::VolumeSpec v;
  if (next <= 'z' && (next - 'e') % 2 == 0) v.letter = next;
  ++next;
  if (next > 'z') next = 'e';
  v.fileSystem = u"NTFS";
  v.offset = 4096;
  v.length = (length - 4096) / 2 / 512 * 512;
  v.totalBytes = v.length;
  if (!sim::addVolume(disk, v)) {
    v.letter = 0;
    EXPECT_TRUE(sim::addVolume(disk, v));
  }
}

void arm(Built& b) {
  const StationPlan& p = *b.plan;
  const sim::DiskId troubled = b.station.disks[p.troubleDisk];
  for (size_t i = 0; i < p.bays.size(); ++i)
    if (p.volume[i]) addVolumeTo(b.station.disks[i], p.bays[i].length);
  switch (p.trouble) {
    case Trouble::writeError:
      sim::failWritesAt(troubled, p.troubleAt - p.troubleAt % 512, 23);
      break;
    case Trouble::refusedMode:
      sim::failModeCommand(b.station.id, {});
      break;
    case Trouble::busyMode: {
      sim::Fault busy;
      busy.scsiStatus = sim::kScsiBusy;
      busy.times = 3;
      busy.applied = true;
      sim::failModeCommand(b.station.id, busy);
      break;
    }
    case Trouble::unplug:
      sim::unplugAfterBytes(troubled, p.troubleAt + 1);
      break;
    case Trouble::layout:
      sim::failRequest(troubled, sim::Request::deleteLayout, {});
      break;
    case Trouble::openFails:
      sim::failRequest(troubled, sim::Request::open, {5});
      break;
    case Trouble::unlisted: {
      // Pushed in after the scan listed the station: the run does not know it.
      for (int bay = 0; bay < sim::bayCount(p.model); ++bay) {
        if (sim::diskInBay(b.station.id, bay) != sim::kNone) continue;
        sim::DiskSpec spec = sim::diskSpec(b.station.disks[0]);
        spec.path += "-unlisted";
        spec.deviceNumber += 500;
        spec.volumes.clear();
        b.unlisted = sim::addDisk(spec);
        sim::insertDisk(b.station.id, bay, b.unlisted);
        break;
      }
      break;
    }
    case Trouble::droppedCopies:
      sim::dropMirrorCopies(b.station.id, true);
      break;
    case Trouble::forgetful:
      sim::forgetWrites(troubled, true);
      break;
    case Trouble::openFiles:
      sim::setOpenFiles(troubled, true);
      break;
    case Trouble::lockedVolume:
      sim::refuseLockAndDismount(troubled, true);
      break;
    default:
      break;
  }
}

// Which disks have a fault of their own that may leave them unerased.
bool hasOwnFault(const Built& b, size_t i) {
  const StationPlan& p = *b.plan;
  switch (p.trouble) {
    case Trouble::writeError:
    case Trouble::unplug:
    case Trouble::layout:
    case Trouble::openFails:
    case Trouble::forgetful:
    case Trouble::lockedVolume:
    case Trouble::blink:
      return i == p.troubleDisk;
    case Trouble::drop:
    case Trouble::earlyDrop:
      return b.dropped && i == p.troubleDisk;
    case Trouble::droppedCopies:
      return true;  // every disk the mirror was to reach
    case Trouble::refusedMode:
      return true;  // a station whose mode nobody can set is not written at all
    default:
      return false;
  }
}

void runScenario(uint32_t seed) {
  const Scenario s = generate(seed);
  std::string trace = "scenario seed " + std::to_string(seed) + " (method " + std::to_string(s.method);
  for (const StationPlan& p : s.stations) trace += std::string(", ") + troubleName(p.trouble);
  SCOPED_TRACE(trace + ")");
  resetMachine();
  LogFolder folder;
  const bool diagnose = std::getenv("VELMORA_SCENARIO_SEED") != nullptr;
  // The untick while planning comes when the run has chosen its mirror, before its first write.
  std::function<void(const std::string&)> onPlanned;
  setDebugSink([&](const std::string& text) {
    if (diagnose) std::fprintf(stderr, "debug: %s\n", text.c_str());
    if (onPlanned && text.rfind("Docking mirror:", 0) == 0) onPlanned(text);
  });
  for (int i = 0; i < 4; ++i) userPattern[i] = s.pattern[size_t(i)];

  std::vector<std::unique_ptr<Built>> built;
  for (size_t k = 0; k < s.stations.size(); ++k) {
    auto b = std::make_unique<Built>();
    b->plan = &s.stations[k];
    b->station = addStation(s.stations[k].model, s.stations[k].bays, uint32_t(100 + k));
    clErase counted;
    buildPasses(counted, s.method, s.pattern);
    b->totalPasses = counted.totalPasses;
    built.push_back(std::move(b));
  }
  const sim::DiskId outside = addPlainDisk(1048576);
  for (auto& b : built) arm(*b);

  std::vector<EraseRequest> requests;
  for (auto& b : built) {
    selectBays(b->plan->selected);
    requests.push_back(eraseRequestFor(b->station.head, [&] {
      std::array<bool, kBays> t{};
      for (int bay : b->plan->selected) t[size_t(bay)] = true;
      return t;
    }(), s.method, s.pattern));
  }

  std::mutex hookLock;
  sim::setWriteHook([&](sim::DiskId disk, uint64_t) {
    simClockAdvance(5);
    for (auto& b : built) {
      const auto& ds = b->station.disks;
      if (std::find(ds.begin(), ds.end(), disk) == ds.end()) continue;
      uint64_t total = 0;
      for (sim::DiskId d : ds) total += sim::bytesWritten(d);
      b->written = total;
      std::lock_guard<std::mutex> hold(hookLock);
      if (!b->run) continue;
      const StationPlan& p = *b->plan;
      if (p.trouble == Trouble::cancel && total >= p.troubleAt && !b->cancelled) {
        b->cancelled = true;
        b->run->cancel();
      }
      if (p.trouble == Trouble::blink && b->blinked == 0 && total >= p.troubleAt) {
        b->blinked = 1;
        sim::unplug(ds[p.troubleDisk]);
      } else if (p.trouble == Trouble::blink && b->blinked == 1 && total >= p.troubleAt + 1048576) {
        b->blinked = 2;
        sim::replug(ds[p.troubleDisk]);
      }
      if (p.trouble == Trouble::drop && total >= p.troubleAt && !b->dropped) {
        b->dropped = true;
        const sim::DiskId d = ds[p.troubleDisk];
        b->bytesAtDrop = sim::bytesWritten(d);
        b->wholeAtDrop = sim::coverage(d) == std::vector<sim::ByteRange>{{0, p.bays[p.troubleDisk].length}} &&
                         b->bytesAtDrop >= uint64_t(b->totalPasses) * p.bays[p.troubleDisk].length;
        b->run->dropBay(p.bays[p.troubleDisk].bay);
      }
    }
  });

  onPlanned = [&](const std::string&) {
    std::lock_guard<std::mutex> hold(hookLock);
    for (auto& b : built) {
      const StationPlan& p = *b->plan;
      if (p.trouble != Trouble::earlyDrop || b->dropped || !b->run) continue;
      b->dropped = true;
      b->bytesAtDrop = sim::bytesWritten(b->station.disks[p.troubleDisk]);
      b->run->dropBay(p.bays[p.troubleDisk].bay);
    }
  };
  {
    std::lock_guard<std::mutex> hold(hookLock);
    built[0]->run = startErase(requests[0]);
  }
  if (built.size() > 1) {
    for (int i = 0; i < 4000 && built[0]->written < s.secondStartAfter && built[0]->run && built[0]->run->alive(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> hold(hookLock);
    built[1]->run = startErase(requests[1]);
  }
  EXPECT_TRUE(runsEnd(60000));
  sim::setWriteHook({});

  clErase passes;
  buildPasses(passes, s.method, s.pattern);
  for (size_t k = 0; k < built.size(); ++k) {
    const Built& b = *built[k];
    const StationPlan& p = *b.plan;
    SCOPED_TRACE("station " + std::to_string(k));
    // A page without a ticked bay offers no Start; the request starts nothing.
    EXPECT_EQ(b.run != nullptr, !requests[k].disks.empty()) << "whether the run started";
    EXPECT_TRUE(sim::stationMode(b.station.id) == sim::BayMode::independent) << "the station is left mirroring";
    for (size_t i = 0; i < p.bays.size(); ++i) {
      const sim::DiskId disk = b.station.disks[i];
      const uint64_t length = p.bays[i].length;
      const int bay = p.bays[i].bay;
      SCOPED_TRACE("bay " + std::to_string(bay));
      if (!isSelected(p, bay)) {
        EXPECT_EQ(sim::bytesWritten(disk), 0u) << "an unticked disk was written";
        continue;
      }
      const std::string log = logOf(folder, bay, length);
      const std::string ending = lastEnding(log);
      const bool whole = sim::coverage(disk) == std::vector<sim::ByteRange>{{0, length}} &&
                         sim::bytesWritten(disk) >= uint64_t(passes.totalPasses) * length;
      if (ending == "Erase Success") {
        EXPECT_TRUE(whole) << "success claimed for a disk not written whole";
      } else {
        EXPECT_TRUE(ownEnding(ending)) << "the log does not end with the disk's own verdict: " << ending;
        const bool excused = hasOwnFault(b, i) || b.cancelled;
        EXPECT_TRUE(excused) << "a disk without a fault of its own ended " << ending;
      }
      if (b.dropped && i == p.troubleDisk) {
        // The untick takes the disk out at once: at most the write in flight follows, and a disk
        // that was not yet whole ends cancelled.
        EXPECT_LE(sim::bytesWritten(disk), b.bytesAtDrop + 1048576) << "the unticked disk went on being written";
        if (p.trouble == Trouble::earlyDrop) {
          EXPECT_EQ(sim::bytesWritten(disk), 0u) << "a disk unticked before the run wrote anything was written";
        }
        if (!b.wholeAtDrop) {
          EXPECT_EQ(ending, "Erase Cancel") << "an unticked disk";
        }
      }
    }
    if (b.unlisted != sim::kNone) {
      EXPECT_EQ(sim::bytesWritten(b.unlisted), 0u) << "the mirror reached an unlisted disk";
    }
  }
  EXPECT_EQ(sim::bytesWritten(outside), 0u);
}

TEST(EraseScenarios, EveryDiskEndsWithItsOwnTruthAndNoOtherDiskIsWritten) {
  // VELMORA_SCENARIO_SEED=N replays one scenario.
  const char* replay = std::getenv("VELMORA_SCENARIO_SEED");
  const uint32_t base = replay != nullptr ? uint32_t(std::strtoul(replay, nullptr, 10)) : 20261211;
#if defined(__SANITIZE_THREAD__)
  const uint32_t sweep = 40;  // two runs at once under the race detector: a shorter sweep
#else
  const uint32_t sweep = 300;
#endif
  const uint32_t count = replay != nullptr ? 1 : sweep;
  for (uint32_t i = 0; i < count; ++i) {
    runScenario(base + i);
    if (::testing::Test::HasFailure()) break;  // the trace names the seed to replay
  }
  resetMachine();
}

}  // namespace
