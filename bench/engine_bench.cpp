// Speed of the random source and of one generation: against the draws the
// generation uses (its floor), against the straightforward build of the
// rules (bench/straightforward.cpp), and as it grows with the population and
// with selection. docs/performance.md keeps the figures.
//
// The comparisons time both sides in turns inside one benchmark, a number of
// rounds, and report the median of the per-round ratios: the machine is
// shared, and a ratio of neighbours in time is steadier than two separate
// timings.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/straightforward.h"
#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {

constexpr unsigned kSeed = 101;

// Default settings scaled to a population of about n individuals.
void Prepare(std::int64_t n) {
  RESETPROGRAM();
  STARTDEF();
  const std::int64_t unit = n / 16 > 0 ? n / 16 : 1;
  const std::int64_t shares[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
  NTot = 0;
  for (int g = 0; g < 9; ++g) NTot += (startPop[g] = shares[g] * unit);
  for (int g = 0; g < 9; ++g) startF[g] = static_cast<double>(startPop[g]) / static_cast<double>(NTot);
  MEMALLOC();
  RUNINIT();
  rsd = kSeed;
  SEEDRND();
  POPBUILD();
}

// The "full" settings: selection, recombination, mutation.
void Full() {
  for (int g = 0; g < 9; ++g) w[g] = 0.5 + 0.05 * g;
  fitCheck = 1;
  rec = 0.2;
  mutA[0] = mutB[1] = 1e-4;
  mutCheck = 1;
}

// RNDI calls made since program start: the blocks of raw values made, less
// those not yet used.
std::uint64_t RawUsed() {
  const DRAWS d = DRAWSTART();
  return rawBlocks * kAhead - static_cast<std::uint64_t>(aheadPacked + kAhead - d.next);
}

// CPU time of this thread: on a shared machine the wall clock also counts
// the time other work holds the core.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double Seconds(F&& f) {
  const double start = ThreadSeconds();
  f();
  return ThreadSeconds() - start;
}

double Median(std::vector<double> x) {
  std::sort(x.begin(), x.end());
  return x[x.size() / 2];
}

// The floor: n draws as the generation makes them (the program's RANDREAL
// on the chain's state carried in registers), their values summed so none
// is left out.
double DrawFloor(std::uint64_t n) {
  DRAWS d = DRAWSTART();
  double sum = 0.0;
  for (std::uint64_t i = 0; i < n; ++i) sum += static_cast<double>(RANDK(d)) * kDrawStep;
  DRAWEND(d);
  return sum;
}

// The pure chain: the two RNDI steps of n draws and nothing else.
std::uint64_t PureChain(std::uint64_t n) {
  DRAWS d = DRAWSTART();
  for (std::uint64_t i = 0; i < 2 * n; ++i) RNDISTEP(d);
  DRAWEND(d);
  return d.slot;
}

