// The scenario runner: builds the simulated machine, admits its disks, runs one erase and reports.
#include "Scenariorunner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "Deviceioutil.h"
#include "Eraseutil.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_worker.h"
#include "Platformservices.h"
#include "Product.h"
#include "Product_scan.h"
#include "Simclock.h"
#include "Simulator.h"
#include "Sunnywilldeviceutil.h"
#include "Textformatutil.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kPosition = 0;  // the list is empty before the run: its head lands at position 0
constexpr uint32_t kStationParent = 100;
constexpr const char* kDiskClassGuid = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr uint32_t kChunk = 1048576;

volatile std::sig_atomic_t interrupted = 0;
extern "C" void onInterrupt(int) { interrupted = 1; }

std::string utf8(const fs::path& p) {
  const auto u = p.u8string();
  return std::string(u.begin(), u.end());
}

sim::Backing simBacking(ScenarioBacking b) {
  switch (b) {
    case ScenarioBacking::memory:
      return sim::Backing::memory;
    case ScenarioBacking::sparse:
      return sim::Backing::sparseFile;
    case ScenarioBacking::discard:
      return sim::Backing::discarding;
  }
  return sim::Backing::discarding;
}

sim::StationModel simModel(ScenarioModel m) {
  switch (m) {
    case ScenarioModel::sywl:
      return sim::StationModel::sywl;
    case ScenarioModel::syw2:
      return sim::StationModel::syw2;
    case ScenarioModel::syw4:
      return sim::StationModel::syw4;
  }
  return sim::StationModel::sywl;
}

sim::Request simRequest(ScenarioRequest r) {
  switch (r) {
    case ScenarioRequest::open:
      return sim::Request::open;
    case ScenarioRequest::layout:
      return sim::Request::deleteLayout;
    case ScenarioRequest::geometry:
      return sim::Request::geometry;
    case ScenarioRequest::length:
      return sim::Request::length;
  }
  return sim::Request::open;
}

fs::path imagePath(const fs::path& out, const ScenarioDisk& d) {
  const fs::path name =
      d.file.empty() ? fs::path("disk" + std::to_string(d.bay + 1) + ".img") : fs::path(d.file);
  return name.is_absolute() ? name : out / name;
}

// The machine of the scenario: its station and disks, in scenario order.
struct Machine {
  sim::StationId station = sim::kNone;
  std::vector<sim::DiskId> disks;  // the disk in each scenario disk's bay now
  std::vector<bool> swapped;       // swapped in after the listing: it keeps no bytes, it has no image
};

sim::DiskSpec diskSpec(const Scenario& s, const ScenarioDisk& d, size_t n, const fs::path& out) {
  sim::DiskSpec spec;
  spec.path = std::string("\\\\?\\usbstor#disk&ven_") +
              (s.station ? "sunnywl&prod_bay_disk#" : "simusb&prod_plain_disk#") + std::to_string(n) + "&0#" +
              kDiskClassGuid;
  spec.deviceNumber = uint32_t(n + 1);
  spec.vendorId = s.station ? "SUNNYWL" : "SIMUSB";
  spec.productId = s.station ? "BAY DISK" : "PLAIN DISK";
  spec.sectorSize = d.sectorSize;
  spec.length = d.length;
  spec.parentInstance = s.station ? kStationParent : 0;
  spec.backing = simBacking(d.backing);
  spec.fileUnbuffered = d.unbuffered;
  if (d.backing == ScenarioBacking::sparse) spec.filePath = imagePath(out, d).string();
  sim::setIdentifyModel(spec.identify, d.model);
  sim::setIdentifySerial(spec.identify, d.serial);
  for (const ScenarioVolume& v : d.volumes) {
    sim::VolumeSpec volume;
    volume.letter = v.letter;
    volume.fileSystem = u"NTFS";
    volume.totalBytes = v.size;
    volume.freeBytes = v.size / 2;
    spec.volumes.push_back(volume);
  }
  return spec;
}

