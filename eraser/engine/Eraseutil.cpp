#include "Eraseutil.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <span>

std::atomic<int32_t> selectedMethod{kMethodOnePassZeros};
std::atomic<int32_t> userPattern[4]{};

namespace {

// One pass of the method table: length 0 is a random pass.
struct PassSpec {
  uint8_t length;
  uint8_t bytes[4];
};

constexpr PassSpec R{0, {}};
constexpr PassSpec B(uint8_t b) { return {1, {b}}; }
constexpr PassSpec P(uint8_t a, uint8_t b, uint8_t c) { return {3, {a, b, c}}; }
constexpr PassSpec P(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {4, {a, b, c, d}}; }

constexpr PassSpec kZeros[] = {B(0x00)};
constexpr PassSpec kRandom[] = {R};
constexpr PassSpec kDod[] = {B(0x00), B(0xFF), R};
constexpr PassSpec kDodEce[] = {B(0x00), B(0xFF), R, B(0x96), B(0x00), B(0xFF), R};
constexpr PassSpec kOps2[] = {B(0x00), B(0xFF), B(0x00), B(0xFF), B(0x00), B(0xFF), R};
constexpr PassSpec kVsitr[] = {B(0x00), B(0xFF), B(0x00), B(0xFF), B(0x00), B(0xFF), B(0xAA)};
constexpr PassSpec kGost[] = {B(0x00), R};
constexpr PassSpec kArmy[] = {B(0xFF), B(0x00), R};
constexpr PassSpec kAirForce[] = {R, B(0x00), B(0xFF)};
constexpr PassSpec kNavsoRl[] = {B(0x01), P(0x27, 0xFF, 0xFF, 0xFF), R};
constexpr PassSpec kNavsoMfm[] = {B(0x01), P(0x7F, 0xFF, 0xFF, 0xFF), R};
constexpr PassSpec kTwoRandom[] = {R, R};
constexpr PassSpec kBruceSchneier[] = {B(0x00), B(0xFF), R, R, R, R, R};
// clang-format off
constexpr PassSpec kGutmann[] = {
    R, R, R, R,
    B(0x55), B(0xAA),
    P(0x92, 0x49, 0x24), P(0x49, 0x24, 0x92), P(0x24, 0x92, 0x49),
    B(0x00), B(0x11), B(0x22), B(0x33), B(0x44), B(0x55), B(0x66), B(0x77),
    B(0x88), B(0x99), B(0xAA), B(0xBB), B(0xCC), B(0xDD), B(0xEE), B(0xFF),
    P(0x92, 0x49, 0x24), P(0x49, 0x24, 0x92), P(0x24, 0x92, 0x49),
    P(0x6D, 0xB6, 0xDB), P(0xB6, 0xDB, 0x6D), P(0xDB, 0x6D, 0xB6),
    R, R, R, R,
};
// clang-format on
constexpr PassSpec kSchneiers[] = {B(0x01), B(0x00), R, R, R, R, R};

struct MethodSpec {
  const char* name;
  std::span<const PassSpec> passes;
  bool quick;
};

// Indexed by method number - 1.
constexpr MethodSpec kMethods[] = {
    {"One Pass Zeros", kZeros, false},
    {"One Pass Random", kRandom, false},
    {"US DoD 5220-22.M", kDod, false},
    {"US DoD 5220.22-M (ECE)", kDodEce, false},
    {"Canadian OPS-II", kOps2, false},
    {"German VSITR", kVsitr, false},
    {"Russian GOST p50739-95", kGost, false},
    {"US Army AR380-19", kArmy, false},
    {"US Air Force 5020", kAirForce, false},
    {"HMG IS5 (Baseline)", kZeros, false},
    {"HMG IS5 (Enhanced)", kDod, false},
    {"Navso P-5329-26 (RL)", kNavsoRl, false},
    {"Navso P-5329-26 (MFM)", kNavsoMfm, false},
    {"NCSC-TG-025", kDod, false},
    {"NSA 130-2", kTwoRandom, false},
    {"Bruce Schneier", kBruceSchneier, false},
    {"Gutmann", kGutmann, false},
    {"Schneier's", kSchneiers, false},
    {"Pseudorandom Data", kRandom, false},
    {"Quick Zeros", kZeros, true},
    {"Quick Random", kRandom, true},
};
static_assert(std::size(kMethods) == kMethodQuickRandom);
static_assert(std::size(kGutmann) == 35);

const MethodSpec* findMethod(int32_t method) {
  if (method < 1 || method > static_cast<int32_t>(std::size(kMethods))) return nullptr;
  return &kMethods[method - 1];
}

thread_local uint32_t randomState = 0;

constexpr uint32_t kRandomMultiplier = 22695477u;

}  // namespace

