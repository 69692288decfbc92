// The erase worker: carries out a run's plan job by job, keeps each disk's outcome, checks what was
// written, and ends every log with its own disk's verdict. The registry of runs the window follows.
#include "Eraseutil_worker.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>

#include "Deviceioutil.h"
#include "Eraseutil_check.h"
#include "Eraseutil_log.h"
#include "Eraseutil_plan.h"
#include "Eraseutil_progress.h"
#include "Eraseutil_volumes.h"
#include "Platformservices.h"
#include "Sunnywilldeviceutil.h"

std::atomic<uint64_t> shownEraseRun{0};

namespace {

constexpr uint32_t kQuickMilliseconds = 10000;
constexpr uint32_t kProgressMilliseconds = 500;
constexpr uint32_t kMirrorRetry = 1000;  // ms a busy station is asked to mirror
constexpr uint32_t kRetryPause = 100;
constexpr uint32_t kSurveySteps = 32;  // writes (of up to 1 MiB) between two looks at a mirroring station

std::atomic<uint64_t> nextRunId{1};

bool samePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); });
}

// One block of the largest sector size, aligned for unbuffered transfers.
class AlignedBlock {
 public:
  AlignedBlock() : p_(static_cast<uint8_t*>(::operator new (kMaxCheckBlock, std::align_val_t{kEraseBufferAlignment}, std::nothrow))) {}
  explicit operator bool() const { return p_ != nullptr; }
  uint8_t* get() const { return p_.get(); }

 private:
  std::unique_ptr<uint8_t, AlignedBufferFree> p_;
};

// --- the run registry -----------------------------------------------------------------------------------

std::mutex& registryLock() {
  static std::mutex lock;
  return lock;
}

std::vector<EraseRunHandle>& registry() {
  // Never destroyed: a worker that outlived the close wait may still end while the process ends.
  static auto* runs = new std::vector<EraseRunHandle>;
  return *runs;
}

void pruneLocked() {
  auto& runs = registry();
  runs.erase(std::remove_if(runs.begin(), runs.end(), [](const EraseRunHandle& r) { return !r->alive(); }),
             runs.end());
}

EraseRunHandle registerRun(const EraseRequest& request) {
  if (!request.head || request.disks.empty()) return nullptr;
  std::lock_guard<std::mutex> hold(registryLock());
  pruneLocked();
  for (const EraseRunHandle& r : registry()) {
    if (r->belongsTo(*request.head)) return nullptr;
    for (const DiskRecord& d : request.disks)
      if (d && r->belongsTo(*d)) return nullptr;
  }
  auto run = std::make_shared<EraseRun>(request);
  registry().push_back(run);
  return run;
}

// --- one run --------------------------------------------------------------------------------------------

class RunExecution {
 public:
  explicit RunExecution(EraseRun& run) : run_(run), request_(run.request()) {}

  void execute() {
    const size_t n = request_.disks.size();
    disks_.resize(n);
    outcomes_.resize(n);
    written_.resize(n);
    marks_.resize(n);
    mirrorServed_.assign(n, false);
    notes_.resize(n);
    skip_.assign(n, false);
    dock_ = isDockDisk(*request_.head);
    logs_.resetRunLogs();
    for (const DiskRecord& disk : request_.disks) logs_.createDiskLog(*disk, methodName(request_.method));
    prepare();
    const StationSurvey station = dock_ ? survey() : StationSurvey{};
    const RunPlan plan = planRun(disks_, dock_ ? chooseMirror(disks_, station) : MirrorChoice::none, skip_);
    // The disks the second-bay mode leaves alone (in bay 0) are no strangers inside its range.
    if (plan.mirror == MirrorChoice::fromSecondBay)
      for (const StationMember& m : station.members)
        if (m.planned < 0) leftAlone_.push_back(m.path);
    debugOutputf("Docking mirror:%d, lMaxByte:%" PRId64 ", lMiniByte:%" PRId64, int(plan.mirror), plan.totalBytes,
                 plan.commonBytes);
    totalBytes_ = plan.totalBytes;
    runStartTick_ = devTickCount();
    carryOut(plan.steps);
    if (dock_ && !independent_) resetToIndependent();
    checkWholeDisks();
    for (size_t i = 0; i < n; ++i) {
      if (!outcomes_[i].ownError.empty() || run_.running()) continue;
      outcomes_[i].stopped = true;
    }
    if (!(dock_ && !independent_)) settleMarks();
    for (size_t i = 0; i < n; ++i) {
      if (!notes_[i].empty()) logs_.logTo(request_.disks[i]->bayIndex, notes_[i]);
      logs_.logVerdict(request_.disks[i]->bayIndex, diskVerdict(outcomes_[i], disks_[i].length));
    }
    logs_.closeRunLogs();
  }