// The probe of the scan, cut down to what the worker needs: the disk is opened shared, measured,
// asked for its station and bay, and listed by the grouping rule.
bool admit(sim::DiskId disk, const ScenarioDisk& d, bool station) {
  const sim::DiskSpec spec = sim::diskSpec(disk);
  DevHandle h = devOpen(spec.path.c_str(), DevOpenMode::shared, nullptr);
  if (!isValidDevHandle(h)) return false;
  auto record = std::make_shared<DiskInfo>();
  record->devicePath = spec.path;
  record->deviceNumber = uint32_t(queryDeviceNumber(h));
  record->identityText = spec.vendorId + " " + spec.productId;
  record->modelName = d.model;
  record->serialNumber = d.serial;
  record->busType = spec.busType;
  record->parentInstance = spec.parentInstance;
  int64_t length = 0;
  const bool measured = queryDiskLength(h, &length) == 0 && length > 0;
  record->diskLength = length;
  const bool docked = detectDockBay(*record, h);
  devClose(h);
  if (!measured || docked != station) return false;
  return mainDiskList().addByGroupingRule(record);
}

// One pass of the real disk scan lists the station; every disk of the scenario must be found.
bool scanMachine(const Scenario& s, const Machine& m) {
  if (!scanOnce()) {
    std::fprintf(stderr, "the disk scan could not enumerate the disks\n");
    return false;
  }
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (!mainDiskList().findByPath(sim::diskSpec(m.disks[i]).path)) {
      std::fprintf(stderr, "line %d: the disk scan did not list the disk\n", s.disks[i].line);
      return false;
    }
  }
  std::printf("scan: %d position(s), %zu disk(s) listed\n", mainDiskList().topLevelCount(), s.disks.size());
  return true;
}

// Once the disks are listed: the disk in the bay is swapped for another under the same path, so the
// run finds another disk behind the path it planned with.
bool swapDisks(const Scenario& s, Machine* m) {
  m->swapped.assign(s.disks.size(), false);
  for (const ScenarioFault& f : s.faults) {
    if (f.kind != ScenarioFaultKind::swap) continue;
    for (size_t i = 0; i < s.disks.size(); ++i) {
      if (s.disks[i].bay != f.bay) continue;
      sim::DiskSpec spec = sim::diskSpec(m->disks[i]);
      spec.volumes.clear();
      spec.backing = sim::Backing::discarding;
      spec.filePath.clear();
      if (f.at != 0) spec.length = f.at;
      sim::setIdentifySerial(spec.identify, f.serial);
      const sim::DiskId disk = sim::swapDisk(m->disks[i], spec);
      if (disk == sim::kNone) {
        std::fprintf(stderr, "line %d: the disk in bay %d cannot be swapped\n", f.line, f.bay);
        return false;
      }
      m->disks[i] = disk;
      m->swapped[i] = true;
      std::printf("swap: bay %d holds another disk under the same path (serial %s)\n", f.bay,
                  f.serial.c_str());
    }
  }
  return true;
}

void armFaults(const Scenario& s, const Machine& m) {
  auto diskOfBay = [&](int bay) {
    for (size_t i = 0; i < s.disks.size(); ++i)
      if (s.disks[i].bay == bay) return m.disks[i];
    return sim::kNone;
  };
  for (const ScenarioFault& f : s.faults) {
    const sim::DiskId disk = diskOfBay(f.bay);
    switch (f.kind) {
      case ScenarioFaultKind::failRequest: {
        sim::Fault fault;
        if (f.error != 0) fault.error = f.error;
        fault.times = f.times;
        sim::failRequest(disk, simRequest(f.request), fault);
        break;
      }
      case ScenarioFaultKind::writeError:
        sim::failWritesAt(disk, f.at, f.error != 0 ? f.error : kErrorCrc);
        break;
      case ScenarioFaultKind::unplug:
        sim::unplugAfterBytes(disk, f.at);
        break;
      case ScenarioFaultKind::swap:
        break;  // done by swapDisks
      case ScenarioFaultKind::openFiles:
        sim::setOpenFiles(disk, true);
        break;
      case ScenarioFaultKind::refuseDismount:
        sim::refuseLockAndDismount(disk, true);
        break;
      case ScenarioFaultKind::forgetWrites:
        sim::forgetWrites(disk, true);
        break;
    }
  }
  if (s.dropCopies) sim::dropMirrorCopies(m.station, true);
  if (s.refuseMode) {
    sim::Fault fault;
    fault.scsiStatus = s.refuseBusy ? sim::kScsiBusy : sim::kScsiCheckCondition;
    sim::failModeCommand(m.station, fault);
  }
}

