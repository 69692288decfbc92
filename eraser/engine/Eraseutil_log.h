// Erase logs: the six log slots of one erase run and the lines written into them.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "Platformservices.h"

struct DiskInfo;

// The line that separates the sections of a log (31 equal signs).
inline constexpr const char* kLogRule = "===============================\r\n";

// Each run owns its slots, so runs at two positions never reset, write into or close each other's files.
class EraseRunLogs {
 public:
  static constexpr int kSlots = 6;

  EraseRunLogs() = default;
  EraseRunLogs(const EraseRunLogs&) = delete;
  EraseRunLogs& operator=(const EraseRunLogs&) = delete;
  ~EraseRunLogs() { closeRunLogs(); }

  // Marks every slot empty (files still open are closed first, so none leaks).
  void resetRunLogs();

  // Creates "<desktop>\Velmora Log\<stamp>_Disk<bay+1>.txt" for the disk when its slot is empty and
  // writes the six creation lines. methodText is the run's method name.
  bool createDiskLog(const DiskInfo& disk, const std::string& methodText);

  // Writes the text to every open slot, 0 to 5.
  void logLine(const std::string& text);

  // Writes the text into one disk's log alone.
  void logTo(int bayIndex, const std::string& text) { writeSlot(bayIndex, text); }

  // The disk's own ending (the equal-sign line and the verdict, "Erase Success", "Erase Cancel", ...)
  // into its log alone, so that its last line is always about it. Nothing is written when the last
  // ending in that log is already this one.
  void logVerdict(int bayIndex, const std::string& verdict);

  void closeRunLogs();

  bool slotOpen(int slot) const { return slot >= 0 && slot < kSlots && slots_[size_t(slot)] != nullptr; }

 private:
  void writeSlot(int slot, const std::string& text);
  std::array<LogFileHandle, kSlots> slots_{};
  static constexpr size_t kTailLength = 128;
  std::array<std::string, kSlots> tails_{};  // the last bytes written to each slot
};

// "%d/%02d/%02d %02d:%02d:%02d" of a local time: the prefix of the timed log lines.
std::string logTimeText(const LocalTime& t);

// The name of a log file created at time t for a bay index (without the folder).
std::string logFileName(const LocalTime& t, int bayIndex);