 private:
  const DiskInfo& disk(size_t i) const { return *request_.disks[i]; }
  bool dropped(size_t i) const { return run_.bayDropped(disk(i).bayIndex); }

  // Before the first write: the station independent (a station left mirroring would copy our writes
  // onto disks nobody ticked), each disk's volumes locked and dismounted, each disk opened, identified
  // and its layout deleted.
  void prepare() {
    // A station whose mode nobody knows may copy any write onto any of its disks.
    if (dock_ && !resetToIndependent()) {
      debugOutputf("Docking cannot be switched to independent: nothing is written");
      for (size_t i = 0; i < disks_.size(); ++i) fail(i, "Disk Init Error");
    }
    for (size_t i = 0; i < disks_.size(); ++i) {
      const DiskInfo& d = disk(i);
      disks_[i].bay = d.bayIndex;
      disks_[i].length = d.diskLength;
      disks_[i].sectorSize = d.sectorSize > 0 ? d.sectorSize : 512;
      if (skip_[i]) continue;
      debugOutputf("Disk %d, TotalByte:%" PRId64, d.bayIndex, d.diskLength);
      if (cancelledWhilePreparing(i)) continue;
      // Windows refuses writes into a mounted volume, and a file system left mounted may write its
      // cached metadata back over the erased disk: every volume is locked and dismounted until the
      // run ends, mirror targets included.
      if (!lockDiskVolumes(d, locks_)) {
        fail(i, "Disk Init Error");
        continue;
      }
      if (cancelledWhilePreparing(i)) continue;
      clErase probe;  // deletes the drive layout; writes nothing
      const DiskIdentity identity = identityOf(d);
      probe.open(d.devicePath, 0, 0, &identity);
      if (probe.ready != 0) {
        disks_[i].verified = true;
        disks_[i].sectorSize = probe.bytesPerSector;
      } else if (probe.identityMismatch) {
        // Another disk answers at this path: it is no disk of the run.
        fail(i, "Disk Init Error");
      }
      probe.close();
    }
  }

  // Cancelled while preparing: what is not prepared yet is left as it is.
  bool cancelledWhilePreparing(size_t i) {
    if (run_.running()) return false;
    outcomes_[i].stopped = true;
    skip_[i] = true;
    return true;
  }

  void fail(size_t i, const std::string& error) {
    if (outcomes_[i].ownError.empty()) outcomes_[i].ownError = error;
    skip_[i] = true;
  }

  // The disks the station shows right now, matched to the run's disks. With identify, each disk found
  // at a planned path is asked whether it is still the planned disk (a bridge's path can belong to
  // the bay); without, the paths are enough (the quick look taken inside the mirrored range).
  StationSurvey survey(bool identify = true) const {
    StationSurvey s;
    const uint32_t parent = request_.head->parentInstance;
    if (parent == 0) return s;
    const DiskEnumeration found = enumerateDiskInterfaces();
    if (found.error != 0 || !found.skipped.empty()) return s;
    for (const DiskInterface& d : found.interfaces) {
      if (d.parentInstance != parent) continue;
      StationMember m;
      m.path = d.devicePath;
      for (size_t i = 0; i < disks_.size(); ++i) {
        if (!skip_[i] && samePath(disk(i).devicePath, d.devicePath) && (!identify || stillPlanned(i))) {
          m.planned = int32_t(i);
          m.bay = disks_[i].bay;
        }
      }
      if (m.planned < 0) m.bay = identify ? bayOfPath(d.devicePath) : -1;
      s.members.push_back(m);
    }
    s.complete = true;
    return s;
  }