// A generation against its own draws: each round builds one generation,
// counts the draws it used and times that many draws alone and on the pure
// chain.
void GenerationVsFloor(benchmark::State& state, bool full) {
  Prepare(state.range(0));
  if (full) Full();
  GENBUILD();  // warm the buffers
  const int rounds = NTot >= 1000000 ? 7 : (NTot >= 100000 ? 15 : 61);
  std::vector<double> genS, floorS, chainS, toFloor, toChain;
  double draws = 0.0;
  for (auto _ : state) {
    for (int r = 0; r < rounds; ++r) {
      const std::uint64_t before = RawUsed();
      const double g = Seconds([] { GENBUILD(); });
      const std::uint64_t n = (RawUsed() - before) / 2;
      double sink = 0.0;
      const double f = Seconds([&] { sink = DrawFloor(n); });
      std::uint64_t slot = 0;
      const double c = Seconds([&] { slot = PureChain(n); });
      benchmark::DoNotOptimize(sink);
      benchmark::DoNotOptimize(slot);
      genS.push_back(g);
      floorS.push_back(f);
      chainS.push_back(c);
      toFloor.push_back(g / f);
      toChain.push_back(g / c);
      draws = static_cast<double>(n);
    }
  }
  state.counters["gen_us"] = Median(genS) * 1e6;
  state.counters["floor_us"] = Median(floorS) * 1e6;
  state.counters["chain_us"] = Median(chainS) * 1e6;
  state.counters["gen/floor"] = Median(toFloor);
  state.counters["gen/chain"] = Median(toChain);
  state.counters["draws"] = draws;
}
void BM_DefaultVsFloor(benchmark::State& state) { GenerationVsFloor(state, false); }
void BM_FullVsFloor(benchmark::State& state) { GenerationVsFloor(state, true); }
BENCHMARK(BM_DefaultVsFloor)->Arg(160)->Arg(10000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullVsFloor)->Arg(10000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// A default generation against the straightforward build, from the same
// founders and seed. The first round checks that both made the same
// generation, record for record.
void BM_DefaultVsStraightforward(benchmark::State& state) {
  Prepare(state.range(0));
  PLAINSEED(kSeed);
  for (std::int64_t i = 0; i < startPop[4]; ++i) PLAINRANDREAL();  // the founders' phase draws
  PLAINSETUP();
  GENBUILD();
  PLAINGENERATION();
  if (!PLAINSAMEASPROGRAM()) {
    state.SkipWithError("the straightforward build made another generation");
    return;
  }
  const int rounds = NTot >= 1000000 ? 5 : 31;
  std::vector<double> ratio, plainS, genS;
  for (auto _ : state) {
    for (int r = 0; r < rounds; ++r) {
      const double g = Seconds([] { GENBUILD(); });
      const double p = Seconds([] { PLAINGENERATION(); });
      genS.push_back(g);
      plainS.push_back(p);
      ratio.push_back(p / g);
    }
  }
  state.counters["gen_us"] = Median(genS) * 1e6;
  state.counters["plain_us"] = Median(plainS) * 1e6;
  state.counters["plain/gen"] = Median(ratio);
}
BENCHMARK(BM_DefaultVsStraightforward)->Arg(10000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// RANDREAL against the literal formulas over the C library's rand, and the
// draw as the generation makes it (state in registers).
void BM_RANDREALVsLiteral(benchmark::State& state) {
  Prepare(16);
  PLAINSEED(kSeed);
  constexpr int kDraws = 200000;
  std::vector<double> ratio, inlineRatio, programNs, plainNs, hotNs;
  for (auto _ : state) {
    for (int r = 0; r < 31; ++r) {
      double sink = 0.0;
      const double p = Seconds([&] {
        for (int i = 0; i < kDraws; ++i) sink += PLAINRANDREAL();
      });
      const double q = Seconds([&] {
        for (int i = 0; i < kDraws; ++i) sink += RANDREAL();
      });
      const double h = Seconds([&] { sink += DrawFloor(kDraws); });
      benchmark::DoNotOptimize(sink);
      plainNs.push_back(p / kDraws * 1e9);
      programNs.push_back(q / kDraws * 1e9);
      hotNs.push_back(h / kDraws * 1e9);
      ratio.push_back(p / q);
      inlineRatio.push_back(p / h);
    }
  }
  state.counters["literal_ns"] = Median(plainNs);
  state.counters["RANDREAL_ns"] = Median(programNs);
  state.counters["hot_ns"] = Median(hotNs);
  state.counters["literal/RANDREAL"] = Median(ratio);
  state.counters["literal/hot"] = Median(inlineRatio);
}
BENCHMARK(BM_RANDREALVsLiteral)->Iterations(1)->Unit(benchmark::kMillisecond);

// How a default generation grows with the population.
void BM_GenerationDefault(benchmark::State& state) {
  Prepare(state.range(0));
  for (auto _ : state) GENBUILD();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_GenerationDefault)->Arg(160)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerationDefault)->Arg(1000000)->Iterations(10)->Unit(benchmark::kMillisecond);

// How it grows with selection: every genotype accepted with probability
// p = range / 100, so a parent takes 1 / p candidates on average.
void BM_Selection(benchmark::State& state) {
  Prepare(10000);
  const double p = static_cast<double>(state.range(0)) / 100.0;
  for (double& x : w) x = p;
  fitCheck = p < 1.0 ? 1 : 0;
  std::uint64_t raw = 0;
  for (auto _ : state) {
    const std::uint64_t before = RawUsed();
    GENBUILD();
    raw += RawUsed() - before;
  }
  state.SetItemsProcessed(state.iterations() * NTot);
  state.counters["draws/offspring"] = static_cast<double>(raw) / 2.0 / static_cast<double>(state.iterations() * NTot);
}
BENCHMARK(BM_Selection)->Arg(100)->Arg(50)->Arg(25)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_GenerationFull(benchmark::State& state) {
  Prepare(state.range(0));
  Full();
  for (auto _ : state) GENBUILD();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_GenerationFull)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerationFull)->Arg(1000000)->Iterations(4)->Unit(benchmark::kMillisecond);

void BM_Monogamy(benchmark::State& state) {
  Prepare(state.range(0));
  mateRule = 2;
  for (auto _ : state) GENBUILD();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_Monogamy)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_Shuffle(benchmark::State& state) {
  Prepare(state.range(0));
  for (auto _ : state) SHUFFLE();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_Shuffle)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ShuffleStraightforward(benchmark::State& state) {
  Prepare(state.range(0));
  PLAINSEED(kSeed);
  PLAINSETUP();
  for (auto _ : state) PLAINSHUFFLE();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_ShuffleStraightforward)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