// --- methods and passes -------------------------------------------------------------------------------

UserPattern loadUserPattern() {
  UserPattern copy{};
  for (size_t i = 0; i < copy.size(); ++i) copy[i] = userPattern[i].load();
  return copy;
}

const char* methodName(int32_t method) {
  const MethodSpec* spec = findMethod(method);
  return spec ? spec->name : "User defined";
}

std::string passText(const PassPattern& pass) {
  if (pass.random) return "Random";
  std::string text;
  const int32_t n = pass.length < 0 ? 0 : (pass.length > kMaxPatternLength ? kMaxPatternLength : pass.length);
  for (int32_t i = 0; i < n; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X ", pass.pattern[i]);
    text += hex;
  }
  return text;
}

bool addPass(clErase& job, const uint8_t* bytes, int32_t length, bool random) {
  PassPattern pass;
  pass.random = random ? 1 : 0;
  if (!random) {
    if (bytes == nullptr || length < 1 || length > kMaxPatternLength) return false;
    std::memcpy(pass.pattern, bytes, static_cast<size_t>(length));
    pass.length = length;
  }
  job.passes.push_back(pass);
  ++job.totalPasses;
  return true;
}

void buildPasses(clErase& job, int32_t method, const UserPattern& pattern) {
  const MethodSpec* spec = findMethod(method);
  if (spec == nullptr) {
    for (int32_t choice : pattern) {
      // A negative choice means the dialog had no item chosen (typed text): erasing with random
      // data is the safe reading, the same as the dialog's default.
      if (choice <= 0) {
        addPass(job, nullptr, 0, true);
      } else {
        const uint8_t byte = static_cast<uint8_t>((choice - 1) % 256);
        addPass(job, &byte, 1, false);
      }
    }
    job.quick = 0;
    return;
  }
  for (const PassSpec& p : spec->passes) addPass(job, p.bytes, p.length, p.length == 0);
  job.quick = spec->quick ? 1 : 0;
}

bool fillBuffer(clErase& job, const PassPattern& pass) {
  uint8_t* const buf = job.buffer.get();
  // Never past the allocation, whatever bufferLength says.
  const size_t size = job.bufferLength < kEraseBufferLength ? job.bufferLength : kEraseBufferLength;
  if (buf == nullptr || size == 0) return false;

  if (pass.random) {
    // The state stays in a register for the whole megabyte; the pass's only cost is this loop.
    uint32_t state = randomState;
    for (size_t i = 0; i < size; ++i) {
      state = state * kRandomMultiplier + 1u;
      buf[i] = static_cast<uint8_t>(state >> 16);
    }
    randomState = state;
    return true;
  }

  if (pass.length < 1 || pass.length > kMaxPatternLength) return false;
  const size_t length = static_cast<size_t>(pass.length);
  if (length == 1) {
    std::memset(buf, pass.pattern[0], size);
    return true;
  }
  // Copy the pattern once, then double the filled prefix; the last copy is cut off at the end.
  size_t filled = length < size ? length : size;
  std::memcpy(buf, pass.pattern, filled);
  while (filled < size) {
    const size_t chunk = filled < size - filled ? filled : size - filled;
    std::memcpy(buf + filled, buf, chunk);
    filled += chunk;
  }
  return true;
}

// --- the erase job ---------------------------------------------------------------------------------

void AlignedBufferFree::operator()(uint8_t* p) const {
  ::operator delete (p, std::align_val_t{kEraseBufferAlignment});
}

bool clErase::allocateBuffer() {
  if (buffer) return true;
  void* p = ::operator new (kEraseBufferLength, std::align_val_t{kEraseBufferAlignment}, std::nothrow);
  if (p == nullptr) return false;
  buffer.reset(static_cast<uint8_t*>(p));
  bufferLength = kEraseBufferLength;
  return true;
}

// --- the per-thread random generator ----------------------------------------------------------------

void seedRandom(uint32_t seed) {
  randomState = seed;
  nextRandom();
}

uint32_t nextRandom() {
  randomState = randomState * kRandomMultiplier + 1u;
  return (randomState >> 16) & 0x7FFFu;
}