  bool stillPlanned(size_t i) const {
    DevHandle h = devOpen(disk(i).devicePath.c_str(), DevOpenMode::shared, nullptr);
    if (!isValidDevHandle(h)) return false;
    const bool same = isDisk(h, identityOf(disk(i)));
    devClose(h);
    return same;
  }

  static int32_t bayOfPath(const std::string& path) {
    DevHandle h = devOpen(path.c_str(), DevOpenMode::shared, nullptr);
    if (!isValidDevHandle(h)) return -1;
    DiskInfo scratch;
    const bool known = detectDockBay(scratch, h);
    devClose(h);
    return known ? scratch.bayIndex : -1;
  }

  std::vector<std::string> stationPaths() const {
    std::vector<std::string> paths{request_.head->devicePath};
    for (const DiskRecord& d : request_.disks)
      if (d != request_.head) paths.push_back(d->devicePath);
    return paths;
  }

  bool resetToIndependent() {
    independent_ = resetStation(request_.head->parentInstance, request_.head->dockModel, stationPaths());
    if (!independent_) debugOutputf("Docking left mirroring: remembered for the next try");
    if (independent_) settleMarks();
    return independent_;
  }

  bool switchMirrorOn(BayMode mode) {
    const uint32_t start = devTickCount();
    independent_ = false;
    noteStationMirroring(request_.head->parentInstance, request_.head->dockModel, stationPaths());
    for (;;) {
      if (setBayModeThrough(request_.head->devicePath, request_.head->dockModel, mode)) return true;
      debugOutputf("Docking mode %d refused", int(mode));
      if (uint32_t(devTickCount() - start) >= kMirrorRetry || !run_.running() || anyDroppedAtAll()) return false;
      devSleep(kRetryPause);
    }
  }

  // Carries out the steps in order; a fault inside the mirrored range replaces what is left with the
  // fallback of every disk on its own.
  void carryOut(const std::vector<PlanStep>& steps) {
    std::deque<PlanStep> queue(steps.begin(), steps.end());
    while (!queue.empty() && run_.running()) {
      const PlanStep step = queue.front();
      queue.pop_front();
      if (step.kind == PlanStep::modeChange) {
        if (step.mode == BayMode::independent) {
          if (!resetToIndependent()) {
            // Still mirroring, as far as anybody knows: any further write could reach every disk.
            debugOutputf("Docking still mirroring: nothing more is written");
            break;
          }
          checkWholeDisks();
          continue;
        }
        if (queue.empty()) continue;
        const PlanStep mirrored = queue.front();
        const bool marked = markTargets(mirrored);
        if (!run_.running()) {
          unmarkTargets(mirrored);
          break;
        }
        if (!marked || anyDropped(mirrored) || !switchMirrorOn(step.mode)) {
          debugOutputf("Docking mirror not used, erasing each disk on its own");
          if (independent_) unmarkTargets(mirrored);
          fallBack(queue, mirrored);
        }
        continue;
      }
      if (step.mirrored()) {
        if (!runMirrored(step)) fallBack(queue, step);
        continue;
      }
      runOwn(step);
      checkWholeDisks();
    }
  }

