#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "Eraseutil.h"

namespace {

// A pass as "R" or its pattern bytes in hex without spaces ("27FFFFFF"), read from the fields.
std::string describe(const PassPattern& p) {
  if (p.random) return "R";
  std::string s;
  static const char hex[] = "0123456789ABCDEF";
  for (int32_t i = 0; i < p.length; ++i) {
    s += hex[p.pattern[i] >> 4];
    s += hex[p.pattern[i] & 15];
  }
  return s;
}

std::string describe(const clErase& job) {
  std::string s;
  for (const PassPattern& p : job.passes) s += (s.empty() ? "" : " ") + describe(p);
  return s;
}

const char* const kGutmannPasses =
    "R R R R 55 AA 924924 492492 249249 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF "
    "924924 492492 249249 6DB6DB B6DB6D DB6DB6 R R R R";

TEST(EraseMethods, EveryMethodBuildsItsPassesInOrder) {
  const UserPattern user{0, 1, 256, 0};
  struct Case {
    int32_t method;
    const char* name;
    const char* passes;
    uint8_t quick;
  } cases[] = {
      {1, "One Pass Zeros", "00", 0},
      {2, "One Pass Random", "R", 0},
      {3, "US DoD 5220-22.M", "00 FF R", 0},
      {4, "US DoD 5220.22-M (ECE)", "00 FF R 96 00 FF R", 0},
      {5, "Canadian OPS-II", "00 FF 00 FF 00 FF R", 0},
      {6, "German VSITR", "00 FF 00 FF 00 FF AA", 0},
      {7, "Russian GOST p50739-95", "00 R", 0},
      {8, "US Army AR380-19", "FF 00 R", 0},
      {9, "US Air Force 5020", "R 00 FF", 0},
      {10, "HMG IS5 (Baseline)", "00", 0},
      {11, "HMG IS5 (Enhanced)", "00 FF R", 0},
      {12, "Navso P-5329-26 (RL)", "01 27FFFFFF R", 0},
      {13, "Navso P-5329-26 (MFM)", "01 7FFFFFFF R", 0},
      {14, "NCSC-TG-025", "00 FF R", 0},
      {15, "NSA 130-2", "R R", 0},
      {16, "Bruce Schneier", "00 FF R R R R R", 0},
      {17, "Gutmann", kGutmannPasses, 0},
      {18, "Schneier's", "01 00 R R R R R", 0},
      {19, "Pseudorandom Data", "R", 0},
      {20, "Quick Zeros", "00", 1},
      {21, "Quick Random", "R", 1},
      {22, "User defined", "R 00 FF R", 0},
      {0, "User defined", "R 00 FF R", 0},
      {23, "User defined", "R 00 FF R", 0},
      {-1, "User defined", "R 00 FF R", 0},
      {INT_MIN, "User defined", "R 00 FF R", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_STREQ(methodName(c.method), c.name);
    clErase job;
    buildPasses(job, c.method, user);
    EXPECT_EQ(describe(job), c.passes);
    EXPECT_EQ(job.totalPasses, static_cast<int32_t>(job.passes.size()));
    EXPECT_EQ(job.quick, c.quick);
  }
  clErase gutmann;
  buildPasses(gutmann, kMethodGutmann, user);
  EXPECT_EQ(gutmann.totalPasses, 35);
}

TEST(EraseMethods, UserPatternChoicesBecomePasses) {
  struct Case {
    UserPattern pattern;
    const char* passes;
  } cases[] = {
      {{0, 0, 0, 0}, "R R R R"},
      {{1, 256, 0, 86}, "00 FF R 55"},
      // Past 256 wraps; a negative choice (no item chosen in the dialog) erases with random data.
      {{257, 513, 2, -1}, "00 00 01 R"},
  };
  for (const auto& c : cases) {
    clErase job;
    buildPasses(job, kMethodUserDefined, c.pattern);
    EXPECT_EQ(describe(job), c.passes);
    EXPECT_EQ(job.totalPasses, 4);
  }
}

TEST(EraseMethods, AddPassAppendsAndRefusesUnusableLengths) {
  clErase job;
  const uint8_t bytes[17] = {0x92, 0x49, 0x24};
  EXPECT_TRUE(addPass(job, bytes, 3, false));
  EXPECT_TRUE(addPass(job, nullptr, 0, true));
  EXPECT_TRUE(addPass(job, bytes, 16, false));
  EXPECT_FALSE(addPass(job, bytes, 0, false));
  EXPECT_FALSE(addPass(job, bytes, 17, false));
  EXPECT_FALSE(addPass(job, bytes, -1, false));
  EXPECT_FALSE(addPass(job, nullptr, 1, false));
  EXPECT_EQ(describe(job), "924924 R 92492400000000000000000000000000");
  EXPECT_EQ(job.totalPasses, 3);
}

TEST(EraseMethods, PassTextIsRandomOrHexBytesEachWithASpace) {
  const UserPattern user{};
  clErase navso, gutmann;
  buildPasses(navso, kMethodNavsoRl, user);
  buildPasses(gutmann, kMethodGutmann, user);
  EXPECT_EQ(passText(navso.passes[0]), "01 ");
  EXPECT_EQ(passText(navso.passes[1]), "27 FF FF FF ");
  EXPECT_EQ(passText(navso.passes[2]), "Random");
  EXPECT_EQ(passText(gutmann.passes[6]), "92 49 24 ");

  PassPattern p;
  for (int i = 0; i < 16; ++i) p.pattern[i] = static_cast<uint8_t>(0xA0 + i);
  p.length = 16;
  EXPECT_EQ(passText(p), "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF ");
  p.length = 40;  // a hand-made record cannot read past the pattern
  EXPECT_EQ(passText(p).size(), 48u);
  p.random = 1;
  EXPECT_EQ(passText(p), "Random");
}

TEST(EraseJob, StartsClosedWithAnAlignedBufferOnRequest) {
  clErase job;
  EXPECT_EQ(job.handle, invalidDevHandle());
  EXPECT_EQ(job.ready, 0);
  EXPECT_EQ(job.bufferLength, 1048576u);
  EXPECT_EQ(job.buffer, nullptr);
  ASSERT_TRUE(job.allocateBuffer());
  uint8_t* first = job.buffer.get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 4096, 0u);
  ASSERT_TRUE(job.allocateBuffer());
  EXPECT_EQ(job.buffer.get(), first);
}

TEST(FillBuffer, FixedPatternsRepeatFromTheBufferStart) {
  const std::vector<uint8_t> patterns[] = {
      {0x00},
      {0xFF},
      {0x55, 0xAA},
      {0x92, 0x49, 0x24},
      {0x27, 0xFF, 0xFF, 0xFF},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
  };
  clErase job;
  ASSERT_TRUE(job.allocateBuffer());
  const uint8_t* buf = job.buffer.get();
  for (const auto& pattern : patterns) {
    SCOPED_TRACE(pattern.size());
    std::fill(job.buffer.get(), job.buffer.get() + job.bufferLength, 0x5A);
    PassPattern pass;
    std::copy(pattern.begin(), pattern.end(), pass.pattern);
    pass.length = static_cast<int32_t>(pattern.size());
    ASSERT_TRUE(fillBuffer(job, pass));
    size_t wrong = 0;
    for (size_t i = 0; i < job.bufferLength; ++i) wrong += buf[i] != pattern[i % pattern.size()];
    EXPECT_EQ(wrong, 0u);
  }
  // Every 1 MiB block starts the three-byte pattern afresh: the block written at offset 1048576 of
  // the range begins with 92, and the buffer ends on a cut-off copy (1048576 mod 3 = 1).
  PassPattern gutmann7;
  gutmann7.pattern[0] = 0x92, gutmann7.pattern[1] = 0x49, gutmann7.pattern[2] = 0x24, gutmann7.length = 3;
  ASSERT_TRUE(fillBuffer(job, gutmann7));
  EXPECT_EQ(buf[0], 0x92);
  EXPECT_EQ(buf[1048574], 0x24);
  EXPECT_EQ(buf[1048575], 0x92);
}

TEST(FillBuffer, RefusesWithoutBufferOrUsableLength) {
  PassPattern pass;
  pass.length = 1;
  clErase none;
  EXPECT_FALSE(fillBuffer(none, pass));

  clErase job;
  ASSERT_TRUE(job.allocateBuffer());
  std::fill(job.buffer.get(), job.buffer.get() + job.bufferLength, 0x5A);
  for (int32_t bad : {0, -3, 17}) {
    pass.length = bad;
    EXPECT_FALSE(fillBuffer(job, pass));
  }
  EXPECT_EQ(job.buffer.get()[0], 0x5A);
  EXPECT_EQ(job.buffer.get()[job.bufferLength - 1], 0x5A);
}

// The generator's formula, written out again so the engine's is checked against it.
struct ReferenceGenerator {
  uint32_t state;
  explicit ReferenceGenerator(uint32_t seed) : state(seed) { next(); }
  uint32_t next() {
    state = static_cast<uint32_t>(uint64_t{state} * 22695477u + 1u);
    return (state >> 16) & 0x7FFF;
  }
};

TEST(RandomGenerator, GivesTheExpectedSequenceAfterSeeding) {
  struct Case {
    uint32_t seed;
    std::vector<uint32_t> outputs;  // worked out by hand from the formula
  } cases[] = {
      {12345, {24996, 10921, 23577, 19316, 10386, 21959, 16484, 32360}},
      {0, {346, 130, 10982, 1090, 11656, 7117, 17595, 6415}},
  };
  for (const auto& c : cases) {
    seedRandom(c.seed);
    for (uint32_t expected : c.outputs) EXPECT_EQ(nextRandom(), expected);
  }
  // Reseeding restarts the sequence; the formula holds far along it.
  seedRandom(0xDEADBEEF);
  ReferenceGenerator ref(0xDEADBEEF);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(nextRandom(), ref.next()) << i;
}

TEST(RandomGenerator, EachThreadHasItsOwnState) {
  seedRandom(12345);
  EXPECT_EQ(nextRandom(), 24996u);
  uint32_t other = 0;
  std::thread t([&] {
    seedRandom(0);
    other = nextRandom();
  });
  t.join();
  EXPECT_EQ(other, 346u);
  EXPECT_EQ(nextRandom(), 10921u);
}

TEST(FillBuffer, RandomPassTakesTheLowByteOfSuccessiveOutputs) {
  clErase job;
  ASSERT_TRUE(job.allocateBuffer());
  PassPattern pass;
  pass.random = 1;
  pass.length = 0;  // not consulted
  seedRandom(1700000000);
  ASSERT_TRUE(fillBuffer(job, pass));
  const uint8_t* buf = job.buffer.get();
  const uint8_t head[] = {0xF5, 0xAD, 0x55, 0x52, 0xB5, 0xC1, 0xFE, 0xAC};
  const uint8_t tail[] = {0x9F, 0xE1, 0xC3, 0xFE};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(buf[i], head[i]) << i;
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(buf[job.bufferLength - 4 + i], tail[i]) << i;

  ReferenceGenerator ref(1700000000);
  size_t wrong = 0;
  for (size_t i = 0; i < job.bufferLength; ++i) wrong += buf[i] != (ref.next() & 0xFF);
  EXPECT_EQ(wrong, 0u);
  // The next pass continues the sequence rather than repeating the block.
  EXPECT_EQ(nextRandom(), ref.next());
}

TEST(EraseState, StartsWithMethodOneAndARandomUserPattern) {
  EXPECT_EQ(selectedMethod.load(), 1);
  EXPECT_EQ(loadUserPattern(), (UserPattern{0, 0, 0, 0}));
  for (int32_t i = 0; i < 4; ++i) userPattern[i] = 10 + i;
  EXPECT_EQ(loadUserPattern(), (UserPattern{10, 11, 12, 13}));
  for (auto& v : userPattern) v = 0;
}

}  // namespace