bool buildMachine(const Scenario& s, const fs::path& out, Machine* m) {
  sim::reset();
  simClockSetMode(SimClockMode::real);
  mainDiskList().clearDisks();
  if (s.station) {
    m->station = sim::addStation(
        {simModel(s.model),
         s.replyForm == ScenarioReplyForm::jm ? sim::BayReplyForm::jm : sim::BayReplyForm::plain,
         kStationParent});
  }
  for (size_t i = 0; i < s.disks.size(); ++i) {
    const ScenarioDisk& d = s.disks[i];
    const sim::DiskId disk = sim::addDisk(diskSpec(s, d, i, out));
    if (disk == sim::kNone) {
      std::fprintf(stderr, "line %d: the disk cannot be made", d.line);
      if (d.backing == ScenarioBacking::sparse)
        std::fprintf(stderr, " (image %s cannot be created)", imagePath(out, d).string().c_str());
      std::fprintf(stderr, "\n");
      return false;
    }
    if (s.station && !sim::insertDisk(m->station, d.bay, disk)) {
      std::fprintf(stderr, "line %d: the disk does not fit bay %d\n", d.line, d.bay);
      return false;
    }
    m->disks.push_back(disk);
  }
  if (s.scanFirst) return scanMachine(s, *m);
  for (size_t i = 0; i < s.disks.size(); ++i) {
    if (!admit(m->disks[i], s.disks[i], s.station)) {
      std::fprintf(stderr, "line %d: the disk was not admitted (no answer from its station)\n",
                   s.disks[i].line);
      return false;
    }
  }
  return true;
}

// --- progress and pacing ------------------------------------------------------------------------------

class PrintingSink final : public ProgressSink {
 public:
  void progress(uint64_t, const ProgressValues& v) override {
    char bar[21];
    const int filled = std::max(0, std::min(20, v.barPosition / 500));
    for (int i = 0; i < 20; ++i) bar[i] = i < filled ? '#' : '.';
    bar[20] = 0;
    std::printf("%8s [%s] %5d  %s  %s  %s\n", v.percentText.c_str(), bar, v.barPosition, v.speedText.c_str(),
                v.spentText.c_str(), v.remainingText.c_str());
    std::fflush(stdout);
  }
};

// Runs on the worker thread after every write. Counts what the engine sent (a write the station
// mirrors counts once, as on the USB link), cancels after the scenario's amount, and holds the
// worker back to the scenario's speed.
class Pacer {
 public:
  Pacer(const Scenario& s, std::vector<sim::DiskId> disks)
      : bytesPerSecond_(s.bytesPerSecond),
        cancelAfter_(s.cancelAfter),
        disks_(std::move(disks)),
        seen_(disks_.size(), 0),
        start_(std::chrono::steady_clock::now()) {}

  void onWrite(sim::DiskId disk, uint64_t bytesSoFar) {
    uint64_t before = 0;
    for (size_t i = 0; i < disks_.size(); ++i) {
      if (disks_[i] == disk) before = seen_[i];
      // Copies the write left on other disks are now seen, so they never count as sent.
      seen_[i] = disks_[i] == disk ? bytesSoFar : sim::bytesWritten(disks_[i]);
    }
    const uint64_t total = sent_ += bytesSoFar - before;
    if (cancelAfter_ != 0 && total >= cancelAfter_ && !cancelled_) {
      for (const EraseRunHandle& run : liveEraseRuns()) run->cancel();
      cancelled_ = true;
    }
    if (bytesPerSecond_ != 0) {
      const auto due = start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(double(total) / double(bytesPerSecond_)));
      std::this_thread::sleep_until(due);
    }
  }

  uint64_t sent() const { return sent_; }
  bool cancelled() const { return cancelled_; }

 private:
  const uint64_t bytesPerSecond_;
  const uint64_t cancelAfter_;
  const std::vector<sim::DiskId> disks_;
  std::vector<uint64_t> seen_;
  const std::chrono::steady_clock::time_point start_;
  std::atomic<uint64_t> sent_{0};
  std::atomic<bool> cancelled_{false};
};