  // Before the mirror goes on, each target gets marks where its check will read: bytes the last pass
  // will not leave there. A station that makes no copies then fails the check, even on a disk that
  // already held what the last pass writes (zeros under a pass of zeros). What the marks replace is
  // kept, so that a target the mirror never reaches gets it back. False when a target could not be
  // marked (or the run was cancelled, or a disk dropped): the mirror is then not used.
  bool markTargets(const PlanStep& mirrored) {
    clErase passes;
    buildPasses(passes, request_.method, request_.pattern);
    if (passes.passes.empty()) return false;
    const PassPattern last = passes.passes.back();
    AlignedBlock block;
    if (!block) return false;
    for (size_t i : mirrored.reaches) {
      if (i == mirrored.disk || skip_[i]) continue;
      if (!run_.running() || anyDropped(mirrored)) return false;
      uint32_t error = 0;
      DevHandle h = openDiskExclusive(disk(i).devicePath, &error);
      if (!isValidDevHandle(h)) {
        debugOutputf("Mark on bay %d: the disk cannot be opened (%u)", disk(i).bayIndex, error);
        return false;
      }
      bool marked = isDisk(h, identityOf(disk(i)));
      uint32_t size = 0;
      for (const int64_t at : checkOffsets(mirrored.start, mirrored.end, disks_[i].sectorSize, checkSeed(i),
                                           kCheckSamplesBetween, &size)) {
        if (!marked) break;
        Mark m{at, std::vector<uint8_t>(size)};
        if ((error = devRead(h, uint64_t(at), block.get(), size)) == 0) {
          m.saved.assign(block.get(), block.get() + size);
          for (uint32_t k = 0; k < size; ++k) {
            const int64_t x = (at - mirrored.start + k) % int64_t(kEraseBufferLength);
            block.get()[k] = last.random != 0 || last.length <= 0 ? 0xA5 : uint8_t(~last.pattern[x % last.length]);
          }
          error = devWrite(h, uint64_t(at), block.get(), size);
        }
        if (error != 0) {
          debugOutputf("Mark on bay %d failed: %u", disk(i).bayIndex, error);
          marked = false;
          break;
        }
        marks_[i].push_back(std::move(m));
      }
      devClose(h);
      if (!marked) return false;
    }
    return true;
  }

  // The mirror was not used after all: the targets get back what their marks replaced.
  void unmarkTargets(const PlanStep& mirrored) {
    for (size_t i : mirrored.reaches) {
      if (marks_[i].empty()) continue;
      writeMarks(i, [&](const Mark& m, uint8_t* to) {
        std::copy(m.saved.begin(), m.saved.end(), to);
        return true;
      });
      marks_[i].clear();
    }
  }

  // Once the station is independent again, no mark of ours may stay where nothing will write over
  // it: a disk the mirror served but stopped short of (a cancel, an untick, a fault) gets back what
  // its marks replaced past the mirror's furthest write, unless it is still to be erased on its own;
  // a disk the mirror served to its end with a last pass shorter than its range (a quick method)
  // gets that pass's bytes there.
  void settleMarks() {
    for (size_t i = 0; i < marks_.size(); ++i) {
      if (marks_[i].empty()) continue;
      const bool servedWhole = mirrorServed_.size() > i && mirrorServed_[i];
      const bool erasedLater = !servedWhole && run_.running() && !dropped(i) && !skip_[i];
      if (erasedLater) continue;  // its own job writes over every mark
      if (servedWhole && settle_.block) {
        const std::vector<uint8_t>& last = *settle_.block;
        writeMarks(i, [&](const Mark& m, uint8_t* to) {
          if (m.at + int64_t(m.saved.size()) <= settle_.reach) return false;
          for (size_t k = 0; k < m.saved.size(); ++k)
            to[k] = last[size_t((m.at - settle_.start + int64_t(k)) % int64_t(last.size()))];
          return true;
        });
      } else if (!servedWhole) {
        writeMarks(i, [&](const Mark& m, uint8_t* to) {
          if (m.at + int64_t(m.saved.size()) <= mirrorFurthest_) return false;  // the mirror wrote over it
          std::copy(m.saved.begin(), m.saved.end(), to);
          return true;
        });
      }
      marks_[i].clear();
    }
  }

