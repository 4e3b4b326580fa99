#include "engine/random.h"

#include <cmath>

#include "model/settings.h"
#include "model/state.h"

#ifdef DUOLOCUS_TESTING
std::uint64_t randCalls = 0;
std::uint64_t drawCount = 0;
#endif

std::uint32_t aheadPacked[kAhead];
std::uint32_t rndTable[98];
std::uint64_t rawBlocks = 0;

namespace {

#ifdef DUOLOCUS_TESTING
std::vector<double> scripted;
std::size_t scriptedNext = 0;
#endif

// The additive feedback generator as a running history: raw value i is
// r[i] = r[i - 31] + r[i - 3] (mod 2^32), output as r[i] >> 1. The history
// holds the last 31 values, oldest first, and room for a block more.
constexpr int kDeg = 31;
std::uint32_t history[kDeg + kAhead];

// The chain's state between hot loops: the slot of the next RNDI and the
// next value made ahead (one past the block: none left).
DRAWS chain = {1, aheadPacked + kAhead};

// Takes the next raw value out of the block, making a block when none is
// left.
inline std::uint32_t TAKERAW() {
  if (chain.next == aheadPacked + kAhead) chain.next = RNDIREFILL();
  DUO_COUNT(randCalls);
  // The block's values are still in the history, as made.
  return history[kDeg + (chain.next++ - aheadPacked)] >> 1;
}

// Fills the table from the generator: 97 values discarded, 97 stored in
// slots 1 to 97, the next one picks the first slot.
void BUILDTABLE() {
  for (int i = 0; i < 97; ++i) TAKERAW();
  for (int j = 1; j <= 97; ++j) rndTable[j] = RNDIPACK(TAKERAW());
  chain.slot = RNDISLOT(TAKERAW());
  doSeed = 0;
}

}  // namespace

// Making a block costs about as much as the draws that use it, and little
// of it overlaps with them, so where the compiler can, it makes a version
// for each wider vector unit and the processor picks its own at start-up.
// Every version does the same whole-number and double operations (no
// operation can be fused: there is no addition after a product), so all
// give the same values.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define DUO_VECTOR_VERSIONS __attribute__((target_clones("default", "avx2", "arch=x86-64-v4")))
#else
#define DUO_VECTOR_VERSIONS
#endif

// The slot and the result by a multiplication in doubles. For a raw value
// x below M = 2^31 - 1, x * 97 / M and x * 32768 / M are whole only at
// x = 0 (M is prime); otherwise their fractional part lies between 1/M and
// 1 - 1/M (4.6e-10 from a whole number). The factor 97 / M and the product
// are each rounded by at most 2^-53 relatively, an error below 97 * 2.3e-16
// (32768 * 2.3e-16 for the result), so truncation gives the exact floor.
// x = M gives slot 97 and result 32767 after the caps, as x = M - 1 does
// without them, so it is taken as M - 1.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void PACKVALUES(const std::uint32_t* raw, std::uint32_t* packed, int n) {
  const double slotFactor = 97.0 / 2147483647.0;
  const double scaleFactor = 32768.0 / 2147483647.0;
  for (int k = 0; k < n; ++k) {
    const std::int32_t x = static_cast<std::int32_t>(raw[k] - (raw[k] == 2147483647u ? 1u : 0u));
    const double v = static_cast<double>(x);
    const std::int32_t slot = static_cast<std::int32_t>(v * slotFactor) + 1;
    const std::int32_t result = static_cast<std::int32_t>(v * scaleFactor);
    packed[k] = static_cast<std::uint32_t>(result) << 8 | static_cast<std::uint32_t>(slot);
  }
}

DUO_VECTOR_VERSIONS void RNDIPACKBLOCK(const std::uint32_t* raw, std::uint32_t* packed, int n) {
  PACKVALUES(raw, packed, n);
}

// A block of kAhead raw values. The recurrence reaches back 3 values, so
// the first loop runs value by value; packing is independent for each value.
DUO_VECTOR_VERSIONS const std::uint32_t* RNDIREFILL() {
  std::uint32_t* h = history;
  // The three newest values stay in registers: written to the history and
  // read back at once, they would wait on store forwarding of overlapping
  // words.
  std::uint32_t x0 = h[kDeg - 3];
  std::uint32_t x1 = h[kDeg - 2];
  std::uint32_t x2 = h[kDeg - 1];
  for (int k = 0; k < kAhead; k += 3) {
    h[kDeg + k] = x0 = h[k] + x0;
    h[kDeg + k + 1] = x1 = h[k + 1] + x1;
    h[kDeg + k + 2] = x2 = h[k + 2] + x2;
  }
  std::uint32_t raw[kAhead];
  for (int k = 0; k < kAhead; ++k) raw[k] = h[kDeg + k] >> 1;
  PACKVALUES(raw, aheadPacked, kAhead);
  // The newest 31 values become the history's start; the block itself stays
  // in place behind them until the next block is made (GLIBCRAND reads it).
  for (int k = 0; k < kDeg; ++k) h[k] = h[kAhead + k];
  ++rawBlocks;
  return aheadPacked;
}