// --- report -------------------------------------------------------------------------------------------

struct LogEntry {
  std::string name;
  std::string end;
};

std::set<std::string> logNames(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec))
    names.insert(utf8(it->path().filename()));
  return names;
}

// The endings a log records, in the order they first appear. Every line of a station run goes to
// all of its logs, so one disk's log also tells how the other disks' jobs ended.
bool isEnding(const std::string& line) {
  return line == "Erase Success" || line == "Erase Cancel" || line == "Disk Init Error" ||
         line == "Verify Error" || line.rfind("WriteFile Error:", 0) == 0 || line.rfind("ReadFile Error:", 0) == 0;
}

// The logs this run created, by bay: the first line of a log is "Disk<bay + 1>".
std::vector<LogEntry> newLogs(const fs::path& folder, const std::set<std::string>& before) {
  std::vector<LogEntry> byBay(6);
  for (const std::string& name : logNames(folder)) {
    if (before.count(name) != 0) continue;
    std::ifstream in(folder / fs::u8path(name), std::ios::binary);
    std::string line, first, endings;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (first.empty()) first = line;
      if (isEnding(line) && endings.find(line) == std::string::npos)
        endings += (endings.empty() ? "" : ", ") + line;
    }
    int bay = 0;
    if (std::sscanf(first.c_str(), "Disk%d", &bay) == 1 && bay >= 1 && bay <= 6)
      byBay[size_t(bay - 1)] = {name, endings.empty() ? "no ending" : endings};
  }
  return byBay;
}

bool saveImage(sim::DiskId disk, const fs::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint64_t length = sim::diskSpec(disk).length;
  for (uint64_t at = 0; out && at < length; at += kChunk) {
    const auto bytes = sim::readBytes(disk, at, uint32_t(std::min<uint64_t>(kChunk, length - at)));
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  return bool(out);
}

void collect(const Scenario& s, const Machine& m, const fs::path& out,
             const std::set<std::string>& logsBefore, RunnerReport* r) {
  const auto logs = newLogs(out / "Velmora Log", logsBefore);
  for (size_t i = 0; i < s.disks.size(); ++i) {
    const ScenarioDisk& d = s.disks[i];
    const sim::DiskId disk = m.disks[i];
    RunnerDiskReport dr;
    dr.bay = d.bay;
    dr.model = d.model;
    dr.length = sim::diskSpec(disk).length;
    dr.bytesWritten = sim::bytesWritten(disk);
    for (const sim::ByteRange& range : sim::coverage(disk)) dr.bytesCovered += range.end - range.start;
    const auto ranges = sim::coverage(disk);
    dr.complete = ranges.size() == 1 && ranges[0] == sim::ByteRange{0, dr.length};
    dr.selected = !s.station || std::find(s.selected.begin(), s.selected.end(), d.bay) != s.selected.end();
    dr.plugged = sim::isPlugged(disk);
    dr.directIo = sim::usesDirectIo(disk);
    if (d.backing != ScenarioBacking::discard && !m.swapped[i]) {
      const fs::path image = imagePath(out, d);
      if (d.backing == ScenarioBacking::sparse || saveImage(disk, image)) dr.image = image.string();
    }
    const LogEntry& log = logs[size_t(d.bay)];
    dr.log = log.name;
    dr.logEnd = log.end;
    r->disks.push_back(dr);
  }
}

void printReport(const Scenario& s, const RunnerReport& r, const fs::path& out) {
  const double mib = double(r.sent) / 1048576.0;
  std::printf("\nRun ended after %.3f s%s: %llu bytes sent (%s, %.1f MiB/s)\n", r.seconds,
              r.cancelled ? " (cancelled)" : "", (unsigned long long)r.sent, byteSizeText(r.sent).c_str(),
              r.seconds > 0 ? mib / r.seconds : 0.0);
  std::printf("Method %d: %s\n", s.method, methodName(s.method));
  std::printf("%-4s %-30s %10s %10s  %-27s %s\n", "bay", "model", "length", "written", "coverage",
              "log: endings it records");
  for (const RunnerDiskReport& d : r.disks) {
    std::string coverage = d.complete            ? "complete"
                           : d.bytesCovered == 0 ? "none"
                                                 : "partial, " + byteSizeText(d.bytesCovered);
    if (!d.plugged) coverage += " (unplugged)";
    const std::string log = !d.log.empty() ? d.log + ": " + d.logEnd
                            : d.selected   ? "(no log)"
                                           : "(not ticked)";
    std::printf("%-4d %-30s %10s %10s  %-27s %s\n", d.bay, printableText(d.model).c_str(),
                byteSizeText(d.length).c_str(), byteSizeText(d.bytesWritten).c_str(), coverage.c_str(),
                log.c_str());
  }
  std::printf("Logs:   %s\n", (out / "Velmora Log").string().c_str());
  for (const RunnerDiskReport& d : r.disks)
    if (!d.image.empty())
      std::printf("Image of bay %d: %s%s\n", d.bay, d.image.c_str(), d.directIo ? " (direct I/O)" : "");
  std::fflush(stdout);
}

void resetEraseState() {
  stopEraseWorkers(0);
  forgetMirroringStations();
}

}  // namespace