  // Writes each mark's block as fill makes it (fill says whether to write that one), through the
  // disk's own path. Blocks that cannot be written are told in the disk's log.
  template <class Fill>
  void writeMarks(size_t i, Fill fill) {
    AlignedBlock block;
    uint32_t error = 0;
    int unwritten = 0;
    DevHandle h = block ? openDiskExclusive(disk(i).devicePath, &error) : invalidDevHandle();
    const bool open = isValidDevHandle(h) && isDisk(h, identityOf(disk(i)));
    // Last marked first: blocks may overlap, and a later mark kept what an earlier one had written.
    for (auto m = marks_[i].rbegin(); m != marks_[i].rend(); ++m) {
      if (!fill(*m, block.get())) continue;
      if (!open || (error = devWrite(h, uint64_t(m->at), block.get(), uint32_t(m->saved.size()))) != 0) ++unwritten;
    }
    if (isValidDevHandle(h)) devClose(h);
    if (unwritten > 0) {
      debugOutputf("Marks on bay %d: %d blocks not rewritten (%u)", disk(i).bayIndex, unwritten, error);
      char line[160];
      std::snprintf(line, sizeof line, "Restore Error:%d blocks written for the read-back check were not put back\r\n",
                    unwritten);
      notes_[i] += line;
    }
  }

  // Where a disk's check reads is fixed for the run, so the marks stand where it looks.
  uint32_t checkSeed(size_t i) const { return uint32_t(run_.id() * 2654435761u) + uint32_t(i) * 97u; }

  bool anyDroppedAtAll() const {
    for (size_t i = 0; i < disks_.size(); ++i)
      if (dropped(i)) return true;
    return false;
  }

  bool anyDropped(const PlanStep& step) const {
    return std::any_of(step.reaches.begin(), step.reaches.end(), [&](size_t i) { return dropped(i); });
  }

  void fallBack(std::deque<PlanStep>& queue, const PlanStep mirrored) {  // a copy: it may stand in the queue
    std::vector<bool> skip = skip_;
    for (size_t i = 0; i < skip.size(); ++i) skip[i] = skip[i] || dropped(i);
    const std::vector<PlanStep> steps = planMirrorFallback(disks_, mirrored, skip);
    queue.assign(steps.begin(), steps.end());
    int64_t total = bytesBefore_;
    for (const PlanStep& s : steps) total += s.end - s.start;
    totalBytes_ = std::max(totalBytes_, total);
    for (size_t i : mirrored.reaches) {
      if (dropped(i)) outcomes_[i].stopped = true;
    }
  }

  // The mirrored range through its first disk. True when it went through and every disk it was to
  // reach is still there; the bytes then count for all of them.
  bool runMirrored(const PlanStep& step) {
    // A handle on each target for the whole range: one that was pulled out, even for a moment, has
    // missed copies, and its old handle tells.
    // The disk written through is the job's own: not held here.
    held_.clear();
    for (size_t i : step.reaches)
      held_.push_back(i == step.disk ? invalidDevHandle() : devOpen(disk(i).devicePath.c_str(), DevOpenMode::shared, nullptr));
    std::shared_ptr<const std::vector<uint8_t>> block;
    const JobEnd end = runJob(step, false, &block);
    mirrorFurthest_ = end.furthest;
    bool stayed = true;
    for (size_t k = 0; k < held_.size(); ++k) {
      if (step.reaches[k] == step.disk) continue;
      const DiskIdentity identity = identityOf(disk(step.reaches[k]));
      if (!isValidDevHandle(held_[k]) || queryDeviceNumber(held_[k]) != identity.deviceNumber) {
        debugOutputf("Docking mirror target in bay %d was gone", disk(step.reaches[k]).bayIndex);
        stayed = false;
      }
      if (isValidDevHandle(held_[k])) devClose(held_[k]);
    }
    held_.clear();
    if (end.kind == JobEnd::stopped && !run_.running()) return true;  // cancelled: nothing to fall back to
    const bool complete = end.kind == JobEnd::done && stayed && targetsPresent(step);
    if (!complete) {
      debugOutputf("Docking mirrored range not complete, erasing each disk on its own");
      return false;
    }
    for (size_t i : step.reaches) {
      credit(i, step, block, end.reach);
      mirrorServed_[i] = true;
    }
    if (block && end.reach < step.end) settle_ = {step.start, end.reach, block};
    return true;
  }

