// The erase worker: erase runs, each owning the disks ticked at its Start, and the registry through
// which the window finds, cancels and follows them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Eraseutil.h"
#include "Product.h"

constexpr int32_t kBays = 6;

// What a run erases, fixed when the user confirms Start.
struct EraseRequest {
  DiskRecord head;                // the record whose page was shown: a plain disk or a station's head
  std::vector<DiskRecord> disks;  // the disks to erase, in group order (a plain disk: the head)
  int32_t method = 1;
  UserPattern pattern{};
  bool skipReadBack = false;  // only for measuring what the check costs: the window never sets it
};

// The request for a Start on the head's page with these bays ticked: the head alone outside a
// station, else every disk of the group whose bay is ticked.
EraseRequest eraseRequestFor(const DiskRecord& head, const std::array<bool, kBays>& ticks, int32_t method,
                             const UserPattern& pattern);

// One run, shared by the window and its worker thread. Everything here is safe from any thread.
class EraseRun {
 public:
  explicit EraseRun(EraseRequest request);

  uint64_t id() const { return id_; }
  const EraseRequest& request() const { return request_; }
  const DiskRecord& head() const { return request_.head; }

  bool running() const { return running_ != 0; }  // not cancelled
  bool alive() const { return alive_ != 0; }      // its thread has not ended
  void cancel() { running_ = 0; }

  // True when the run erases, or was to erase, the disk of this bay.
  bool holdsBay(int32_t bay) const;
  // The untick on the run's own page: the disk of that bay leaves the run before the run reaches
  // it (a job on it stops); its log ends "Erase Cancel".
  void dropBay(int32_t bay);
  bool bayDropped(int32_t bay) const;

  // A run belongs to its station: the head it was started for, or any record of the same station.
  bool belongsTo(const DiskInfo& record) const;

  // The worker's body; runs on the calling thread and marks the run ended when it returns.
  void execute();
  // A run whose thread could not be made: ended without touching a disk.
  void abandon();

 private:
  const uint64_t id_;
  const EraseRequest request_;
  std::atomic<uint8_t> running_{1};
  std::atomic<uint8_t> alive_{1};
  std::array<std::atomic<uint8_t>, kBayTableSize> dropped_{};
};

using EraseRunHandle = std::shared_ptr<EraseRun>;

// Starts a worker thread for the request. Null, with nothing started, when the request has no head
// or no disk, a run on that station is alive, or the thread cannot be made.
EraseRunHandle startErase(const EraseRequest& request);

// Runs the request on this thread (tests, tools); registered like a started run while it lasts.
EraseRunHandle runEraseHere(const EraseRequest& request);

// The live run of the station this record belongs to, or null.
EraseRunHandle eraseRunOf(const DiskInfo& record);
// Every run whose thread has not ended.
std::vector<EraseRunHandle> liveEraseRuns();

// The run whose page the window shows (0: none). Only that run publishes progress.
extern std::atomic<uint64_t> shownEraseRun;

// Cancels every run, then waits, polling every 30 ms, until no worker is alive or maxMilliseconds
// have passed; stations a run could not switch back to independent are tried once more. True when
// every worker ended.
bool stopEraseWorkers(uint32_t maxMilliseconds = 10000);

// Forgets every ended run (tests).
void forgetEndedRuns();
