#include "engine/random.h"

#include "model/settings.h"
#include "model/state.h"

#ifdef DUOLOCUS_TESTING
std::uint64_t randCalls = 0;
std::uint64_t drawCount = 0;
#endif

namespace {

#ifdef DUOLOCUS_TESTING
std::vector<double> scripted;
std::size_t scriptedNext = 0;
#endif

// State of the additive feedback generator: 31 words, a front and a rear
// position three apart, as the GNU C library lays them out.
constexpr int kDeg = 31;
constexpr int kSep = 3;
std::int32_t fbState[kDeg];
int fbFront = kSep;
int fbRear = 0;

// The shuffle table (slots 1 to 97; slot 0 unused) and the raw value that
// picks the next slot. Raw values are whole numbers below 2^31, so they are
// kept as integers; see RNDI for why the arithmetic on them is exact.
std::uint32_t v[98];
std::uint32_t* pv = nullptr;
std::uint32_t y = 0;

inline std::uint32_t RAWRAND() {
  return static_cast<std::uint32_t>(GLIBCRAND());
}

void BUILDTABLE() {
  pv = v;
  for (int i = 0; i < 97; ++i) GLIBCRAND();
  for (int j = 1; j <= 97; ++j) pv[j] = RAWRAND();
  y = RAWRAND();
  doSeed = 0;
}

}  // namespace

void GLIBCSRAND(std::uint32_t seed) {
  std::int32_t word = seed == 0 ? 1 : static_cast<std::int32_t>(seed);
  fbState[0] = word;
  for (int i = 1; i < kDeg; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage's method).
    const std::int32_t hi = word / 127773;
    const std::int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    fbState[i] = word;
  }
  fbFront = kSep;
  fbRear = 0;
  // The library discards the first 310 outputs so the state is well mixed.
  // These are not the program's own draws, so they do not count.
#ifdef DUOLOCUS_TESTING
  const std::uint64_t counted = randCalls;
#endif
  for (int i = 0; i < kDeg * 10; ++i) GLIBCRAND();
#ifdef DUOLOCUS_TESTING
  randCalls = counted;
#endif
}

std::int32_t GLIBCRAND() {
  DUO_COUNT(randCalls);
  const std::uint32_t sum = static_cast<std::uint32_t>(fbState[fbFront]) +
                            static_cast<std::uint32_t>(fbState[fbRear]);
  fbState[fbFront] = static_cast<std::int32_t>(sum);
  fbFront = fbFront + 1 == kDeg ? 0 : fbFront + 1;
  fbRear = fbRear + 1 == kDeg ? 0 : fbRear + 1;
  return static_cast<std::int32_t>(sum >> 1);
}

void SEEDRND() { GLIBCSRAND(rsd); }

// The slot and the result are defined in double arithmetic; RNDISLOT and
// RNDISCALE give the same numbers by integer division, faster, on the serial
// chain every draw waits for. Why they agree:
// - slot: y * 97 is exact in a double, and the quotient q = y * 97 / M
//   (M = 2^31 - 1) is either a whole number or at least 1/M away from one,
//   far more than the rounding of the division and of the added 1.0 (below
//   1e-14 for values under 98), so truncation gives y * 97 / M + 1.
// - result: t / M * 32768 is whole only for t = 0 and t = M (M is prime),
//   otherwise at least 32768/M * (1/32768) = 1/M away from a whole number,
//   while the division rounds by under 2^-53 * 32768; scaling by 32768 is
//   exact. So truncation gives t * 32768 / M.
int RNDI() {
  if (doSeed != 0) BUILDTABLE();
  const std::uint32_t j = RNDISLOT(y);
  const std::uint32_t t = pv[j];
  y = t;
  pv[j] = RAWRAND();
  return RNDISCALE(t);
}

double RANDREAL() {
  DUO_COUNT(drawCount);
#ifdef DUOLOCUS_TESTING
  if (scriptedNext < scripted.size()) return scripted[scriptedNext++];
#endif
  const std::int64_t r1 = RNDI();
  const std::int64_t r2 = RNDI();
  return static_cast<double>(r1 * 32768 + r2) * kDrawStep;
}

void RANDRESET() {
  for (std::uint32_t& slot : v) slot = 0;
  pv = nullptr;
  y = 0;
  GLIBCSRAND(1);
#ifdef DUOLOCUS_TESTING
  randCalls = 0;
  drawCount = 0;
  scripted.clear();
  scriptedNext = 0;
#endif
}

#ifdef DUOLOCUS_TESTING
void SCRIPTDRAWS(const std::vector<double>& draws) {
  scripted = draws;
  scriptedNext = 0;
}

std::size_t SCRIPTLEFT() { return scripted.size() - scriptedNext; }
#endif