  // Inside the mirrored range: a planned disk dropped by its page, or a disk the run does not know
  // pushed into the station, ends the mirror (the copies it already got cannot be taken back).
  bool mirrorStillFits(const PlanStep& step) const {
    if (anyDropped(step)) return false;
    for (size_t k = 0; k < held_.size(); ++k) {
      if (step.reaches[k] == step.disk) continue;
      if (!isValidDevHandle(held_[k]) || queryDeviceNumber(held_[k]) != identityOf(disk(step.reaches[k])).deviceNumber) {
        debugOutputf("Docking mirror target in bay %d is gone: the mirror ends", disk(step.reaches[k]).bayIndex);
        return false;
      }
    }
    const StationSurvey s = survey(false);
    if (!s.complete) {
      // A station that cannot be seen whole may hold a disk nobody planned.
      debugOutputf("Docking cannot be listed whole: the mirror ends");
      return false;
    }
    for (const StationMember& m : s.members) {
      if (m.planned < 0 && std::none_of(leftAlone_.begin(), leftAlone_.end(),
                                        [&](const std::string& p) { return samePath(p, m.path); })) {
        debugOutputf("Docking holds a disk the run does not know: the mirror ends");
        return false;
      }
    }
    return true;
  }

  bool targetsPresent(const PlanStep& step) const {
    const StationSurvey s = survey();
    if (!s.complete) return false;
    for (size_t i : step.reaches) {
      const bool found = std::any_of(s.members.begin(), s.members.end(),
                                     [&](const StationMember& m) { return m.planned == int32_t(i); });
      if (!found) {
        debugOutputf("Docking mirror target in bay %d is missing", disk(i).bayIndex);
        return false;
      }
    }
    return true;
  }

  void runOwn(const PlanStep& step) {
    const size_t i = step.disk;
    if (skip_[i]) return;
    if (dropped(i)) {
      outcomes_[i].stopped = true;
      return;
    }
    std::shared_ptr<const std::vector<uint8_t>> block;
    const JobEnd end = runJob(step, true, &block);
    switch (end.kind) {
      case JobEnd::done:
        credit(i, step, block, end.reach);
        break;
      case JobEnd::failed:
        fail(i, end.error);
        break;
      case JobEnd::stopped:
        outcomes_[i].stopped = true;
        break;
    }
  }

  void credit(size_t i, const PlanStep& step, const std::shared_ptr<const std::vector<uint8_t>>& block,
              int64_t reach) {
    outcomes_[i].covered.push_back({step.start, step.end});
    std::vector<int64_t> marked;
    if (step.mirrored())
      for (const Mark& m : marks_[i]) marked.push_back(m.at);
    if (reach > step.start) written_[i].push_back({step.start, reach, block, marked});
  }

  struct JobEnd {
    enum Kind : uint8_t { done, failed, stopped } kind = stopped;
    std::string error;  // failed: the ending its log got
    int64_t reach = 0;  // done: how far the last pass wrote
    int64_t furthest = 0;  // how far any pass wrote
  };

