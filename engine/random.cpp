#include "engine/random.h"

#include <cmath>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

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

#if defined(__EMSCRIPTEN__) && defined(__wasm_simd128__)
// The browser lab's build (WebAssembly with its 128-bit vectors): the
// conversions to and from doubles and wide loads of values just stored one
// by one cost several times the draws themselves there, so each value is
// packed as the recurrence makes it, in whole numbers. A WebAssembly build
// without vectors takes the plain path below.
//
// floor(n / M) for n = x c below 2^46: with n = q0 * 2^31 + r0,
// n = q0 * M + (q0 + r0) and q0 + r0 < 2M, so the floor is q0, or q0 + 1
// when q0 + r0 reaches M. PACKFOUR finds q0 and r0 of four values at once
// in 32-bit lanes. x * 32768 = q0 * 2^31 + r0 with q0 = x >> 16 and r0 the low 16
// bits of x shifted up by 15. For x * 97, q0 is the floor of
// (97 * (x >> 16) * 2^16 + 97 * (x & 0xffff)) / 2^31, that is
// (97 * (x >> 16) + (97 * (x & 0xffff) >> 16)) >> 15, and r0 the product
// mod 2^31, which the 32-bit product keeps. No sum passes 2^32, so these
// are the exact floors the double formula gives; the two were compared on
// every x below 2^31.
inline v128_t PACKFOUR(v128_t raw) {
  const v128_t m = wasm_i32x4_splat(2147483647);
  // A comparison gives -1 where it holds.
  const v128_t x = wasm_i32x4_add(raw, wasm_i32x4_eq(raw, m));
  const v128_t high = wasm_u32x4_shr(x, 16);
  const v128_t q1 = high;
  const v128_t r1 = wasm_v128_and(wasm_i32x4_shl(x, 15), m);
  const v128_t result = wasm_i32x4_sub(q1, wasm_u32x4_ge(wasm_i32x4_add(q1, r1), m));
  const v128_t k97 = wasm_i32x4_splat(97);
  const v128_t low = wasm_v128_and(x, wasm_i32x4_splat(0xffff));
  const v128_t q2 = wasm_u32x4_shr(
      wasm_i32x4_add(wasm_i32x4_mul(high, k97), wasm_u32x4_shr(wasm_i32x4_mul(low, k97), 16)), 15);
  const v128_t r2 = wasm_v128_and(wasm_i32x4_mul(x, k97), m);
  const v128_t slot = wasm_i32x4_sub(wasm_i32x4_sub(q2, wasm_u32x4_ge(wasm_i32x4_add(q2, r2), m)),
                                     wasm_i32x4_splat(-1));
  return wasm_v128_or(wasm_i32x4_shl(result, 8), slot);
}

// Twelve values a round: the recurrence three at a time in scalars, the
// packing four at a time in vectors gathered from those scalars (loading
// them back from memory just after storing them one by one would wait for
// the stores).
const std::uint32_t* RNDIREFILL() {
  std::uint32_t* h = history;
  std::uint32_t x0 = h[kDeg - 3];
  std::uint32_t x1 = h[kDeg - 2];
  std::uint32_t x2 = h[kDeg - 1];
  constexpr int kKeep = kAhead - kDeg;
  for (int k = 0; k < kAhead; k += 12) {
    std::uint32_t v[12];
    for (int j = 0; j < 12; j += 3) {
      h[kDeg + k + j] = x0 = h[k + j] + x0;
      h[kDeg + k + j + 1] = x1 = h[k + j + 1] + x1;
      h[kDeg + k + j + 2] = x2 = h[k + j + 2] + x2;
      if (k + j >= kKeep) h[k + j - kKeep] = x0;
      if (k + j + 1 >= kKeep) h[k + j + 1 - kKeep] = x1;
      if (k + j + 2 >= kKeep) h[k + j + 2 - kKeep] = x2;
      v[j] = x0 >> 1;
      v[j + 1] = x1 >> 1;
      v[j + 2] = x2 >> 1;
    }
    for (int j = 0; j < 12; j += 4) {
      const v128_t raw = wasm_u32x4_make(v[j], v[j + 1], v[j + 2], v[j + 3]);
      wasm_v128_store(aheadPacked + k + j, PACKFOUR(raw));
    }
  }
  ++rawBlocks;
  return aheadPacked;
}
#else
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
#endif

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
