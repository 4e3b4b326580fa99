// The only source of randomness of the simulation.
//
// GLIBCSRAND/GLIBCRAND reproduce the GNU C library's srand/rand (its
// additive feedback generator), so a seed gives the same course of events on
// every platform. RNDI is a 97-slot shuffle table over them and RANDREAL
// joins two RNDI values into k * 2^-30.
#ifndef DUOLOCUS_ENGINE_RANDOM_H
#define DUOLOCUS_ENGINE_RANDOM_H

#include <cstdint>

void GLIBCSRAND(std::uint32_t seed);
std::int32_t GLIBCRAND();

// Slot of the shuffle table picked by raw value y: truncation of
// y * 97.0 / 2147483647.0 + 1.0 in double arithmetic, computed in whole
// numbers (RNDI explains why that is exact). The largest raw value would give
// slot 98, beyond the table, and is kept on slot 97.
inline std::uint32_t RNDISLOT(std::uint32_t y) {
  const std::uint32_t j = static_cast<std::uint32_t>(static_cast<std::uint64_t>(y) * 97u / 2147483647u) + 1u;
  return j > 97u ? 97u : j;
}
// A raw table value scaled to 0..32767: truncation of
// t / 2147483647.0 * 32768.0, in whole numbers; the largest raw value would
// give 32768 and is kept at 32767.
inline int RNDISCALE(std::uint32_t t) {
  const std::uint32_t u = static_cast<std::uint32_t>(static_cast<std::uint64_t>(t) * 32768u / 2147483647u);
  return static_cast<int>(u > 32767u ? 32767u : u);
}

// The step between two draws of RANDREAL, 2^-30. A test "reject when the
// draw is above p" passes on a draw of k * 2^-30 <= p; for any p below one
// step only k = 0 passes, so such a p acts exactly as 0.
constexpr double kDrawStep = 9.313225746154785e-10;
// Whether an acceptance test with probability p can pass on some draw
// other than exactly 0.0.
inline bool CANPASS(double p) { return p >= kDrawStep; }

// Seeds the platform generator with rsd.
void SEEDRND();
// One shuffled draw, 0 to 32767.
int RNDI();
// One random real k * 2^-30, 0 <= k < 2^30.
double RANDREAL();

#ifdef DUOLOCUS_TESTING
#include <vector>
// Test builds only (the program itself carries none of this on its hot
// path): calls of the platform generator and of RANDREAL since program start
// (or the last reset).
extern std::uint64_t randCalls;
extern std::uint64_t drawCount;
// Test builds only: while scripted draws remain, RANDREAL returns them in
// order instead of drawing, so a test can set a draw exactly on a boundary
// (0.5 is RNDI 16384 then 0) that no seed would reach in reasonable time.
// Scripted draws count in drawCount but call no generator.
void SCRIPTDRAWS(const std::vector<double>& draws);
// Scripted draws not yet used.
std::size_t SCRIPTLEFT();
#define DUO_COUNT(counter) (++(counter))
#else
#define DUO_COUNT(counter) ((void)0)
#endif

// Forgets the table, as at program start (doSeed is set by the caller).
void RANDRESET();

#endif
