// Speed of the random source and of one generation at several sizes.
#include <benchmark/benchmark.h>

#include "engine/founders.h"
#include "engine/generation.h"
#include "engine/random.h"
#include "model/driver.h"
#include "model/settings.h"
#include "model/state.h"
#include "model/store.h"

namespace {

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
  rsd = 101;
  SEEDRND();
  POPBUILD();
}

void BM_RANDREAL(benchmark::State& state) {
  Prepare(16);
  double sum = 0.0;
  for (auto _ : state) sum += RANDREAL();
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RANDREAL);

void BM_GenerationDefault(benchmark::State& state) {
  Prepare(state.range(0));
  for (auto _ : state) GENBUILD();
  state.SetItemsProcessed(state.iterations() * NTot);
}
BENCHMARK(BM_GenerationDefault)->Arg(160)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerationDefault)->Arg(1000000)->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_GenerationFull(benchmark::State& state) {
  Prepare(state.range(0));
  for (int g = 0; g < 9; ++g) w[g] = 0.5 + 0.05 * g;
  fitCheck = 1;
  rec = 0.2;
  mutA[0] = mutB[1] = 1e-4;
  mutCheck = 1;
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

}  // namespace

BENCHMARK_MAIN();