void GLIBCSRAND(std::uint32_t seed) {
  // The library's state: 31 words from the seed by 16807 * word mod
  // (2^31 - 1) (Schrage's method, no overflow); its first output adds word 0
  // to word 3, so in the history's terms words 3 to 30 come first, then
  // words 0 to 2 once more.
  std::int32_t state[kDeg];
  std::int32_t word = seed == 0 ? 1 : static_cast<std::int32_t>(seed);
  state[0] = word;
  for (int i = 1; i < kDeg; ++i) {
    const std::int32_t hi = word / 127773;
    const std::int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    state[i] = word;
  }
  for (int i = 0; i < kDeg - 3; ++i) history[i] = static_cast<std::uint32_t>(state[i + 3]);
  for (int i = 0; i < 3; ++i) history[kDeg - 3 + i] = static_cast<std::uint32_t>(state[i]);
  // Values made ahead under the previous seed are never used.
  chain.next = aheadPacked + kAhead;
  // The library discards the first 310 outputs so the state is well mixed.
  // These are not the program's own draws, so they do not count.
#ifdef DUOLOCUS_TESTING
  const std::uint64_t counted = randCalls;
#endif
  for (int i = 0; i < kDeg * 10; ++i) TAKERAW();
#ifdef DUOLOCUS_TESTING
  randCalls = counted;
#endif
}

std::int32_t GLIBCRAND() { return static_cast<std::int32_t>(TAKERAW()); }

void SEEDRND() { GLIBCSRAND(rsd); }

// The slot and the result are defined in double arithmetic; RNDISLOT and
// RNDISCALE give the same numbers in whole numbers. Why they agree:
// - slot: y * 97 is exact in a double, and the quotient q = y * 97 / M
//   (M = 2^31 - 1) is either a whole number or at least 1/M away from one,
//   far more than the rounding of the division and of the added 1.0 (below
//   1e-14 for values under 98), so truncation gives y * 97 / M + 1.
// - result: t / M * 32768 is whole only for t = 0 and t = M (M is prime),
//   otherwise at least 32768/M * (1/32768) = 1/M away from a whole number,
//   while the division rounds by under 2^-53 * 32768; scaling by 32768 is
//   exact. So truncation gives t * 32768 / M.
// DIVM, the division by M rounded down, for a = q * M + r (0 <= r < M,
// q < 2^31): a >> 31 is q or q - 1, and in both cases a + (a >> 31) + 1 lies
// in q * 2^31 to q * 2^31 + 2^31 - 1, so one more shift by 31 gives q.
DRAWS DRAWSTART() {
  if (doSeed != 0) BUILDTABLE();
  return chain;
}

void DRAWEND(DRAWS d) { chain = d; }

int RNDI() {
  DRAWS d = DRAWSTART();
  const int r = static_cast<int>(RNDISTEP(d));
  DRAWEND(d);
  return r;
}

double RANDREAL() {
  DRAWS d = DRAWSTART();
  const std::int64_t k = RANDK(d);
  DRAWEND(d);
  return static_cast<double>(k) * kDrawStep;
}

std::int64_t DRAWBELOW(double p) { return static_cast<std::int64_t>(std::ceil(p * 1073741824.0)); }

std::int64_t DRAWATMOST(double p) {
  return static_cast<std::int64_t>(std::floor(p * 1073741824.0)) + 1;
}

void RANDRESET() {
  for (std::uint32_t& slot : rndTable) slot = 0;
  chain.slot = 1;
  GLIBCSRAND(1);
#ifdef DUOLOCUS_TESTING
  randCalls = 0;
  drawCount = 0;
  scripted.clear();
  scriptedNext = 0;
#endif
}

void RESETENGINE() {
  RANDRESET();
  doSeed = 1;
}

#ifdef DUOLOCUS_TESTING
void SCRIPTDRAWS(const std::vector<double>& draws) {
  scripted = draws;
  scriptedNext = 0;
}

std::size_t SCRIPTLEFT() { return scripted.size() - scriptedNext; }

bool SCRIPTEDK(std::int64_t& k) {
  if (scriptedNext >= scripted.size()) return false;
  k = static_cast<std::int64_t>(std::floor(scripted[scriptedNext++] * 1073741824.0));
  return true;
}
#endif
