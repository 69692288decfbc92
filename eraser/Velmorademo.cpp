// The demo build's simulated machine: two stations, their disks and volumes, and the pace of their links.
#include "Velmorademo.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "Simclock.h"

namespace {

constexpr const char* kDiskClassGuid = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr uint64_t kMB = 1000000;
constexpr uint16_t kSolidState = 1;
// The disks are a two-hundred-and-fiftieth of the drives they are named after, so that a full erase
// at a real link's pace ends within a minute.
constexpr uint64_t kScale = 250;

struct DemoVolume {
  char letter;  // 0: none
  const char16_t* label;
  const char16_t* fileSystem;
  int percentOfDisk;
  int percentFree;
};

struct DemoDisk {
  int bay;
  const char* model;
  const char* serial;
  uint64_t realLength;  // of the drive it is named after
  uint16_t rotation;
  DemoVolume volumes[2];
};

// No volume is on c:, which Wine gives to its Windows folder: the boot-drive refusal would stop every
// Start. Five volumes: the volume table of the smallest window holds five rows above the page's rule. Erasing
// all four disks of the six-bay station sends 12 GB (the 1 GB they share once, then each disk's rest): a
// minute at kDemoBytesPerSecond.
const DemoDisk kSixBayDisks[] = {
    {0,
     "WDC WD5000AAKX-00ERMA0",
     "WCC2EUS48117",
     500107862016,
     7200,
     {{'e', u"Archive", u"NTFS", 99, 31}, {}}},
    {1,
     "ST1000DM010-2EP102",
     "ZN1A0B7C",
     1000204886016,
     7200,
     {{'f', u"Backup", u"NTFS", 62, 16}, {'g', u"Media", u"exFAT", 37, 73}}},
    {2, "ST2000DM008-2FR102", "ZFL0X9QK", 2000398934016, 5400, {{'h', u"Projects", u"NTFS", 99, 40}, {}}},
    {3,
     "Samsung SSD 860 EVO 250GB",
     "S3YHNX0K812345B",
     250059350016,
     kSolidState,
     {{'i', u"OS", u"NTFS", 99, 22}, {}}},
};

// Sends 3 GB when both disks are erased.
const DemoDisk kTwoBayDisks[] = {
    {0, "TOSHIBA MQ01ABD075", "X3G5T6AMS", 750156374016, 5400, {{'k', u"Photos", u"NTFS", 99, 43}, {}}},
    {1,
     "CT500MX500SSD1",
     "1904E1E5A2B7",
     500107862016,
     kSolidState,
     {{'l', u"Laptop", u"NTFS", 96, 51}, {'m', u"Recovery", u"NTFS", 3, 20}}},
};

constexpr uint64_t roundedDown(uint64_t bytes, uint64_t unit) { return bytes / unit * unit; }

// One station's USB link: everything sent to its disks shares its pace. A write the station mirrors
// to other bays travels the link once, so only the bytes of the disk it was sent to count.
class Link {
 public:
  explicit Link(uint64_t bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

  void addDisk(sim::DiskId disk) { seen_.push_back({disk, 0}); }
  bool has(sim::DiskId disk) const {
    for (const auto& s : seen_)
      if (s.disk == disk) return true;
    return false;
  }

  // Runs on the worker after each write; holds it back until the link would have carried the write.
  void written(sim::DiskId disk, uint64_t bytesSoFar) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point due;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      uint64_t sent = 0;
      for (auto& s : seen_) {
        // The copies a write left on the other bays are taken as seen, so that they never count.
        const uint64_t now = s.disk == disk ? bytesSoFar : sim::bytesWritten(s.disk);
        if (s.disk == disk) sent = now - s.bytes;
        s.bytes = now;
      }
      if (bytesPerSecond_ == 0) return;
      const Clock::time_point now = Clock::now();
      // A link that was idle gives no burst; a little lag (sleeps wake late) is made up.
      if (now - due_ > std::chrono::milliseconds(100)) due_ = now;
      due_ += std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(double(sent) / double(bytesPerSecond_)));
      due = due_;
    }
    std::this_thread::sleep_until(due);
  }

 private:
  struct Seen {
    sim::DiskId disk;
    uint64_t bytes;
  };
  const uint64_t bytesPerSecond_;
  std::mutex mutex_;
  std::vector<Seen> seen_;  // filled before the hook is set, then only the counts change
  std::chrono::steady_clock::time_point due_{};
};

