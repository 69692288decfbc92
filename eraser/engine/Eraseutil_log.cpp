// Erase logs: one plain-text file per erased disk in a folder on the desktop.
#include "Eraseutil_log.h"

#include <cinttypes>
#include <cstdio>

#include "Product.h"
#include "Textformatutil.h"

std::string logTimeText(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

std::string logFileName(const LocalTime& t, int bayIndex) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%02d%02d_%02d%02d%02d_Disk%d.txt", t.year, t.month, t.day, t.hour,
                t.minute, t.second, bayIndex + 1);
  return text;
}

namespace {

constexpr int kMaxNameRetries = 50;

// "..._Disk1.txt" -> "..._Disk1_2.txt"
std::string numberedName(const std::string& name, int n) {
  return name.substr(0, name.size() - 4) + "_" + std::to_string(n) + ".txt";
}

}  // namespace

void EraseRunLogs::resetRunLogs() { closeRunLogs(); }

bool EraseRunLogs::createDiskLog(const DiskInfo& disk, const std::string& methodText) {
  const int slot = disk.bayIndex;
  if (slot < 0 || slot >= kSlots) return false;

  std::string desktop, failure;
  if (!desktopFolder(&desktop, &failure)) {
    showMessageBox(failure);
    return false;
  }
  const std::string folder = desktop + "\\Velmora Log";
  createFolders(folder);
  const std::string name = logFileName(localTimeNow(), disk.bayIndex);
  if (slots_[size_t(slot)] != nullptr) return false;
  // Two runs can create the log of the same bay within one second: the later one gets a numbered
  // name rather than losing its log or replacing the other.
  LogFileHandle file = createLogFile(folder + "\\" + name);
  for (int n = 2; file == nullptr && n <= kMaxNameRetries; ++n)
    file = createLogFile(folder + "\\" + numberedName(name, n));
  if (file == nullptr) return false;
  slots_[size_t(slot)] = file;

  char capacity[64];
  std::snprintf(capacity, sizeof capacity, "Capacity:%" PRIu64 " bytes\r\n", uint64_t(disk.diskLength));
  writeSlot(slot, "Disk" + std::to_string(disk.bayIndex + 1) + "\r\n");
  // What a device reports could carry line breaks of its own: a log's lines are ours only.
  writeSlot(slot, "Model Name:" + printableText(disk.modelName) + "\r\n");
  writeSlot(slot, "Serial Number:" + printableText(disk.serialNumber) + "\r\n");
  writeSlot(slot, "Erase Type:" + methodText + "\r\n");
  writeSlot(slot, capacity);
  writeSlot(slot, kLogRule);
  return true;
}

void EraseRunLogs::logLine(const std::string& text) {
  for (int slot = 0; slot < kSlots; ++slot) writeSlot(slot, text);
}

void EraseRunLogs::logVerdict(int bayIndex, const std::string& verdict) {
  if (!slotOpen(bayIndex)) return;
  const std::string ending = kLogRule + verdict + "\r\n";
  const std::string& tail = tails_[size_t(bayIndex)];
  if (tail.size() >= ending.size() && tail.compare(tail.size() - ending.size(), ending.size(), ending) == 0) return;
  writeSlot(bayIndex, ending);
}

void EraseRunLogs::closeRunLogs() {
  for (LogFileHandle& file : slots_) {
    if (file != nullptr) closeLogFile(file);
    file = nullptr;
  }
  for (std::string& tail : tails_) tail.clear();
}

void EraseRunLogs::writeSlot(int slot, const std::string& text) {
  if (!slotOpen(slot)) return;
  std::string& tail = tails_[size_t(slot)];
  tail += text;
  if (tail.size() > kTailLength) tail.erase(0, tail.size() - kTailLength);
  writeLogFile(slots_[size_t(slot)], text.data(), text.size());  // failures are not recorded anywhere
}