  JobEnd runJob(const PlanStep& step, bool own, std::shared_ptr<const std::vector<uint8_t>>* block) {
    const DiskInfo& d = disk(step.disk);
    debugOutputf("Start Write:%d, StartOffset:%" PRId64 ", EndOffset:%" PRId64, d.bayIndex, step.start, step.end);
    clErase job;
    job.logs = &logs_;
    const DiskIdentity identity = identityOf(d);
    job.open(d.devicePath, step.start, step.end, &identity);
    buildPasses(job, request_.method, request_.pattern);
    uint32_t displayTick = devTickCount();
    int result = 1;
    uint32_t steps = 0;
    // A disk dropped from the run stops its own job and the mirror that reaches it.
    while (run_.running() && !(own ? dropped(step.disk) : (steps % kSurveySteps == 0 && steps > 0 && !mirrorStillFits(step)))) {
      const uint32_t now = devTickCount();
      const bool quickStop = job.quick != 0 && uint32_t(now - runStartTick_) > kQuickMilliseconds;
      result = job.step(quickStop);
      ++steps;
      if (result != 1) break;
      if (!own && anyDropped(step)) break;
      if (shownEraseRun == run_.id() && uint32_t(devTickCount() - displayTick) > kProgressMilliseconds) {
        publishProgress(run_.id(), job, bytesBefore_, totalBytes_, runStartTick_);
        displayTick = devTickCount();
      }
    }
    JobEnd end;
    end.furthest = job.furthest;
    if (result == 0) {
      end.kind = JobEnd::done;
      end.reach = job.passReach;
      if (job.buffer) *block = std::make_shared<const std::vector<uint8_t>>(job.buffer.get(), job.buffer.get() + job.bufferLength);
    } else if (result < 0) {
      end.kind = JobEnd::failed;
      end.error = job.ready == 0 ? "Disk Init Error" : "WriteFile Error:" + std::to_string(job.lastError);
    }
    job.close();
    bytesBefore_ += step.end - step.start;
    return end;
  }

  // Every disk covered whole and not yet checked is flushed and read back through its own path (the
  // mirror copies writes, never reads), so each disk answers for itself.
  void checkWholeDisks() {
    for (size_t i = 0; i < disks_.size(); ++i) {
      DiskOutcome& o = outcomes_[i];
      if (o.checked || !o.ownError.empty() || !coversWhole(o.covered, disks_[i].length)) continue;
      o.checked = true;
      o.checkError = checkDisk(i);
    }
  }

  std::string checkDisk(size_t i) {
    const DiskInfo& d = disk(i);
    if (request_.skipReadBack) return "";
    uint32_t error = 0;
    DevHandle h = openDiskExclusive(d.devicePath, &error);
    if (!isValidDevHandle(h)) return "ReadFile Error:" + std::to_string(error);
    std::string result;
    if (!isDisk(h, identityOf(d))) {
      result = "Verify Error";
    } else {
      const CheckResult check = checkWrittenRanges(h, disks_[i].sectorSize, written_[i], checkSeed(i));
      debugOutputf("Check of bay %d: %d blocks read back%s%s", d.bayIndex, check.blocksRead,
                   check.error.empty() ? "" : ", ", check.error.c_str());
      result = check.error;
    }
    devClose(h);
    return result;
  }

  EraseRun& run_;
  const EraseRequest& request_;
  VolumeLocks locks_;  // released when the run has ended
  EraseRunLogs logs_;
  bool dock_ = false;
  bool independent_ = true;  // the station is known not to mirror
  std::vector<PlanDisk> disks_;
  std::vector<DiskOutcome> outcomes_;
  std::vector<std::vector<WrittenRange>> written_;
  struct Mark {
    int64_t at = 0;
    std::vector<uint8_t> saved;  // what the mark replaced
  };
  std::vector<std::vector<Mark>> marks_;  // where each mirror target was marked
  std::vector<bool> skip_;  // disks out of the run: their verdict is decided
  struct Settle {
    int64_t start = 0;
    int64_t reach = 0;
    std::shared_ptr<const std::vector<uint8_t>> block;
  } settle_;  // a mirrored range whose last pass stopped short of its end
  std::vector<bool> mirrorServed_;  // the mirrored range reached this disk to its end
  int64_t mirrorFurthest_ = 0;      // how far the mirror wrote
  std::vector<std::string> leftAlone_;  // members the mirror mode does not reach
  std::vector<std::string> notes_;      // lines for a disk's log before its verdict
  int64_t totalBytes_ = 0;
  int64_t bytesBefore_ = 0;
  uint32_t runStartTick_ = 0;
  std::vector<DevHandle> held_;  // inside the mirrored range: a handle on each target
};

}  // namespace