sim::DiskSpec diskSpec(const DemoDisk& d, uint32_t number, uint32_t parent) {
  sim::DiskSpec spec;
  spec.path =
      "\\\\?\\usbstor#disk&ven_sunnywl&prod_bay_disk#" + std::to_string(number) + "&0#" + kDiskClassGuid;
  spec.deviceNumber = number;
  spec.vendorId = "SUNNYWL";
  spec.productId = "BAY DISK";
  // Whole 4096-byte sectors, so that any sector size fits.
  spec.length = roundedDown(d.realLength / kScale, 4096);
  spec.parentInstance = parent;
  spec.backing = sim::Backing::discarding;
  sim::setIdentifyModel(spec.identify, d.model);
  sim::setIdentifySerial(spec.identify, d.serial);
  sim::setIdentifyRotation(spec.identify, d.rotation);
  for (const DemoVolume& v : d.volumes) {
    if (v.letter == 0) continue;
    const uint64_t total = roundedDown(spec.length / 100 * uint64_t(v.percentOfDisk), 1048576);
    spec.volumes.push_back(
        {v.letter, v.label, v.fileSystem, total, roundedDown(total / 100 * uint64_t(v.percentFree), 4096)});
  }
  return spec;
}

template <size_t N>
bool addStation(sim::StationModel model, uint32_t parent, const DemoDisk (&disks)[N], uint32_t* number,
                Link* link, DemoStation* station) {
  station->id = sim::addStation({model, sim::BayReplyForm::jm, parent});
  if (station->id == sim::kNone) return false;
  for (const DemoDisk& d : disks) {
    const sim::DiskId disk = sim::addDisk(diskSpec(d, ++*number, parent));
    if (disk == sim::kNone || !sim::insertDisk(station->id, d.bay, disk)) return false;
    station->disks.push_back(disk);
    link->addDisk(disk);
  }
  return true;
}

}  // namespace

bool buildDemoMachine(const DemoOptions& options, DemoMachine* machine) {
  sim::reset();
  simClockSetMode(SimClockMode::real);
  // Never freed: a worker may still be inside a link's wait when the machine is built again or the
  // program ends.
  Link* sixBay = new Link(options.bytesPerSecond);
  Link* twoBay = new Link(options.bytesPerSecond);
  DemoMachine built;
  uint32_t number = 0;
  if (!addStation(sim::StationModel::sywl, 100, kSixBayDisks, &number, sixBay, &built.sixBay) ||
      !addStation(sim::StationModel::syw2, 200, kTwoBayDisks, &number, twoBay, &built.twoBay)) {
    sim::reset();
    return false;
  }
  sim::setWriteHook([sixBay, twoBay](sim::DiskId disk, uint64_t bytesSoFar) {
    for (Link* link : {sixBay, twoBay}) {
      if (link->has(disk)) {
        link->written(disk, bytesSoFar);
        return;
      }
    }
  });
  if (machine != nullptr) *machine = built;
  return true;
}

uint64_t demoBytesPerSecondFromEnvironment() {
  const char* text = std::getenv("VELMORA_DEMO_SPEED");
  if (text == nullptr || *text == 0) return kDemoBytesPerSecond;
  char* end = nullptr;
  const unsigned long long mb = std::strtoull(text, &end, 10);
  if (*end != 0 || mb > 1000000) return kDemoBytesPerSecond;
  return uint64_t(mb) * kMB;
}