int runScenario(const Scenario& scenario, const RunnerOptions& options, RunnerReport* report) {
  std::error_code ec;
  fs::create_directories(fs::path(options.outDir), ec);
  const fs::path out = fs::absolute(fs::path(options.outDir), ec);
  if (ec || !fs::is_directory(out)) {
    std::fprintf(stderr, "cannot create the output folder %s\n", options.outDir.c_str());
    return 1;
  }
  resetEraseState();
  Machine machine;
  if (!buildMachine(scenario, out, &machine) || !swapDisks(scenario, &machine)) {
    sim::reset();
    return 1;
  }
  armFaults(scenario, machine);

  std::array<bool, kBays> ticks{};
  for (int bay : scenario.selected) ticks[size_t(bay)] = true;
  setDesktopFolderOverride(utf8(out));
  const std::set<std::string> logsBefore = logNames(out / "Velmora Log");

  PrintingSink sink;
  setProgressCaptions("Speed", "Spend time", "Remaining time");
  setProgressSink(options.quiet ? nullptr : &sink);
  const bool verbose = options.verbose;
  setDebugSink([verbose](const std::string& text) {
    if (verbose) std::printf("debug: %s\n", text.c_str());
  });
  auto pacer = std::make_shared<Pacer>(scenario, machine.disks);
  sim::setWriteHook([pacer](sim::DiskId disk, uint64_t soFar) { pacer->onWrite(disk, soFar); });

  std::printf("Erasing with method %d (%s); logs go to %s\n", scenario.method, methodName(scenario.method),
              (out / "Velmora Log").string().c_str());
  std::fflush(stdout);
  interrupted = 0;
  auto previous = std::signal(SIGINT, onInterrupt);
  const auto start = std::chrono::steady_clock::now();
  EraseRequest request = eraseRequestFor(mainDiskList().diskAt(kPosition), ticks, scenario.method, scenario.pattern);
  request.skipReadBack = options.noReadBack;
  const EraseRunHandle run = startErase(request);
  const bool started = run != nullptr;
  if (started) shownEraseRun = run->id();
  while (started && run->alive()) {
    if (interrupted != 0) run->cancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto end = std::chrono::steady_clock::now();
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);

  sim::setWriteHook({});
  setProgressSink(nullptr);
  setDebugSink(nullptr);
  setDesktopFolderOverride("");
  if (!started) {
    std::fprintf(stderr, "the erase did not start\n");
    sim::reset();
    return 1;
  }
  RunnerReport r;
  r.seconds = std::chrono::duration<double>(end - start).count();
  r.sent = pacer->sent();
  r.cancelled = pacer->cancelled() || interrupted != 0;
  collect(scenario, machine, out, logsBefore, &r);
  printReport(scenario, r, out);
  // Closes the image files.
  sim::reset();
  mainDiskList().clearDisks();
  if (report != nullptr) *report = std::move(r);
  return 0;
}