// --- requests and runs ------------------------------------------------------------------------------------

EraseRequest eraseRequestFor(const DiskRecord& head, const std::array<bool, kBays>& ticks, int32_t method,
                             const UserPattern& pattern) {
  EraseRequest request;
  request.head = head;
  request.method = method;
  request.pattern = pattern;
  if (!head) return request;
  if (!isDockDisk(*head)) {
    request.disks.push_back(head);
    return request;
  }
  std::array<bool, kBays> taken{};
  for (const DiskRecord& d : groupOrder(head)) {
    const int32_t bay = d->bayIndex;
    if (bay < 0 || bay >= kBays || bay >= head->bayCount || !ticks[size_t(bay)] || taken[size_t(bay)]) continue;
    taken[size_t(bay)] = true;  // one disk per bay: the first in group order
    request.disks.push_back(d);
  }
  return request;
}

EraseRun::EraseRun(EraseRequest request) : id_(nextRunId++), request_(std::move(request)) {}

bool EraseRun::holdsBay(int32_t bay) const {
  return std::any_of(request_.disks.begin(), request_.disks.end(),
                     [&](const DiskRecord& d) { return d && d->bayIndex == bay; });
}

void EraseRun::dropBay(int32_t bay) {
  if (bay >= 0 && bay < kBayTableSize) dropped_[size_t(bay)] = 1;
}

bool EraseRun::bayDropped(int32_t bay) const {
  return bay >= 0 && bay < kBayTableSize && dropped_[size_t(bay)] != 0;
}

bool EraseRun::belongsTo(const DiskInfo& record) const {
  const DiskInfo& head = *request_.head;
  if (&record == &head) return true;
  for (const DiskRecord& d : request_.disks)
    if (d.get() == &record) return true;
  return isDockDisk(head) && head.parentInstance != 0 && record.parentInstance == head.parentInstance;
}

void EraseRun::execute() {
  {
    RunExecution execution(*this);
    execution.execute();
  }
  // Last act: once no run is alive the window may end the process.
  running_ = 0;
  alive_ = 0;
}

void EraseRun::abandon() {
  running_ = 0;
  alive_ = 0;
}

EraseRunHandle startErase(const EraseRequest& request) {
  EraseRunHandle run = registerRun(request);
  if (!run) return nullptr;
  try {
    std::thread([run] { run->execute(); }).detach();
  } catch (const std::system_error&) {
    run->abandon();
    return nullptr;
  }
  return run;
}

EraseRunHandle runEraseHere(const EraseRequest& request) {
  EraseRunHandle run = registerRun(request);
  if (run) run->execute();
  return run;
}

EraseRunHandle eraseRunOf(const DiskInfo& record) {
  std::lock_guard<std::mutex> hold(registryLock());
  for (const EraseRunHandle& r : registry())
    if (r->alive() && r->belongsTo(record)) return r;
  return nullptr;
}

std::vector<EraseRunHandle> liveEraseRuns() {
  std::lock_guard<std::mutex> hold(registryLock());
  pruneLocked();
  return registry();
}

bool stopEraseWorkers(uint32_t maxMilliseconds) {
  for (const EraseRunHandle& r : liveEraseRuns()) r->cancel();
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const std::vector<EraseRunHandle> live = liveEraseRuns();
    if (live.empty()) {
      retryStationResets();
      return true;
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(maxMilliseconds)) {
      // The process ends with these workers: no station of theirs may stay mirroring.
      retryStationResets(true);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
}

void forgetEndedRuns() {
  std::lock_guard<std::mutex> hold(registryLock());
  pruneLocked();
}
