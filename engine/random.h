// The only source of randomness of the simulation.
//
// GLIBCSRAND/GLIBCRAND reproduce the GNU C library's srand/rand (its
// additive feedback generator), so a seed gives the same course of events on
// every platform. RNDI is a 97-slot shuffle table over them and RANDREAL
// joins two RNDI values into k * 2^-30.
//
// Speed. Every draw waits for the one before it: the raw value a call takes
// out of the table picks the slot of the next call. Everything else is kept
// off that chain:
// - the raw values of the generator do not depend on the table, so they are
//   made a block at a time, ahead of use;
// - when a raw value is made, the slot it will pick and the 15-bit result it
//   will give are computed at once and packed into one table entry (slot in
//   the low byte, result above), so a call is one load on the chain;
// - the hot loops keep the chain's state (DRAWS) in registers and draw
//   through RANDK, the whole number k of the draw k * 2^-30, compared with
//   thresholds in whole numbers (DRAWBELOW, DRAWATMOST) that give exactly
//   the comparisons of the double with the probability.
#ifndef DUOLOCUS_ENGINE_RANDOM_H
#define DUOLOCUS_ENGINE_RANDOM_H

#include <cstdint>

void GLIBCSRAND(std::uint32_t seed);
// The next raw value of the generator, 0 to 2147483647.
std::int32_t GLIBCRAND();

// Slot of the shuffle table picked by raw value y: truncation of
// y * 97.0 / 2147483647.0 + 1.0 in double arithmetic, computed in whole
// numbers (random.cpp explains why that is exact). The largest raw value
// would give slot 98, beyond the table, and is kept on slot 97.
inline std::uint32_t RNDISLOT(std::uint32_t y) {
  const std::uint64_t a = static_cast<std::uint64_t>(y) * 97u;
  // a / (2^31 - 1), rounded down, by shifts: see DIVM in random.cpp.
  const std::uint32_t j = static_cast<std::uint32_t>((a + (a >> 31) + 1) >> 31) + 1u;
  return j > 97u ? 97u : j;
}
// A raw table value scaled to 0..32767: truncation of
// t / 2147483647.0 * 32768.0, in whole numbers; the largest raw value would
// give 32768 and is kept at 32767.
inline int RNDISCALE(std::uint32_t t) {
  const std::uint64_t a = static_cast<std::uint64_t>(t) << 15;
  const std::uint32_t u = static_cast<std::uint32_t>((a + (a >> 31) + 1) >> 31);
  return static_cast<int>(u > 32767u ? 32767u : u);
}
// A raw value as it sits in the table: the slot it will pick in the low
// byte, the result it will give above.
inline std::uint32_t RNDIPACK(std::uint32_t raw) {
  return static_cast<std::uint32_t>(RNDISCALE(raw)) << 8 | RNDISLOT(raw);
}
// RNDIPACK of n raw values at once, in a form the compiler turns into
// vector instructions (random.cpp shows it exact for every raw value; the
// long checks of `make stats` compare it with RNDIPACK on all of them).
void RNDIPACKBLOCK(const std::uint32_t* raw, std::uint32_t* packed, int n);

// The step between two draws of RANDREAL, 2^-30. A test "reject when the
// draw is above p" passes on a draw of k * 2^-30 <= p; for any p below one
// step only k = 0 passes, so such a p acts exactly as 0.
constexpr double kDrawStep = 9.313225746154785e-10;
constexpr std::int64_t kDrawSteps = std::int64_t{1} << 30;
// Whether an acceptance test with probability p can pass on some draw
// other than exactly 0.0.
inline bool CANPASS(double p) { return p >= kDrawStep; }

// Thresholds on k for a probability p in [0, 1]. k * 2^-30 and p * 2^30 are
// exact in doubles, so the draw is below p exactly when k is below
// p * 2^30, that is below its ceiling; the draw is at most p exactly when k
// is at most its floor.
std::int64_t DRAWBELOW(double p);   // draw < p  <=>  k < DRAWBELOW(p)
std::int64_t DRAWATMOST(double p);  // draw <= p <=>  k < DRAWATMOST(p)

