// Erase methods and their passes, the erase job (clErase), the per-thread random generator.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "Deviceioutil.h"
#include "Eraseutil_volumes.h"

// --- erase methods ----------------------------------------------------------------------------------

// Method numbers in the order the method list offers them. Any number outside 1..21 is user-defined.
enum EraseMethod : int32_t {
  kMethodOnePassZeros = 1,
  kMethodOnePassRandom,
  kMethodDod,
  kMethodDodEce,
  kMethodCanadianOps2,
  kMethodGermanVsitr,
  kMethodRussianGost,
  kMethodUsArmy,
  kMethodUsAirForce,
  kMethodHmgBaseline,
  kMethodHmgEnhanced,
  kMethodNavsoRl,
  kMethodNavsoMfm,
  kMethodNcsc,
  kMethodNsa,
  kMethodBruceSchneier,
  kMethodGutmann,
  kMethodSchneiers,
  kMethodPseudorandom,
  kMethodQuickZeros,
  kMethodQuickRandom,
  kMethodUserDefined,
};

constexpr int32_t kMethodCount = 22;  // the method list shows 1..kMethodCount

// The four pass choices of the user-defined method: 0 random, k > 0 the byte k - 1 (mod 256).
using UserPattern = std::array<int32_t, 4>;

// Chosen in the main window, copied by each erase run at its start (hence atomic).
extern std::atomic<int32_t> selectedMethod;  // 1 at start
extern std::atomic<int32_t> userPattern[4];  // all 0 at start

UserPattern loadUserPattern();

// The display name; "User defined" for any number that is not 1..21.
const char* methodName(int32_t method);

// --- passes -----------------------------------------------------------------------------------------

constexpr int32_t kMaxPatternLength = 16;

struct PassPattern {
  uint8_t pattern[kMaxPatternLength] = {};  // only the first `length` bytes are used
  int32_t length = 0;                       // 1..16 for a fixed pass
  uint8_t random = 0;                       // 1: generated data; pattern and length unused
};

// The log text of a pass: "Random", or "%02X " for each pattern byte ("92 49 24 ").
std::string passText(const PassPattern& pass);

// --- the erase job ----------------------------------------------------------------------------------

constexpr uint32_t kEraseBufferLength = 1048576;
// Unbuffered transfers must start at a multiple of the sector size in memory too: the largest sector
// the device layer accepts is 64 KiB.
constexpr size_t kEraseBufferAlignment = 65536;

struct AlignedBufferFree {
  void operator()(uint8_t* p) const;
};

class EraseRunLogs;
struct DiskInfo;

// What a job checks the disk it opened against: the disk the run planned for. A device path can
// belong to a station's bay rather than to the disk in it, so the path alone does not say which
// disk is behind it.
struct DiskIdentity {
  int32_t deviceNumber = -1;
  int64_t length = 0;
  std::string serialNumber;  // from IDENTIFY, padding kept; empty: not known, not checked
};

DiskIdentity identityOf(const DiskInfo& disk);

// True when the opened device is that disk: same device number and length, and the same serial
// number when one is known.
bool isDisk(DevHandle h, const DiskIdentity& expected);

// Opens a disk exclusively and unbuffered, waiting briefly while another handle (the disk scan's)
// holds it. invalidDevHandle() on failure, with the error in *error.
DevHandle openDiskExclusive(const std::string& path, uint32_t* error);

// One erase job: one disk, one byte range, all passes of a method. Opening, stepping and closing are
// built on top of this record; it owns its transfer buffer, not its device handle.
class clErase {
 public:
  clErase() = default;
  clErase(const clErase&) = delete;
  clErase& operator=(const clErase&) = delete;

  // Allocates the transfer buffer (once), aligned for any sector size. False when memory is short.
  bool allocateBuffer();

  // Opens the disk exclusively and unbuffered for [start, end) (end 0: to the disk's end), reseeds
  // the generator, measures the disk, checks it is the expected disk (when one is given), allocates
  // the buffer and deletes the drive layout. `ready` is 1 only when every step succeeded; a failed
  // open keeps what it had opened for close. A disk that is not the expected one is left untouched,
  // with a diagnostic that says what differed.
  bool open(const std::string& path, int64_t start, int64_t end, const DiskIdentity* expected = nullptr);

  // One write of the current pass, starting the next pass where one ends. Returns 1 (go on), 0 (all
  // passes done) or -1 (not ready, or the write failed; the logs say which).
  int step(bool quickStop);

  // Releases the buffer and the device handle.
  void close();

  EraseRunLogs* logs = nullptr;  // where the job's lines go: the logs of its run

  DevHandle handle = invalidDevHandle();
  uint32_t bytesPerSector = 0;
  int64_t diskLength = 0;
  int64_t current = 0;  // offset of the next write
  uint8_t ready = 0;    // 1 when the device is open and prepared
  uint8_t quick = 0;    // methods 20 and 21: stop writing after the first seconds of the run
  uint8_t identityMismatch = 0;  // open found another disk than the expected one
  uint32_t lastError = 0;        // the error of the write that failed
  int64_t passReach = 0;         // how far the current pass has written
  int64_t furthest = 0;          // how far any pass has written
  std::unique_ptr<uint8_t, AlignedBufferFree> buffer;
  uint32_t bufferLength = kEraseBufferLength;
  std::deque<PassPattern> passes;  // passes still to start, front first
  int32_t totalPasses = 0;         // passes added
  int32_t passesDone = 0;          // passes written to the end of the range
  double percent = 0.0;
  int64_t rangeStart = 0;
  int64_t rangeEnd = 0;  // exclusive
  uint8_t currentRandom = 0;
  int32_t currentPatternLength = 0;
  std::string currentPassText;
  VolumeLocks volumeLocks;  // the disk's volumes, locked by open and released by close

 private:
  void log(const std::string& text);
};

// Appends one pass and counts it. A fixed pass needs 1..16 bytes; any other length is refused (false,
// nothing added). The bytes of a random pass are not read (bytes may be null).
bool addPass(clErase& job, const uint8_t* bytes, int32_t length, bool random);

// Appends the passes of a method in order and sets `quick` for methods 20 and 21. A number outside
// 1..21 takes its four passes from pattern.
void buildPasses(clErase& job, int32_t method, const UserPattern& pattern);

// Fills the whole transfer buffer for a pass that starts: random data from this thread's generator,
// or the pattern repeated from offset 0 (the last copy cut off at the end). False, buffer untouched,
// when the job has no buffer or a fixed pass has no usable length.
bool fillBuffer(clErase& job, const PassPattern& pass);

// --- the per-thread random generator ----------------------------------------------------------------

// Sets this thread's state to seed, then draws and discards one output.
void seedRandom(uint32_t seed);

// state = state * 22695477 + 1 (mod 2^32); returns (state >> 16) & 0x7FFF.
uint32_t nextRandom();