// Seeds the platform generator with rsd.
void SEEDRND();
// One shuffled draw, 0 to 32767.
int RNDI();
// One random real k * 2^-30, 0 <= k < 2^30.
double RANDREAL();

// Raw values made ahead and not yet used, packed for the table. A block is
// small enough for its making to overlap with the draws in flight; a
// multiple of 3 (the recurrence's short lag) and of 4 (vector width).
constexpr int kAhead = 96;
extern std::uint32_t aheadPacked[kAhead];
// The shuffle table, slots 1 to 97 (slot 0 unused), packed entries.
extern std::uint32_t rndTable[98];
// Makes the next block of raw values; returns its first packed entry.
const std::uint32_t* RNDIREFILL();
// Raw values made in blocks since program start (a block counted as it is
// made, nothing counted per draw). With DRAWSTART's next it tells how many
// raw values, so RNDI calls, a stretch of work used: for benchmarks.
extern std::uint64_t rawBlocks;

// The state of the chain as the hot loops carry it: the slot the next RNDI
// takes and the next raw value made ahead. DRAWSTART copies it out of the
// program-wide state (building the table first when doSeed asks for it),
// DRAWEND puts it back; between the two, draw only through the DRAWS.
struct DRAWS {
  std::uint64_t slot;
  const std::uint32_t* next;
};
DRAWS DRAWSTART();
void DRAWEND(DRAWS d);

#ifdef DUOLOCUS_TESTING
#include <vector>
// Test builds only (the program itself carries none of this on its hot
// path): raw values of the platform generator used and calls of RANDREAL
// since program start (or the last reset).
extern std::uint64_t randCalls;
extern std::uint64_t drawCount;
// Test builds only: while scripted draws remain, RANDREAL returns them in
// order instead of drawing, so a test can set a draw exactly on a boundary
// (0.5 is RNDI 16384 then 0) that no seed would reach in reasonable time.
// A scripted value is taken down to the grid k * 2^-30 of real draws.
// Scripted draws count in drawCount but call no generator.
void SCRIPTDRAWS(const std::vector<double>& draws);
// Scripted draws not yet used.
std::size_t SCRIPTLEFT();
#define DUO_COUNT(counter) (++(counter))
#else
#define DUO_COUNT(counter) ((void)0)
#endif

// One shuffled draw on the carried state.
inline std::uint32_t RNDISTEP(DRAWS& d) {
  if (d.next == aheadPacked + kAhead) d.next = RNDIREFILL();
  DUO_COUNT(randCalls);
  const std::uint64_t j = d.slot;
  const std::uint32_t e = rndTable[j];
  // The next slot is the entry's low byte. Loaded as a byte on its own, it
  // is the chain's only step: one load, no arithmetic after it.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  d.slot = reinterpret_cast<const unsigned char*>(rndTable + j)[0];
#else
  d.slot = e & 0xffu;
#endif
  rndTable[j] = *d.next++;
  return e >> 8;
}

#ifdef DUOLOCUS_TESTING
// Test builds only: takes the next scripted draw as k, if one is left.
bool SCRIPTEDK(std::int64_t& k);
#endif

// The whole number k of one draw k * 2^-30 (the first RNDI is the high part).
inline std::int64_t RANDK(DRAWS& d) {
  DUO_COUNT(drawCount);
#ifdef DUOLOCUS_TESTING
  std::int64_t k = 0;
  if (SCRIPTEDK(k)) return k;
#endif
  const std::int64_t r1 = RNDISTEP(d);
  const std::int64_t r2 = RNDISTEP(d);
  return r1 << 15 | r2;
}

// Forgets the table, as at program start (doSeed is set by the caller).
void RANDRESET();
// The random source as at program start: the table forgotten and to be
// built at the next draw.
void RESETENGINE();

#endif
